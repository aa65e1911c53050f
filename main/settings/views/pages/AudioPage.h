#pragma once

#include "main/settings/views/widgets/SettingsPage.h"

namespace murmeli::settings {

class MenuPicker;
class SettingsHost;
class SettingsRow;

/// The Audio page: which speech-synthesis engine speaks the announcements. Announcements themselves are switched
/// on the Lab page.
class AudioPage final : public SettingsPage {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(AudioPage)

public:
    explicit AudioPage(SettingsHost* host, QWidget* parent = nullptr);

    SettingsRow* engineRow() const { return m_row; }
    /// Null when there are no engines to choose from.
    MenuPicker* enginePicker() const { return m_picker; }

private:
    void selectionChanged();

    SettingsHost* m_host = nullptr;
    SettingsRow* m_row = nullptr;
    MenuPicker* m_picker = nullptr;
};

} // namespace murmeli::settings
