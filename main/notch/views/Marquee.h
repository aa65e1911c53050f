#pragma once

#include <functional>
#include <memory>
#include <optional>

#include <QImage>

#include "main/common/Clock.h"
#include "main/notch/kit/Animation.h"
#include "main/notch/kit/View.h"
#include "main/notch/kit/ViewEnvironment.h"

namespace murmeli::notch {

/// What a marquee is asked to do.
struct MarqueeSpec {
    /// Width of the visible window.
    qreal maxWidth = 180;
    /// Seconds per pass when no number of passes is given.
    double duration = 14;
    /// Passes to run; absent: scroll for ever, and only when the content overflows.
    std::optional<int> loops;
    /// Called once after the last pass when loops is given.
    std::function<void()> onFinish;
};

/// A one-line ticker: its content, when wider than the window or when a number of passes is asked for, scrolls
/// right to left as a band of two copies with soft edges; otherwise it stands still, trailing-aligned. Passes run
/// at 50 points a second; an endless marquee takes `duration` per pass. A width change of more than half a point
/// starts the motion again from the start and drops a pending finish.
///
/// With reduced motion it never scrolls, but a marquee with a number of passes still reports its finish after the
/// time those passes would have taken: its owner (the summary strip) waits on that report to end.
class Marquee final : public View {
public:
    static constexpr qreal minimumGap = 44;
    static constexpr qreal ignoredWidthChange = 0.5;
    static constexpr qreal overflowSlack = 1;

    Marquee(const ViewEnvironment& environment, MarqueeSpec spec, std::unique_ptr<View> content);
    ~Marquee() override;

    /// New inputs from the parent: the content is measured again and the motion restarts only when its width moved
    /// by more than half a point (or the scrolling form comes on screen); other changes keep the running motion.
    void update(MarqueeSpec spec, std::unique_ptr<View> content);

    bool isScrolling() const;
    qreal contentWidth() const { return m_contentWidth; }
    /// The space between the two copies of the band, as of the last restart.
    qreal gap() const { return m_gap; }
    /// How far the band moves in one pass, as of the last restart.
    qreal distance() const { return m_gap + m_contentWidth; }
    /// Seconds one pass takes, as of the last restart.
    double passSeconds() const { return m_passSeconds; }
    /// The band's shift at nowMs: 0 or negative.
    qreal offsetAt(qint64 nowMs) const { return m_offset.valueAt(nowMs); }
    bool finishPending() const { return m_finishTimer.has_value(); }

    QSizeF idealSize() const override;
    void paint(QPainter& painter, const QRectF& frame, qint64 nowMs) override;
    bool isAnimating(qint64 nowMs) const override;

private:
    void restartIfNeeded();
    void cancelFinish();
    void paintBand(QPainter& painter, const QRectF& box, qint64 nowMs);

    const ViewEnvironment& m_environment;
    const bool m_reduceMotion;
    MarqueeSpec m_spec;
    std::unique_ptr<View> m_content;
    qreal m_contentWidth = 0;
    qreal m_gap = 0;
    double m_passSeconds = 0;
    Animation m_offset = Animation::still(0);
    std::optional<common::Clock::TimerId> m_finishTimer;
    // The band is drawn here, then masked; kept between frames so a scrolling frame allocates nothing.
    QImage m_layer;
};

} // namespace murmeli::notch
