#pragma once

#include "main/settings/SettingsSection.h"
#include "main/ui/widgets/SettingsPage.h"

namespace murmeli::settings {

/// A page of the sidebar whose content this build does not have yet (Account, Integrations, Lab): its header and a
/// line saying so.
class PlaceholderPage final : public ui::SettingsPage {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(PlaceholderPage)

public:
    explicit PlaceholderPage(SettingsSection section, QWidget* parent = nullptr);
};

} // namespace murmeli::settings
