#pragma once

#include <algorithm>
#include <string>

#include <QApplication>
#include <QCursor>
#include <QPoint>
#include <QScreen>
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

/// Whether the window manager has framed the window, its title bar above the content, and the whole frame lies on the
/// free area of the window's screen.
inline bool framedOnScreen(const QWidget& window)
{
    return window.frameGeometry().top() < window.geometry().top()
        && window.screen()->availableGeometry().contains(window.frameGeometry());
}

/// Where the window's frame lies on which free area, for a failure's message.
inline std::string whereFramed(const QWidget& window)
{
    const QRect frame = window.frameGeometry();
    const QRect area = window.screen()->availableGeometry();
    return QStringLiteral("frame (%1, %2) %3x%4 on %5x%6")
        .arg(frame.x())
        .arg(frame.y())
        .arg(frame.width())
        .arg(frame.height())
        .arg(area.width())
        .arg(area.height())
        .toStdString();
}

} // namespace murmeli::test::ByHand
