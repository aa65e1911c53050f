#pragma once

class QWidget;

// The keys that put a window away on the desktop: murmeli's windows for looking at and setting close on them.
namespace murmeli::ui::CloseKeys {

/// Esc and Ctrl+W close window wherever its focus is, but where a control claims the key for itself (a hotkey being
/// recorded); a key held down closes it once, and its repeats close nothing.
void install(QWidget& window);

} // namespace murmeli::ui::CloseKeys
