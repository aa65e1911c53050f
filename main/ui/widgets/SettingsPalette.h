#pragma once

#include <QPalette>

namespace murmeli::ui::SettingsPalette {

/// The dark palette of murmeli's own windows (settings, onboarding): text, fields, buttons and tooltips on the panel's
/// surfaces.
QPalette dark();

} // namespace murmeli::ui::SettingsPalette
