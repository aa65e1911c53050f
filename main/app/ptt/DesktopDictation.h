#pragma once

#include <functional>
#include <optional>

#include <QString>

#include "main/app/ptt/PushToTalkRoad.h"
#include "main/common/Clock.h"
#include "main/common/Log.h"
#include "main/voice/context/STTContext.h"
#include "main/voice/injection/DesktopVoice.h"
#include "platform/desktop/DesktopServicesFactory.h"

namespace murmeli::common {
class NotificationHub;
}

namespace murmeli::notch {
class PanelViewModel;
}

namespace murmeli::platform {
class Defaults;
}

namespace murmeli::voice {
class SpeechEngine;
}

namespace murmeli::app {

/// Dictation on this desktop: the desktop's keys, windows, clipboard and focused element (voice::DesktopVoice) and
/// the push-to-talk road over them. Hands the grabbed keys and the panel's voice actions to the road, the paste's
/// notices to the panel and the notifications, draws the link to the program pasted into, and tells the panel and the
/// log when keys cannot be sent to other programs. Main thread only.
class DesktopDictation final {
public:
    /// User-defaults key of the Fn double tap's switch.
    static constexpr auto fnDoubleTapEnabledKey = "ptt.fnDoubleTapEnabled";
    static constexpr qint64 visualLinkDelayMs = 100;

    /// What dictation works with; everything must outlive it.
    struct Links final {
        voice::SpeechEngine& speech;
        notch::PanelViewModel& vm;
        common::NotificationHub& notifications;
        platform::Defaults& defaults;
        common::Clock& clock;
        /// The desktop's keys, windows, clipboard and focused element, made once.
        std::function<platform::DesktopServices()> desktop;
        // Handed on to the road: what it asks before each take (the recognition context), the device's microphone
        // and the push-to-talk log's folder (the default one when empty).
        std::function<voice::STTContext()> nextContext;
        PushToTalkRoad::DeviceMicrophone device;
        QString logDirectory;
    };

    explicit DesktopDictation(Links links);
    ~DesktopDictation();
    DesktopDictation(const DesktopDictation&) = delete;
    DesktopDictation& operator=(const DesktopDictation&) = delete;

    common::LogSink onLog;
    /// Draws the link from the notch to the window of the program with this process.
    std::function<void(std::optional<qint64> pid)> onVisualLink;

    /// Start-up: the panel's voice actions act, the panel learns whether keys reach other programs, and the road takes
    /// its keys.
    void start();
    /// Dictated text is being pasted into the program with this process (absent when none runs); 0.1 s later the
    /// panel draws its link to that program's window through onVisualLink.
    void pasteIntoProgramStarted(std::optional<qint64> pid);
    /// Whether a double tap of Fn starts and ends a take; on unless switched off. No X11 keyboard reports Fn.
    bool fnDoubleTapEnabled() const;
    void setFnDoubleTapEnabled(bool enabled);

    voice::DesktopVoice& desktopVoice() { return m_desktopVoice; }
    PushToTalkRoad& road() { return m_road; }

private:
    /// Notes that the user was asked, checks whether keys can be sent to other programs here, and tells the panel
    /// and the log when they cannot.
    void requestAccessibility();

    Links m_links;
    // The road grabs keys on the desktop: it goes first.
    voice::DesktopVoice m_desktopVoice;
    PushToTalkRoad m_road;
    std::optional<common::Clock::TimerId> m_visualLinkTimer;
};

} // namespace murmeli::app
