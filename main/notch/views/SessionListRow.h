#pragma once

#include <functional>
#include <memory>
#include <optional>

#include <QColor>
#include <QDateTime>
#include <QRectF>
#include <QStringList>

#include "main/notch/kit/Aim.h"
#include "main/notch/kit/Animation.h"
#include "main/notch/kit/View.h"
#include "main/notch/kit/ViewEnvironment.h"
#include "main/notch/model/NotchApprovalAction.h"
#include "main/notch/model/SessionRow.h"
#include "main/notch/model/SessionRowDisplay.h"

namespace murmeli::notch {

class ApprovalCard;
class SessionJumpButton;

/// What a row calls, each bound to the row's session by the list.
struct SessionRowActions {
    /// A button of the approval card: the request the card showed, and the answer.
    std::function<void(const QString& toolUseId, notch::NotchApprovalAction)> onApprove;
    std::function<void(const QString&)> onAnswer;
    /// The jump button.
    std::function<void()> onTap;
    /// The user's expansion choice for the session, read and written.
    std::function<bool()> isManuallyExpanded;
    std::function<void(bool)> setManuallyExpanded;
};

/// One card of the session list: a header line (status dot, title, badges, age, agent, jump button) and, while
/// expanded, the spotlight lines, the sub-agents and the task list; below them the approval card of the request the
/// pending table holds for the session. Sessions that need the user, and busy ones updated in the last five minutes,
/// are expanded by themselves; a click on the header toggles the user's own choice.
class SessionListRow final : public View {
public:
    /// The sizes and colours a state gives the row.
    struct StateLook {
        QColor dot;
        qreal titleSize = 14;
        qreal verticalPadding = 8;
        qreal cornerRadius = 22;
        qreal hoverFill = 0.05;
        /// The row reserves a slot for its actions below the header block.
        bool hasActionSlot = false;

        friend bool operator==(const StateLook&, const StateLook&) = default;
    };

    /// Which parts the row shows, for a glance at its state.
    struct Layers {
        bool chevron = false;
        /// "ctx 42% · m1", or empty when not shown.
        QString contextSummary;
        QStringList badges;
        /// Prompt, answer and activity lines as shown, in order.
        QStringList spotlight;
        QStringList subagents;
        QStringList tasks;
        bool approvalCard = false;
    };

    static constexpr qreal paddingX = 12;
    static constexpr qreal layerSpacing = 6;
    static constexpr qreal lineIndent = 16;
    static constexpr qreal actionPadding = 12;
    /// Seconds the layers a click shows or hides take to open or close.
    static constexpr double toggleSeconds = 0.18;

    explicit SessionListRow(const ViewEnvironment& environment);
    ~SessionListRow() override;

    static StateLook look(const notch::SessionState& state);
    /// Active (expanded) while the session needs the user, while it is busy and fresh, or by the user's choice.
    static notch::SessionRowPresence presence(
        const notch::SessionRow& row, const QDateTime& referenceDate, bool manual);
    /// The headline, else the project, else the session id.
    static QString title(const notch::SessionRow& row);
    /// "ctx " and the percentage (or "—"), " · " and the model (or "—").
    static QString contextSummary(const notch::SessionRow& row);
    /// "Tasks: 1 in_progress, 1 done, 1 pending".
    static QString taskHeader(const QList<notch::ActiveTaskInfo>& tasks);

    void update(notch::SessionRow row, QDateTime referenceDate, SessionRowActions actions);

    const notch::SessionRow& row() const { return m_row; }
    notch::SessionRowPresence presence() const;
    Layers layers() const;
    bool isHighlighted() const { return m_highlighted; }
    ApprovalCard* approvalCard() const { return m_card.get(); }
    SessionJumpButton& jumpButton() const { return *m_jump; }
    /// The clickable header block of the last frame.
    QRectF tapFrame() const { return m_tap.frame(); }
    qreal heightForWidth(qreal width) const;

    QSizeF idealSize() const override { return { 0, heightForWidth(380) }; }
    void paint(QPainter& painter, const QRectF& frame, qint64 nowMs) override;
    bool isAnimating(qint64 nowMs) const override;
    bool pointer(PointerPhase phase, QPointF pos) override;
    bool pointerLeft() override;
    bool wheel(QPointF pos, qreal dy) override;
    QString toolTipAt(QPointF pos) const override;

private:
    /// Lays the row out in frame, drawing it when painter is given; returns its height.
    qreal layOut(QPainter* painter, const QRectF& frame, qint64 nowMs);
    qreal layOutHeader(QPainter* painter, const QRectF& line, qint64 nowMs);
    /// Lays out layers 1 to 3 from top, drawing them when painter is given; returns their height.
    qreal layOutLayers(QPainter* painter, qreal left, qreal width, qreal top);
    bool isActive() const;
    void setHighlighted(bool highlighted);

    const ViewEnvironment& m_environment;
    notch::SessionRow m_row;
    QDateTime m_referenceDate;
    SessionRowActions m_actions;
    std::unique_ptr<SessionJumpButton> m_jump;
    std::unique_ptr<ApprovalCard> m_card;
    bool m_highlighted = false;
    Animation m_highlight = Animation::still(0);
    /// How much of layers 1 to 3 shows: 1 while the row is active, 0 while not, between while a click toggles it.
    Animation m_reveal = Animation::still(0);
    bool m_pressed = false;
    /// The header block, which a click toggles by the panel's one aim rule.
    Aim m_tap;
    QRectF m_frame;
    mutable qreal m_cachedWidth = -1;
    mutable std::optional<qreal> m_cachedListHeight;
    mutable qreal m_cachedHeight = 0;
};

} // namespace murmeli::notch
