#pragma once

#include <initializer_list>

class QWidget;

namespace murmeli::ui::ControlGroup {

/// Controls side by side, vertically centred, spacing apart: one row control made of several (a badge and a switch,
/// two buttons).
QWidget* row(std::initializer_list<QWidget*> controls, int spacing);

} // namespace murmeli::ui::ControlGroup
