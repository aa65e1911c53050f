#pragma once

#include <memory>

#include <QPointer>

#include "main/settings/views/SettingsEnvironment.h"
#include "main/ui/widgets/SettingsPage.h"

class QMessageBox;
class QVBoxLayout;

namespace murmeli::ui {
class SettingsGroupCard;
}

namespace murmeli::settings {

class HooksDoctor;
class IntegrationsModel;
class SettingsHost;

/// The Integrations page: one row per agent with its hook state and the install, reinstall and uninstall buttons,
/// the result of every finished flow shown verbatim, and the hooks doctor that runs start-up's self-check on Claude
/// Code's settings. Both refresh as the page comes on screen. Rows and buttons carry object names: "adapter-<id>",
/// "install-<id>", "uninstall-<id>", "refresh", "recheck".
class IntegrationsPage final : public ui::SettingsPage {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(IntegrationsPage)

public:
    /// host may be null: every row and the doctor are shown, without install and uninstall buttons.
    IntegrationsPage(const SettingsEnvironment& environment, SettingsHost* host, QWidget* parent = nullptr);
    ~IntegrationsPage() override;

    IntegrationsModel& model() { return *m_model; }
    HooksDoctor& doctor() { return *m_doctor; }
    ui::SettingsGroupCard* adaptersCard() const { return m_adapters; }
    ui::SettingsGroupCard* diagnosticsCard() const { return m_diagnostics; }
    /// The result of the last finished flow while it is up.
    QMessageBox* resultAlert() const;

private:
    void addAdaptersGroup();
    void addDiagnosticsGroup();
    void showAdapters();
    void showDoctor();
    void showAlert();
    void swapCard(QVBoxLayout* group, ui::SettingsGroupCard* old, ui::SettingsGroupCard* fresh);

    std::unique_ptr<IntegrationsModel> m_model;
    std::unique_ptr<HooksDoctor> m_doctor;
    QVBoxLayout* m_adaptersGroup = nullptr;
    ui::SettingsGroupCard* m_adapters = nullptr;
    QVBoxLayout* m_diagnosticsGroup = nullptr;
    ui::SettingsGroupCard* m_diagnostics = nullptr;
    QPointer<QMessageBox> m_alert;
    // The control that had the focus while its counterpart on the fresh card cannot take it.
    QString m_focusedControl;
};

} // namespace murmeli::settings
