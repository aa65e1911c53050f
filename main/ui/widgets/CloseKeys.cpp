#include "main/ui/widgets/CloseKeys.h"

#include <QKeySequence>
#include <QShortcut>
#include <QWidget>

namespace murmeli::ui::CloseKeys {

void install(QWidget& window)
{
    for (const QKeySequence& keys : { QKeySequence(Qt::Key_Escape), QKeySequence(Qt::CTRL | Qt::Key_W) }) {
        QObject::connect(new QShortcut(keys, &window), &QShortcut::activated, &window, &QWidget::close);
    }
}

} // namespace murmeli::ui::CloseKeys
