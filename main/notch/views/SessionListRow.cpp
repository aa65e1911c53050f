#include "main/notch/views/SessionListRow.h"

#include <algorithm>

#include <QFontMetricsF>
#include <QPainter>

#include "main/notch/views/ApprovalCard.h"
#include "main/notch/views/SessionJumpButton.h"
#include "main/notch/views/SystemColors.h"
#include "main/ui/design/Faces.h"
#include "main/ui/design/Paragraph.h"
#include "main/ui/design/Symbols.h"
#include "main/ui/design/TextBound.h"
#include "main/ui/design/Tokens.h"

namespace murmeli::notch {

namespace {

using SystemColors::white;
using SystemColors::withAlpha;

using notch::SessionState;

constexpr qreal headerSpacing = 6;
constexpr qreal statusDot = 8;
constexpr qreal chevronSize = 8;
constexpr qreal badgePaddingX = 6;
constexpr qreal badgePaddingY = 2;
constexpr qreal minimumGap = 4;
constexpr qreal hoverSeconds = 0.15;
/// How much of its hover a row shows while a click would not toggle it.
constexpr double staleHover = 0.4;
const QColor green = QColor::fromRgbF(0.29f, 0.86f, 0.46f);
const QColor blue = QColor::fromRgbF(0.34f, 0.61f, 0.99f);
const QColor violet = QColor::fromRgbF(0.62f, 0.43f, 0.92f);

/// One line of text, its top at y, cut to width; returns the line's height.
qreal textLine(QPainter* painter, const QString& text, const QFont& font, const QColor& colour, QPointF at, qreal width,
    bool struck = false)
{
    const QFontMetricsF metrics(font);
    if (painter) {
        QFont drawn = font;
        drawn.setStrikeOut(struck);
        painter->setFont(drawn);
        painter->setPen(colour);
        painter->drawText(at + QPointF(0, metrics.ascent()),
            metrics.elidedText(ui::boundedForLayout(text), Qt::ElideRight, std::max<qreal>(width, 0)));
    }
    return metrics.height();
}

qreal textWidth(const QFont& font, const QString& text)
{
    return QFontMetricsF(font).horizontalAdvance(ui::boundedForLayout(text));
}

QFont badgeFont()
{
    return ui::Faces::system(10, QFont::Medium);
}

bool needsUser(const SessionState& state)
{
    using Kind = SessionState::Kind;
    return state.kind() == Kind::NeedsApproval || state.kind() == Kind::WaitingForAnswer || state.isError();
}

} // namespace

SessionListRow::SessionListRow(const ViewEnvironment& environment)
    : m_environment(environment), m_jump(std::make_unique<SessionJumpButton>(environment, QString(), nullptr))
{
}

SessionListRow::~SessionListRow() = default;

SessionListRow::StateLook SessionListRow::look(const SessionState& state)
{
    using Kind = SessionState::Kind;
    const bool large = needsUser(state);
    StateLook result;
    result.titleSize = large ? 15 : 14;
    result.verticalPadding = large ? 10 : 8;
    result.cornerRadius = large ? 24 : 22;
    result.hoverFill = large ? 0.06 : 0.05;
    result.hasActionSlot = large;
    switch (state.kind()) {
    case Kind::NoSession:
        result.dot = white(0.4);
        break;
    case Kind::Idle:
        result.dot = green;
        break;
    case Kind::Working:
    case Kind::PttActive:
    case Kind::Compacting:
        result.dot = blue;
        break;
    case Kind::NeedsApproval:
        result.dot = SystemColors::orange;
        break;
    case Kind::WaitingForAnswer:
        result.dot = violet;
        break;
    case Kind::Error:
        result.dot = SystemColors::red;
        break;
    }
    return result;
}

notch::SessionRowPresence SessionListRow::presence(
    const notch::SessionRow& row, const QDateTime& referenceDate, bool manual)
{
    if (manual) {
        return notch::SessionRowPresence::Active;
    }
    return notch::sessionRowPresence(row.state, row.updatedAt, referenceDate);
}

QString SessionListRow::title(const notch::SessionRow& row)
{
    if (!row.spotlightHeadlineText.isEmpty()) {
        return row.spotlightHeadlineText;
    }
    return row.projectName.isEmpty() ? row.sid : row.projectName;
}

QString SessionListRow::contextSummary(const notch::SessionRow& row)
{
    const QString percent
        = row.sessionCtxPercent < 0 ? QStringLiteral("\u2014") : QString::number(row.sessionCtxPercent) + u'%';
    const QString model = row.sessionModelName.isEmpty() ? QStringLiteral("\u2014") : row.sessionModelName;
    return QStringLiteral("ctx ") + percent + QStringLiteral(" \u00B7 ") + model;
}

QString SessionListRow::taskHeader(const QList<notch::ActiveTaskInfo>& tasks)
{
    using Status = notch::ActiveTaskInfo::Status;
    const auto count = [&](Status status) {
        return std::count_if(tasks.begin(), tasks.end(), [status](const auto& task) { return task.status == status; });
    };
    return QStringLiteral("Tasks: %1 in_progress, %2 done, %3 pending")
        .arg(count(Status::InProgress))
        .arg(count(Status::Completed))
        .arg(count(Status::Pending));
}

void SessionListRow::update(notch::SessionRow row, QDateTime referenceDate, SessionRowActions actions)
{
    m_row = std::move(row);
    m_referenceDate = std::move(referenceDate);
    m_actions = std::move(actions);
    m_jump->update(m_row.jumpNotice.value_or(m_row.terminalBadge.value_or(QString())), m_actions.onTap);
    // Buttons only for a request that is held: they must answer something.
    const bool card = m_row.approval && !m_row.approval->toolName.isEmpty();
    if (card && !m_card) {
        m_card = std::make_unique<ApprovalCard>(m_environment);
    } else if (!card) {
        m_card.reset();
    }
    if (m_card) {
        m_card->update(*m_row.approval, m_row.activity, m_actions.onApprove);
    }
    // Only a click animates: a row that opens or closes by its state or age does so at once.
    const double shown = isActive() ? 1 : 0;
    if (m_reveal.target() != shown) {
        m_reveal = Animation::still(shown);
    }
    m_cachedWidth = -1;
}

bool SessionListRow::isActive() const
{
    return presence() == notch::SessionRowPresence::Active;
}

notch::SessionRowPresence SessionListRow::presence() const
{
    const bool manual = m_actions.isManuallyExpanded && m_actions.isManuallyExpanded();
    return presence(m_row, m_referenceDate, manual);
}

SessionListRow::Layers SessionListRow::layers() const
{
    Layers layers;
    const bool active = isActive();
    layers.chevron = !active
        && (m_row.spotlightPromptLineText || m_row.spotlightActivityLineText || m_row.spotlightAnswerLineText
            || !m_row.subagents.isEmpty() || !m_row.activeTasks.isEmpty());
    if (!m_row.toolDisplayName.isEmpty()) {
        layers.badges.append(m_row.toolDisplayName);
    }
    if (m_row.isRemote) {
        layers.badges.append(QStringLiteral("SSH"));
    }
    if (!active) {
        layers.contextSummary = contextSummary(m_row);
        return layers;
    }
    if (m_row.state.isError()) {
        layers.spotlight.append(QStringLiteral("> ") + m_row.state.message());
    } else if (m_row.spotlightPromptLineText) {
        layers.spotlight.append(QStringLiteral("> ") + *m_row.spotlightPromptLineText);
    }
    if (m_row.spotlightAnswerLineText) {
        layers.spotlight.append(QStringLiteral("\u2190 ") + *m_row.spotlightAnswerLineText);
    }
    if (m_row.spotlightActivityLineText && !m_row.spotlightActivityLineText->isEmpty()) {
        layers.spotlight.append(*m_row.spotlightActivityLineText);
    } else if (!m_row.activity.isEmpty()) {
        layers.spotlight.append(m_row.activity);
    }
    for (const notch::SubagentInfo& agent : m_row.subagents) {
        QString line = agent.agentType.value_or(agent.agentID);
        if (agent.taskDescription) {
            line += QStringLiteral(" (") + *agent.taskDescription + u')';
        }
        if (agent.summary) {
            line += QStringLiteral(" completed");
        }
        layers.subagents.append(line);
    }
    for (const notch::ActiveTaskInfo& task : m_row.activeTasks) {
        layers.tasks.append(notch::toString(task.status) + QStringLiteral(": ") + task.title);
    }
    layers.approvalCard = m_card != nullptr;
    return layers;
}

qreal SessionListRow::heightForWidth(qreal width) const
{
    const qint64 now = m_environment.nowMs();
    if (m_reveal.isRunning(now)) {
        m_cachedWidth = -1;
        return const_cast<SessionListRow*>(this)->layOut(nullptr, QRectF(0, 0, width, 0), now);
    }
    if (width != m_cachedWidth || m_environment.listHeight != m_cachedListHeight) {
        m_cachedWidth = width;
        m_cachedListHeight = m_environment.listHeight;
        m_cachedHeight = const_cast<SessionListRow*>(this)->layOut(nullptr, QRectF(0, 0, width, 0), now);
    }
    return m_cachedHeight;
}

void SessionListRow::paint(QPainter& painter, const QRectF& frame, qint64 nowMs)
{
    // Slid from under a resting pointer (the list scrolled or another row came before it): the hover stays with the
    // pointer, and a row that came under it lights up only once the pointer moves, and only dimly while a click
    // would not toggle it.
    if (m_highlighted && frame.topLeft() != m_frame.topLeft()) {
        setHighlighted(false);
    }
    m_frame = frame;
    m_tap.rest(m_environment.hand, nowMs);
    const StateLook colours = look(m_row.state);
    const double hover = m_highlight.valueAt(nowMs) * (m_tap.isStale() ? staleHover : 1);
    painter.save();
    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::black);
    painter.drawRoundedRect(frame, colours.cornerRadius, colours.cornerRadius);
    if (hover > 0) {
        // The hover fill replaces the black: over black, white at an opacity is the same colour.
        painter.setBrush(white(colours.hoverFill * hover));
        painter.drawRoundedRect(frame, colours.cornerRadius, colours.cornerRadius);
        painter.setPen(QPen(white(0.1 * hover), 0.5));
        painter.setBrush(Qt::NoBrush);
        painter.drawRoundedRect(frame.adjusted(0.25, 0.25, -0.25, -0.25), colours.cornerRadius, colours.cornerRadius);
    }
    painter.restore();
    painter.save();
    layOut(&painter, frame, nowMs);
    painter.restore();
}

