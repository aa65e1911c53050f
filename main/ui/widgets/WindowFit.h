#pragma once

#include <functional>

#include <QMargins>
#include <QSize>

class QWidget;

// Keeps a window of murmeli's, title bar and all, on the free area of its screen: a small screen, or a large scale
// factor, must not put its title bar, its close button or its buttons out of reach.
namespace murmeli::ui::WindowFit {

// keepClear: what the window leaves of the free area's edges to something that stands above every window there.

/// The largest content size that fits window, with the frame the window manager gave it, on the free area of its
/// screen; without a screen, no bound at all.
QSize room(const QWidget& window, const QMargins& keepClear = {});
/// Moves window as far as keeps its frame on the free area of its screen, and no further.
void keepOnScreen(QWidget& window, const QMargins& keepClear = {});
/// Shows window. The window manager's frame is known only once the window is on the screen: where it frames the
/// window only now, fit runs once the window is first exposed, if the frame then reaches off the free area.
void show(QWidget& window, std::function<void()> fit, const QMargins& keepClear = {});

} // namespace murmeli::ui::WindowFit
