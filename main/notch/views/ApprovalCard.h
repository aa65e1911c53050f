#pragma once

#include <array>
#include <functional>
#include <optional>

#include <QColor>
#include <QRectF>
#include <QString>
#include <QStringList>

#include "main/notch/kit/Animation.h"
#include "main/notch/kit/Standing.h"
#include "main/notch/kit/View.h"
#include "main/notch/kit/ViewEnvironment.h"
#include "main/notch/model/NotchApprovalAction.h"
#include "main/notch/model/SessionRow.h"
#include "main/ui/design/Paragraph.h"

namespace murmeli::notch {

/// The actions of a session whose permission request is held: an orange header naming the command, everything
/// the request would do in a dark block that wraps it and scrolls once it is taller than a dozen lines, and the
/// buttons No, Yes and Always Allow, which share one line while their labels fit and otherwise give the last one a
/// line of its own, as wide as the card; a tool's name too wide for that one line shows its two ends there and is read
/// whole at the end of the command block, so that no button grows taller than a line, whatever the name. Wherever
/// the card shows the name, its controls and invisible characters show as escapes, so that none can reorder what
/// Always Allow allows. Each button logs a "[notch-diag]" line and then answers the request the card shows.
///
/// The buttons decide, so they take a press only once the request they answer has stood in full view, unchanged and
/// at rest, for a second (see Standing), each by its own frame: a request that takes the card's place, or a card that
/// moves or scrolls, starts the count again, whatever the pointer does. Until then a button is drawn faded with a bar
/// along its foot that fills as the second runs, and it lights up when it takes a press. A press goes down on a button
/// that takes it or does nothing; anything else (a press elsewhere, the pointer leaving, another request, the button
/// moving) lets it go, so that only a release on the button it went down on answers, and only the request it went down
/// for. A request that takes another's place on the card flashes the command's rim, so that it is seen to be new.
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
    /// The command block shows this many lines at most and scrolls the rest; fewer where the card has to fit a short
    /// list, but never fewer than fewestCommandLines.
    static constexpr int visibleCommandLines = 12;
    static constexpr int fewestCommandLines = 3;
    /// How a button that takes no press yet is drawn.
    static constexpr qreal fadedOpacity = 0.5;
    /// How often a waiting button's bar is drawn on.
    static constexpr int waitingFrameMs = 40;
    /// How long the rim of a new request's command stays lit.
    static constexpr double freshSeconds = 1.2;

    explicit ApprovalCard(const ViewEnvironment& environment);

    /// No, Yes and Always Allow for the tool, in that order.
    static std::array<Button, 3> buttons(const QString& toolName);
    static ButtonLook look(ButtonKind kind);
    /// "$ " and the preview, else the activity, else "$ (awaiting tool details)": for a request whose input says
    /// nothing of its own.
    static QString commandText(const QString& commandPreview, const QString& activity);
    /// The tool's command label and " command", the name's controls and invisible characters escaped.
    static QString headerText(const QString& toolName);

    /// New inputs from the row: the held request, and the row's activity for a request without details; onApprove
    /// answers that request by its tool-use id.
    void update(const PendingApproval& approval, const QString& activity,
        std::function<void(const QString& toolUseId, notch::NotchApprovalAction)> onApprove);

    /// The most height the card may take, so that all of it can be seen at once in the list (none: as tall as it is
    /// at most): its command block shows fewer lines and scrolls the rest.
    void fitWithin(std::optional<qreal> height) { m_fitHeight = height; }
    qreal heightForWidth(qreal width) const;
    /// Where the last frame drew the three buttons.
    std::array<QRectF, 3> buttonFrames() const;
    /// Every button takes a press now.
    bool isArmed() const;
    /// Whether button index takes a press now: the screen has shown it ready.
    bool isReady(int index) const;
    /// When button index's second is over and frames draw it ready (it takes presses once the first of them is on
    /// the screen); none until the screen has shown a frame that drew it at rest and in view.
    std::optional<qint64> readyAtMs(int index) const { return m_standing[static_cast<size_t>(index)].readyAtMs(); }
    /// The header's line as the last frame drew it.
    QString headerLine() const { return m_headerLine; }
    /// The lines of a button's label as the last frame drew them: one each.
    QStringList buttonLabelLines(int index) const;
    /// The command block's text as the last frame laid it out.
    const ui::Paragraph& command() const { return m_command; }
    /// Where the last frame drew the command block, and how far its text is scrolled within it (0 up to
    /// commandScrollRange()).
    QRectF commandFrame() const { return m_blockFrame; }
    qreal commandScroll() const { return m_scroll; }
    qreal commandScrollRange() const;
    /// The command's lines that the last frame showed in the block, whole or in part.
    QStringList shownCommandLines() const;
    /// The orange line under the block as the last frame drew it: whether the command scrolls, whether it lost its
    /// middle; empty when neither.
    QString notice() const { return m_notice.text(); }
    /// The seconds left before the request goes to the agent's own prompt, as the last frame drew them at the
    /// header's end; empty on a card whose request waits in line.
    QString timeLeft() const { return m_timeLeft; }

