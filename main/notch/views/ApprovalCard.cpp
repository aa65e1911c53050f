#include "main/notch/views/ApprovalCard.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include <QDebug>
#include <QFontMetricsF>
#include <QPainter>

#include "main/common/TextUtils.h"
#include "main/notch/kit/FrameMark.h"
#include "main/notch/model/SessionRowDisplay.h"
#include "main/notch/views/SystemColors.h"
#include "main/ui/design/ElidedLine.h"
#include "main/ui/design/Faces.h"
#include "main/ui/design/Symbols.h"
#include "main/ui/design/TextBound.h"

namespace murmeli::notch {

namespace {

using SystemColors::withAlpha;

constexpr qreal headerSpacing = 8;
constexpr qreal headerSymbol = 12;
constexpr qreal blockPaddingX = 14;
constexpr qreal blockPaddingY = 12;
constexpr qreal blockRadius = 18;
/// Room kept right of the command's text for the scroll thumb.
constexpr qreal thumbRoom = 6;
constexpr qreal thumbWidth = 3;
constexpr qreal minimumThumb = 16;
constexpr qreal noticeSpacing = 6;
constexpr qreal buttonPaddingX = 10;
constexpr qreal buttonPaddingY = 8;
constexpr qreal buttonRadius = 10;
constexpr double pressSeconds = 0.1;
/// The height of the bar that fills while a button waits.
constexpr qreal waitingBar = 2;
const QColor darkBrown = QColor::fromRgbF(0.11f, 0.08f, 0.03f);

QFont headerFont()
{
    return ui::Faces::system(12, QFont::Bold);
}

QFont buttonFont()
{
    return ui::Faces::system(12, QFont::DemiBold);
}

QFont noticeFont()
{
    return ui::Faces::system(11, QFont::DemiBold);
}

QFont timeLeftFont()
{
    return ui::Faces::system(11, QFont::DemiBold);
}

qreal headerHeight()
{
    return std::max<qreal>(QFontMetricsF(headerFont()).height(), headerSymbol);
}

QString alwaysAllowTitle(const QString& toolName)
{
    return QStringLiteral("Always Allow (") + toolName + QLatin1Char(')');
}

QString unescapedHeader(const QString& toolName)
{
    return notch::sessionRowCommandLabel(toolName) + QStringLiteral(" command");
}

/// A tool's name as a line of the card shows it: no control or invisible character in it can reorder or hide what
/// Always Allow allows.
QString shownName(const QString& toolName)
{
    return common::text::visible(toolName, common::text::Breaks::Escape);
}

} // namespace

ApprovalCard::ApprovalCard(const ViewEnvironment& environment) : m_environment(environment) { }

std::array<ApprovalCard::Button, 3> ApprovalCard::buttons(const QString& toolName)
{
    using notch::NotchApprovalAction;
    return { {
        { QStringLiteral("No"), ButtonKind::Secondary, NotchApprovalAction::Deny,
            QStringLiteral("[notch-diag] Button.tap \u2192 No (deny)") },
        { QStringLiteral("Yes"), ButtonKind::Warning, NotchApprovalAction::AllowOnce,
            QStringLiteral("[notch-diag] Button.tap \u2192 Yes (allowOnce)") },
        { alwaysAllowTitle(toolName), ButtonKind::Danger, NotchApprovalAction::AllowAlways,
            QStringLiteral("[notch-diag] Button.tap \u2192 Always Allow") },
    } };
}

ApprovalCard::ButtonLook ApprovalCard::look(ButtonKind kind)
{
    switch (kind) {
    case ButtonKind::Secondary:
        return { withAlpha(Qt::white, 0.06), withAlpha(Qt::white, 0.18), withAlpha(Qt::white, 0.85) };
    case ButtonKind::Warning:
        return { SystemColors::orange, Qt::transparent, darkBrown };
    case ButtonKind::Danger:
        return { QColor::fromRgbF(0.2f, 0.04f, 0.04f), withAlpha(SystemColors::red, 0.45), withAlpha(Qt::white, 0.85) };
    }
    return {};
}

QString ApprovalCard::commandText(const QString& commandPreview, const QString& activity)
{
    if (!commandPreview.isEmpty()) {
        return QStringLiteral("$ ") + commandPreview;
    }
    if (!activity.isEmpty()) {
        return QStringLiteral("$ ") + activity;
    }
    return QStringLiteral("$ (awaiting tool details)");
}

QString ApprovalCard::headerText(const QString& toolName)
{
    return shownName(unescapedHeader(toolName));
}

void ApprovalCard::update(const PendingApproval& approval, const QString& activity,
    std::function<void(const QString&, notch::NotchApprovalAction)> onApprove)
{
    if (approval.toolUseId != m_toolUseId) {
        const qint64 now = m_environment.nowMs();
        m_scroll = 0;
        if (!m_toolUseId.isEmpty()) {
            m_fresh = Animation(1, 0, now, MotionCurve::easeOut(freshSeconds));
        }
        // A button held down was pressed for the request before: its release answers nothing.
        restartCount();
    }
    m_toolUseId = approval.toolUseId;
    m_omitted = approval.omittedCharacters;
    m_failsOpenAtMs = approval.failsOpenAtMs;
    if (approval.toolName != m_toolName || m_header.isEmpty()) {
        restartCount();
        m_toolName = approval.toolName;
        m_shownName = shownName(m_toolName);
        m_header = unescapedHeader(m_toolName);
        m_headerWidth = -1;
        const auto all = buttons(m_shownName);
        for (size_t i = 0; i < all.size(); ++i) {
            m_labels[i] = ui::Paragraph(all[i].title, { buttonFont(), look(all[i].kind).label }, 1, Qt::AlignHCenter);
        }
        // A title longer than any line can show is never measured whole.
        const QString& title = all[2].title;
        m_titleWidth = title.size() <= 2 * ui::maxLineCharacters ? QFontMetricsF(buttonFont()).horizontalAdvance(title)
                                                                 : std::numeric_limits<qreal>::infinity();
        m_alwaysAllowRoom = -1;
    }
    QString command = approval.detail.isEmpty() ? commandText(approval.commandPreview, activity) : approval.detail;
    if (command != m_commandBase) {
        restartCount();
        m_commandBase = std::move(command);
        m_commandNamesTool.reset();
    }
    m_onApprove = std::move(onApprove);
}

bool ApprovalCard::nameFits(qreal labelWidth) const
{
    // A pixel to spare: the label is laid out as a paragraph, whose rounding may differ from the measure.
    return m_titleWidth <= labelWidth - 1;
}

const ui::Paragraph& ApprovalCard::commandAt(qreal cardWidth) const
{
    // What Always Allow allows is read whole where its label has no room for the tool's name.
    const bool namesTool = !nameFits(cardWidth - 2 * buttonPaddingX);
    if (namesTool != m_commandNamesTool) {
        m_commandNamesTool = namesTool;
        m_command = ui::Paragraph(namesTool ? m_commandBase + QStringLiteral("\ntool: ") + m_shownName : m_commandBase,
            { ui::Faces::systemMono(13, QFont::DemiBold), withAlpha(Qt::white, 0.9) });
    }
    return m_command;
}

const ui::Paragraph& ApprovalCard::label(size_t index, qreal buttonWidth) const
{
    const qreal room = std::max<qreal>(buttonWidth - 2 * buttonPaddingX, 1);
    if (index != 2 || room == m_alwaysAllowRoom) {
        return m_labels[index];
    }
    m_alwaysAllowRoom = room;
    QString name = m_shownName;
    if (!nameFits(room)) {
        // Both ends on one line: a family of tools shares its head, and the tail tells them apart.
        const qreal around = QFontMetricsF(buttonFont()).horizontalAdvance(alwaysAllowTitle(QString()));
        name = ui::elidedLine(m_toolName, buttonFont(), room - around - 1, Qt::ElideMiddle, shownName);
    }
    m_labels[2]
        = ui::Paragraph(alwaysAllowTitle(name), { buttonFont(), look(ButtonKind::Danger).label }, 1, Qt::AlignHCenter);
    return m_labels[2];
}

qreal ApprovalCard::commandTextWidth(qreal cardWidth) const
{
    return std::max<qreal>(cardWidth - 2 * blockPaddingX - thumbRoom, 1);
}

int ApprovalCard::shownCommandLineCount(qreal cardWidth) const
{
    const qreal width = commandTextWidth(cardWidth);
    const ui::Paragraph& command = commandAt(cardWidth);
    const int lines = command.lineCount(width);
    if (!m_fitHeight) {
        return std::min(lines, visibleCommandLines);
    }
    const qreal lineHeight = command.sizeFor(width).height() / std::max(lines, 1);
    // All but the command's lines, with room for a notice of two lines.
    const qreal rest = headerHeight() + 2 * spacing + 2 * blockPaddingY + noticeSpacing
        + 2 * QFontMetricsF(noticeFont()).height() + planButtons(cardWidth).height;
    const int fit = static_cast<int>(std::floor((*m_fitHeight - rest) / std::max<qreal>(lineHeight, 1)));
    return std::min(lines, std::clamp(fit, fewestCommandLines, visibleCommandLines));
}

qreal ApprovalCard::commandViewHeight(qreal cardWidth) const
{
    const qreal width = commandTextWidth(cardWidth);
    const int lines = commandAt(cardWidth).lineCount(width);
    const qreal full = commandAt(cardWidth).sizeFor(width).height();
    const int shown = shownCommandLineCount(cardWidth);
    return lines <= shown ? full : full * shown / lines;
}

qreal ApprovalCard::commandScrollRange() const
{
    if (m_cardWidth <= 0) {
        return 0;
    }
    const qreal width = commandTextWidth(m_cardWidth);
    return std::max<qreal>(0, commandAt(m_cardWidth).sizeFor(width).height() - commandViewHeight(m_cardWidth));
}

const ui::Paragraph& ApprovalCard::noticeAt(qreal cardWidth) const
{
    QStringList parts;
    const int lines = commandAt(cardWidth).lineCount(commandTextWidth(cardWidth));
    if (lines > shownCommandLineCount(cardWidth)) {
        parts.append(QStringLiteral("Scroll the command to read all %1 lines.").arg(lines));
    }
    if (m_omitted > 0) {
        parts.append(
            QStringLiteral("Too large to show whole: %1 characters in its middle are left out.").arg(m_omitted));
    }
    const QString text = parts.join(QLatin1Char(' '));
    if (text != m_notice.text()) {
        m_notice = ui::Paragraph(text, { noticeFont(), SystemColors::orange });
    }
    return m_notice;
}

ApprovalCard::ButtonPlan ApprovalCard::planButtons(qreal width) const
{
    const QFontMetricsF metrics(buttonFont());
    const qreal lineHeight = metrics.height() + 2 * buttonPaddingY;
    ButtonPlan plan;
    const qreal third = (width - 2 * buttonSpacing) / 3;
    const qreal room = third - 2 * buttonPaddingX;
    const bool oneLine = metrics.horizontalAdvance(m_labels[0].text()) <= room
        && metrics.horizontalAdvance(m_labels[1].text()) <= room && nameFits(room);
    if (oneLine) {
        for (size_t i = 0; i < plan.frames.size(); ++i) {
            plan.frames[i] = QRectF(static_cast<qreal>(i) * (third + buttonSpacing), 0, third, lineHeight);
        }
        plan.height = lineHeight;
        return plan;
    }
    // The tool's name is what the last label is about: it gets a line of its own, as wide as the card.
    const qreal half = (width - buttonSpacing) / 2;
    plan.frames[0] = QRectF(0, 0, half, lineHeight);
    plan.frames[1] = QRectF(half + buttonSpacing, 0, half, lineHeight);
    const qreal labelHeight = label(2, width).sizeFor(std::max<qreal>(width - 2 * buttonPaddingX, 1)).height();
    plan.frames[2] = QRectF(0, lineHeight + buttonSpacing, width, labelHeight + 2 * buttonPaddingY);
    plan.height = plan.frames[2].bottom();
    return plan;
}

std::array<QRectF, 3> ApprovalCard::buttonFrames() const
{
    return { m_standing[0].frame(), m_standing[1].frame(), m_standing[2].frame() };
}

QStringList ApprovalCard::buttonLabelLines(int index) const
{
    const auto i = static_cast<size_t>(index);
    const qreal width = m_standing[i].frame().width();
    return label(i, width).lines(std::max<qreal>(width - 2 * buttonPaddingX, 1));
}

qreal ApprovalCard::heightForWidth(qreal width) const
{
    const qreal block = commandViewHeight(width) + 2 * blockPaddingY;
    const ui::Paragraph& notice = noticeAt(width);
    const qreal noticeHeight = notice.text().isEmpty() ? 0 : noticeSpacing + notice.sizeFor(width).height();
    return headerHeight() + spacing + block + noticeHeight + spacing + planButtons(width).height;
}

QStringList ApprovalCard::shownCommandLines() const
{
    if (m_cardWidth <= 0) {
        return {};
    }
    const qreal width = commandTextWidth(m_cardWidth);
    const QStringList all = commandAt(m_cardWidth).lines(width);
    const qreal lineHeight = commandAt(m_cardWidth).sizeFor(width).height() / std::max<qsizetype>(all.size(), 1);
    const qreal view = commandViewHeight(m_cardWidth);
    QStringList shown;
    for (qsizetype i = 0; i < all.size(); ++i) {
        const qreal top = static_cast<qreal>(i) * lineHeight;
        if (top + lineHeight > m_scroll && top < m_scroll + view) {
            shown.append(all[i]);
        }
    }
    return shown;
}

void ApprovalCard::paint(QPainter& painter, const QRectF& frame, qint64 nowMs)
{
    m_cardWidth = frame.width();
    m_scroll = std::clamp<qreal>(m_scroll, 0, commandScrollRange());
    painter.save();
    qreal y = frame.top();
    paintHeader(painter, QRectF(frame.left(), y, frame.width(), headerHeight()));
    y += headerHeight() + spacing;

    const qreal textWidth = commandTextWidth(frame.width());
    const qreal view = commandViewHeight(frame.width());
    m_blockFrame = QRectF(frame.left(), y, frame.width(), view + 2 * blockPaddingY);
    painter.setPen(Qt::NoPen);
    painter.setBrush(darkBrown);
    painter.drawRoundedRect(m_blockFrame, blockRadius, blockRadius);
    const double fresh = m_fresh.valueAt(nowMs);
    const qreal rim = 1 + 1.5 * fresh;
    painter.setPen(QPen(withAlpha(SystemColors::orange, 0.18 + 0.82 * fresh), rim));
    painter.setBrush(Qt::NoBrush);
    painter.drawRoundedRect(
        m_blockFrame.adjusted(rim / 2, rim / 2, -rim / 2, -rim / 2), blockRadius - rim / 2, blockRadius - rim / 2);
    const QRectF text(m_blockFrame.left() + blockPaddingX, y + blockPaddingY, textWidth, view);
    painter.save();
    painter.setClipRect(text, Qt::IntersectClip);
    commandAt(frame.width())
        .paint(painter, text.topLeft() - QPointF(0, m_scroll), textWidth, m_scroll, m_scroll + view);
    painter.restore();
    if (const qreal range = commandScrollRange(); range > 0) {
        const qreal full = view + range;
        const qreal thumb = std::max(minimumThumb, view * view / full);
        const QRectF bar(
            text.right() + thumbRoom - thumbWidth, text.top() + (view - thumb) * m_scroll / range, thumbWidth, thumb);
        painter.setPen(Qt::NoPen);
        painter.setBrush(withAlpha(SystemColors::orange, 0.6));
        painter.drawRoundedRect(bar, thumbWidth / 2, thumbWidth / 2);
    }
    y = m_blockFrame.bottom();

    const ui::Paragraph& notice = noticeAt(frame.width());
    if (!notice.text().isEmpty()) {
        notice.paint(painter, QPointF(frame.left(), y + noticeSpacing), frame.width());
        y += noticeSpacing + notice.sizeFor(frame.width()).height();
    }
    y += spacing;
    const ButtonPlan plan = planButtons(frame.width());
    // A button counts only while the card is seen from its head down to that button: one the list cuts may hide the
    // command it answers, and what lies below it does not matter to it. A card taller than the list can show counts
    // once the button shows, or it could never be answered.
    const std::optional<QRectF>& viewport = m_environment.viewport;
    const QRectF seen = viewport ? viewport->adjusted(-1, -1, 1, 1) : QRectF();
    std::array<bool, 3> inView {};
    for (size_t i = 0; i < inView.size(); ++i) {
        const QRectF button = plan.frames[i].translated(frame.left(), y);
        const QRectF upToIt(frame.topLeft(), QPointF(frame.right(), button.bottom()));
        inView[i]
            = !viewport || seen.contains(upToIt) || (upToIt.height() > viewport->height() && seen.contains(button));
    }
    // Its frames are told apart on the screen by a mark in the block's foot, below the text.
    const QRectF foot(
        m_blockFrame.left() + blockRadius, m_blockFrame.bottom() - blockPaddingY / 2, FrameMark::length, 1);
    if (!m_environment.markSpot && (!viewport || seen.contains(foot))) {
        m_environment.markSpot = ViewEnvironment::MarkSpot { painter.transform().map(foot.topLeft()), darkBrown.rgb() };
    }
    paintButtons(painter, plan, QPointF(frame.left(), y), inView, nowMs);
    painter.restore();
}

void ApprovalCard::paintHeader(QPainter& painter, const QRectF& line)
{
    ui::Symbols::paint(painter, ui::Symbol::ExclamationmarkTriangleFill,
        QRectF(line.left(), line.top() + (line.height() - headerSymbol) / 2, headerSymbol, headerSymbol),
        SystemColors::orange);
    qreal headerRight = line.right();
    m_timeLeft.clear();
    if (m_failsOpenAtMs) {
        const qint64 msLeft = std::max<qint64>(0, *m_failsOpenAtMs - m_environment.clock->continuousMs());
        const qint64 seconds = (msLeft + 999) / 1000;
        m_timeLeft = QStringLiteral("%1 s left").arg(seconds);
        const QFontMetricsF metrics(timeLeftFont());
        const qreal width = metrics.horizontalAdvance(m_timeLeft);
        const QRectF slot(line.right() - width, line.top(), width, line.height());
        painter.setFont(timeLeftFont());
        painter.setPen(withAlpha(SystemColors::orange, 0.85));
        painter.drawText(slot, Qt::AlignRight | Qt::AlignVCenter, m_timeLeft);
        headerRight = slot.left() - headerSpacing;
        // Drawn again when the count changes; a card that is drawn sooner asks again.
        if (seconds > 0) {
            const qint64 untilNext = msLeft - (seconds - 1) * 1000;
            m_environment.updateArea(painter.transform().mapRect(slot), static_cast<int>(untilNext));
        }
    }
    const QFontMetricsF metrics(headerFont());
    const qreal left = line.left() + headerSymbol + headerSpacing;
    if (const qreal width = std::max<qreal>(0, headerRight - left); width != m_headerWidth) {
        m_headerWidth = width;
        m_headerLine = ui::elidedLine(m_header, headerFont(), width, Qt::ElideRight, shownName);
    }
    painter.setFont(headerFont());
    painter.setPen(SystemColors::orange);
    painter.drawText(
        QPointF(left, line.top() + (line.height() - metrics.height()) / 2 + metrics.ascent()), m_headerLine);
}

void ApprovalCard::paintButtons(
    QPainter& painter, const ButtonPlan& plan, QPointF origin, const std::array<bool, 3>& inView, qint64 nowMs)
{
    const auto all = buttons(m_toolName);
    const QRectF area(origin, QSizeF(plan.frames[2].right(), plan.height));
    const std::optional<qint64> panelStill = m_environment.hand.stillSinceMs();
    const quint64 frameNumber = m_environment.frames ? m_environment.frames->drawn() : 0;
    for (size_t i = 0; i < all.size(); ++i) {
        m_standing[i].place(
            plan.frames[i].translated(origin), inView[i], panelStill, nowMs, frameNumber, m_environment.frames);
        m_environment.awaitsScreen = m_environment.awaitsScreen || m_standing[i].turnsWith(frameNumber);
        // The bar fills on while the button waits, and the frame that shows it ready is drawn as it becomes so.
        if (const std::optional<qint64> ready = m_standing[i].readyAtMs(); ready && *ready > nowMs) {
            m_environment.updateArea(area, static_cast<int>(std::min<qint64>(waitingFrameMs, *ready - nowMs)));
        }
    }
    // A button held down that moved or took another meaning since is no longer the one that was pressed.
    if (m_pressed >= 0 && !m_standing[static_cast<size_t>(m_pressed)].takes(m_pressedAtMs)) {
        setPressed(-1);
    }
    // What takes no press yet looks it, and shows how long until it does.
    const qreal opacity = painter.opacity();
    for (size_t i = 0; i < all.size(); ++i) {
        const QRectF slot = m_standing[i].frame();
        const bool ready = m_standing[i].drawsReady(nowMs);
        painter.setOpacity(opacity * (ready ? 1 : fadedOpacity));
        const double pressed = m_press[i].valueAt(nowMs);
        const ButtonLook colours = look(all[i].kind);
        painter.save();
        const qreal scale = 1 - (1 - pressedScale) * pressed;
        painter.translate(slot.center());
        painter.scale(scale, scale);
        const QRectF local(-slot.width() / 2, -slot.height() / 2, slot.width(), slot.height());
        QColor fill = colours.fill;
        fill.setAlphaF(static_cast<float>(fill.alphaF() * (1 - 0.3 * pressed)));
        painter.setPen(Qt::NoPen);
        painter.setBrush(fill);
        painter.drawRoundedRect(local, buttonRadius, buttonRadius);
        if (colours.border.alpha() > 0) {
            painter.setPen(QPen(colours.border, 1));
            painter.setBrush(Qt::NoBrush);
            painter.drawRoundedRect(local.adjusted(0.5, 0.5, -0.5, -0.5), buttonRadius - 0.5, buttonRadius - 0.5);
        }
        const qreal labelWidth = std::max<qreal>(local.width() - 2 * buttonPaddingX, 1);
        const ui::Paragraph& text = label(i, slot.width());
        text.paint(painter, QPointF(local.left() + buttonPaddingX, -text.sizeFor(labelWidth).height() / 2), labelWidth);
        if (!ready) {
            const QRectF track = local.adjusted(buttonRadius, local.height() - waitingBar - 3, -buttonRadius, -3);
            painter.setOpacity(opacity);
            painter.setPen(Qt::NoPen);
            painter.setBrush(all[i].kind == ButtonKind::Warning ? colours.fill : colours.label);
            painter.drawRect(
                QRectF(track.topLeft(), QSizeF(track.width() * m_standing[i].progressAt(nowMs), track.height())));
        }
        painter.restore();
    }
    painter.setOpacity(opacity);
}

bool ApprovalCard::isAnimating(qint64 nowMs) const
{
    return m_fresh.isRunning(nowMs)
        || std::any_of(m_press.begin(), m_press.end(), [nowMs](const Animation& a) { return a.isRunning(nowMs); });
}

bool ApprovalCard::isReady(int index) const
{
    return m_standing[static_cast<size_t>(index)].takes(m_environment.nowMs());
}

bool ApprovalCard::isArmed() const
{
    const qint64 now = m_environment.nowMs();
    return std::all_of(
        m_standing.begin(), m_standing.end(), [&](const Standing& standing) { return standing.takes(now); });
}

bool ApprovalCard::pointer(PointerPhase phase, QPointF pos)
{
    const auto hit = std::find_if(m_standing.begin(), m_standing.end(),
        [pos](const Standing& standing) { return standing.frame().contains(pos); });
    const int index = hit == m_standing.end() ? -1 : static_cast<int>(hit - m_standing.begin());
    switch (phase) {
    case PointerPhase::Move:
        return false;
    case PointerPhase::Down: {
        const qint64 at = m_environment.eventMs();
        const bool takes = index >= 0 && hit->takes(at);
        if (index >= 0 && !takes && hit->drawsReady(m_environment.nowMs())) {
            // Its second is over, but the screen did not show it ready yet when it was pressed: it shows it now.
            m_environment.update();
        }
        if (m_pressed >= 0 || takes) {
            setPressed(takes ? index : -1);
        }
        m_pressedAtMs = at;
        // Taken on a button either way, so that it neither toggles the row nor answers anything.
        return index >= 0;
    }
    case PointerPhase::Up: {
        const int pressed = m_pressed;
        if (pressed < 0) {
            return false;
        }
        setPressed(-1);
        if (index == pressed) {
            const Button button = buttons(m_toolName)[static_cast<size_t>(index)];
            qInfo().noquote() << button.diagnostic;
            if (m_onApprove) {
                m_onApprove(m_toolUseId, button.action);
            }
        }
        return true;
    }
    }
    return false;
}

bool ApprovalCard::pointerLeft()
{
    if (m_pressed < 0) {
        return false;
    }
    setPressed(-1);
    return true;
}

bool ApprovalCard::wheel(QPointF pos, qreal dy)
{
    const qreal range = commandScrollRange();
    if (!m_blockFrame.contains(pos) || range <= 0) {
        return false;
    }
    // At either end the wheel goes on to the list around the card.
    const qreal scrolled = std::clamp<qreal>(m_scroll - dy, 0, range);
    if (scrolled == m_scroll) {
        return false;
    }
    m_scroll = scrolled;
    // What the buttons answer moved under the person's eyes: it has to stand still again before they decide.
    restartCount();
    return true;
}

void ApprovalCard::restartCount()
{
    for (Standing& standing : m_standing) {
        standing.renew();
    }
    if (m_pressed >= 0) {
        setPressed(-1);
    }
}

void ApprovalCard::setPressed(int index)
{
    const qint64 now = m_environment.nowMs();
    const auto animate = [&](int i, double target) {
        Animation& press = m_press[static_cast<size_t>(i)];
        press = Animation(press.valueAt(now), target, now, MotionCurve::easeInOut(pressSeconds));
    };
    if (m_pressed >= 0) {
        animate(m_pressed, 0);
    }
    m_pressed = index;
    if (index >= 0) {
        animate(index, 1);
    }
    m_environment.update();
}

} // namespace murmeli::notch
