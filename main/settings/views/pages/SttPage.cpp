#include "main/settings/views/pages/SttPage.h"

#include <QHBoxLayout>
#include <QLabel>

#include "main/ui/design/Tokens.h"
#include "main/common/NotificationHub.h"
#include "main/ui/design/Faces.h"
#include "main/settings/SettingsViewModel.h"
#include "main/settings/SttStatus.h"
#include "main/settings/views/SettingsHost.h"
#include "main/settings/views/pages/HotwordsEditorSheet.h"
#include "main/settings/views/pages/ProxyDialog.h"
#include "main/ui/widgets/KitButton.h"
#include "main/ui/widgets/KitLabel.h"
#include "main/ui/widgets/SegmentedPicker.h"
#include "main/ui/widgets/SettingsGroupCard.h"
#include "main/ui/widgets/SettingsRow.h"
#include "main/ui/widgets/SettingsToggle.h"
#include "main/voice/engine/SpeechEngine.h"
#include "main/voice/enhance/SpeechEnhancerConfig.h"
#include "main/voice/preferences/ProxySetting.h"
#include "platform/defaults/Defaults.h"

namespace murmeli::settings {

namespace {

const QString cloudId = QString::fromLatin1(SttStatus::cloudBackendId);
const QString onDeviceId = QString::fromLatin1(SttStatus::onDeviceBackendId);

QCoro::Task<> testProxy(SettingsHost* host)
{
    // The host lives as long as the application; the page may be gone when the answer comes.
    const std::optional<QString> failure = co_await host->testWebSocketConnection();
    if (!failure) {
        host->log(QStringLiteral("WS Proxy test ok ✓"), common::LogColor::Green);
    } else {
        host->log(
            QStringLiteral("WS Proxy test failed: ") + *failure + QStringLiteral(" — proxy kept (toggle Off to clear)"),
            common::LogColor::Red);
    }
}

} // namespace

SttPage::SttPage(const SettingsEnvironment& environment, SettingsViewModel& vm, SettingsHost* host, QWidget* parent)
    : ui::SettingsPage(QStringLiteral("STT"),
        QStringLiteral("Recognition backend, dictionary, AI enhancement, and Enter-key behavior. Takes effect on "
                       "the next PTT session."),
        parent),
      m_environment(environment), m_vm(vm), m_host(host)
{
    loadFromEngine();
    addEngineGroup();
    addEnhancementGroup();
    addBehaviorGroup();
    addDictionaryGroup();

    common::NotificationHub& hub = m_environment.notifications;
    connect(&hub, &common::NotificationHub::wsStateChanged, this, [this](const QString& state) {
        m_wsStateRaw = state;
        showEngine();
    });
    connect(&hub, &common::NotificationHub::wsProxyChanged, this, [this] {
        m_proxyOn = m_host != nullptr && m_host->speech().sockets().hasProxy();
        showEngine();
    });
}

ProxyDialog* SttPage::proxyDialog() const
{
    return m_proxyDialog;
}

HotwordsEditorSheet* SttPage::hotwordsSheet() const
{
    return m_hotwordsSheet;
}

void SttPage::loadFromEngine()
{
    if (m_host == nullptr) {
        m_backendId = onDeviceId;
        return;
    }
    voice::SpeechEngine& speech = m_host->speech();
    const QString active = speech.activeBackendId();
    m_backendId = active == cloudId || active == onDeviceId ? active : onDeviceId;
    // With the cloud chosen, takes stream: the page has no control for this and turns it on whenever it is off.
    if (!speech.preferStreaming()) {
        speech.setPreferStreaming(true);
    }
    m_customHotwords = speech.customHotwords();
    m_wsStateRaw = m_host->streamingStateRaw();
    m_proxyOn = speech.sockets().hasProxy();
}

void SttPage::addEngineGroup()
{
    m_cloudSwitch = new ui::SettingsToggle;
    m_cloudSwitch->setObjectName(QStringLiteral("cloudBackend"));
    m_cloudSwitch->setEnabled(m_host != nullptr);
    m_cloudRow = new ui::SettingsRow(QStringLiteral("murmeli Cloud"), QString(), m_cloudSwitch, true);
    m_engineCard = addGroup(QStringLiteral("Engine"));
    m_engineCard->addRow(m_cloudRow);
    connect(m_cloudSwitch, &QAbstractButton::toggled, this, &SttPage::backendSwitched);
    showEngine();
}

bool SttPage::cloudNotSignedIn() const
{
    if (m_host == nullptr) {
        return true;
    }
    if (!m_host->speech().cloudToken().isEmpty()) {
        return false;
    }
    return !m_host->hasStoredCloudSession();
}

void SttPage::showEngine()
{
    const bool cloud = m_backendId == cloudId;
    const bool notSignedIn = cloudNotSignedIn();
    {
        const QSignalBlocker quiet(m_cloudSwitch);
        m_cloudSwitch->setChecked(cloud);
    }
    m_cloudRow->setSub(SttStatus::cloudStatusLine(
        m_backendId, notSignedIn, m_host != nullptr ? m_host->cloudMinutesLeft() : -1, m_wsStateRaw));

    delete m_secondRow;
    m_secondRow = nullptr;
    m_proxySwitch = nullptr;
    if (!cloud) {
        return;
    }
    if (notSignedIn) {
        auto* buttons = new QWidget;
        auto* layout = new QHBoxLayout(buttons);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->setSpacing(8);
        for (const QString& title : { QStringLiteral("Sign in"), QStringLiteral("Sign up") }) {
            auto* button = new ui::SecondaryButton(title, [this] { m_vm.setSelectedSection(SettingsSection::Account); });
            button->setObjectName(
                title == QLatin1String("Sign in") ? QStringLiteral("signIn") : QStringLiteral("signUp"));
            layout->addWidget(button);
        }
        m_secondRow = new ui::SettingsRow(
            QStringLiteral("Sign in"), QStringLiteral("Sign in or sign up to use cloud STT."), buttons);
    } else {
        m_proxySwitch = new ui::SettingsToggle;
        m_proxySwitch->setObjectName(QStringLiteral("wsProxy"));
        m_proxySwitch->setChecked(m_proxyOn);
        m_proxySwitch->setEnabled(m_host != nullptr);
        const voice::SpeechEngine& speech = m_host->speech();
        m_secondRow = new ui::SettingsRow(QStringLiteral("WS Proxy"),
            SttStatus::proxyHelpLine(speech.wsProxyHost(), speech.wsProxyPort()), m_proxySwitch);
        connect(m_proxySwitch, &QAbstractButton::toggled, this, &SttPage::proxySwitched);
    }
    m_engineCard->addRow(m_secondRow);
}

void SttPage::backendSwitched(bool cloud)
{
    if (m_host == nullptr) {
        return;
    }
    const QString previous = m_backendId;
    m_backendId = cloud ? cloudId : onDeviceId;
    m_host->speech().setActiveBackendId(m_backendId);
    if (previous == cloudId && !cloud) {
        m_host->closeStreamingSession();
        m_wsStateRaw.clear();
    } else if (previous != cloudId && cloud) {
        m_host->openStreamingSessionIfEligible();
    }
    // Rebuilt once this change has been handled: the switch that sent it must not go from under its own signal.
    QMetaObject::invokeMethod(this, &SttPage::showEngine, Qt::QueuedConnection);
}

void SttPage::proxySwitched(bool on)
{
    m_proxyOn = on;
    if (m_host == nullptr) {
        return;
    }
    if (on) {
        askForProxy();
        return;
    }
    m_host->setWebSocketProxy(QString(), 0);
    m_host->log(QStringLiteral("WS Proxy disabled — reconnecting direct"), common::LogColor::Grey);
    QMetaObject::invokeMethod(this, &SttPage::showEngine, Qt::QueuedConnection);
}

void SttPage::askForProxy()
{
    const voice::SpeechEngine& speech = m_host->speech();
    m_proxyDialog = new ProxyDialog(
        speech.wsProxyHost(), speech.wsProxyPort(),
        [this](const QString& host, qint64 port) { return saveProxy(host, port); }, window());
    m_proxyDialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(m_proxyDialog, &QDialog::rejected, this, [this] { setProxySwitch(false); });
    connect(m_proxyDialog, &QDialog::accepted, this,
        [this] { QMetaObject::invokeMethod(this, &SttPage::showEngine, Qt::QueuedConnection); });
    m_proxyDialog->open();
}

std::optional<QString> SttPage::saveProxy(const QString& host, qint64 port)
{
    if (std::optional<QString> refused = voice::ProxySetting::validate(host, port); refused || host.isEmpty()) {
        return refused.value_or(QStringLiteral("Enter the proxy's host name or address."));
    }
    if (std::optional<QString> refused = m_host->setWebSocketProxy(host, static_cast<int>(port))) {
        return refused;
    }
    m_host->log(QStringLiteral("WS Proxy saved: %1:%2").arg(host).arg(port), common::LogColor::Green);
    [[maybe_unused]] const QCoro::Task<> testing = testProxy(m_host);
    return std::nullopt;
}

void SttPage::setProxySwitch(bool on)
{
    m_proxyOn = on;
    if (m_proxySwitch != nullptr) {
        const QSignalBlocker quiet(m_proxySwitch);
        m_proxySwitch->setChecked(on);
    }
}

void SttPage::addEnhancementGroup()
{
    m_aiSwitch = new ui::SettingsToggle;
    m_aiSwitch->setObjectName(QStringLiteral("aiOptimization"));
    m_aiSwitch->setChecked(voice::SpeechEnhancerConfig::isAIOptimizationEnabled(m_environment.defaults));
    // Only a change by the user is written; showing the page writes nothing.
    platform::Defaults& defaults = m_environment.defaults;
    connect(m_aiSwitch, &QAbstractButton::toggled, this, [&defaults](bool on) {
        defaults.setValue(QString::fromLatin1(voice::SpeechEnhancerConfig::aiOptimizationKey), on);
    });
    addGroup(QStringLiteral("AI Enhancement"))
        ->addRow(new ui::SettingsRow(QStringLiteral("AI 优化"),
            QStringLiteral("启用后,语音转写后会通过 AI 进一步清洗、纠错、结构化(仅 Cloud 用户,需 ≥3s 录音)。AI "
                           "优化使用阿里云 Qwen-Turbo,转写文本会上传至 murmeli-cloud 处理,不持久化。"),
            m_aiSwitch, true));
}

void SttPage::addBehaviorGroup()
{
    QWidget* control = nullptr;
    if (m_host != nullptr) {
        m_enterMode = new ui::SegmentedPicker({ { QStringLiteral("Always"), QStringLiteral("always") },
                                              { QStringLiteral("Never"), QStringLiteral("never") },
                                              { QStringLiteral("Auto ≤3s"), QStringLiteral("auto") } },
            260);
        m_enterMode->setObjectName(QStringLiteral("enterMode"));
        m_enterMode->setCurrentTag(voice::toString(m_host->speech().enterMode()));
        connect(m_enterMode, &ui::SegmentedPicker::currentTagChanged, this, [this](const QString& tag) {
            if (const std::optional<voice::EnterMode> mode = voice::enterModeFromString(tag)) {
                m_host->speech().setEnterMode(*mode);
            }
        });
        control = m_enterMode;
    } else {
        control = ui::KitLabel::make(QStringLiteral("Unavailable"), ui::Faces::instrumentSans(12, QFont::Normal),
            ui::Color::vantorTextMuted, nullptr);
    }
    addGroup(QStringLiteral("Behavior"))
        ->addRow(new ui::SettingsRow(QStringLiteral("Enter mode"),
            QStringLiteral("Whether to press Enter after inserting STT text."), control, true));
}

void SttPage::addDictionaryGroup()
{
    auto* open = new ui::SecondaryButton(QStringLiteral("Open editor…"), [this] { openHotwords(); });
    open->setObjectName(QStringLiteral("openHotwords"));
    m_hotwordsRow = new ui::SettingsRow(QStringLiteral("Custom hotwords"),
        SttStatus::hotwordsHelpLine(m_host != nullptr, m_customHotwords.size()), open, true);
    addGroup(QStringLiteral("Dictionary (beta)"))->addRow(m_hotwordsRow);
}

void SttPage::openHotwords()
{
    m_customHotwords = m_host != nullptr ? m_host->speech().customHotwords() : QStringList();
    if (m_hotwordsSheet) {
        return;
    }
    m_hotwordsSheet = new HotwordsEditorSheet(
        m_customHotwords,
        [this] {
            if (m_hotwordsSheet) {
                m_hotwordsSheet->close();
            }
        },
        window());
    m_hotwordsSheet->setAttribute(Qt::WA_DeleteOnClose);
    m_hotwordsSheet->open();
}

} // namespace murmeli::settings
