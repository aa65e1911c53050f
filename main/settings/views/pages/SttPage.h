#pragma once

#include <QPointer>

#include "main/settings/views/SettingsEnvironment.h"
#include "main/ui/widgets/SettingsPage.h"

namespace murmeli::ui {
class SegmentedPicker;
class SettingsGroupCard;
class SettingsRow;
class SettingsToggle;
}

namespace murmeli::settings {

class HotwordsEditorSheet;
class ProxyDialog;
class SettingsHost;
class SettingsViewModel;

/// The STT page: the recognition backend (the cloud or on-device), the cloud balance and the streaming connection,
/// the streaming proxy, the transcript polish, the Enter mode and the read-only hotwords viewer. Every choice goes
/// straight into the speech engine or the preferences and takes effect on the next take.
class SttPage final : public ui::SettingsPage {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SttPage)

public:
    SttPage(
        const SettingsEnvironment& environment, SettingsViewModel& vm, SettingsHost* host, QWidget* parent = nullptr);

    ui::SettingsRow* cloudRow() const { return m_cloudRow; }
    ui::SettingsToggle* cloudSwitch() const { return m_cloudSwitch; }
    /// "Sign in" or "WS Proxy" while the cloud backend is chosen; null otherwise.
    ui::SettingsRow* secondEngineRow() const { return m_secondRow; }
    ui::SettingsToggle* proxySwitch() const { return m_proxySwitch; }
    ui::SettingsToggle* aiSwitch() const { return m_aiSwitch; }
    ui::SegmentedPicker* enterModePicker() const { return m_enterMode; }
    ui::SettingsRow* hotwordsRow() const { return m_hotwordsRow; }
    /// The proxy question while it is up.
    ProxyDialog* proxyDialog() const;
    /// The hotwords viewer while it is up.
    HotwordsEditorSheet* hotwordsSheet() const;

private:
    void loadFromEngine();
    void addEngineGroup();
    void addEnhancementGroup();
    void addBehaviorGroup();
    void addDictionaryGroup();
    bool cloudNotSignedIn() const;
    void showEngine();
    void backendSwitched(bool cloud);
    void proxySwitched(bool on);
    void askForProxy();
    std::optional<QString> saveProxy(const QString& host, qint64 port);
    void setProxySwitch(bool on);
    void openHotwords();

    SettingsEnvironment m_environment;
    SettingsViewModel& m_vm;
    SettingsHost* m_host = nullptr;

    QString m_backendId;
    QString m_wsStateRaw;
    bool m_proxyOn = false;
    QStringList m_customHotwords;

    ui::SettingsGroupCard* m_engineCard = nullptr;
    ui::SettingsRow* m_cloudRow = nullptr;
    ui::SettingsToggle* m_cloudSwitch = nullptr;
    ui::SettingsRow* m_secondRow = nullptr;
    ui::SettingsToggle* m_proxySwitch = nullptr;
    ui::SettingsToggle* m_aiSwitch = nullptr;
    ui::SegmentedPicker* m_enterMode = nullptr;
    ui::SettingsRow* m_hotwordsRow = nullptr;
    QPointer<ProxyDialog> m_proxyDialog;
    QPointer<HotwordsEditorSheet> m_hotwordsSheet;
};

} // namespace murmeli::settings
