#pragma once

#include "main/ui/widgets/SettingsPage.h"

namespace murmeli::ui {
class MenuPicker;
class SettingsRow;
}

namespace murmeli::settings {

class SettingsHost;

/// The Audio page: which speech-synthesis engine speaks the announcements. Announcements themselves are switched
/// on the Lab page.
class AudioPage final : public ui::SettingsPage {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(AudioPage)

public:
    explicit AudioPage(SettingsHost* host, QWidget* parent = nullptr);

    ui::SettingsRow* engineRow() const { return m_row; }
    /// Null when there are no engines to choose from.
    ui::MenuPicker* enginePicker() const { return m_picker; }

private:
    void selectionChanged();

    SettingsHost* m_host = nullptr;
    ui::SettingsRow* m_row = nullptr;
    ui::MenuPicker* m_picker = nullptr;
};

} // namespace murmeli::settings
