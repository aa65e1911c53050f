#include "main/ui/widgets/WindowFit.h"

#include <algorithm>

#include <QEvent>
#include <QScreen>
#include <QWidget>
#include <QWindow>

namespace murmeli::ui::WindowFit {

namespace {

constexpr auto fitWhenExposedName = "windowFitWhenExposed";

QRect freeArea(const QScreen& screen, const QMargins& keepClear)
{
    return screen.availableGeometry().marginsRemoved(keepClear);
}

// Calls fit at the window's first exposure, when the window manager has framed it, then goes.
class FitWhenExposed final : public QObject {
public:
    FitWhenExposed(QWidget& window, std::function<void()> fit, const QMargins& keepClear)
        : QObject(&window), m_window(window), m_fit(std::move(fit)), m_keepClear(keepClear)
    {
        setObjectName(QLatin1String(fitWhenExposedName));
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Expose && m_fit && static_cast<QWindow*>(watched)->isExposed()) {
            const std::function<void()> fit = std::exchange(m_fit, nullptr);
            deleteLater();
            const QScreen* screen = m_window.screen();
            if (screen != nullptr && !freeArea(*screen, m_keepClear).contains(m_window.frameGeometry())) {
                fit();
            }
        }
        return QObject::eventFilter(watched, event);
    }

private:
    QWidget& m_window;
    std::function<void()> m_fit;
    QMargins m_keepClear;
};

QMargins frameOf(const QWidget& window)
{
    return window.windowHandle() != nullptr ? window.windowHandle()->frameMargins() : QMargins();
}

} // namespace

QSize room(const QWidget& window, const QMargins& keepClear)
{
    const QScreen* screen = window.screen();
    if (screen == nullptr) {
        return { QWIDGETSIZE_MAX, QWIDGETSIZE_MAX };
    }
    return freeArea(*screen, keepClear).size().shrunkBy(frameOf(window)).expandedTo({ 1, 1 });
}

void keepOnScreen(QWidget& window, const QMargins& keepClear)
{
    const QScreen* screen = window.screen();
    if (screen == nullptr) {
        return;
    }
    const QRect area = freeArea(*screen, keepClear);
    // A window's position is its frame's.
    const QSize outer = window.size().grownBy(frameOf(window));
    const QPoint inside(std::clamp(window.x(), area.left(), std::max(area.left(), area.right() + 1 - outer.width())),
        std::clamp(window.y(), area.top(), std::max(area.top(), area.bottom() + 1 - outer.height())));
    if (inside != window.pos()) {
        window.move(inside);
    }
}

void show(QWidget& window, std::function<void()> fit, const QMargins& keepClear)
{
    const bool framed = window.windowHandle() != nullptr && window.windowHandle()->isExposed();
    // A showing that was not exposed yet is answered by this one.
    delete window.findChild<QObject*>(QLatin1String(fitWhenExposedName), Qt::FindDirectChildrenOnly);
    window.show();
    if (!framed) {
        window.windowHandle()->installEventFilter(new FitWhenExposed(window, std::move(fit), keepClear));
    }
}

} // namespace murmeli::ui::WindowFit
