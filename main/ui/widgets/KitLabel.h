#pragma once

#include <QColor>
#include <QFont>
#include <QString>

class QLabel;
class QWidget;

namespace murmeli::ui::KitLabel {

/// A plain-text label in font and color on a transparent background; text is never read as markup.
QLabel* make(const QString& text, const QFont& font, const QColor& color, QWidget* parent);
/// Sets a label's colour.
void setColor(QLabel& label, const QColor& color);

} // namespace murmeli::ui::KitLabel
