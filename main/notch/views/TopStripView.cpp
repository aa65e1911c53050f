#include "main/notch/views/TopStripView.h"

#include <algorithm>

#include <QPainter>

#include "main/notch/kit/EmptyView.h"
#include "main/notch/kit/RowView.h"
#include "main/notch/kit/Stack.h"
#include "main/notch/kit/TextView.h"
#include "main/notch/layout/NotchLayout.h"
#include "main/notch/views/BrandDot.h"
#include "main/notch/views/CtrlGroupView.h"
#include "main/notch/views/Marquee.h"
#include "main/notch/views/PopInGlyph.h"
#include "main/notch/views/SessionCountBadge.h"
#include "main/notch/views/SignalDot.h"
#include "main/notch/views/StartRightEar.h"
#include "main/notch/views/StripEars.h"
#include "main/notch/views/StripLabels.h"
#include "main/notch/views/WarnGlyph.h"
#include "main/notch/views/WorkingLabel.h"
#include "main/ui/design/Faces.h"
#include "main/ui/design/Symbols.h"
#include "main/ui/design/Tokens.h"

namespace murmeli::notch {

namespace {

constexpr qreal compactSpacing = 8;
constexpr qreal compactPadding = 12;
constexpr qreal minimumFullMarqueeWidth = 80;

/// A symbol sized like a glyph of the system face at pixels, in color.
class SymbolView final : public View {
public:
    SymbolView(ui::Symbol symbol, qreal pixels, QColor color) : m_symbol(symbol), m_side(pixels), m_color(color) { }

