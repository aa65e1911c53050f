#include "main/notch/views/ContentAreaView.h"

#include <QPainter>

#include "main/notch/views/SessionListSurfaceView.h"

namespace murmeli::notch {

namespace {

const QString listKey = QStringLiteral("list");

} // namespace

ContentAreaView::ContentAreaView(const ViewEnvironment& environment, ContentAreaLinks links)
    : m_environment(environment), m_links(std::move(links))
{
    refresh();
}

ContentAreaView::~ContentAreaView() = default;

void ContentAreaView::refresh()
{
    m_surface.sync({ listKey }, m_environment.nowMs(), [this](const QString&) {
        return std::unique_ptr<View>(
            std::make_unique<SessionListSurfaceView>(m_environment, m_links.vm, m_links.maxHeight));
    });
    if (SessionListSurfaceView* list = sessionList()) {
        list->refresh();
    }
}

SessionListSurfaceView* ContentAreaView::sessionList() const
{
    return static_cast<SessionListSurfaceView*>(m_surface.find(listKey));
}

std::optional<qreal> ContentAreaView::measuredHeight() const
{
    const SessionListSurfaceView* list = sessionList();
    return list ? list->measuredHeight() : std::nullopt;
}

View* ContentAreaView::current() const
{
    return m_surface.children().empty() ? nullptr : m_surface.children().front().view.get();
}

void ContentAreaView::paint(QPainter& painter, const QRectF& frame, qint64 nowMs)
{
    m_surface.prune(nowMs);
    if (View* surface = current()) {
        surface->paint(painter, frame, nowMs);
    }
}

bool ContentAreaView::pointer(PointerPhase phase, QPointF pos)
{
    View* surface = current();
    return surface && surface->pointer(phase, pos);
}

bool ContentAreaView::pointerLeft()
{
    View* surface = current();
    return surface && surface->pointerLeft();
}

QString ContentAreaView::toolTipAt(QPointF pos) const
{
    const View* surface = current();
    return surface ? surface->toolTipAt(pos) : QString();
}

bool ContentAreaView::wheel(QPointF pos, qreal dy)
{
    View* surface = current();
    return surface && surface->wheel(pos, dy);
}

} // namespace murmeli::notch
