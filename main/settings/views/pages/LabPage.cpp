#include "main/settings/views/pages/LabPage.h"

#include <QGraphicsOpacityEffect>
#include <QLabel>

#include "main/settings/LabStatus.h"
#include "main/settings/SettingsViewModel.h"
#include "main/settings/views/SettingsHost.h"
#include "main/settings/views/pages/LabTone.h"
#include "main/settings/views/pages/UsageToolSection.h"
#include "main/ui/design/Faces.h"
#include "main/ui/design/Tokens.h"
#include "main/ui/widgets/ControlGroup.h"
#include "main/ui/widgets/KitLabel.h"
#include "main/ui/widgets/SegmentedPicker.h"
#include "main/ui/widgets/SettingsBadge.h"
#include "main/ui/widgets/SettingsGroupCard.h"
#include "main/ui/widgets/SettingsRow.h"
#include "main/ui/widgets/SettingsToggle.h"
#include "main/voice/engine/AudioProfile.h"
#include "main/voice/engine/SpeechEngine.h"
#include "platform/defaults/Defaults.h"

namespace murmeli::settings {

namespace {

constexpr qreal lockedOpacity = 0.55;

} // namespace

LabPage::LabPage(const SettingsEnvironment& environment, SettingsViewModel& vm, SettingsHost* host, QWidget* parent)
    : ui::SettingsPage(QStringLiteral("Lab"),
        QStringLiteral("Experimental features preview. Things here may change or disappear."), parent),
      m_environment(environment), m_vm(vm), m_host(host)
{
    addHardwareGroup();
    addHumanSoundsGroup();
    addPlaceholderGroup(QStringLiteral("Translation"), QStringLiteral("Live translation"),
        QStringLiteral("Translate STT output between languages on the fly."));
    addPlaceholderGroup(QStringLiteral("Watch Notifications"), QStringLiteral("Watch alerts"),
        QStringLiteral("Mirror approval prompts and status to a watch; no watch is reached from Linux yet."));
    m_usage = new UsageToolSection(m_environment.defaults, m_host);
    addItem(m_usage);

    syncDevice();
    m_poll.setInterval(pollIntervalMs);
    connect(&m_poll, &QTimer::timeout, this, &LabPage::refresh);
    m_poll.start();
}

void LabPage::refresh()
{
    syncDevice();
    m_usage->syncStatus();
}

void LabPage::addHardwareGroup()
{
    m_deviceBadge = new ui::SettingsBadge(QStringLiteral("Not Paired"), ui::BadgeKind::Off);
    m_deviceBadge->setObjectName(QStringLiteral("deviceStatus"));
    m_deviceSwitch = new ui::SettingsToggle;
    m_deviceSwitch->setObjectName(QStringLiteral("deviceSwitch"));
    m_deviceSwitch->setEnabled(m_host != nullptr);
    connect(m_deviceSwitch, &QAbstractButton::toggled, this, &LabPage::deviceSwitched);
    ui::SettingsGroupCard* card = addGroup(QStringLiteral("murmeli Hardware"));
    card->addRow(new ui::SettingsRow(QStringLiteral("Bluetooth pairing"),
        QStringLiteral("Connect to murmeli hardware over BLE for hardware approvals + audio."),
        ui::ControlGroup::row({ m_deviceBadge, m_deviceSwitch }, 10), true));

    QWidget* profile = nullptr;
    if (m_host != nullptr) {
        // Short segment titles: the row's help line says what a profile switches.
        m_profilePicker
            = new ui::SegmentedPicker({ { QStringLiteral("Computer"), voice::toString(voice::AudioProfile::Mac) },
                                          { QStringLiteral("BLE"), voice::toString(voice::AudioProfile::Ble) } },
                220);
        m_profilePicker->setObjectName(QStringLiteral("outputProfile"));
        profile = m_profilePicker;
    } else {
        profile = ui::KitLabel::make(QStringLiteral("Unavailable"), ui::Faces::instrumentSans(12, QFont::Normal),
            ui::Color::vantorTextMuted, nullptr);
    }
    card->addRow(new ui::SettingsRow(QStringLiteral("Output profile"),
        QStringLiteral("Mic source + TTS speaker. Switches mic & speaker as a pair."), profile));
    if (m_profilePicker != nullptr) {
        SettingsHost* host = m_host;
        connect(m_profilePicker, &ui::SegmentedPicker::currentTagChanged, this, [host](const QString& tag) {
            host->speech().setAudioProfile(voice::audioProfileFromString(tag).value_or(voice::AudioProfile::Ble));
        });
        // Loading the profile is itself a change: it writes the microphone source back, as every change does.
        const bool onComputer = m_host->speech().activeMicSource() == voice::micSourceFor(voice::AudioProfile::Mac);
        m_profilePicker->setCurrentTag(
            voice::toString(onComputer ? voice::AudioProfile::Mac : voice::AudioProfile::Ble));
    }

    m_muteSwitch = new ui::SettingsToggle;
    m_muteSwitch->setObjectName(QStringLiteral("muteWhenDictating"));
    m_muteSwitch->setChecked(m_vm.muteDuringFocus());
    connect(m_muteSwitch, &QAbstractButton::toggled, this, [this](bool on) { m_vm.setMuteDuringFocus(on); });
    card->addRow(new ui::SettingsRow(QStringLiteral("Mute when dictating"),
        QStringLiteral("Silence announcements while Do Not Disturb is on. (Detection TODO.)"), m_muteSwitch));
}

void LabPage::addHumanSoundsGroup()
{
    m_speechSwitch = new ui::SettingsToggle;
    m_speechSwitch->setObjectName(QStringLiteral("humanSounds"));
    m_speechSwitch->setEnabled(m_host != nullptr);
    addGroup(QStringLiteral("Human sounds"))
        ->addRow(new ui::SettingsRow(QStringLiteral("Human sounds"),
            QStringLiteral("Speak status updates, errors, and approval prompts out loud."), m_speechSwitch, true));
    if (m_host == nullptr) {
        return;
    }
    SettingsHost* host = m_host;
    connect(m_speechSwitch, &QAbstractButton::toggled, this, [host](bool on) { host->setSpeaksAnnouncements(on); });
    // Seeding an on switch writes the engine's own value back once, as every change does.
    m_speechSwitch->setChecked(m_host->speaksAnnouncements());
}

void LabPage::addPlaceholderGroup(const QString& title, const QString& label, const QString& help)
{
    auto* locked = new ui::SettingsToggle;
    locked->setEnabled(false);
    locked->setToolTip(QStringLiteral("Coming in a future version"));
    ui::SettingsGroupCard* card = addGroup(title);
    card->addRow(new ui::SettingsRow(label, help,
        ui::ControlGroup::row({ new ui::SettingsBadge(QStringLiteral("Soon"), ui::BadgeKind::Soon), locked }, 10),
        true));
    auto* dim = new QGraphicsOpacityEffect(card);
    dim->setOpacity(lockedOpacity);
    card->setGraphicsEffect(dim);
    card->setAttribute(Qt::WA_TransparentForMouseEvents);
}

void LabPage::syncDevice()
{
    if (m_host == nullptr) {
        const LabStatus::Badge badge = LabStatus::device(std::nullopt);
        m_deviceBadge->set(badge.label, badgeKindOf(badge.tone));
        return;
    }
    // The switch follows the stored preference; taking it over runs the switch's action like any change.
    const bool stored = m_environment.defaults.boolValue(QLatin1String(bleEnabledUDKey)).value_or(false);
    if (stored != m_deviceSwitch->isChecked()) {
        m_deviceSwitch->setChecked(stored);
    }
    const LabStatus::Badge badge = LabStatus::device(m_host->deviceLink());
    m_deviceBadge->set(badge.label, badgeKindOf(badge.tone));
}

void LabPage::deviceSwitched(bool on)
{
    if (m_host == nullptr) {
        return;
    }
    m_environment.defaults.setValue(QLatin1String(bleEnabledUDKey), on);
    m_host->setDeviceLinkRunning(on);
    // The badge follows on the next tick, once the link has acted.
}

} // namespace murmeli::settings
