#pragma once

#include <QCoroTask>

#include "main/common/Clock.h"
#include "main/voice/focus/FocusModeDetector.h"
#include "main/voice/focus/VoiceMode.h"
#include "main/voice/injection/AXHealth.h"
#include "main/voice/injection/InputInjector.h"
#include "main/voice/injection/SystemVoiceTextInjector.h"
#include "platform/desktop/DesktopServicesFactory.h"

namespace murmeli::voice {

/// What the voice flow does to the desktop, built once over its facilities: whether keys can be sent here, the paste
/// keystroke, the paste with its clipboard restore, and where a starting take's text will go. Main thread only.
class DesktopVoice final {
public:
    /// Every facility of desktop must be set; clock must outlive this object.
    DesktopVoice(platform::DesktopServices desktop, common::Clock& clock);
    DesktopVoice(const DesktopVoice&) = delete;
    DesktopVoice& operator=(const DesktopVoice&) = delete;

    const platform::DesktopServices& desktop() const { return m_desktop; }
    const voice::AXHealth& health() const { return m_health; }
    voice::InputInjector& input() { return m_input; }
    voice::SystemVoiceTextInjector& injector() { return m_injector; }
    /// Where the text of a take starting now goes.
    QCoro::Task<voice::VoiceMode> detectMode() const { return m_detector.detectMode(); }

private:
    platform::DesktopServices m_desktop;
    voice::AXHealth m_health;
    voice::InputInjector m_input;
    voice::SystemVoiceTextInjector m_injector;
    voice::FocusModeDetector m_detector;
};

} // namespace murmeli::voice
