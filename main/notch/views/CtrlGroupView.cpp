#include "main/notch/views/CtrlGroupView.h"

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
    for (const auto& toggle : m_toggles) {
        toggle->paint(painter, QRectF(x, box.top() + padding, CtrlToggle::width, CtrlToggle::height), nowMs);
        x += CtrlToggle::width + spacing;
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

void CtrlGroupView::setSettlesAt(qint64 ms, std::optional<QPointF> pointerAtOpen)
{
    if (ms == m_settlesAt) {
        return;
    }
    m_settlesAt = ms;
    m_pointerAtOpen = pointerAtOpen;
    m_under.reset();
    m_armed = -1;
}

int CtrlGroupView::toggleAt(QPointF pos) const
{
    for (int index = 0; index < static_cast<int>(m_toggles.size()); ++index) {
        if (m_toggles[index]->frame().contains(pos)) {
            return index;
        }
    }
    return -1;
}

bool CtrlGroupView::pointer(PointerPhase phase, QPointF pos)
{
    const int under = toggleAt(pos);
    if (!m_under) {
        // A busy desktop merges the moves of a hand that went onto a button into one: where the pointer was when
        // the panel opened tells whether it came onto the button since, or has lain there all along.
        m_under = m_pointerAtOpen ? toggleAt(*m_pointerAtOpen) : under;
    }
    if (under != *m_under) {
        m_under = under;
        m_armed = under >= 0 && m_environment.nowMs() >= m_settlesAt ? under : -1;
    }
    if (phase == PointerPhase::Down && under >= 0 && under != m_armed) {
        // Swallowed, so that the strip does not close the panel for it either.
        return true;
    }
    bool taken = false;
    for (const auto& toggle : m_toggles) {
        taken = toggle->pointer(phase, pos) || taken;
    }
    return taken;
}

} // namespace murmeli::notch
