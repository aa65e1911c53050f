#include "main/app/ptt/DesktopDictation.h"

#include <utility>

#include "main/common/NotificationHub.h"
#include "main/notch/model/PanelViewModel.h"
#include "main/settings/onboarding/PermissionProbe.h"
#include "platform/defaults/Defaults.h"

namespace murmeli::app {

using common::LogColor;

DesktopDictation::DesktopDictation(Links links)
    : m_links(std::move(links)), m_desktopVoice(m_links.desktop(), m_links.clock),
      m_road(PushToTalkRoad::Links {
          m_links.speech,
          m_links.vm,
          *m_desktopVoice.desktop().hotkeys,
          m_desktopVoice.injector(),
          [this] { return m_desktopVoice.detectMode(); },
          m_links.defaults,
          m_links.clock,
          m_links.nextContext,
          m_links.device,
          m_links.logDirectory,
      })
{
    const common::LogSink toLog = [this](const QString& message, LogColor color) { onLog(message, color); };
    m_road.onLog = toLog;
    m_road.fnDoubleTap().enabled = [this] { return fnDoubleTapEnabled(); };
    platform::GlobalHotkeys& hotkeys = *m_desktopVoice.desktop().hotkeys;
    hotkeys.onPressed = [this](platform::HotkeyId id) { m_road.handleHotkey(id, true); };
    hotkeys.onReleased = [this](platform::HotkeyId id) { m_road.handleHotkey(id, false); };

    voice::InputInjector& input = m_desktopVoice.input();
    input.onLog = toLog;
    input.onAXRevoked = [this](const QString& operation) {
        onLog(m_desktopVoice.input().blockedLine(operation), LogColor::Red);
        Q_EMIT m_links.notifications.axRevoked(operation);
    };
    voice::SystemVoiceTextInjector& injector = m_desktopVoice.injector();
    injector.onLog = toLog;
    // The notice is the panel's clipboard hint, which goes away by itself; one that says the copy failed keeps its
    // title, or the words would read as copied.
    injector.onNotify = [this](const QString& title, const QString& body) {
        const bool copied = title == QString::fromUtf8(voice::SystemVoiceTextInjector::noticeTitle);
        m_links.vm.setModeBHintText(copied ? body : title + QStringLiteral(": ") + body);
    };
    injector.onAXRevoked = [this](const QString& source) { Q_EMIT m_links.notifications.axRevoked(source); };
    injector.onModeAStarted = [this](const std::optional<platform::WindowInfo>& window) {
        pasteIntoProgramStarted(window ? window->pid : std::nullopt);
    };
}

DesktopDictation::~DesktopDictation()
{
    if (const auto timer = std::exchange(m_visualLinkTimer, std::nullopt)) {
        m_links.clock.cancel(*timer);
    }
}


void DesktopDictation::start()
{
    notch::PanelViewModel& vm = m_links.vm;
    vm.onPTT = [this] { m_road.toggle(PushToTalkRoad::Trigger::Panel); };
    vm.onEscRequest = [this] { m_road.cancelFromEsc(); };
    vm.onGrantAccessibility = [this] { requestAccessibility(); };
    vm.setAccessibilityNeedGrant(!m_desktopVoice.health().isTrusted());
    m_road.start();
}

void DesktopDictation::pasteIntoProgramStarted(std::optional<qint64> pid)
{
    // The program is brought to the front for the paste first; the link is drawn once its window is there.
    if (const auto timer = std::exchange(m_visualLinkTimer, std::nullopt)) {
        m_links.clock.cancel(*timer);
    }
    m_visualLinkTimer = m_links.clock.schedule(visualLinkDelayMs, [this, pid] {
        m_visualLinkTimer.reset();
        if (onVisualLink) {
            onVisualLink(pid);
        }
    });
}

bool DesktopDictation::fnDoubleTapEnabled() const
{
    return m_links.defaults.boolValue(QLatin1String(fnDoubleTapEnabledKey)).value_or(true);
}

void DesktopDictation::setFnDoubleTapEnabled(bool enabled)
{
    m_links.defaults.setValue(QLatin1String(fnDoubleTapEnabledKey), enabled);
}

void DesktopDictation::requestAccessibility()
{
    m_links.defaults.setValue(QLatin1String(settings::PermissionProbe::axEverPromptedKey), true);
    // Nothing to grant on this desktop: keys reach the other programs, or they cannot, for a reason the user can
    // only change outside murmeli (a Wayland session, an X server without XTEST).
    const bool trusted = m_desktopVoice.health().isTrusted();
    m_links.vm.setAccessibilityNeedGrant(!trusted);
    if (!trusted) {
        onLog(QStringLiteral("Pasting into other programs is not possible here (")
                + m_desktopVoice.health().selfDescribe() + QStringLiteral("); dictated text stays on the clipboard."),
            LogColor::Orange);
    }
}

} // namespace murmeli::app
