#include "main/ui/widgets/KitLabel.h"

#include <QLabel>

namespace murmeli::ui::KitLabel {

QLabel* make(const QString& text, const QFont& font, const QColor& color, QWidget* parent)
{
    auto* label = new QLabel(parent);
    label->setTextFormat(Qt::PlainText);
    label->setText(text);
    label->setFont(font);
    setColor(*label, color);
    return label;
}

void setColor(QLabel& label, const QColor& color)
{
    QPalette palette = label.palette();
    palette.setColor(QPalette::WindowText, color);
    palette.setColor(QPalette::Text, color);
    label.setPalette(palette);
}

} // namespace murmeli::ui::KitLabel
