#pragma once

#include <array>
#include <functional>

#include <QColor>
#include <QRectF>
#include <QString>

#include "main/notch/kit/Animation.h"
#include "main/notch/kit/View.h"
#include "main/notch/kit/ViewEnvironment.h"
#include "main/notch/model/NotchApprovalAction.h"
#include "main/ui/design/Paragraph.h"

namespace murmeli::notch {

/// The actions of a session waiting for a tool permission: an orange header naming the command, the command in a
/// dark block that wraps rather than cuts it, and the buttons No, Yes and Always Allow. Each button logs a
/// "[notch-diag]" line and then answers for its own row.
class ApprovalCard final : public View {
public:
    enum class ButtonKind { Secondary, Warning, Danger };

    struct Button {
        QString title;
        ButtonKind kind = ButtonKind::Secondary;
        notch::NotchApprovalAction action = notch::NotchApprovalAction::Deny;
        /// Written to the system log before the answer goes.
        QString diagnostic;

        friend bool operator==(const Button&, const Button&) = default;
    };

    struct ButtonLook {
        QColor fill;
        QColor border;
        QColor label;
    };

    static constexpr qreal spacing = 12;
    static constexpr qreal buttonSpacing = 8;
    static constexpr qreal pressedScale = 0.97;

    explicit ApprovalCard(const ViewEnvironment& environment);

    /// No, Yes and Always Allow for the tool, in that order.
    static std::array<Button, 3> buttons(const QString& toolName);
    static ButtonLook look(ButtonKind kind);
    /// "$ " and the preview, else the activity, else "$ (awaiting tool details)".
    static QString commandText(const QString& commandPreview, const QString& activity);
    /// The tool's command label and " command".
    static QString headerText(const QString& toolName);

    /// New inputs from the row; onApprove answers for the row's own session.
    void update(const QString& toolName, const QString& commandPreview, const QString& activity,
        std::function<void(notch::NotchApprovalAction)> onApprove);

    qreal heightForWidth(qreal width) const;
    /// Where the last frame drew the three buttons.
    const std::array<QRectF, 3>& buttonFrames() const { return m_buttonFrames; }
    const ui::Paragraph& command() const { return m_command; }

    QSizeF idealSize() const override { return { 0, heightForWidth(300) }; }
    void paint(QPainter& painter, const QRectF& frame, qint64 nowMs) override;
    bool isAnimating(qint64 nowMs) const override;
    bool pointer(PointerPhase phase, QPointF pos) override;

private:
    void setPressed(int index);

    const ViewEnvironment& m_environment;
    QString m_toolName;
    QString m_header;
    ui::Paragraph m_command;
    std::function<void(notch::NotchApprovalAction)> m_onApprove;
    std::array<QRectF, 3> m_buttonFrames;
    std::array<Animation, 3> m_press { Animation::still(0), Animation::still(0), Animation::still(0) };
    int m_pressed = -1;
};

} // namespace murmeli::notch