    QSizeF idealSize() const override { return { 0, heightForWidth(300) }; }
    void paint(QPainter& painter, const QRectF& frame, qint64 nowMs) override;
    bool isAnimating(qint64 nowMs) const override;
    bool pointer(PointerPhase phase, QPointF pos) override;
    bool pointerLeft() override;
    bool wheel(QPointF pos, qreal dy) override;

private:
    struct ButtonPlan {
        std::array<QRectF, 3> frames;
        qreal height = 0;
    };

    /// The buttons laid out at width from the card's left, top at 0.
    ButtonPlan planButtons(qreal width) const;
    qreal commandTextWidth(qreal cardWidth) const;
    /// Whether Always Allow's label shows the tool's name whole on a line labelWidth wide.
    bool nameFits(qreal labelWidth) const;
    /// The command block's text on a card of this width: the tool's name follows it where the label cuts the name.
    const ui::Paragraph& commandAt(qreal cardWidth) const;
    /// Button index's label on a button of this width, made anew when the width changes.
    const ui::Paragraph& label(size_t index, qreal buttonWidth) const;
    qreal commandViewHeight(qreal cardWidth) const;
    /// How many of the command's lines the block shows at once.
    int shownCommandLineCount(qreal cardWidth) const;
    /// The notice for a card of this width, made anew when its text changes.
    const ui::Paragraph& noticeAt(qreal cardWidth) const;
    /// inView: whether each button, and the card above it, can be seen.
    void paintButtons(
        QPainter& painter, const ButtonPlan& plan, QPointF origin, const std::array<bool, 3>& inView, qint64 nowMs);
    /// The header's line: the tool, and the time left at its end when the request's time runs.
    void paintHeader(QPainter& painter, const QRectF& line);
    void setPressed(int index);
    /// The card changed what it shows, or how: each button counts afresh, and a press held on one lets go.
    void restartCount();

    const ViewEnvironment& m_environment;
    QString m_toolUseId;
    QString m_toolName;
    /// The tool's name as the card writes it.
    QString m_shownName;
    /// The header as the tool's name makes it, its controls not yet escaped.
    QString m_header;
    /// The header as the last frame drew it, cut to the width it had.
    QString m_headerLine;
    qreal m_headerWidth = -1;
    /// The request's own text; m_command is it on the last card width asked about, and whether the tool's name
    /// follows it there.
    QString m_commandBase;
    mutable ui::Paragraph m_command;
    mutable std::optional<bool> m_commandNamesTool;
    qsizetype m_omitted = 0;
    std::optional<qint64> m_failsOpenAtMs;
    QString m_timeLeft;
    mutable ui::Paragraph m_notice;
    mutable std::array<ui::Paragraph, 3> m_labels;
    /// How wide Always Allow's whole title is, and the width its label was last made for.
    qreal m_titleWidth = 0;
    mutable qreal m_alwaysAllowRoom = -1;
    std::function<void(const QString&, notch::NotchApprovalAction)> m_onApprove;
    std::array<Standing, 3> m_standing;
    QRectF m_blockFrame;
    qreal m_cardWidth = 0;
    std::optional<qreal> m_fitHeight;
    qreal m_scroll = 0;
    std::array<Animation, 3> m_press { Animation::still(0), Animation::still(0), Animation::still(0) };
    Animation m_fresh = Animation::still(0);
    int m_pressed = -1;
    /// When the held button went down.
    qint64 m_pressedAtMs = 0;
};

} // namespace murmeli::notch
