#pragma once

#include <QPointF>
#include <QRectF>
#include <QSizeF>
#include <QString>

class QPainter;

namespace murmeli::notch {

/// Where the pointer is in a press: going down, moving while down or hovering, coming up.
enum class PointerPhase { Down, Move, Up };

/// A piece of the panel drawn with QPainter. A view keeps only its view-local state (animation starts, flags);
/// what it shows comes from its parent, which makes it when it comes on screen and drops it when it leaves.
class View {
public:
    View() = default;
    virtual ~View() = default;
    View(const View&) = delete;
    View& operator=(const View&) = delete;

    /// The size the view takes when nothing constrains it.
    virtual QSizeF idealSize() const = 0;
    /// Draws the view into frame (placed by the parent) as it looks at nowMs on the clock's monotonic scale.
    virtual void paint(QPainter& painter, const QRectF& frame, qint64 nowMs) = 0;
    /// Whether the picture still changes after nowMs; the host runs its frame timer while the root says so.
    virtual bool isAnimating(qint64 nowMs) const { return false; }
    /// A pointer event at pos in the coordinates of the last frame drawn; true when the view took it.
    virtual bool pointer(PointerPhase phase, QPointF pos) { return false; }
    /// The pointer left the window; true when the view changed for it.
    virtual bool pointerLeft() { return false; }
    /// The tooltip of what lies at pos; empty for none.
    virtual QString toolTipAt(QPointF pos) const { return {}; }
    /// A scroll at pos of dy points (positive: the content moves down); true when the view took it.
    virtual bool wheel(QPointF pos, qreal dy) { return false; }
};

} // namespace murmeli::notch