qreal SessionListRow::layOutHeader(QPainter* painter, const QRectF& line, qint64 nowMs)
{
    const StateLook colours = look(m_row.state);
    const bool active = isActive();
    const Layers shown = layers();
    const QFont titleFont = ui::Faces::system(colours.titleSize, QFont::DemiBold);
    const QFont smallFont = ui::Faces::system(10, QFont::Medium);
    QFont ageFont = smallFont;
    ageFont.setStyleHint(QFont::Monospace);
    const QString titleText = title(m_row);
    const QString age
        = m_row.ageBadge.isEmpty() ? notch::sessionRowAgeBadge(m_row.updatedAt, m_referenceDate) : m_row.ageBadge;
    const QSizeF jump = m_jump->idealSize();

    // Everything but the title keeps its width; the title takes what is left and is cut when it runs out.
    qreal fixed = statusDot + headerSpacing;
    qreal height = std::max({ QFontMetricsF(titleFont).height(), jump.height(), statusDot });
    if (shown.chevron) {
        fixed += chevronSize + headerSpacing;
    }
    for (const QString& badge : shown.badges) {
        fixed += textWidth(badgeFont(), badge) + 2 * badgePaddingX + headerSpacing;
        height = std::max(height, QFontMetricsF(badgeFont()).height() + 2 * badgePaddingY);
    }
    if (!shown.contextSummary.isEmpty()) {
        fixed += textWidth(smallFont, shown.contextSummary) + headerSpacing;
    }
    fixed += minimumGap + headerSpacing + textWidth(ageFont, age);
    if (!m_row.sessionAgentName.isEmpty()) {
        fixed += headerSpacing + textWidth(smallFont, m_row.sessionAgentName);
    }
    fixed += headerSpacing + jump.width();
    if (!painter) {
        return height;
    }

    const qreal midY = line.top() + height / 2;
    const auto centred = [midY](qreal h) { return midY - h / 2; };
    qreal x = line.left();
    painter->setPen(Qt::NoPen);
    painter->setBrush(colours.dot);
    painter->drawEllipse(QRectF(x, centred(statusDot), statusDot, statusDot));
    x += statusDot + headerSpacing;

    const qreal titleWidth = std::clamp<qreal>(line.width() - fixed, 0, textWidth(titleFont, titleText));
    textLine(painter, titleText, titleFont, white(active ? 1 : 0.85),
        QPointF(x, centred(QFontMetricsF(titleFont).height())), titleWidth);
    x += titleWidth + headerSpacing;
    if (shown.chevron) {
        ui::Symbols::paint(
            *painter, ui::Symbol::ChevronDown, QRectF(x, centred(chevronSize), chevronSize, chevronSize), white(0.5));
        x += chevronSize + headerSpacing;
    }
    for (const QString& badge : shown.badges) {
        const QRectF capsule(x, centred(QFontMetricsF(badgeFont()).height() + 2 * badgePaddingY),
            textWidth(badgeFont(), badge) + 2 * badgePaddingX, QFontMetricsF(badgeFont()).height() + 2 * badgePaddingY);
        painter->setPen(Qt::NoPen);
        painter->setBrush(white(0.06));
        painter->drawRoundedRect(capsule, capsule.height() / 2, capsule.height() / 2);
        textLine(painter, badge, badgeFont(), white(0.55), capsule.topLeft() + QPointF(badgePaddingX, badgePaddingY),
            capsule.width());
        x = capsule.right() + headerSpacing;
    }
    if (!shown.contextSummary.isEmpty()) {
        textLine(painter, shown.contextSummary, smallFont, white(0.5),
            QPointF(x, centred(QFontMetricsF(smallFont).height())), textWidth(smallFont, shown.contextSummary) + 1);
    }

    // From the right edge: the jump button, the agent's name, the age.
    qreal right = line.right() - jump.width();
    m_jump->paint(*painter, QRectF(QPointF(right, centred(jump.height())), jump), nowMs);
    if (!m_row.sessionAgentName.isEmpty()) {
        right -= headerSpacing + textWidth(smallFont, m_row.sessionAgentName);
        textLine(painter, m_row.sessionAgentName, smallFont, white(0.5),
            QPointF(right, centred(QFontMetricsF(smallFont).height())),
            textWidth(smallFont, m_row.sessionAgentName) + 1);
    }
    right -= headerSpacing + textWidth(ageFont, age);
    textLine(painter, age, ageFont, white(0.45), QPointF(right, centred(QFontMetricsF(ageFont).height())),
        textWidth(ageFont, age) + 1);
    return height;
}

