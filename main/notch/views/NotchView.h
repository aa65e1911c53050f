#pragma once

#include <functional>
#include <memory>

#include <QRectF>
#include <QSet>
#include <QString>

#include "main/notch/geometry/NotchShape.h"
#include "main/notch/kit/Animation.h"
#include "main/notch/kit/KeyedChildren.h"
#include "main/notch/kit/OnChange.h"
#include "main/notch/kit/View.h"
#include "main/notch/kit/ViewEnvironment.h"

namespace murmeli::notch {
class PanelViewModel;
}

namespace murmeli::platform {
class Defaults;
}

namespace murmeli::notch {

class ContentAreaView;
class NotchASRTape;
class NotchAXBanner;
class NotchExpansionState;
class TopStripView;
class VoiceBadge;

/// What the root view is built over: the panel's state and the geometry of the screen it was shown on.
struct NotchViewLinks {
    notch::PanelViewModel& vm;
    NotchExpansionState& expansionState;
    /// Holds the mute switch of spoken announcements.
    platform::Defaults& defaults;
    qreal notchWidth = 200;
    qreal notchHeight = 32;
    bool isRealNotch = false;
    /// The settings window: the strip's settings control.
    std::function<void()> onOpenSettings;
    /// The settings window at its permissions: a click on the accessibility banner.
    std::function<void()> onOpenPermissions;
    /// The strip's power button; unset: the application quits.
    std::function<void()> onQuit;
    /// The tallest the expanded content may be (the screen's visible height less the strip); unset: no limit.
    std::function<qreal()> maxContentHeight {};
};

/// The panel's root view: the strip, then (closed) the live transcript tape and the commit hint or cancel banner,
/// the accessibility banner, and (expanded) the content area, stacked from the top in a box drawn as the notch body.
/// It sizes the box for the closed and the expanded state, springs open and eases shut, and collapses the panel when
/// the pointer leaves it or the strip is tapped. It reads the view model when it is marked dirty, at the next frame.
///
/// When the held requests change while the panel is open and one still waits (a request was answered, here or
/// elsewhere), the panel holds open: the content that went may have been under the pointer, and the next request
/// must not need a fresh hover. The hold ends when the pointer comes back into the box, or with the last request,
/// which closes the panel if the pointer is no longer over it.
class NotchView final : public View {
public:
    /// The accessibility banner's row.
    static constexpr qreal axBannerHeightConst = 22;
    /// Lines of the tape region: 16 points a line and 12 of padding, never below the tape's least height.
    static constexpr qreal tapeLineHeight = 16;
    static constexpr qreal tapeRegionPadding = 12;

    NotchView(const ViewEnvironment& environment, NotchViewLinks links);
    ~NotchView() override;

    /// A push-to-talk take has something to show: recording, a text, polishing, a waiting commit, a cancel, a hint.
    static bool isASRTapeActive(const notch::PanelViewModel& vm);
    /// The permission is missing and nothing of a take is showing.
    static bool isAXBannerActive(const notch::PanelViewModel& vm, bool asrTapeActive);
    /// The box's width: the expanded width, or the closed width (at least the tape's 560 while the tape shows).
    static qreal contentWidth(bool expanded, bool asrTapeActive, qreal notchWidth, bool isRealNotch, bool isStart);
    /// The region reserved under the strip for the tape, from the line estimate of the text it shows.
    static qreal tapeRegionHeight(const notch::PanelViewModel& vm);
    /// The box's height; badgeHeight is the commit hint's or cancel banner's height when one shows while closed.
    static qreal contentHeight(const notch::PanelViewModel& vm, bool expanded, qreal notchHeight, qreal badgeHeight);

    /// Reads the view model and expansion state again before the next frame.
    void markDirty() { m_dirty = true; }
    /// Reads them now.
    void refresh();

    /// The box's size for the current state, without animation.
    QSizeF targetSize() const;
    /// Where the last frame drew the box, in the host's coordinates.
    QRectF boxFrame() const { return m_box; }
    /// The body's outline in box, in the form it has now.
    QPainterPath outline(const QRectF& box) const { return currentShape(m_environment.nowMs()).path(box); }
    /// The pointer's leaving does not close the panel now.
    bool holdsOpen() const { return m_holdOpen; }
    /// Called after a frame in which the box moved or changed size.
    std::function<void(QRectF)> onBoxChanged;

    TopStripView& strip() const { return *m_strip; }
    NotchASRTape* tape() const;
    VoiceBadge* badge() const;
    NotchAXBanner* axBanner() const;
    ContentAreaView* contentArea() const;
    /// Where the last frame drew the tape; empty when none.
    QRectF tapeFrame() const { return m_tapeFrame; }
    QRectF badgeFrame() const { return m_badgeFrame; }
    QRectF axBannerFrame() const { return m_axFrame; }
    QRectF contentFrame() const { return m_contentFrame; }

    QSizeF idealSize() const override { return targetSize(); }
    void paint(QPainter& painter, const QRectF& frame, qint64 nowMs) override;
    bool isAnimating(qint64 nowMs) const override;
    bool pointer(PointerPhase phase, QPointF pos) override;
    bool pointerLeft() override;
    bool wheel(QPointF pos, qreal dy) override;
    QString toolTipAt(QPointF pos) const override;

private:
    bool isMuted() const;
    void collapse();
    /// Starts or ends the hold when the held requests changed; before the expansion is read.
    void followHeldRequests();
    /// The pointer left the box, or the box left the pointer.
    void pointerOutside();
    QSizeF currentSize(qint64 nowMs) const;
    NotchShape currentShape(qint64 nowMs) const;
    void paintBackground(QPainter& painter, const QRectF& box, qint64 nowMs);
    void applyMeasurement();

    const ViewEnvironment& m_environment;
    NotchViewLinks m_links;
    bool m_dirty = true;
    bool m_expanded = false;
    bool m_tapeActive = false;
    bool m_axActive = false;
    OnChange<bool> m_expandedChange;
    OnChange<QSet<QString>> m_heldChange;
    bool m_holdOpen = false;
    bool m_pointerInside = false;
    /// The box's last change of size, and the same ended once what is left of it does not show.
    Animation m_boxSpring = Animation::still(1);
    Animation m_boxProgress = Animation::still(1);
    /// When the box last opening comes to rest.
    qint64 m_openSettlesAt = 0;
    /// The box is opening and has not yet been drawn at rest.
    bool m_arriving = false;
    QSizeF m_boxFrom;
    bool m_shapeFromOpened = false;
    std::unique_ptr<TopStripView> m_strip;
    KeyedChildren<QString> m_tape;
    KeyedChildren<QString> m_badge;
    KeyedChildren<QString> m_ax;
    KeyedChildren<QString> m_content;
    QRectF m_box;
    QRectF m_stripFrame;
    QRectF m_tapeFrame;
    QRectF m_badgeFrame;
    QRectF m_axFrame;
    QRectF m_contentFrame;
    bool m_stripPressed = false;
};

} // namespace murmeli::notch
