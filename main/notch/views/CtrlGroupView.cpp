#include "main/notch/views/CtrlGroupView.h"

#include <utility>

#include <QCoreApplication>
#include <QPainter>

#include "main/notch/kit/Stack.h"
#include "main/ui/design/Tokens.h"

namespace murmeli::notch {

CtrlGroupView::CtrlGroupView(const ViewEnvironment& environment, bool isMuted, std::function<void()> onToggleMute,
    std::function<void()> onOpenSettings)
    : onQuit([] { QCoreApplication::quit(); }), m_environment(environment)
{
    for (auto& toggle : m_toggles) {
        toggle = std::make_unique<CtrlToggle>(environment, ui::Symbol::Power, ui::Color::vantorBrass, false, nullptr);
    }
    configure(isMuted, std::move(onToggleMute), std::move(onOpenSettings));
}

void CtrlGroupView::update(bool isMuted, std::function<void()> onToggleMute, std::function<void()> onOpenSettings)
{
    configure(isMuted, std::move(onToggleMute), std::move(onOpenSettings));
}

void CtrlGroupView::configure(bool isMuted, std::function<void()> onToggleMute, std::function<void()> onOpenSettings)
{
    m_toggles[0]->update(isMuted ? ui::Symbol::SpeakerSlashFill : ui::Symbol::SpeakerWave2Fill,
        isMuted ? ui::Color::vantorSignalRed : ui::Color::vantorBrass, !isMuted, std::move(onToggleMute));
    m_toggles[1]->update(ui::Symbol::GearshapeFill, ui::Color::vantorBrass, false, std::move(onOpenSettings));
    m_toggles[2]->update(ui::Symbol::Power, ui::Color::vantorSignalRed, false, [this] {
        if (onQuit) {
            onQuit();
        }
    });
}

QSizeF CtrlGroupView::idealSize() const
{
    return { 3 * CtrlToggle::width + 2 * spacing + 2 * padding, CtrlToggle::height + 2 * padding };
}

void CtrlGroupView::paint(QPainter& painter, const QRectF& frame, qint64 nowMs)
{
    const QRectF box = aligned(idealSize(), frame);
    const qreal radius = box.height() / 2;
    painter.save();
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(255, 255, 255, 10));
    painter.drawRoundedRect(box, radius, radius);
    painter.setBrush(Qt::NoBrush);
    QPen rim(QColor(255, 255, 255, 20), 0.5, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin);
    rim.setMiterLimit(10);
    painter.setPen(rim);
    painter.drawRoundedRect(box, radius, radius);
    painter.restore();
    qreal x = box.left() + padding;
    for (size_t index = 0; index < m_toggles.size(); ++index) {
        const QRectF place(x, box.top() + padding, CtrlToggle::width, CtrlToggle::height);
        // While the panel springs open the buttons slide under a pointer that may be resting there.
        if (m_aims[index].place(place, m_environment.pointer) && static_cast<int>(index) == m_hovered) {
            setHovered(-1);
        }
        m_toggles[index]->setHovered(static_cast<int>(index) == m_hovered);
        m_toggles[index]->paint(painter, place, nowMs);
        x += CtrlToggle::width + spacing;
    }
    if (m_hovered >= 0 && !m_hoverShownAt) {
        m_hoverShownAt = nowMs;
    }
}

bool CtrlGroupView::isAnimating(qint64 nowMs) const
{
    for (const auto& toggle : m_toggles) {
        if (toggle->isAnimating(nowMs)) {
            return true;
        }
    }
    return false;
}

void CtrlGroupView::setSettlesAt(qint64 ms)
{
    if (ms == m_settlesAt) {
        return;
    }
    m_settlesAt = ms;
    setHovered(-1);
}

int CtrlGroupView::armedToggle() const
{
    const bool shownLongEnough = m_hoverShownAt && m_environment.nowMs() - *m_hoverShownAt >= aimMs;
    return shownLongEnough ? m_hovered : -1;
}

void CtrlGroupView::setHovered(int index)
{
    m_hovered = index;
    m_hoverShownAt.reset();
}

int CtrlGroupView::toggleAt(QPointF pos) const
{
    for (int index = 0; index < static_cast<int>(m_aims.size()); ++index) {
        if (m_aims[index].frame().contains(pos)) {
            return index;
        }
    }
    return -1;
}

bool CtrlGroupView::follow(QPointF pos)
{
    const qint64 now = m_environment.nowMs();
    if (!m_lastMoveMs || now - *m_lastMoveMs >= restMs) {
        m_motionStartMs = now;
        m_motionCameFromOutside = false;
    }
    if (std::exchange(m_pointerOutside, false)) {
        m_motionCameFromOutside = true;
    }
    m_lastMoveMs = now;
    for (Aim& aim : m_aims) {
        aim.moved(pos);
    }
    const int under = toggleAt(pos);
    if (under == m_hovered) {
        return false;
    }
    const int was = std::exchange(m_hovered, -1);
    m_hoverShownAt.reset();
    if (under >= 0) {
        if (m_motionStartMs < m_settlesAt || m_motionCameFromOutside) {
            // A hand on its way since before the panel stood still, or from outside a panel that stayed open, sliding
            // along the top edge or coming up onto the strip, meets the button without having seen it: it has to
            // leave and come back.
            m_aims[under].spoil();
        } else if (m_aims[under].isAimedAt(pos)) {
            m_hovered = under;
        }
    }
    return m_hovered != was;
}

bool CtrlGroupView::pointer(PointerPhase phase, QPointF pos)
{
    if (phase == PointerPhase::Move) {
        return follow(pos);
    }
    const int under = toggleAt(pos);
    if (phase == PointerPhase::Down && under >= 0 && under != armedToggle()) {
        // Swallowed, so that the strip does not close the panel for it either.
        return true;
    }
    bool taken = false;
    for (const auto& toggle : m_toggles) {
        taken = toggle->pointer(phase, pos) || taken;
    }
    return taken;
}

bool CtrlGroupView::pointerLeft()
{
    m_pointerOutside = true;
    for (Aim& aim : m_aims) {
        aim.moved(std::nullopt);
    }
    if (m_hovered < 0) {
        return false;
    }
    setHovered(-1);
    return true;
}

} // namespace murmeli::notch
