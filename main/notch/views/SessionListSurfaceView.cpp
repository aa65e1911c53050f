#include "main/notch/views/SessionListSurfaceView.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include <QFontMetricsF>
#include <QPainter>

#include "main/notch/layout/NotchLayout.h"
#include "main/notch/model/IslandSurface.h"
#include "main/notch/model/PanelViewModel.h"
#include "main/notch/views/SessionListRow.h"
#include "main/notch/views/UsageHeader.h"
#include "main/ui/design/Faces.h"

namespace murmeli::notch {

namespace {

/// Changes of a measured height smaller than this are jitter and are not stored.
constexpr qreal measurementThreshold = 0.5;

QFont emptyFont()
{
    return ui::Faces::system(11, QFont::Medium);
}

} // namespace

SessionListSurfaceView::SessionListSurfaceView(
    const ViewEnvironment& environment, notch::PanelViewModel& vm, std::function<qreal()> maxHeight)
    : m_environment(environment), m_vm(vm), m_maxHeight(std::move(maxHeight))
{
    refresh();
}

SessionListSurfaceView::~SessionListSurfaceView() = default;

qreal SessionListSurfaceView::scrollViewHeight(qreal listContentHeight, std::optional<qreal> cap)
{
    const qreal height = std::min<qreal>(
        NotchLayout::maxScrollViewHeight, std::max<qreal>(listContentHeight, NotchLayout::sessionRowHeight));
    return cap ? std::max<qreal>(0, std::min(height, *cap)) : height;
}

void SessionListSurfaceView::refresh()
{
    syncHeader();
    const IslandSurface& surface = m_vm.currentSurface();
    const QString onShow = surface.kind() == IslandSurface::Kind::ApprovalCard ? surface.toolUseId() : QString();
    if (onShow != m_requestOnShow) {
        m_requestOnShow = onShow;
        m_keepingRequestInView = !onShow.isEmpty();
    }
    const QList<notch::SessionRow>& sessions = m_vm.sessions();
    std::vector<QString> keys;
    keys.reserve(static_cast<size_t>(sessions.size()));
    for (const notch::SessionRow& row : sessions) {
        keys.push_back(row.sid);
    }
    const qint64 now = m_environment.nowMs();
    m_rows.sync(keys, now, [this](const QString&) { return std::make_unique<SessionListRow>(m_environment); });
    // Ages and freshness are judged against the moment the rows are built.
    const QDateTime referenceDate = m_environment.clock->now();
    for (const notch::SessionRow& value : sessions) {
        auto* rowView = static_cast<SessionListRow*>(m_rows.find(value.sid));
        const QString sid = value.sid;
        SessionRowActions actions;
        actions.onApprove = [this, sid](const QString& toolUseId, notch::NotchApprovalAction action) {
            notch::PanelViewModel::perform(m_vm.onApprove, sid, toolUseId, action);
        };
        actions.onAnswer
            = [this, sid](const QString& text) { notch::PanelViewModel::perform(m_vm.onAnswer, sid, text); };
        actions.onTap = [this, sid] { notch::PanelViewModel::perform(m_vm.onSessionSelect, sid); };
        actions.isManuallyExpanded = [this, sid] { return m_vm.expandedRowIDs().contains(sid); };
        actions.setManuallyExpanded = [this, sid](bool expanded) { setExpanded(sid, expanded); };
        rowView->update(value, referenceDate, std::move(actions));
    }
}

void SessionListSurfaceView::syncHeader()
{
    if (m_vm.usageSnapshots().empty()) {
        m_header.reset();
        return;
    }
    if (!m_header) {
        m_header = std::make_unique<UsageHeader>();
        m_header->onSelectTab = [this](int index) {
            m_selectedUsageTab = index;
            syncHeader();
            m_environment.update();
        };
    }
    m_header->update(m_vm.usageSnapshots(), m_selectedUsageTab, m_environment.clock->now());
}

void SessionListSurfaceView::setExpanded(const QString& sid, bool expanded)
{
    QSet<QString> ids = m_vm.expandedRowIDs();
    if (expanded) {
        ids.insert(sid);
    } else {
        ids.remove(sid);
    }
    m_vm.setExpandedRowIDs(std::move(ids));
}

bool SessionListSurfaceView::showsEmptyState() const
{
    return m_vm.sessions().isEmpty();
}

SessionListRow* SessionListSurfaceView::row(const QString& sid) const
{
    return static_cast<SessionListRow*>(m_rows.find(sid));
}

QRectF SessionListSurfaceView::rowFrame(const QString& sid) const
{
    for (const auto& child : m_rows.children()) {
        if (!child.removed && child.key == sid) {
            return child.frame;
        }
    }
    return {};
}

void SessionListSurfaceView::paint(QPainter& painter, const QRectF& frame, qint64 nowMs)
{
    m_rows.prune(nowMs);
    const qreal left = frame.left() + paddingX;
    const qreal width = frame.width() - 2 * paddingX;
    qreal y = frame.top() + paddingTop;
    qreal used = paddingTop + paddingBottom;

    if (m_header) {
        const qreal height = m_header->heightForWidth(width);
        m_header->paint(painter, QRectF(left, y, width, height), nowMs);
        y += height + spacing;
        used += height + spacing;
    }

    if (showsEmptyState()) {
        const QFontMetricsF metrics(emptyFont());
        QColor colour(Qt::white);
        colour.setAlphaF(0.42f);
        painter.save();
        painter.setFont(emptyFont());
        painter.setPen(colour);
        painter.drawText(QPointF(left, y + emptyPadding + metrics.ascent()), QStringLiteral("no active session"));
        painter.restore();
        const qreal height = metrics.height() + 2 * emptyPadding;
        m_viewport = QRectF(left, y, width, height);
        m_measured = used + height;
        return;
    }

    std::optional<qreal> cap;
    if (m_maxHeight) {
        cap = m_maxHeight() - used;
    }
    // A card that decides fits what the list can show, or its buttons could never be seen with what they answer.
    m_environment.listHeight = cap;
    // The rows' own height: each row at the list's width, 6 apart.
    qreal content = 0;
    std::vector<qreal> heights;
    for (const auto& child : m_rows.children()) {
        if (!child.removed) {
            heights.push_back(static_cast<SessionListRow&>(*child.view).heightForWidth(width));
            content += heights.back();
        }
    }
    content += rowSpacing * std::max<qreal>(0, static_cast<qreal>(heights.size()) - 1);
    if (std::abs(content - m_listContentHeight) > measurementThreshold) {
        m_listContentHeight = content;
    }
    const qreal viewHeight = scrollViewHeight(m_listContentHeight, cap);
    m_viewport = QRectF(left, y, width, viewHeight);
    keepRequestInView(heights, viewHeight);
    m_scrollOffset = std::clamp<qreal>(m_scrollOffset, 0, std::max<qreal>(0, m_listContentHeight - viewHeight));
    m_measured = used + viewHeight;

    painter.save();
    painter.setClipRect(m_viewport.adjusted(-paddingX, 0, paddingX, 0), Qt::IntersectClip);
    qreal rowY = y - m_scrollOffset;
    size_t index = 0;
    // What a row draws beyond the viewport cannot be seen, which a card that decides has to know.
    const std::optional<QRectF> outerViewport = std::exchange(m_environment.viewport, m_viewport);
    for (auto& child : m_rows.children()) {
        if (child.removed) {
            continue;
        }
        const qreal height = heights[index++];
        child.frame = QRectF(left, rowY, width, height);
        // Rows outside the viewport, or outside what this frame redraws, cost nothing.
        if (child.frame.bottom() >= m_viewport.top() && child.frame.top() <= m_viewport.bottom()
            && m_environment.redraws(painter.transform().mapRect(child.frame))) {
            child.view->paint(painter, child.frame, nowMs);
        }
        rowY += height + rowSpacing;
    }
    m_environment.viewport = outerViewport;
    painter.restore();
}

void SessionListSurfaceView::keepRequestInView(const std::vector<qreal>& heights, qreal viewHeight)
{
    if (!m_keepingRequestInView) {
        return;
    }
    qreal top = 0;
    size_t index = 0;
    for (const auto& child : m_rows.children()) {
        if (child.removed) {
            continue;
        }
        const qreal height = heights[index++];
        const std::optional<notch::PendingApproval>& approval
            = static_cast<SessionListRow&>(*child.view).row().approval;
        if (approval && approval->toolUseId == m_requestOnShow) {
            // Its card lies at the row's foot; a row taller than the view shows its head.
            m_scrollOffset = std::max(m_scrollOffset, top + height - viewHeight);
            m_scrollOffset = std::min(m_scrollOffset, top);
            return;
        }
        top += height + rowSpacing;
    }
}

bool SessionListSurfaceView::isAnimating(qint64 nowMs) const
{
    return m_rows.isAnimating(nowMs);
}

bool SessionListSurfaceView::pointer(PointerPhase phase, QPointF pos)
{
    if (m_header && m_header->pointer(phase, pos)) {
        return true;
    }
    // Rows scrolled out of the view take nothing, except moves, which end their hover.
    const bool inView = m_viewport.contains(pos);
    bool taken = false;
    for (auto& child : m_rows.children()) {
        if (child.removed) {
            continue;
        }
        if (phase == PointerPhase::Move) {
            taken |= child.view->pointer(phase, inView ? pos : QPointF(-1e6, -1e6));
        } else if (phase == PointerPhase::Down && !(inView && child.frame.contains(pos))) {
            // A row scrolled out of the view keeps the places it was last drawn at; the press is the row's now there.
            continue;
        } else if (child.view->pointer(phase, pos)) {
            return true;
        }
    }
    return taken;
}

bool SessionListSurfaceView::pointerLeft()
{
    bool changed = false;
    for (auto& child : m_rows.children()) {
        changed |= child.view->pointerLeft();
    }
    return changed;
}

QString SessionListSurfaceView::toolTipAt(QPointF pos) const
{
    if (!m_viewport.contains(pos)) {
        return {};
    }
    for (const auto& child : m_rows.children()) {
        if (!child.removed && child.frame.contains(pos)) {
            return child.view->toolTipAt(pos);
        }
    }
    return {};
}

bool SessionListSurfaceView::wheel(QPointF pos, qreal dy)
{
    // A command that scrolls inside its card takes the wheel first; at its ends the list scrolls.
    if (m_viewport.contains(pos)) {
        for (auto& child : m_rows.children()) {
            if (!child.removed && child.frame.contains(pos) && child.view->wheel(pos, dy)) {
                return true;
            }
        }
    }
    const qreal room = m_listContentHeight - m_viewport.height();
    if (!m_viewport.contains(pos) || room <= 0) {
        return false;
    }
    m_scrollOffset = std::clamp<qreal>(m_scrollOffset - dy, 0, room);
    m_keepingRequestInView = false;
    return true;
}

} // namespace murmeli::notch