qreal SessionListRow::layOutLayers(QPainter* painter, qreal left, qreal width, qreal top)
{
    qreal y = top;
    const qreal indent = left + lineIndent;
    const qreal lineWidth = width - lineIndent;
    const QFont spotlightFont = ui::Faces::system(11.5, QFont::Medium);
    std::optional<QString> prompt
        = m_row.state.isError() ? std::optional(m_row.state.message()) : m_row.spotlightPromptLineText;
    if (prompt) {
        y += layerSpacing
            + textLine(painter, QStringLiteral("> ") + *prompt, spotlightFont, white(0.62),
                QPointF(indent, y + layerSpacing), lineWidth);
    }
    if (m_row.spotlightAnswerLineText) {
        const ui::Paragraph answer(QStringLiteral("\u2190 ") + *m_row.spotlightAnswerLineText,
            { spotlightFont, withAlpha(ui::Color::vantorBrass, 0.85) }, 2);
        if (painter) {
            answer.paint(*painter, QPointF(indent, y + layerSpacing), lineWidth);
        }
        y += layerSpacing + answer.sizeFor(lineWidth).height();
    }
    const QString activity = m_row.spotlightActivityLineText && !m_row.spotlightActivityLineText->isEmpty()
        ? *m_row.spotlightActivityLineText
        : m_row.activity;
    if (!activity.isEmpty()) {
        y += layerSpacing
            + textLine(painter, activity, ui::Faces::system(11, QFont::Medium), white(0.94),
                QPointF(indent, y + layerSpacing), lineWidth);
    }

    if (!m_row.subagents.isEmpty()) {
        y += layerSpacing;
        const QFont headFont = ui::Faces::system(10.5, QFont::Medium);
        const QColor cyan = withAlpha(SystemColors::cyan, 0.8);
        const qreal headHeight = QFontMetricsF(headFont).height();
        if (painter) {
            ui::Symbols::paint(
                *painter, ui::Symbol::ArrowTriangleBranch, QRectF(indent, y + (headHeight - 9) / 2, 9, 9), cyan);
        }
        textLine(painter, QStringLiteral("Subagents (%1)").arg(m_row.subagents.size()), headFont, cyan,
            QPointF(indent + 9 + 5, y), lineWidth - 14);
        y += headHeight;
        const QFont nameFont = ui::Faces::system(11, QFont::Medium);
        const QFont descFont = ui::Faces::system(10.5, QFont::Normal);
        const QFont doneFont = ui::Faces::system(10, QFont::Medium);
        for (const notch::SubagentInfo& agent : m_row.subagents) {
            y += 4;
            const qreal h = QFontMetricsF(nameFont).height();
            qreal x = indent;
            if (painter) {
                painter->setPen(Qt::NoPen);
                painter->setBrush(agent.summary ? green : blue);
                painter->drawEllipse(QRectF(x, y + (h - 6) / 2, 6, 6));
            }
            x += 6 + 6;
            const qreal doneWidth = agent.summary ? textWidth(doneFont, QStringLiteral("completed")) + 6 : 0;
            const QString name = agent.agentType.value_or(agent.agentID);
            const qreal nameWidth = std::min(textWidth(nameFont, name), indent + lineWidth - doneWidth - x);
            textLine(painter, name, nameFont, white(0.8), QPointF(x, y), nameWidth);
            x += nameWidth + 6;
            if (agent.taskDescription) {
                textLine(painter, QStringLiteral("(") + *agent.taskDescription + u')', descFont, white(0.5),
                    QPointF(x, y + (h - QFontMetricsF(descFont).height()) / 2), indent + lineWidth - doneWidth - x);
            }
            if (agent.summary) {
                textLine(painter, QStringLiteral("completed"), doneFont, white(0.4),
                    QPointF(indent + lineWidth - doneWidth + 6, y + (h - QFontMetricsF(doneFont).height()) / 2),
                    doneWidth);
            }
            y += h;
        }
    }

    if (!m_row.activeTasks.isEmpty()) {
        y += layerSpacing;
        const QFont taskFont = ui::Faces::system(10.5, QFont::Medium);
        y += textLine(painter, taskHeader(m_row.activeTasks), taskFont, white(0.45), QPointF(indent, y), lineWidth);
        const qreal h = QFontMetricsF(taskFont).height();
        for (const notch::ActiveTaskInfo& task : m_row.activeTasks) {
            y += 3;
            const bool done = task.status == notch::ActiveTaskInfo::Status::Completed;
            if (painter) {
                const qreal midY = y + h / 2;
                if (task.status == notch::ActiveTaskInfo::Status::Pending) {
                    painter->setPen(QPen(withAlpha(SystemColors::gray, 0.6), 1));
                    painter->setBrush(Qt::NoBrush);
                    painter->drawEllipse(QRectF(indent + 0.5, midY - 2.5, 5, 5));
                } else if (task.status == notch::ActiveTaskInfo::Status::InProgress) {
                    painter->setPen(Qt::NoPen);
                    painter->setBrush(blue);
                    painter->drawEllipse(QRectF(indent, midY - 3, 6, 6));
                } else {
                    ui::Symbols::paint(
                        *painter, ui::Symbol::CheckmarkSquareFill, QRectF(indent, midY - 4.5, 9, 9), white(0.4));
                }
            }
            const qreal iconWidth = done ? 9 : 6;
            textLine(painter, task.title, taskFont, white(done ? 0.4 : 0.7), QPointF(indent + iconWidth + 5, y),
                lineWidth - iconWidth - 5, done);
            y += h;
        }
    }
    return y - top;
}

