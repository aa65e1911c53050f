#include "main/settings/views/pages/PlaceholderPage.h"

namespace murmeli::settings {

PlaceholderPage::PlaceholderPage(SettingsSection section, QWidget* parent)
    : ui::SettingsPage(title(section), QStringLiteral("This page is not part of this build yet."), parent)
{
}

} // namespace murmeli::settings
