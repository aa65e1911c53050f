#pragma once

#include <QAbstractButton>
#include <QColor>

#include "main/ui/design/Symbols.h"

namespace murmeli::ui {

/// A borderless button that is only a symbol in one colour; with no action it serves as a plain icon.
class SymbolButton final : public QAbstractButton {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SymbolButton)

public:
    SymbolButton(ui::Symbol symbol, QColor color, int size, QWidget* parent = nullptr);

    ui::Symbol symbol() const { return m_symbol; }

    QSize sizeHint() const override { return { m_size, m_size }; }
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    ui::Symbol m_symbol;
    QColor m_color;
    int m_size = 0;
};

} // namespace murmeli::ui
