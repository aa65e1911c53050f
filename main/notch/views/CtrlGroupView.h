#pragma once

#include <array>
#include <functional>
#include <memory>

#include "main/notch/kit/View.h"
#include "main/notch/kit/ViewEnvironment.h"
#include "main/notch/views/CtrlToggle.h"

namespace murmeli::notch {

/// The expanded strip's pill of three buttons: mute or unmute the spoken announcements, open the settings, quit.
class CtrlGroupView final : public View {
public:
    static constexpr qreal spacing = 2;
    static constexpr qreal padding = 2;

    CtrlGroupView(const ViewEnvironment& environment, bool isMuted, std::function<void()> onToggleMute,
        std::function<void()> onOpenSettings);

    /// New inputs from the parent; the buttons' pressed states stay.
    void update(bool isMuted, std::function<void()> onToggleMute, std::function<void()> onOpenSettings);

    /// Ends the application, asking nothing; QCoreApplication::quit unless the owner sets another.
    std::function<void()> onQuit;

    const CtrlToggle& toggle(int index) const { return *m_toggles[index]; }

    QSizeF idealSize() const override;
    void paint(QPainter& painter, const QRectF& frame, qint64 nowMs) override;
    bool isAnimating(qint64 nowMs) const override;
    bool pointer(PointerPhase phase, QPointF pos) override;

private:
    void configure(bool isMuted, std::function<void()> onToggleMute, std::function<void()> onOpenSettings);

    std::array<std::unique_ptr<CtrlToggle>, 3> m_toggles;
};

} // namespace murmeli::notch