    QSizeF idealSize() const override { return { m_side, m_side }; }
    void paint(QPainter& painter, const QRectF& frame, qint64) override
    {
        ui::Symbols::paint(painter, m_symbol, aligned(idealSize(), frame), m_color);
    }

private:
    ui::Symbol m_symbol;
    qreal m_side;
    QColor m_color;
};

/// A glyph and a word beside it, 4 apart: the completion's "done" and the error's "error".
std::unique_ptr<View> glyphAndWord(std::unique_ptr<View> glyph, const QString& word, QColor color)
{
    auto row = std::make_unique<RowView>(4);
    row->append(std::move(glyph));
    row->append(std::make_unique<TextView>(word, TextStyle { ui::Faces::instrumentSans(11, QFont::Medium), color }));
    return row;
}

/// The case of a display, without its payload: ears are identified by it, so that a new activity name keeps the
/// running dot while a different case brings fresh ears.
QString caseKey(const NotchDisplay& display)
{
    switch (display.kind()) {
    case NotchDisplay::Kind::Activity:
        return QStringLiteral("activity");
    case NotchDisplay::Kind::Notification:
        return toString(display.notifKind());
    default:
        // The cases without a payload are named by their own text: "start", "brand", "pttRecording".
        return toString(display);
    }
}

bool isNotification(const NotchDisplay& display, NotchNotifKind kind)
{
    return display.kind() == NotchDisplay::Kind::Notification && display.notifKind() == kind;
}

} // namespace

TopStripView::TopStripView(const ViewEnvironment& environment) : m_environment(environment) { }

TopStripView::~TopStripView() = default;

QString TopStripView::displayKey(const NotchDisplay& display)
{
    switch (display.kind()) {
    case NotchDisplay::Kind::Activity:
        return QStringLiteral("activity:") + display.name();
    case NotchDisplay::Kind::Notification:
        return QStringLiteral("notif.") + toString(display.notifKind());
    default:
        return caseKey(display);
    }
}

qreal TopStripView::fullMarqueeWidth(qreal width)
{
    const qreal inset = width - NotchLayout::marqueeFullWidthInset;
    return inset <= minimumFullMarqueeWidth ? minimumFullMarqueeWidth : inset;
}

QString TopStripView::fullMarqueeText(const TopStripInputs& inputs)
{
    if (isNotification(inputs.display, NotchNotifKind::Approval)) {
        const QString text = inputs.approvalText.isEmpty() ? QStringLiteral("approval pending") : inputs.approvalText;
        return inputs.attentionPrefix.isEmpty() ? text : inputs.attentionPrefix + QStringLiteral(" \u00B7 ") + text;
    }
    if (isNotification(inputs.display, NotchNotifKind::Summary)) {
        return inputs.summaryText.isEmpty() ? QStringLiteral("Halo, murmeli :-)") : inputs.summaryText;
    }
    return {};
}

void TopStripView::update(TopStripInputs inputs)
{
    if (m_keyChange(displayKey(inputs.display))) {
        m_marqueeFinished = false;
    }
    if (m_expandedChange(inputs.isExpanded) && inputs.isExpanded) {
        m_marqueeFinished = true;
    }
    m_inputs = std::move(inputs);
    rebuild();
}

TopStripView::Arrangement TopStripView::arrangement() const
{
    const bool runsMarquee = isNotification(m_inputs.display, NotchNotifKind::Approval)
        || isNotification(m_inputs.display, NotchNotifKind::Summary);
    if (!m_inputs.isExpanded && runsMarquee && !m_marqueeFinished) {
        return Arrangement::FullWidthMarquee;
    }
    return m_inputs.notchReserveWidth > 0 ? Arrangement::Notched : Arrangement::Compact;
}

void TopStripView::rebuild()
{
    const qint64 now = m_environment.nowMs();
    if (arrangement() == Arrangement::FullWidthMarquee) {
        m_left.sync({}, now, {});
        m_right.sync({}, now, {});
        // The marquee's width comes from the strip's; until the first frame gives it, the marquee waits.
        if (m_stripWidth > 0) {
            syncMarquee(fullMarqueeWidth(m_stripWidth));
        }
        return;
    }
    m_marquee.sync({}, now, {});
    m_left.sync({ caseKey(m_inputs.display) }, now, [this](const QString& key) { return makeLeftEar(key); });

    QString rightKey = QStringLiteral("none");
    const NotchDisplay& display = m_inputs.display;
    if (m_inputs.isExpanded) {
        rightKey = QStringLiteral("controls");
    } else if (display.kind() == NotchDisplay::Kind::Activity) {
        rightKey = QStringLiteral("working");
    } else if (display.kind() == NotchDisplay::Kind::Start || display.kind() == NotchDisplay::Kind::PttRecording) {
        rightKey = caseKey(display);
    } else if (m_inputs.sessionCount >= 1) {
        rightKey = QStringLiteral("badge:") + QString::number(m_inputs.sessionCount);
    }
    m_right.sync({ rightKey }, now, [this](const QString& key) { return makeRightContent(key); });
    if (auto* controls = dynamic_cast<CtrlGroupView*>(m_right.find(QStringLiteral("controls")))) {
        controls->update(m_inputs.isMuted, m_inputs.onToggleMute, m_inputs.onOpenSettings);
        if (m_inputs.onQuit) {
            controls->onQuit = m_inputs.onQuit;
        }
        controls->setSettlesAt(m_inputs.settlesAtMs);
    }
}

void TopStripView::syncMarquee(qreal fullWidth)
{
    const bool approval = isNotification(m_inputs.display, NotchNotifKind::Approval);
    const QString key = approval ? QStringLiteral("approval") : QStringLiteral("summary");
    StripLabels::Run run { fullWidth, NotchLayout::marqueeLoops, {} };
    if (approval) {
        run.onFinish = [this] {
            m_marqueeFinished = true;
            rebuild();
            m_environment.update();
        };
    } else {
        run.onFinish = [this] {
            // A copy: the owner answers by handing the strip new inputs, which replace this closure mid-call.
            const std::function<void()> finished = m_inputs.onSummaryFinished;
            if (finished) {
                finished();
            }
        };
    }
    const QString text = fullMarqueeText(m_inputs);
    auto label = [&] { return approval ? StripLabels::approval(text, run) : StripLabels::summary(text, run); };
    bool made = false;
    m_marquee.sync({ key }, m_environment.nowMs(), [&](const QString&) {
        made = true;
        return StripLabels::make(m_environment, label());
    });
    if (!made) {
        StripLabels::Label next = label();
        static_cast<Marquee*>(m_marquee.find(key))->update(std::move(*next.marquee), std::move(next.content));
    }
}

std::unique_ptr<View> TopStripView::makeLeftEar(const QString& key) const
{
    const NotchDisplay& display = m_inputs.display;
    switch (display.kind()) {
    case NotchDisplay::Kind::Activity:
        return std::make_unique<SignalDot>(m_environment, ui::Color::vantorSignalBlue, NotchSignalAnimation::BluePulse);
    case NotchDisplay::Kind::Start:
        return StripEars::startLeftEar();
    case NotchDisplay::Kind::Brand:
        return std::make_unique<BrandDot>(m_environment);
    case NotchDisplay::Kind::PttRecording:
        return std::make_unique<SymbolView>(ui::Symbol::MicFill, 11, ui::Color::vantorBrass);
    case NotchDisplay::Kind::Notification:
        break;
    }
    switch (display.notifKind()) {
    case NotchNotifKind::Completion:
        return glyphAndWord(PopInGlyph::check(m_environment), QStringLiteral("done"), ui::Color::vantorText);
    case NotchNotifKind::Error:
        return glyphAndWord(PopInGlyph::error(m_environment), QStringLiteral("error"), ui::Color::vantorSignalRed);
    case NotchNotifKind::Summary:
        return std::make_unique<BrandDot>(m_environment);
    case NotchNotifKind::Approval:
        // Once its marquee has run (or the panel was opened and closed again) the request still waits: the strip
        // must keep saying so, or the request fails open unseen.
        return std::make_unique<WarnGlyph>(m_environment);
    }
    Q_UNUSED(key);
    return std::make_unique<EmptyView>();
}

std::unique_ptr<View> TopStripView::makeRightContent(const QString& key) const
{
    if (key == QLatin1String("controls")) {
        return std::make_unique<CtrlGroupView>(
            m_environment, m_inputs.isMuted, m_inputs.onToggleMute, m_inputs.onOpenSettings);
    }
    if (key == QLatin1String("working")) {
        return std::make_unique<WorkingLabel>(m_environment);
    }
    if (key == QLatin1String("start")) {
        return std::make_unique<StartRightEar>(m_environment);
    }
    if (key == QLatin1String("pttRecording")) {
        return StripEars::pttRightEar(m_environment);
    }
    if (key.startsWith(QLatin1String("badge:"))) {
        return std::make_unique<SessionCountBadge>(m_inputs.sessionCount);
    }
    return std::make_unique<EmptyView>();
}

View* TopStripView::leftEar() const
{
    return m_left.children().empty() ? nullptr : m_left.children().front().view.get();
}

View* TopStripView::rightContent() const
{
    return m_right.children().empty() ? nullptr : m_right.children().front().view.get();
}

Marquee* TopStripView::marquee() const
{
    return m_marquee.children().empty() ? nullptr : static_cast<Marquee*>(m_marquee.children().front().view.get());
}

QSizeF TopStripView::idealSize() const
{
    return { 0, m_inputs.height };
}

void TopStripView::paint(QPainter& painter, const QRectF& frame, qint64 nowMs)
{
    const QRectF strip = aligned(QSizeF(frame.width(), m_inputs.height), frame);
    if (strip.width() != m_stripWidth) {
        m_stripWidth = strip.width();
        if (arrangement() == Arrangement::FullWidthMarquee) {
            syncMarquee(fullMarqueeWidth(m_stripWidth));
        }
    }
    m_left.prune(nowMs);
    m_right.prune(nowMs);
    m_marquee.prune(nowMs);
    if (Marquee* band = marquee()) {
        band->paint(painter, aligned(band->idealSize(), strip), nowMs);
        return;
    }
    paintEars(painter, strip, nowMs);
}

void TopStripView::paintEars(QPainter& painter, const QRectF& strip, qint64 nowMs)
{
    View* left = leftEar();
    View* right = rightContent();
    const qreal side = NotchLayout::leftIconOpenFrame;
    const QSizeF leftSize = m_inputs.isExpanded ? QSizeF(side, side) : (left ? left->idealSize() : QSizeF());
    const QSizeF rightSize = right ? right->idealSize() : QSizeF();
    const qreal midY = strip.center().y();
    auto placed = [midY](qreal x, const QSizeF& size) { return QRectF(QPointF(x, midY - size.height() / 2), size); };

    if (arrangement() == Arrangement::Notched) {
        const std::vector<Span> columns = layoutRow(
            { { 0, true }, { m_inputs.notchReserveWidth, false }, { 0, true } }, 0, strip.left(), strip.width());
        m_leftFrame = placed(columns[0].x + NotchLayout::earSafePadding, leftSize);
        m_rightFrame
            = placed(columns[2].x + columns[2].width - NotchLayout::earSafePadding - rightSize.width(), rightSize);
    } else {
        // Side by side in the middle; an ear with nothing to show takes no room and no spacing.
        std::vector<RowItem> items;
        if (!leftSize.isEmpty()) {
            items.push_back({ leftSize.width() });
        }
        if (!rightSize.isEmpty()) {
            items.push_back({ rightSize.width() });
        }
        const std::vector<Span> spans
            = layoutRow(items, compactSpacing, strip.left() + compactPadding, strip.width() - 2 * compactPadding);
        const qreal leftX = leftSize.isEmpty() ? strip.center().x() : spans.front().x;
        const qreal rightX = rightSize.isEmpty() ? strip.center().x() : spans.back().x;
        m_leftFrame = placed(leftX, leftSize);
        m_rightFrame = placed(rightX, rightSize);
    }
    if (left) {
        left->paint(painter, m_leftFrame, nowMs);
    }
    if (right) {
        right->paint(painter, m_rightFrame, nowMs);
    }
}

bool TopStripView::isAnimating(qint64 nowMs) const
{
    return m_left.isAnimating(nowMs) || m_right.isAnimating(nowMs) || m_marquee.isAnimating(nowMs);
}

bool TopStripView::pointer(PointerPhase phase, QPointF pos)
{
    View* right = rightContent();
    return m_inputs.isExpanded && right && right->pointer(phase, pos);
}

bool TopStripView::pointerLeft()
{
    View* right = rightContent();
    return right && right->pointerLeft();
}

} // namespace murmeli::notch
