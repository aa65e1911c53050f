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
    for (Aim& aim : m_aims) {
        aim.standOnTheEdge();
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
    const std::optional<QPointF>& pointer = m_environment.pointer;
    for (size_t index = 0; index < m_toggles.size(); ++index) {
        const QRectF place(x, box.top() + padding, CtrlToggle::width, CtrlToggle::height);
        Aim& aim = m_aims[index];
        // While the panel springs open the buttons slide under a pointer that may be resting there.
        if (aim.place(place, pointer, m_environment.hand, nowMs) && static_cast<int>(index) == m_hovered) {
            m_hovered = -1;
        }
        if (aim.rest(m_environment.hand, nowMs) && pointer && aim.isAimedAt(*pointer, nowMs)) {
            m_hovered = static_cast<int>(index);
        }
        m_environment.updateWhenReady(aim, box);
        x += CtrlToggle::width + spacing;
    }
    const qreal opacity = painter.opacity();
    for (size_t index = 0; index < m_toggles.size(); ++index) {
        m_toggles[index]->setHovered(static_cast<int>(index) == m_hovered);
        painter.setOpacity(opacity * (isReady(static_cast<int>(index)) ? 1 : fadedOpacity));
        m_toggles[index]->paint(painter, m_aims[index].frame(), nowMs);
    }
    painter.setOpacity(opacity);
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
    for (Aim& aim : m_aims) {
        aim.renew(m_environment.pointer, m_environment.hand, ms);
    }
    // A button held down through the panel's closing was pressed in another opening.
    for (const auto& toggle : m_toggles) {
        toggle->cancelPress();
    }
    m_hovered = -1;
}

bool CtrlGroupView::isReady(int index) const
{
    return notch::isReady(m_aims, static_cast<size_t>(index));
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

bool CtrlGroupView::follow(const std::optional<QPointF>& pos)
{
    if (pos) {
        m_environment.hand.moved(m_environment.eventMs());
    } else {
        m_environment.hand.left();
    }
    bool changed = false;
    for (Aim& aim : m_aims) {
        changed |= aim.moved(pos, m_environment.hand);
    }
    const int under = pos ? toggleAt(*pos) : -1;
    const int hovered = under >= 0 && m_aims[under].isAimedAt(*pos, m_environment.eventMs()) ? under : -1;
    return std::exchange(m_hovered, hovered) != hovered || changed;
}

bool CtrlGroupView::pointer(PointerPhase phase, QPointF pos)
{
    if (phase == PointerPhase::Move) {
        return follow(pos);
    }
    const int under = toggleAt(pos);
    if (phase == PointerPhase::Down) {
        const qint64 at = m_environment.eventMs();
        for (Aim& aim : m_aims) {
            aim.pressed(pos, m_environment.hand, at);
        }
        if (under >= 0 && !m_aims[under].isAimedAt(pos, m_environment.eventMs())) {
            // Swallowed, so that the strip does not close the panel for it either.
            return true;
        }
    }
    bool taken = false;
    for (const auto& toggle : m_toggles) {
        taken = toggle->pointer(phase, pos) || taken;
    }
    return taken;
}

bool CtrlGroupView::pointerLeft()
{
    return follow(std::nullopt);
}

} // namespace murmeli::notch