qreal SessionListRow::layOut(QPainter* painter, const QRectF& frame, qint64 nowMs)
{
    const StateLook colours = look(m_row.state);
    const qreal left = frame.left() + paddingX;
    const qreal width = frame.width() - 2 * paddingX;
    qreal y = frame.top() + colours.verticalPadding;

    y += layOutHeader(painter, QRectF(left, y, width, 0), nowMs);

    // Layers 1 to 3 open and close over the row's reveal: their full height scaled by it, faded by it and cut to it.
    const double reveal = m_reveal.valueAt(nowMs);
    if (reveal > 0) {
        const qreal full = layOutLayers(nullptr, left, width, y);
        const qreal shown = reveal >= 1 ? full : full * reveal;
        if (painter) {
            painter->save();
            if (reveal < 1) {
                painter->setClipRect(QRectF(frame.left(), y, frame.width(), shown), Qt::IntersectClip);
                painter->setOpacity(painter->opacity() * reveal);
            }
            layOutLayers(painter, left, width, y);
            painter->restore();
        }
        y += shown;
    }
    y += colours.verticalPadding;
    if (painter) {
        // Moved under a pointer at rest (the list scrolled): the pointer has to leave and come back before a click
        // toggles the row; opening or closing where it stands keeps it the row the pointer is on.
        m_tap.place(QRectF(frame.left(), frame.top(), frame.width(), y - frame.top()), m_environment.pointer,
            m_environment.hand, nowMs);
        m_environment.updateWhenReady(m_tap, m_tap.frame());
    }
    if (m_card) {
        const qreal cardWidth = frame.width() - 2 * actionPadding;
        const std::optional<qreal> list = m_environment.listHeight;
        m_card->fitWithin(list ? std::optional(*list - (y - frame.top()) - actionPadding) : std::nullopt);
        const qreal cardHeight = m_card->heightForWidth(cardWidth);
        if (painter) {
            m_card->paint(*painter, QRectF(frame.left() + actionPadding, y, cardWidth, cardHeight), nowMs);
        }
        y += cardHeight + actionPadding;
    }
    return y - frame.top();
}

