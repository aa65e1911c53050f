#pragma once

#include <algorithm>
#include <deque>
#include <optional>
#include <utility>

#include <QtGlobal>

namespace murmeli::notch {

/// When a window's frames reached the screen. Frames are numbered as they are drawn; a frame is on the screen once the
/// display has it (and, under a compositing manager, has drawn it), which the window learns after it handed the frame
/// over. A frame that shows is shown with every frame drawn before it.
class FrameTimes final {
public:
    /// How many showings are kept: a press is handled long before that many frames went by.
    static constexpr std::size_t kept = 256;

    /// A frame is being drawn; returns its number.
    quint64 beginFrame() { return ++m_drawn; }
    /// The number of the frame drawn last (or being drawn); 0 before any.
    quint64 drawn() const { return m_drawn; }
    /// Every frame up to frame was on the screen at ms.
    void shown(quint64 frame, qint64 ms)
    {
        if (!m_shown.empty() && frame <= m_shown.back().first) {
            return;
        }
        m_shown.emplace_back(frame, ms);
        if (m_shown.size() > kept) {
            m_shown.pop_front();
        }
    }
    /// When frame reached the screen; none while it has not. One shown before the oldest showing kept was on the
    /// screen by then.
    std::optional<qint64> shownAtMs(quint64 frame) const
    {
        const auto it = std::lower_bound(m_shown.begin(), m_shown.end(), frame,
            [](const std::pair<quint64, qint64>& showing, quint64 f) { return showing.first < f; });
        return it == m_shown.end() ? std::nullopt : std::optional(it->second);
    }

private:
    quint64 m_drawn = 0;
    std::deque<std::pair<quint64, qint64>> m_shown;
};

} // namespace murmeli::notch
