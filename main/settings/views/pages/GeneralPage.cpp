#include "main/settings/views/pages/GeneralPage.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QUrl>

#include "main/common/NotificationHub.h"
#include "main/settings/SettingsFiles.h"
#include "main/settings/SettingsViewModel.h"
#include "main/settings/views/SettingsHost.h"
#include "main/settings/views/pages/AccessibilityControl.h"
#include "main/settings/views/pages/DisplayChoice.h"
#include "main/settings/views/pages/HotkeyRecorder.h"
#include "main/ui/design/Faces.h"
#include "main/ui/design/Tokens.h"
#include "main/ui/widgets/KitButton.h"
#include "main/ui/widgets/KitLabel.h"
#include "main/ui/widgets/MenuPicker.h"
#include "main/ui/widgets/SettingsGroupCard.h"
#include "main/ui/widgets/SettingsRow.h"
#include "main/ui/widgets/SettingsToggle.h"
#include "platform/desktop/ScreenProvider.h"

namespace murmeli::settings {

namespace {

constexpr auto settingsWindowTitle = "Settings";

QWidget* buttonPair(QWidget* first, QWidget* second, int spacing)
{
    auto* pair = new QWidget;
    auto* layout = new QHBoxLayout(pair);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(spacing);
    layout->addWidget(first);
    layout->addWidget(second);
    return pair;
}

} // namespace

GeneralPage::GeneralPage(
    const SettingsEnvironment& environment, SettingsViewModel& vm, SettingsHost* host, QWidget* parent)
    : ui::SettingsPage(QStringLiteral("General"),
        QStringLiteral("Startup, PTT shortcuts, display, permissions, and system-level preferences."), parent),
      m_environment(environment), m_vm(vm), m_host(host)
{
    addStartupGroup();
    addPttGroup();
    addDisplayGroup();
    addPermissionsGroup();
    addLanguageGroup();
    addLogsGroup();
    addDangerZone();
}

void GeneralPage::addStartupGroup()
{
    m_launchAtLogin = new ui::SettingsToggle;
    m_launchAtLogin->setObjectName(QStringLiteral("launchAtLogin"));
    m_startupRow = new ui::SettingsRow(
        QStringLiteral("Launch at login"), QString::fromLatin1(startupHelp), m_launchAtLogin, true);
    addGroup(QStringLiteral("Startup"))->addRow(m_startupRow);
    showLaunchAtLogin();
    connect(m_launchAtLogin, &QAbstractButton::toggled, this, [this](bool on) { m_vm.setLaunchAtLogin(on); });
    connect(&m_vm, &SettingsViewModel::launchAtLoginChanged, this, &GeneralPage::showLaunchAtLogin);
}

void GeneralPage::showLaunchAtLogin()
{
    const QSignalBlocker quiet(m_launchAtLogin);
    m_launchAtLogin->setChecked(m_vm.launchAtLogin());
    const QString error = m_vm.launchAtLoginError();
    m_startupRow->setSub(error.isEmpty() ? QString::fromLatin1(startupHelp)
                                         : QString::fromLatin1(startupHelp) + QStringLiteral(" Not changed: ") + error);
}

void GeneralPage::addPttGroup()
{
    m_recorder = new HotkeyRecorder([this] { return m_vm.customPTTHotkey(); },
        [this](const PTTHotkey& hotkey) { m_vm.setCustomPTTHotkey(hotkey); });
    m_recorder->setObjectName(QStringLiteral("customHotkey"));
    if (SettingsHost* host = m_host) {
        m_recorder->onRecordingChanged = [host](bool recording) { host->setHotkeyRecording(recording); };
    }
    connect(&m_vm, &SettingsViewModel::customPTTHotkeyChanged, m_recorder, &HotkeyRecorder::refresh);
    QLabel* tip
        = ui::KitLabel::make(QStringLiteral("Tip: avoid combos owned by your desktop (Super, Alt+Tab, Ctrl+Alt+T, "
                                            "Print). If your hotkey doesn't trigger, pick another combo."),
            ui::Faces::instrumentSans(11, QFont::Normal), ui::Color::vantorTextMuted, nullptr);
    tip->setWordWrap(true);
    tip->setContentsMargins(4, 2, 4, 0);
    addGroup(QStringLiteral("PTT"), tip)
        ->addRow(new ui::SettingsRow(QStringLiteral("Custom hotkey"),
            QStringLiteral("Tap to toggle recording from any app (records from the microphone)."), m_recorder, true));
}

void GeneralPage::addDisplayGroup()
{
    m_displayPicker = new ui::MenuPicker(180, 240);
    m_displayPicker->setObjectName(QStringLiteral("displayPicker"));
    m_displayPicker->setEnabled(m_host != nullptr);
    m_displayRow = new ui::SettingsRow(QStringLiteral("Notch panel display"), QString(), m_displayPicker, true);
    addGroup(QStringLiteral("Display"))->addRow(m_displayRow);
    showDisplayChoice();
    connect(m_displayPicker, &QComboBox::activated, this, &GeneralPage::displayChosen);
}

void GeneralPage::showDisplayChoice()
{
    // The screens are counted each time the page is drawn; the page does not follow changes by itself.
    const QList<platform::ScreenInfo> screens = m_environment.screens.screens();
    const QList<DisplayOption> options = DisplayChoice::options(screens);
    const QSignalBlocker quiet(m_displayPicker);
    m_displayPicker->clear();
    for (int i = 0; i < options.size(); ++i) {
        m_displayPicker->addEntry(options.at(i).title, QString::number(i));
    }
    const int selected = DisplayChoice::selectedIndex(options, m_environment.defaults);
    m_displayPicker->setCurrentIndex(selected);
    m_displayRow->setSub(DisplayChoice::helpText(screens.size(), options.at(selected)));
}

void GeneralPage::displayChosen(int index)
{
    const QList<DisplayOption> options = DisplayChoice::options(m_environment.screens.screens());
    if (index < 0 || index >= options.size()) {
        return;
    }
    DisplayChoice::write(m_environment.defaults, options.at(index));
    // The panel chooses its screen again and re-centres.
    Q_EMIT m_environment.notifications.screenParametersChanged();
    showDisplayChoice();
}

void GeneralPage::addPermissionsGroup()
{
    SettingsHost* host = m_host;
    std::function<std::optional<InjectionSupport>()> probe;
    if (host != nullptr) {
        probe = [host] { return host->injectionSupport(); };
    }
    m_accessibility = new AccessibilityControl(std::move(probe));
    m_accessibility->setObjectName(QStringLiteral("accessibility"));
    m_accessibilityRow
        = new ui::SettingsRow(QStringLiteral("Accessibility"), m_accessibility->helpText(), m_accessibility, true);
    addGroup(QStringLiteral("Permissions"))->addRow(m_accessibilityRow);
    connect(m_accessibility, &AccessibilityControl::changed, this,
        [this] { m_accessibilityRow->setSub(m_accessibility->helpText()); });
    connect(&m_environment.notifications, &common::NotificationHub::axRevoked, m_accessibility,
        &AccessibilityControl::injectionRefused);
}

void GeneralPage::addLanguageGroup()
{
    auto* language = new ui::MenuPicker(140, 200);
    language->addEntry(QStringLiteral("English"), QStringLiteral("en"));
    language->setCurrentTag(QStringLiteral("en"));
    language->setEnabled(false);
    addGroup(QStringLiteral("Language"))
        ->addRow(new ui::SettingsRow(QStringLiteral("Display language"),
            QStringLiteral("Currently English (UI mixes EN/中文). i18n switching coming later — see ADR-0027."),
            language, true));
}

void GeneralPage::addLogsGroup()
{
    common::NotificationHub& hub = m_environment.notifications;
    auto* openLog = new ui::SecondaryButton(QStringLiteral("Open"), [&hub] { Q_EMIT hub.showActivityLog(); });
    openLog->setObjectName(QStringLiteral("openActivityLog"));
    const SettingsEnvironment environment = m_environment;
    auto* showLogs = new ui::SecondaryButton(QStringLiteral("Show Folder"), [environment] {
        environment.openUrl(QUrl::fromLocalFile(SettingsFiles::prepareLogDir(environment.homePath)));
    });
    showLogs->setObjectName(QStringLiteral("showLogFolder"));
    ui::SettingsGroupCard* card = addGroup(QStringLiteral("Logs"));
    card->addRow(new ui::SettingsRow(
        QStringLiteral("View Activity Log"), QStringLiteral("Open the in-app activity log window."), openLog, true));
    card->addRow(new ui::SettingsRow(QStringLiteral("PTT session logs"),
        QStringLiteral("Per-session metadata saved to ~/.murmeli/logs/."), showLogs));
}

void GeneralPage::addDangerZone()
{
    const SettingsEnvironment environment = m_environment;
    auto* open = new ui::SecondaryButton(QStringLiteral("Open"), [environment] {
        environment.openUrl(QUrl::fromLocalFile(SettingsFiles::prepareSettingsFile(environment.homePath)));
    });
    open->setObjectName(QStringLiteral("openSettingsFile"));
    auto* reset = new ui::DangerButton(QStringLiteral("Reset…"), [this] { confirmResetAll(); });
    reset->setObjectName(QStringLiteral("resetAll"));
    addGroup(QStringLiteral("Danger zone"))
        ->addRow(new ui::SettingsRow(QStringLiteral("settings.json"),
            QStringLiteral("Open ~/.murmeli/settings.json in your default editor, or reset all preferences to "
                           "defaults. API keys and auth tokens are preserved on Reset."),
            buttonPair(open, reset, 8), true));
}

void GeneralPage::confirmResetAll()
{
    if (m_resetQuestion != nullptr) {
        return;
    }
    // Asked without a nested event loop, so the main thread keeps serving the agents while it is up.
    m_resetQuestion = new QMessageBox(QMessageBox::Warning, QStringLiteral("Reset all settings?"),
        QStringLiteral("Reset all settings?"), QMessageBox::NoButton, window());
    m_resetQuestion->setPalette(window()->palette());
    m_resetQuestion->setInformativeText(QStringLiteral("All preferences will be restored to defaults. API keys and "
                                                       "auth tokens are preserved. This cannot be undone."));
    QPushButton* resetButton = m_resetQuestion->addButton(QStringLiteral("Reset"), QMessageBox::AcceptRole);
    // Return keeps everything: the destructive answer is never the one a stray key press gives.
    m_resetQuestion->setDefaultButton(m_resetQuestion->addButton(QStringLiteral("Cancel"), QMessageBox::RejectRole));
    m_resetQuestion->setAttribute(Qt::WA_DeleteOnClose);
    connect(m_resetQuestion, &QMessageBox::finished, this, [this, resetButton] {
        const bool confirmed = m_resetQuestion->clickedButton() == static_cast<QAbstractButton*>(resetButton);
        m_resetQuestion = nullptr;
        if (!confirmed) {
            return;
        }
        m_vm.resetAllSettings();
        showDisplayChoice();
        Q_EMIT m_environment.notifications.screenParametersChanged();
        if (QWidget* settingsWindow = window(); settingsWindow->windowTitle() == QLatin1String(settingsWindowTitle)) {
            settingsWindow->close();
        }
    });
    m_resetQuestion->open();
}

} // namespace murmeli::settings
