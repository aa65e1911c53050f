#include "main/ui/widgets/SettingsPalette.h"

#include "main/ui/design/Tokens.h"

namespace murmeli::ui::SettingsPalette {

QPalette dark()
{
    QPalette palette;
    palette.setColor(QPalette::Window, ui::Color::vantorSurface);
    palette.setColor(QPalette::WindowText, ui::Color::vantorText);
    palette.setColor(QPalette::Base, ui::Color::vantorSurface2);
    palette.setColor(QPalette::AlternateBase, ui::Color::vantorSurface3);
    palette.setColor(QPalette::Text, ui::Color::vantorText);
    palette.setColor(QPalette::PlaceholderText, ui::Color::vantorTextMuted);
    palette.setColor(QPalette::Button, ui::Color::vantorSurface3);
    palette.setColor(QPalette::ButtonText, ui::Color::vantorText);
    palette.setColor(QPalette::Highlight, ui::Color::vantorBrass);
    palette.setColor(QPalette::HighlightedText, ui::Color::vantorSurface);
    palette.setColor(QPalette::ToolTipBase, ui::Color::vantorSurface3);
    palette.setColor(QPalette::ToolTipText, ui::Color::vantorText);
    return palette;
}

} // namespace murmeli::ui::SettingsPalette
