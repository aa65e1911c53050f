#include "main/ui/widgets/SymbolButton.h"

#include <QPainter>

namespace murmeli::ui {

SymbolButton::SymbolButton(ui::Symbol symbol, QColor color, int size, QWidget* parent)
    : QAbstractButton(parent), m_symbol(symbol), m_color(color), m_size(size)
{
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setFocusPolicy(Qt::NoFocus);
}

void SymbolButton::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    ui::Symbols::paint(painter, m_symbol, QRectF(rect()), m_color);
}

} // namespace murmeli::ui
