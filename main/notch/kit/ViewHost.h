#pragma once

#include <memory>

#include <QWidget>

#include "main/notch/kit/FramePump.h"
#include "main/notch/kit/View.h"
#include "main/notch/kit/ViewEnvironment.h"

namespace murmeli::notch {

/// The one widget of a window that draws its view tree. It paints the root view at the clock's time, runs the
/// window's frame pump for as long as the root animates, and hands pointer events to the root.
class ViewHost final : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ViewHost)

public:
    /// Points a wheel notch scrolls.
    static constexpr qreal wheelStep = 40;

    /// clock drives every animation and timer of the views; it must outlive the host.
    explicit ViewHost(common::Clock& clock, QWidget* parent = nullptr);
    ~ViewHost() override;

    /// The environment the views of this host are made with.
    ViewEnvironment& environment() { return m_environment; }
    void setRoot(std::unique_ptr<View> root);
    View* root() const { return m_root.get(); }
    const FramePump& framePump() const { return m_pump; }

    /// Draws the root into painter over the host's rectangle as it looks at nowMs and sets the frame pump from
    /// whether it still animates. paintEvent, snapshots and benchmarks all draw through here.
    void paintFrame(QPainter& painter, qint64 nowMs);

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

private:
    void deliver(PointerPhase phase, QPointF pos);

    ViewEnvironment m_environment;
    FramePump m_pump;
    std::unique_ptr<View> m_root;
};

} // namespace murmeli::notch
