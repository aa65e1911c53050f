#include "main/ui/widgets/ControlGroup.h"

#include <QHBoxLayout>
#include <QWidget>

namespace murmeli::ui::ControlGroup {

QWidget* row(std::initializer_list<QWidget*> controls, int spacing)
{
    auto* group = new QWidget;
    auto* layout = new QHBoxLayout(group);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(spacing);
    for (QWidget* control : controls) {
        layout->addWidget(control, 0, Qt::AlignVCenter);
    }
    return group;
}

} // namespace murmeli::ui::ControlGroup
