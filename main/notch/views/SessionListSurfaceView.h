#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include <QRectF>
#include <QString>

#include "main/notch/kit/KeyedChildren.h"
#include "main/notch/kit/View.h"
#include "main/notch/kit/ViewEnvironment.h"

namespace murmeli::notch {
class PanelViewModel;
}

namespace murmeli::notch {

class SessionListRow;
class UsageHeader;

/// The expanded panel's session list: the usage header when the usage tool reported anything, then either "no
/// active session" or one row per session in the controller's order, in a view that scrolls beyond 1000 points or
/// beyond what the screen leaves. It measures its rows and its whole height; the root sizes the panel from the
/// latter, which the view model keeps. The list keeps the controller's order: the row of the request on show is
/// scrolled into view instead, when the list comes with it and whenever another request takes its place, and kept
/// there until the wheel scrolls the list by hand.
class SessionListSurfaceView final : public View {
public:
    static constexpr qreal paddingX = 14;
    static constexpr qreal paddingTop = 4;
    static constexpr qreal paddingBottom = 12;
    static constexpr qreal spacing = 8;
    static constexpr qreal rowSpacing = 6;
    static constexpr qreal emptyPadding = 12;

    /// maxHeight: the tallest the whole surface may be; unset: no limit but the scroll view's own.
    SessionListSurfaceView(
        const ViewEnvironment& environment, notch::PanelViewModel& vm, std::function<qreal()> maxHeight = {});
    ~SessionListSurfaceView() override;

    /// The scroll view's height: the rows' height, at least one row and at most maxScrollViewHeight, and at most
    /// cap when there is one.
    static qreal scrollViewHeight(qreal listContentHeight, std::optional<qreal> cap);

    /// Reads the view model again: the header's providers and a row per session.
    void refresh();

    int selectedUsageTabIndex() const { return m_selectedUsageTab; }
    qreal listContentHeight() const { return m_listContentHeight; }
    qreal scrollOffset() const { return m_scrollOffset; }
    /// The visible part of the list in the last frame.
    QRectF viewport() const { return m_viewport; }
    /// The padded stack's height as of the last frame; absent before the first.
    std::optional<qreal> measuredHeight() const { return m_measured; }
    bool showsEmptyState() const;
    UsageHeader* usageHeader() const { return m_header.get(); }
    SessionListRow* row(const QString& sid) const;
    /// Where the last frame drew the row, in the host's coordinates (scrolled); empty when it is not on the list.
    QRectF rowFrame(const QString& sid) const;

    QSizeF idealSize() const override { return {}; }
    void paint(QPainter& painter, const QRectF& frame, qint64 nowMs) override;
    bool isAnimating(qint64 nowMs) const override;
    bool pointer(PointerPhase phase, QPointF pos) override;
    bool pointerLeft() override;
    bool wheel(QPointF pos, qreal dy) override;
    QString toolTipAt(QPointF pos) const override;

private:
    void syncHeader();
    void setExpanded(const QString& sid, bool expanded);
    /// Scrolls the least that brings the row answering the request on show into a view of that height.
    void keepRequestInView(const std::vector<qreal>& heights, qreal viewHeight);

    const ViewEnvironment& m_environment;
    notch::PanelViewModel& m_vm;
    std::function<qreal()> m_maxHeight;
    int m_selectedUsageTab = 0;
    qreal m_listContentHeight = 0;
    qreal m_scrollOffset = 0;
    /// The tool-use id of the request on show when the list last looked; empty for none.
    QString m_requestOnShow;
    /// Whether its row is still to be kept in view: the wheel has not scrolled the list since it came.
    bool m_keepingRequestInView = false;
    std::optional<qreal> m_measured;
    QRectF m_viewport;
    std::unique_ptr<UsageHeader> m_header;
    KeyedChildren<QString> m_rows;
};

} // namespace murmeli::notch
