#pragma once

#include <functional>

#include <QRectF>
#include <QString>

#include "main/notch/kit/Aim.h"
#include "main/notch/kit/View.h"
#include "main/notch/kit/ViewEnvironment.h"

namespace murmeli::notch {

/// The small capsule at the end of a session row that brings the session's terminal to the front: "→ " and the
/// terminal's name, or "→ Open" when it has none. Brighter while the pointer is over it, once the pointer came onto
/// it by the panel's one aim rule (see Aim); a button the list scrolled or moved under a resting pointer, or that the
/// hand met on a way begun before it stood there, takes no click and is drawn faded until the pointer has left it (or,
/// met while the panel arrived, has rested on it a beat).
class SessionJumpButton final : public View {
public:
    static constexpr qreal fadedOpacity = 0.5;

    SessionJumpButton(const ViewEnvironment& environment, QString terminalName, std::function<void()> action);

    /// The label for a terminal name, trimmed of spaces and tabs.
    static QString label(const QString& terminalName);
    static QString toolTip() { return QStringLiteral("Jump to terminal"); }

    void update(QString terminalName, std::function<void()> action);
    bool isHovered() const { return m_hovered; }
    /// Drawn ready for a click (not faded).
    bool isReady() const { return !m_aim.isStale(); }
    const QString& shownLabel() const { return m_label; }
    QRectF frame() const { return m_aim.frame(); }

    QSizeF idealSize() const override;
    void paint(QPainter& painter, const QRectF& frame, qint64 nowMs) override;
    bool pointer(PointerPhase phase, QPointF pos) override;
    bool pointerLeft() override;

private:
    const ViewEnvironment& m_environment;
    QString m_label;
    std::function<void()> m_action;
    bool m_hovered = false;
    bool m_pressed = false;
    Aim m_aim;
};

} // namespace murmeli::notch
