#pragma once

#include <array>
#include <memory>
#include <optional>

#include "main/common/Clock.h"
#include "main/notch/kit/TextView.h"
#include "main/notch/kit/ViewEnvironment.h"

namespace murmeli::notch {

/// "Working" and its cycling dots: none, one, two, three and again, one step every 0.5 s on the environment's clock
/// while the label is on screen. The dots sit in a fixed 14-wide slot so that the label keeps its width. With
/// reduced motion the slot stays empty and no timer runs.
class WorkingLabel final : public View {
public:
    static constexpr qint64 tickMs = 500;
    static constexpr qreal dotsSlotWidth = 14;

    explicit WorkingLabel(const ViewEnvironment& environment);
    ~WorkingLabel() override;

    int dotCount() const { return m_dotCount; }
    /// The dots as drawn now: "", ".", ".." or "...".
    QString dots() const;

    QSizeF idealSize() const override;
    void paint(QPainter& painter, const QRectF& frame, qint64 nowMs) override;

private:
    void scheduleTick();

    const ViewEnvironment& m_environment;
    bool m_reduceMotion = false;
    int m_dotCount = 0;
    TextView m_word;
    // "", ".", ".." and "...", made once.
    std::array<std::unique_ptr<TextView>, 4> m_dotViews;
    std::optional<common::Clock::TimerId> m_timer;
};

} // namespace murmeli::notch
