#pragma once

#include <functional>
#include <optional>

#include <QString>

#include "main/notch/kit/KeyedChildren.h"
#include "main/notch/kit/View.h"
#include "main/notch/kit/ViewEnvironment.h"

namespace murmeli::notch {
class PanelViewModel;
}

namespace murmeli::notch {

class NotchExpansionState;
class SessionListSurfaceView;

/// What the content area is built over.
struct ContentAreaLinks {
    notch::PanelViewModel& vm;
    NotchExpansionState& expansionState;
    /// The tallest the content may be; unset: no limit.
    std::function<qreal()> maxHeight;
    /// The root view's collapse; kept for the owner, no surface calls it.
    std::function<void()> onDismiss;
};

/// What the expanded panel shows under its strip: the session list, which starts afresh whenever it comes back.
class ContentAreaView final : public View {
public:
    ContentAreaView(const ViewEnvironment& environment, ContentAreaLinks links);
    ~ContentAreaView() override;

    void refresh();
    SessionListSurfaceView* sessionList() const;
    /// The session list's measured height (its padded stack) as of the last frame.
    std::optional<qreal> measuredHeight() const;

    QSizeF idealSize() const override { return {}; }
    void paint(QPainter& painter, const QRectF& frame, qint64 nowMs) override;
    bool isAnimating(qint64 nowMs) const override { return m_surface.isAnimating(nowMs); }
    bool pointer(PointerPhase phase, QPointF pos) override;
    bool pointerLeft() override;
    bool wheel(QPointF pos, qreal dy) override;
    QString toolTipAt(QPointF pos) const override;

private:
    View* current() const;

    const ViewEnvironment& m_environment;
    ContentAreaLinks m_links;
    KeyedChildren<QString> m_surface;
};

} // namespace murmeli::notch
