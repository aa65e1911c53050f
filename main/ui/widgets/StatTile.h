#pragma once

#include <QColor>
#include <QWidget>

#include "main/ui/design/Tokens.h"

namespace murmeli::ui {

/// A figure over its caption on a card of its own: the value large in the monospaced face, in its tint.
class StatTile final : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(StatTile)

public:
    StatTile(
        const QString& value, const QString& sub, QColor tint = ui::Color::vantorBrass, QWidget* parent = nullptr);

    QColor tint() const { return m_tint; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QColor m_tint;
};

} // namespace murmeli::ui
