#include "main/settings/views/widgets/SymbolButton.h"

#include <QPainter>

namespace murmeli::settings {

SymbolButton::SymbolButton(notch::Symbol symbol, QColor color, int size, QWidget* parent)
    : QAbstractButton(parent), m_symbol(symbol), m_color(color), m_size(size)
{
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setFocusPolicy(Qt::NoFocus);
}

void SymbolButton::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    notch::Symbols::paint(painter, m_symbol, QRectF(rect()), m_color);
}

} // namespace murmeli::settings
