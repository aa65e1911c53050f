#pragma once

#include <QList>
#include <QPointer>
#include <QWidget>

class QWindow;

namespace murmeli::ui {

/// Shows which control of a window holds the keyboard focus: a brass ring a little outside the control, drawn over
/// the control's surroundings and following it as the page scrolls; a list gets it around its current row. It shows
/// once the focus moved by the keyboard (Tab, Shift+Tab, a shortcut) and goes at a click, where the pointer already
/// says where the user is. Text fields show their focus themselves and get none.
class FocusRing final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(FocusRing)

public:
    /// Between the control's edge and the ring, and the ring's width.
    static constexpr int gap = 2;
    static constexpr int lineWidth = 2;
    /// A control whose own shape has another corner radius than the kit's 6 sets it in this dynamic property.
    static constexpr auto radiusProperty = "kitCornerRadius";

    /// Rings the focused controls of window for as long as the window lives.
    static void install(QWidget& window);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    explicit FocusRing(QWidget& window);
    void follow(QWidget* now);
    void place();
    void release();

    QWidget& m_window;
    QPointer<QWidget> m_control;
    // Drawn over the control's surroundings, so it dies with them: made again whenever it is gone.
    QPointer<QWidget> m_ring;
    QPointer<QWindow> m_clicks;
    QMetaObject::Connection m_rowWatch;
    // The control and its ancestors below the ring's parent: any of them moving moves the control on the ring's
    // parent.
    QList<QPointer<QWidget>> m_chain;
};

} // namespace murmeli::ui
