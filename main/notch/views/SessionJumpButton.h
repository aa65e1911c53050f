#pragma once

#include <functional>

#include <QRectF>
#include <QString>

#include "main/notch/kit/View.h"

namespace murmeli::notch {

/// The small capsule at the end of a session row that brings the session's terminal to the front: "→ " and the
/// terminal's name, or "→ Open" when it has none. Brighter while the pointer is over it.
class SessionJumpButton final : public View {
public:
    SessionJumpButton(QString terminalName, std::function<void()> action);

    /// The label for a terminal name, trimmed of spaces and tabs.
    static QString label(const QString& terminalName);
    static QString toolTip() { return QStringLiteral("Jump to terminal"); }

    void update(QString terminalName, std::function<void()> action);
    bool isHovered() const { return m_hovered; }
    const QString& shownLabel() const { return m_label; }
    QRectF frame() const { return m_frame; }

    QSizeF idealSize() const override;
    void paint(QPainter& painter, const QRectF& frame, qint64 nowMs) override;
    bool pointer(PointerPhase phase, QPointF pos) override;
    bool pointerLeft() override;

private:
    QString m_label;
    std::function<void()> m_action;
    bool m_hovered = false;
    bool m_pressed = false;
    QRectF m_frame;
};

} // namespace murmeli::notch
