#pragma once

#include <QWidget>

#include "main/settings/SettingsSection.h"
#include "main/settings/views/SettingsEnvironment.h"

class QListWidget;
class QScrollArea;

namespace murmeli::settings {

class SettingsHost;
class SettingsViewModel;

/// The window's content: a sidebar of the seven pages on the left, the chosen page, scrollable, on the right. The
/// page shown follows the model's page only; whoever changes it moves the sidebar and the page at once. Each page is
/// built afresh when it is chosen, so its own state lasts only while it is shown.
class SettingsRootView final : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SettingsRootView)

public:
    static constexpr int sidebarMinWidth = 180;

    SettingsRootView(
        const SettingsEnvironment& environment, SettingsViewModel& vm, SettingsHost* host, QWidget* parent = nullptr);

    QListWidget* sidebar() const { return m_sidebar; }
    /// The page on show.
    QWidget* page() const;
    /// The section whose page is on show.
    SettingsSection shownSection() const { return m_shown; }

private:
    void showSelectedSection();
    QWidget* buildPage(SettingsSection section);

    SettingsEnvironment m_environment;
    SettingsViewModel& m_vm;
    SettingsHost* m_host = nullptr;
    QListWidget* m_sidebar = nullptr;
    QScrollArea* m_detail = nullptr;
    SettingsSection m_shown = SettingsSection::General;
};

} // namespace murmeli::settings
