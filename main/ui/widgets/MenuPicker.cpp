#include "main/ui/widgets/MenuPicker.h"

#include <QPainter>
#include <QPainterPath>
#include <QWheelEvent>

#include "main/ui/design/Tokens.h"
#include "main/ui/design/Faces.h"

namespace murmeli::ui {

namespace {

QString css(const QColor& color)
{
    return color.name(QColor::HexArgb);
}

} // namespace

MenuPicker::MenuPicker(int minWidth, int maxWidth, QWidget* parent) : QComboBox(parent)
{
    setMinimumWidth(minWidth);
    setMaximumWidth(maxWidth);
    setFont(ui::Faces::instrumentSans(12, QFont::Medium));
    setSizeAdjustPolicy(QComboBox::AdjustToContents);
    // A page scrolled with the wheel passes over the menu: the wheel must neither take the focus nor the choice.
    setFocusPolicy(Qt::StrongFocus);
    QColor border = ui::Color::vantorTextMuted;
    border.setAlphaF(0.3f);
    setStyleSheet(QStringLiteral("QComboBox { background: %1; color: %2; border: 1px solid %3; border-radius: 6px;"
                                 " padding: 4px 24px 4px 10px; }"
                                 "QComboBox::drop-down { border: none; width: 20px; }"
                                 "QComboBox::down-arrow { image: none; }"
                                 "QComboBox QAbstractItemView { background: %4; color: %2; border: 1px solid %3;"
                                 " selection-background-color: %1; selection-color: %2; outline: none; }")
                      .arg(css(ui::Color::vantorSurface3), css(ui::Color::vantorText), css(border),
                          css(ui::Color::vantorSurface2)));
}

void MenuPicker::addEntry(const QString& text, const QString& tag)
{
    addItem(text, tag);
}

QString MenuPicker::currentTag() const
{
    return currentIndex() < 0 ? QString() : currentData().toString();
}

void MenuPicker::setCurrentTag(const QString& tag)
{
    setCurrentIndex(findData(tag));
}

QStringList MenuPicker::entryTexts() const
{
    QStringList texts;
    for (int i = 0; i < count(); ++i) {
        texts.append(itemText(i));
    }
    return texts;
}

void MenuPicker::wheelEvent(QWheelEvent* event)
{
    if (!hasFocus()) {
        event->ignore();
        return;
    }
    QComboBox::wheelEvent(event);
}

void MenuPicker::paintEvent(QPaintEvent* event)
{
    QComboBox::paintEvent(event);
    // The style sheet hides the platform's arrow; ours is a small chevron in the text colour.
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setOpacity(isEnabled() ? 1.0 : 0.45);
    const QPointF centre(width() - 13, height() / 2.0);
    QPainterPath chevron;
    chevron.moveTo(centre + QPointF(-3.5, -1.75));
    chevron.lineTo(centre + QPointF(0, 1.75));
    chevron.lineTo(centre + QPointF(3.5, -1.75));
    painter.setPen(QPen(ui::Color::vantorText, 1.4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.drawPath(chevron);
}

} // namespace murmeli::ui
