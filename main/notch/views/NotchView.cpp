#include "main/notch/views/NotchView.h"

#include <algorithm>
#include <cmath>

#include <QPainter>
#include <QPainterPath>

#include "main/device/tts/TTSEngine.h"
#include "main/notch/kit/CurveProgress.h"
#include "main/notch/kit/Stack.h"
#include "main/notch/layout/NotchDisplay.h"
#include "main/notch/layout/NotchExpansionState.h"
#include "main/notch/layout/NotchLayout.h"
#include "main/notch/layout/NotchMotion.h"
#include "main/notch/model/PanelViewModel.h"
#include "main/notch/views/ContentAreaView.h"
#include "main/notch/views/NotchASRTape.h"
#include "main/notch/views/NotchAXBanner.h"
#include "main/notch/views/TopHighlight.h"
#include "main/notch/views/TopStripView.h"
#include "main/notch/views/VoiceBadge.h"
#include "main/ui/design/Tokens.h"
#include "platform/defaults/Defaults.h"

namespace murmeli::notch {

namespace {

constexpr qint64 childFadeMs = 200;
/// A measured height is stored only when it moved by more than this.
constexpr qreal measurementThreshold = 0.5;
/// Points: what is left of a move smaller than this does not show.
constexpr qreal stillWithin = 1;

const QString tapeKey = QStringLiteral("tape");
const QString axKey = QStringLiteral("ax");
const QString contentKey = QStringLiteral("content");

/// The badge on show while closed: the cancel banner wins over the commit hint.
std::optional<VoiceBadge::Kind> badgeKind(const notch::PanelViewModel& vm, bool expanded)
{
    if (expanded) {
        return std::nullopt;
    }
    if (vm.voiceCancelledFeedback()) {
        return VoiceBadge::Kind::Cancelled;
    }
    if (!vm.awaitingCommitText().isEmpty()) {
        return vm.awaitingCommitIsRaw() ? VoiceBadge::Kind::AwaitingCommitRaw : VoiceBadge::Kind::AwaitingCommit;
    }
    return std::nullopt;
}

QString keyOf(VoiceBadge::Kind kind)
{
    switch (kind) {
    case VoiceBadge::Kind::AwaitingCommit:
        return QStringLiteral("commit");
    case VoiceBadge::Kind::AwaitingCommitRaw:
        return QStringLiteral("commit.raw");
    case VoiceBadge::Kind::Cancelled:
        return QStringLiteral("cancelled");
    }
    return {};
}

/// Paints every child of kids, the present ones at the frame place() gives them and those fading out where they
/// last were, each at its fade's opacity.
template <typename Place>
void paintChildren(QPainter& painter, const ViewEnvironment& environment, KeyedChildren<QString>& kids, qint64 nowMs,
    const Place& place)
{
    kids.prune(nowMs);
    for (auto& child : kids.children()) {
        if (!child.removed) {
            child.frame = place(*child.view);
        }
        if (!environment.redraws(painter.transform().mapRect(child.frame))) {
            continue;
        }
        painter.save();
        painter.setOpacity(painter.opacity() * child.opacity.valueAt(nowMs));
        child.view->paint(painter, child.frame, nowMs);
        painter.restore();
    }
}

template <typename T> T* presentChild(const KeyedChildren<QString>& kids, const QString& key)
{
    return static_cast<T*>(kids.find(key));
}

} // namespace

NotchView::NotchView(const ViewEnvironment& environment, NotchViewLinks links)
    : m_environment(environment), m_links(std::move(links)), m_strip(std::make_unique<TopStripView>(environment)),
      m_tape(childFadeMs, childFadeMs), m_badge(childFadeMs, childFadeMs), m_ax(childFadeMs, childFadeMs),
      m_content(childFadeMs, childFadeMs)
{
    refresh();
    m_boxFrom = targetSize();
}

NotchView::~NotchView() = default;

bool NotchView::isASRTapeActive(const notch::PanelViewModel& vm)
{
    return vm.pttActive() || !vm.asrPartialText().isEmpty() || vm.asrEnhancing() || !vm.asrEnhancedText().isEmpty()
        || !vm.awaitingCommitText().isEmpty() || vm.voiceCancelledFeedback() || !vm.modeBHintText().isEmpty();
}

bool NotchView::isAXBannerActive(const notch::PanelViewModel& vm, bool asrTapeActive)
{
    return vm.accessibilityNeedGrant() && !asrTapeActive && !vm.voiceCancelledFeedback()
        && vm.awaitingCommitText().isEmpty();
}

qreal NotchView::contentWidth(bool expanded, bool asrTapeActive, qreal notchWidth, bool isRealNotch, bool isStart)
{
    if (expanded) {
        return NotchLayout::expandedWidth(notchWidth, isRealNotch);
    }
    const qreal closed = NotchLayout::closedWidth(notchWidth, isRealNotch, isStart);
    return asrTapeActive ? std::max<qreal>(closed, NotchLayout::asrTapeMaxWidth) : closed;
}

qreal NotchView::tapeRegionHeight(const notch::PanelViewModel& vm)
{
    const QString& text = vm.asrEnhancedText().isEmpty() ? vm.asrPartialText() : vm.asrEnhancedText();
    const int lines = std::min(NotchASRTape::scrollThresholdLines, NotchASRTape::estimatedLineCount(text));
    return std::max<qreal>(lines * tapeLineHeight + tapeRegionPadding, NotchLayout::asrTapeHeight);
}

qreal NotchView::contentHeight(const notch::PanelViewModel& vm, bool expanded, qreal notchHeight, qreal badgeHeight)
{
    const bool tape = isASRTapeActive(vm);
    const qreal banner = isAXBannerActive(vm, tape) ? axBannerHeightConst : 0;
    if (expanded) {
        const qreal fallback = NotchLayout::fallbackExpandedHeight(static_cast<int>(vm.sessions().size()));
        return notchHeight + banner + std::max(vm.measuredOpenedContentHeight(), fallback);
    }
    if (tape) {
        return notchHeight + tapeRegionHeight(vm) + badgeHeight;
    }
    return notchHeight + banner;
}

QSizeF NotchView::targetSize() const
{
    const bool isStart = m_links.expansionState.startActive();
    const qreal width = contentWidth(m_expanded, m_tapeActive, m_links.notchWidth, m_links.isRealNotch, isStart);
    const VoiceBadge* shown = badge();
    const qreal badgeHeight = shown ? shown->idealSize().height() : 0;
    return { width, contentHeight(m_links.vm, m_expanded, m_links.notchHeight, badgeHeight) };
}

bool NotchView::isMuted() const
{
    return m_links.defaults.boolValue(QString::fromLatin1(device::TTSEngine::mutedUDKey)).value_or(false);
}

void NotchView::collapse()
{
    if (m_links.expansionState.isExpanded()) {
        m_links.expansionState.setExpanded(false);
    }
}

void NotchView::followHeldRequests()
{
    QSet<QString> held;
    for (const notch::SessionRow& row : m_links.vm.sessions()) {
        if (row.approval) {
            held.insert(row.approval->toolUseId);
        }
    }
    if (!m_heldChange(held) || !m_links.expansionState.isExpanded()) {
        return;
    }
    const bool holding = std::exchange(m_holdOpen, !held.isEmpty());
    if (holding && !m_holdOpen && !m_pointerInside) {
        collapse();
    }
}

void NotchView::pointerOutside()
{
    m_pointerInside = false;
    if (!m_holdOpen) {
        collapse();
    }
}

void NotchView::refresh()
{
    m_dirty = false;
    followHeldRequests();
    const notch::PanelViewModel& vm = m_links.vm;
    const NotchExpansionState& state = m_links.expansionState;
    const qint64 now = m_environment.nowMs();
    const bool expanded = state.isExpanded();
    const bool turned = m_expandedChange(expanded);
    if (turned) {
        // The panel opens under the pointer (hover or click on the strip); a hold belongs to one opening.
        m_pointerInside = expanded;
        m_holdOpen = false;
        // Whatever size the box has at this moment is where the change starts from, even mid-spring.
        m_boxFrom = currentSize(now);
        m_shapeFromOpened = m_expanded;
        m_boxSpring = Animation(0, 1, now, expanded ? NotchMotion::open : NotchMotion::close);
        m_arriving = expanded;
        if (expanded) {
            m_environment.hand.opened(now);
        }
    }
    m_expanded = expanded;
    m_tapeActive = isASRTapeActive(vm);
    m_axActive = isAXBannerActive(vm, m_tapeActive);
    if (turned || m_arriving) {
        // The box is at rest once its edges stay within a point of where they come to stand: the spring's tail, which
        // no eye sees, is not waited for. Its sides move half the change of its width each, its bottom all of its
        // height's, which the content's first measure may still change while it opens.
        const QSizeF to = targetSize();
        const qreal travel = std::max(
            { std::abs(to.width() - m_boxFrom.width()) / 2, std::abs(to.height() - m_boxFrom.height()), stillWithin });
        m_boxProgress = m_boxSpring.endingWithin(stillWithin / travel);
        if (turned && expanded) {
            m_openSettlesAt = m_boxProgress.endMs();
        }
    }

    TopStripInputs strip;
    strip.display = NotchDisplay::derive(vm, state);
    strip.height = m_links.notchHeight;
    strip.notchReserveWidth = m_links.isRealNotch ? m_links.notchWidth : 0;
    strip.isExpanded = expanded;
    strip.isMuted = isMuted();
    strip.onToggleMute = [this] {
        m_links.defaults.setValue(QString::fromLatin1(device::TTSEngine::mutedUDKey), !isMuted());
        markDirty();
        m_environment.update();
    };
    strip.onOpenSettings = [this] {
        collapse();
        if (m_links.onOpenSettings) {
            m_links.onOpenSettings();
        }
    };
    // Like the settings, the question that quitting may ask comes with the panel closed.
    strip.onQuit = m_links.onQuit ? std::function<void()>([this] {
        collapse();
        m_links.onQuit();
    })
                                  : nullptr;
    strip.settlesAtMs = m_openSettlesAt;
    strip.sessionCount = vm.sessionTotal();
    strip.attentionPrefix = vm.attentionSessionProjectName();
    strip.approvalText = vm.pendingApprovalMessage();
    strip.summaryText = vm.summaryText();
    strip.onSummaryFinished = [this] { m_links.vm.setSummaryActive(false); };
    m_strip->update(std::move(strip));

    m_tape.sync(m_tapeActive && !expanded ? std::vector { tapeKey } : std::vector<QString> {}, now,
        [this](const QString&) { return std::make_unique<NotchASRTape>(m_environment); });
    if (auto* tapeView = tape()) {
        tapeView->update({ vm.asrPartialText(), vm.asrEnhancing(), vm.asrEnhancedText(), NotchLayout::asrTapeMaxWidth,
            vm.modeBHintText(), vm.modeBHintIsNotice() });
    }

    const std::optional<VoiceBadge::Kind> kind = badgeKind(vm, expanded);
    m_badge.sync(kind ? std::vector { keyOf(*kind) } : std::vector<QString> {}, now,
        [kind](const QString&) { return std::make_unique<VoiceBadge>(*kind); });

    m_ax.sync(m_axActive ? std::vector { axKey } : std::vector<QString> {}, now, [this](const QString&) {
        auto banner = std::make_unique<NotchAXBanner>(m_environment);
        banner->onClick = [this] {
            if (m_links.onOpenPermissions) {
                m_links.onOpenPermissions();
            }
        };
        return banner;
    });

    m_content.sync(expanded ? std::vector { contentKey } : std::vector<QString> {}, now, [this](const QString&) {
        return std::make_unique<ContentAreaView>(m_environment,
            ContentAreaLinks { m_links.vm, m_links.expansionState, m_links.maxContentHeight, [this] { collapse(); } });
    });
    if (auto* content = contentArea()) {
        content->refresh();
    }
}

NotchASRTape* NotchView::tape() const
{
    return presentChild<NotchASRTape>(m_tape, tapeKey);
}

VoiceBadge* NotchView::badge() const
{
    for (const auto& child : m_badge.children()) {
        if (!child.removed) {
            return static_cast<VoiceBadge*>(child.view.get());
        }
    }
    return nullptr;
}

NotchAXBanner* NotchView::axBanner() const
{
    return presentChild<NotchAXBanner>(m_ax, axKey);
}

ContentAreaView* NotchView::contentArea() const
{
    return presentChild<ContentAreaView>(m_content, contentKey);
}

QSizeF NotchView::currentSize(qint64 nowMs) const
{
    const QSizeF target = targetSize();
    if (!m_boxProgress.isRunning(nowMs)) {
        return target;
    }
    const double p = m_boxProgress.valueAt(nowMs);
    return { m_boxFrom.width() + (target.width() - m_boxFrom.width()) * p,
        m_boxFrom.height() + (target.height() - m_boxFrom.height()) * p };
}

NotchShape NotchView::currentShape(qint64 nowMs) const
{
    // With a real notch the body meets the hardware flush: no top rounding.
    const auto shapeFor = [this](bool opened) {
        if (m_links.isRealNotch) {
            return NotchShape { 0, opened ? NotchLayout::shapeOpenedBotR : NotchLayout::shapeClosedBotR };
        }
        return opened ? NotchShape::opened() : NotchShape::closed();
    };
    const NotchShape target = shapeFor(m_expanded);
    if (!m_boxProgress.isRunning(nowMs)) {
        return target;
    }
    return shapeFor(m_shapeFromOpened).interpolated(target, m_boxProgress.valueAt(nowMs));
}

void NotchView::paintBackground(QPainter& painter, const QRectF& box, qint64 nowMs)
{
    const QPainterPath outline = currentShape(nowMs).path(box);
    painter.save();
    // Without a notch the body is the panel's glass. No blur lies behind it here, and translucent glass would show
    // the title bars and text of the windows under it through the list; laid over black it keeps its tone, opaque.
    const QColor glass = ui::Color::vantorSurfaceGlass;
    const QColor opaqueGlass = QColor::fromRgbF(
        glass.redF() * glass.alphaF(), glass.greenF() * glass.alphaF(), glass.blueF() * glass.alphaF());
    painter.fillPath(outline, m_links.isRealNotch ? QColor(Qt::black) : opaqueGlass);
    TopHighlight highlight;
    highlight.paint(painter, QRectF(box.left(), box.top(), box.width(), 1), nowMs);
    QColor edge = ui::Color::vantorText;
    edge.setAlphaF(0.06f);
    QPen pen(edge, 0.5, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin);
    pen.setMiterLimit(10);
    painter.setPen(pen);
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(outline);
    painter.restore();
}

void NotchView::paint(QPainter& painter, const QRectF& frame, qint64 nowMs)
{
    if (m_dirty) {
        refresh();
    }
    const QSizeF size = currentSize(nowMs);
    const QRectF box(frame.left() + (frame.width() - size.width()) / 2, frame.top(), size.width(), size.height());
    if (box != m_box) {
        m_box = box;
        if (onBoxChanged) {
            onBoxChanged(box);
        }
    }
    if (m_arriving && !m_boxProgress.isRunning(nowMs)) {
        // This frame draws everything where it stays: the last step of the opening, which what it draws is told of
        // as it is placed, so that a card counts its time at rest from the frame that shows it so.
        m_arriving = false;
        m_environment.hand.stoodStill(nowMs);
    }
    paintBackground(painter, box, nowMs);
    painter.save();
    painter.setClipRect(box, Qt::IntersectClip);

    qreal y = box.top();
    m_stripFrame = QRectF(box.left(), y, box.width(), m_links.notchHeight);
    m_strip->paint(painter, m_stripFrame, nowMs);
    y += m_links.notchHeight;

    const qreal region = tapeRegionHeight(m_links.vm);
    m_tapeFrame = QRectF();
    paintChildren(painter, m_environment, m_tape, nowMs, [&](View& view) {
        // The tape never gets more than its region: taller text is pinned to the bottom inside it.
        const qreal height = std::min(static_cast<NotchASRTape&>(view).contentHeight(box.width()), region);
        m_tapeFrame = QRectF(box.left(), y, box.width(), height);
        return m_tapeFrame;
    });
    y += m_tapeFrame.height();

    m_badgeFrame = QRectF();
    paintChildren(painter, m_environment, m_badge, nowMs, [&](View& view) {
        m_badgeFrame = aligned(view.idealSize(), QRectF(box.left(), y, box.width(), view.idealSize().height()));
        return m_badgeFrame;
    });
    y += m_badgeFrame.height();

    m_axFrame = QRectF();
    paintChildren(painter, m_environment, m_ax, nowMs, [&](View&) {
        m_axFrame = QRectF(box.left(), y, box.width(), axBannerHeightConst);
        return m_axFrame;
    });
    y += m_axFrame.height();

    m_contentFrame = QRectF();
    paintChildren(painter, m_environment, m_content, nowMs, [&](View&) {
        m_contentFrame = QRectF(box.left(), y, box.width(), std::max<qreal>(box.bottom() - y, 0));
        return m_contentFrame;
    });
    painter.restore();
    applyMeasurement();
}

void NotchView::applyMeasurement()
{
    const ContentAreaView* content = contentArea();
    if (!content) {
        return;
    }
    const std::optional<qreal> measured = content->measuredHeight();
    if (measured && std::abs(*measured - m_links.vm.measuredOpenedContentHeight()) > measurementThreshold) {
        m_links.vm.setMeasuredOpenedContentHeight(*measured);
    }
}

bool NotchView::isAnimating(qint64 nowMs) const
{
    return m_boxProgress.isRunning(nowMs) || m_strip->isAnimating(nowMs) || m_tape.isAnimating(nowMs)
        || m_badge.isAnimating(nowMs) || m_ax.isAnimating(nowMs) || m_content.isAnimating(nowMs);
}

bool NotchView::pointer(PointerPhase phase, QPointF pos)
{
    if (!m_expanded) {
        return false;
    }
    if (phase == PointerPhase::Move && !m_box.contains(pos)) {
        m_environment.hand.left();
        m_strip->pointerLeft();
        pointerOutside();
        return true;
    }
    if (phase == PointerPhase::Move) {
        m_environment.hand.moved(m_environment.eventMs());
        m_pointerInside = true;
        m_holdOpen = false;
    }
    NotchAXBanner* banner = axBanner();
    ContentAreaView* content = contentArea();
    if (phase == PointerPhase::Move) {
        // Hover belongs to everything under the pointer, so every child hears every move.
        bool changed = m_strip->pointer(phase, pos);
        changed |= banner && banner->pointer(phase, pos);
        changed |= content && content->pointer(phase, pos);
        return changed;
    }
    bool taken = m_strip->pointer(phase, pos);
    taken = taken || (banner && banner->pointer(phase, pos));
    taken = taken || (content && content->pointer(phase, pos));
    // A single tap anywhere on the strip that nothing in it took closes the expanded panel; not one that went down
    // while the panel still opened under the pointer: that click was meant to open it, and the pointer got there first.
    if (phase == PointerPhase::Down) {
        m_stripPressed
            = !taken && m_stripFrame.contains(pos) && !m_environment.hand.isArriving(m_environment.eventMs());
    } else if (phase == PointerPhase::Up) {
        if (std::exchange(m_stripPressed, false) && !taken && m_stripFrame.contains(pos)) {
            collapse();
            return true;
        }
    }
    return taken;
}

bool NotchView::pointerLeft()
{
    m_environment.hand.left();
    bool changed = m_strip->pointerLeft();
    if (NotchAXBanner* banner = axBanner()) {
        changed |= banner->pointerLeft();
    }
    if (ContentAreaView* content = contentArea()) {
        changed |= content->pointerLeft();
    }
    if (m_expanded) {
        pointerOutside();
        changed = true;
    }
    return changed;
}

QString NotchView::toolTipAt(QPointF pos) const
{
    if (const NotchAXBanner* banner = axBanner(); banner && m_axFrame.contains(pos)) {
        return NotchAXBanner::toolTip();
    }
    const ContentAreaView* content = contentArea();
    return m_expanded && content ? content->toolTipAt(pos) : QString();
}

bool NotchView::wheel(QPointF pos, qreal dy)
{
    ContentAreaView* content = contentArea();
    return m_expanded && content && content->wheel(pos, dy);
}

} // namespace murmeli::notch
