#include "main/settings/views/widgets/SettingsPalette.h"

#include "main/app/design/Tokens.h"

namespace murmeli::settings::SettingsPalette {

QPalette dark()
{
    QPalette palette;
    palette.setColor(QPalette::Window, app::Color::vantorSurface);
    palette.setColor(QPalette::WindowText, app::Color::vantorText);
    palette.setColor(QPalette::Base, app::Color::vantorSurface2);
    palette.setColor(QPalette::AlternateBase, app::Color::vantorSurface3);
    palette.setColor(QPalette::Text, app::Color::vantorText);
    palette.setColor(QPalette::PlaceholderText, app::Color::vantorTextMuted);
    palette.setColor(QPalette::Button, app::Color::vantorSurface3);
    palette.setColor(QPalette::ButtonText, app::Color::vantorText);
    palette.setColor(QPalette::Highlight, app::Color::vantorBrass);
    palette.setColor(QPalette::HighlightedText, app::Color::vantorSurface);
    palette.setColor(QPalette::ToolTipBase, app::Color::vantorSurface3);
    palette.setColor(QPalette::ToolTipText, app::Color::vantorText);
    return palette;
}

} // namespace murmeli::settings::SettingsPalette
