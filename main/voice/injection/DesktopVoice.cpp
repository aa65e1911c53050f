#include "main/voice/injection/DesktopVoice.h"

namespace murmeli::voice {

DesktopVoice::DesktopVoice(platform::DesktopServices desktop, common::Clock& clock)
    : m_desktop(std::move(desktop)), m_health(*m_desktop.windows), m_input(m_health, *m_desktop.keys),
      m_injector(m_health, m_input, *m_desktop.clipboard, *m_desktop.windows, clock),
      m_detector([this] { return m_health.isTrusted(); }, voice::TerminalSessionProbe::of(*m_desktop.windows),
          voice::FocusModeDetector::readerOf(*m_desktop.focus))
{
}

} // namespace murmeli::voice
