#pragma once

#include <functional>

#include <QString>

#include "main/notch/kit/KeyedChildren.h"
#include "main/notch/kit/OnChange.h"
#include "main/notch/kit/View.h"
#include "main/notch/kit/ViewEnvironment.h"
#include "main/notch/layout/NotchDisplay.h"

namespace murmeli::notch {

class CtrlGroupView;
class Marquee;

/// What the root view hands the strip on every update.
struct TopStripInputs {
    NotchDisplay display;
    /// The notch height of the chosen screen.
    qreal height = 32;
    /// Width kept empty over a physical notch; 0 or less: the screen has none.
    qreal notchReserveWidth = 0;
    bool isExpanded = false;
    /// Handed on to the control group only.
    bool isMuted = false;
    std::function<void()> onToggleMute;
    std::function<void()> onOpenSettings;
    /// The power button; unset: the application quits.
    std::function<void()> onQuit;
    /// When the opening panel comes to rest, on the views' clock: the control group's buttons take no pointer that
    /// came onto them in a motion begun before.
    qint64 settlesAtMs = 0;
    int sessionCount = 0;
    /// Project name of the session that needs attention; may be empty.
    QString attentionPrefix;
    QString approvalText;
    QString summaryText;
    /// The summary marquee has run its passes.
    std::function<void()> onSummaryFinished;
};

/// The strip at the top of the panel: the two ears beside the notch while closed (or side by side where there is
/// no notch), the icon and the control group while expanded, and, while closed, the full-width marquee that runs an
/// approval request or a summary across the whole strip for three passes; after them a request that still waits
/// keeps the amber warning and the count in the ears. It decides nothing about what the panel shows; it maps the
/// display it is given to its ears. The glyphs and labels it places animate themselves.
class TopStripView final : public View {
public:
    /// Which of the three arrangements the strip draws.
    enum class Arrangement { FullWidthMarquee, Notched, Compact };

    explicit TopStripView(const ViewEnvironment& environment);
    ~TopStripView() override;

    /// The key under which the strip notices a change of display: "activity:" and the name, "notif.approval",
    /// "brand", ... (no approval or summary text in it).
    static QString displayKey(const NotchDisplay& display);
    /// The full-width marquee's width for a strip width wide: wide less the inset, at least 80.
    static qreal fullMarqueeWidth(qreal width);
    /// The full-width marquee's text for the display (the fallbacks in place of empty texts); empty for displays
    /// that run none.
    static QString fullMarqueeText(const TopStripInputs& inputs);

    void update(TopStripInputs inputs);

    const TopStripInputs& inputs() const { return m_inputs; }
    bool marqueeFinished() const { return m_marqueeFinished; }
    Arrangement arrangement() const;
    /// The ears, the marquee and the control group on screen now, or null; for tests and snapshots.
    View* leftEar() const;
    View* rightContent() const;
    Marquee* marquee() const;
    /// Where the last frame put the left ear and the right content.
    QRectF leftEarFrame() const { return m_leftFrame; }
    QRectF rightContentFrame() const { return m_rightFrame; }

    QSizeF idealSize() const override;
    void paint(QPainter& painter, const QRectF& frame, qint64 nowMs) override;
    bool isAnimating(qint64 nowMs) const override;
    bool pointer(PointerPhase phase, QPointF pos) override;
    bool pointerLeft() override;

private:
    void rebuild();
    void syncMarquee(qreal fullWidth);
    void paintFullWidthMarquee(QPainter& painter, const QRectF& frame, qint64 nowMs);
    void paintEars(QPainter& painter, const QRectF& frame, qint64 nowMs);
    std::unique_ptr<View> makeLeftEar(const QString& key) const;
    std::unique_ptr<View> makeRightContent(const QString& key) const;

    const ViewEnvironment& m_environment;
    TopStripInputs m_inputs;
    bool m_marqueeFinished = false;
    OnChange<QString> m_keyChange;
    OnChange<bool> m_expandedChange;
    qreal m_stripWidth = 0;
    KeyedChildren<QString> m_left;
    KeyedChildren<QString> m_right;
    KeyedChildren<QString> m_marquee;
    QRectF m_leftFrame;
    QRectF m_rightFrame;
};

} // namespace murmeli::notch
