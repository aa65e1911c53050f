#pragma once

#include <algorithm>

#include <QApplication>
#include <QCursor>
#include <QPoint>
#include <QStringList>
#include <QWidget>

#include "tests/support/DesktopTools.h"

// A person's pointer and keys on the test desktop, through the X server from xdotool, for murmeli's own windows in
// this process; xdotool counts screen pixels, Qt counts points of the scaled screen.
namespace murmeli::test::ByHand {

inline bool xdotool(const QStringList& arguments)
{
    return runTool(QStringLiteral("xdotool"), arguments).has_value();
}

/// Glides the pointer onto the widget's point as a hand moves a mouse, in small steps.
inline bool glideTo(const QWidget& widget, QPoint point)
{
    const QPoint from = QCursor::pos();
    const QPoint to = widget.mapToGlobal(point);
    QStringList moves;
    for (int i = 1, steps = std::max(1, (to - from).manhattanLength() / 8); i <= steps; ++i) {
        const QPoint at = (from + (to - from) * i / steps) * qApp->devicePixelRatio();
        moves << QStringLiteral("mousemove") << QString::number(at.x()) << QString::number(at.y())
              << QStringLiteral("sleep") << QStringLiteral("0.008");
    }
    return xdotool(moves);
}

/// Glides onto the middle of the widget and clicks it.
inline bool click(const QWidget& widget)
{
    return glideTo(widget, widget.rect().center()) && xdotool({ QStringLiteral("click"), QStringLiteral("1") });
}

} // namespace murmeli::test::ByHand