bool SessionListRow::isAnimating(qint64 nowMs) const
{
    return m_highlight.isRunning(nowMs) || m_reveal.isRunning(nowMs) || (m_card && m_card->isAnimating(nowMs));
}

bool SessionListRow::pointer(PointerPhase phase, QPointF pos)
{
    if (phase == PointerPhase::Move) {
        m_environment.hand.moved(m_environment.eventMs());
        bool changed = m_tap.moved(pos, m_environment.hand);
        changed |= m_jump->pointer(phase, pos);
        changed |= m_card && m_card->pointer(phase, pos);
        const bool inside = m_frame.contains(pos);
        if (inside != m_highlighted) {
            setHighlighted(inside);
            changed = true;
        }
        return changed;
    }
    if (m_jump->pointer(phase, pos)) {
        m_pressed = false;
        return true;
    }
    if (m_card && m_card->pointer(phase, pos)) {
        return true;
    }
    const bool inside = m_tap.frame().contains(pos);
    if (phase == PointerPhase::Down) {
        m_tap.pressed(pos, m_environment.hand, m_environment.eventMs());
        m_pressed = m_tap.isAimedAt(pos, m_environment.eventMs());
        return inside;
    }
    if (std::exchange(m_pressed, false)) {
        // The click toggles the user's own choice, whatever else keeps the row open.
        if (inside && m_actions.setManuallyExpanded && m_actions.isManuallyExpanded) {
            const bool wasActive = isActive();
            m_actions.setManuallyExpanded(!m_actions.isManuallyExpanded());
            const bool active = isActive();
            if (active != wasActive) {
                const qint64 now = m_environment.nowMs();
                m_reveal = Animation(m_reveal.valueAt(now), active ? 1 : 0, now, MotionCurve::easeInOut(toggleSeconds));
                m_cachedWidth = -1;
            }
        }
        return true;
    }
    return false;
}

bool SessionListRow::wheel(QPointF pos, qreal dy)
{
    return m_card && m_card->wheel(pos, dy);
}

QString SessionListRow::toolTipAt(QPointF pos) const
{
    return m_jump->frame().contains(pos) ? SessionJumpButton::toolTip() : QString();
}

bool SessionListRow::pointerLeft()
{
    m_pressed = false;
    m_environment.hand.left();
    bool changed = m_tap.moved(std::nullopt, m_environment.hand);
    changed |= m_jump->pointerLeft();
    changed |= m_card && m_card->pointerLeft();
    if (m_highlighted) {
        setHighlighted(false);
        changed = true;
    }
    return changed;
}

void SessionListRow::setHighlighted(bool highlighted)
{
    m_highlighted = highlighted;
    const qint64 now = m_environment.nowMs();
    m_highlight = Animation(m_highlight.valueAt(now), highlighted ? 1 : 0, now, MotionCurve::easeInOut(hoverSeconds));
    m_environment.update();
}

} // namespace murmeli::notch
