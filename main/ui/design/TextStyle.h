#pragma once

#include <QColor>
#include <QFont>

namespace murmeli::ui {

/// How a run of text looks.
struct TextStyle {
    QFont font;
    QColor color;
    /// Extra space after every character, in pixels.
    qreal tracking = 0;
};

} // namespace murmeli::ui
