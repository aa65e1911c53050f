#pragma once

#include <functional>
#include <optional>

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;

namespace murmeli::settings {

/// The question "Enable WebSocket Proxy": host and port fields, "Save & Test" and "Cancel". A host or port the
/// check refuses keeps the dialog up with the reason under the fields; Cancel, or closing it, leaves everything as
/// it was.
class ProxyDialog final : public QDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ProxyDialog)

public:
    /// The trimmed host and the port to store; returns why they were refused, or nullopt once they are stored.
    using Save = std::function<std::optional<QString>(const QString& host, qint64 port)>;

    /// host and port are the stored proxy, shown as the fields' texts (a port below 1 as an empty field).
    ProxyDialog(const QString& host, int port, Save save, QWidget* parent = nullptr);

    QLineEdit* hostField() const { return m_host; }
    QLineEdit* portField() const { return m_port; }
    QPushButton* saveButton() const { return m_save; }
    QPushButton* cancelButton() const { return m_cancel; }
    /// The refusal shown, or "" while there is none.
    QString problem() const;

private:
    void trySave();

    Save m_saveAction;
    QLineEdit* m_host = nullptr;
    QLineEdit* m_port = nullptr;
    QLabel* m_problem = nullptr;
    QPushButton* m_save = nullptr;
    QPushButton* m_cancel = nullptr;
};

} // namespace murmeli::settings
