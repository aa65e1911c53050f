#include "main/ui/widgets/ScrollToFocus.h"

#include <QApplication>
#include <QScrollArea>

namespace murmeli::ui::ScrollToFocus {

void install(QScrollArea& area)
{
    area.setFocusPolicy(Qt::NoFocus);
    QObject::connect(qApp, &QApplication::focusChanged, &area, [&area](QWidget*, QWidget* now) {
        if (now != nullptr && area.widget() != nullptr && area.widget()->isAncestorOf(now)) {
            area.ensureWidgetVisible(now);
        }
    });
}

} // namespace murmeli::ui::ScrollToFocus
