#include "main/ui/widgets/CloseKeys.h"

#include <QApplication>
#include <QKeyEvent>
#include <QKeySequence>
#include <QShortcut>
#include <QWidget>

namespace murmeli::ui::CloseKeys {

namespace {

// A key held down repeats into whichever window has the focus, and a window that comes up under it would close at
// once, again each time it is asked for: a key held since before murmeli started (a stuck key, a tool that died
// before letting go) would keep the window away for good. So the keys close a window only when they are pressed,
// not for their repeats: the X server sends each repeat as a release and a press of the same moment.
class Presses final : public QObject {
public:
    explicit Presses(QWidget& window) : QObject(&window), m_window(window) { qApp->installEventFilter(this); }

    /// Whether the last key that went to a shortcut of the window was pressed, not repeated.
    bool lastWasPressed() const { return m_lastWasPressed; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        const QEvent::Type type = event->type();
        if (type != QEvent::KeyRelease && type != QEvent::ShortcutOverride) {
            return false;
        }
        const auto* widget = qobject_cast<QWidget*>(watched);
        if (widget == nullptr || widget->window() != &m_window) {
            return false;
        }
        const auto* key = static_cast<QKeyEvent*>(event);
        if (type == QEvent::KeyRelease) {
            m_released = { key->nativeScanCode(), key->timestamp() };
        } else {
            // A key event made up by the program itself has no scan code to tell keys apart by.
            m_lastWasPressed = !key->isAutoRepeat()
                && !(key->nativeScanCode() != 0 && key->nativeScanCode() == m_released.scanCode
                    && key->timestamp() == m_released.timestamp);
        }
        return false;
    }

private:
    struct Release {
        quint32 scanCode = 0;
        quint64 timestamp = 0;
    };

    QWidget& m_window;
    Release m_released;
    bool m_lastWasPressed = true;
};

} // namespace

void install(QWidget& window)
{
    auto* presses = new Presses(window);
    for (const QKeySequence& keys : { QKeySequence(Qt::Key_Escape), QKeySequence(Qt::CTRL | Qt::Key_W) }) {
        auto* shortcut = new QShortcut(keys, &window);
        shortcut->setAutoRepeat(false);
        QObject::connect(shortcut, &QShortcut::activated, &window, [&window, presses] {
            if (presses->lastWasPressed()) {
                window.close();
            }
        });
    }
}

} // namespace murmeli::ui::CloseKeys
