#pragma once

#include <functional>

#include <QObject>
#include <QString>

class QLocalServer;

namespace murmeli::app {

/// How a second start of murmeli reaches the one already running (`murmeli settings` opens the running instance's
/// settings window rather than starting a second murmeli). A local socket only the user can open; each request is
/// one short line. Main thread only.
class InstanceChannel final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(InstanceChannel)

public:
    static constexpr auto showSettingsRequest = "show-settings";
    static constexpr qsizetype maxRequestBytes = 64;

    /// name is the socket's path; standardName() when empty.
    explicit InstanceChannel(QString name = {}, QObject* parent = nullptr);
    ~InstanceChannel() override;

    /// The socket in the user's runtime folder, else in the temporary folder with the user's id in its name.
    static QString standardName();

    /// Hands request to a running instance; false when none listens. Waits at most timeoutMs for the connection.
    static bool sendToRunning(const QString& name, const QString& request, int timeoutMs = 1000);

    /// Starts listening; a socket left behind by an instance that is gone is replaced, a live one is not. False when
    /// another instance listens or the socket cannot be made.
    bool listen();
    bool isListening() const;

    /// Each request received, trimmed; longer ones than maxRequestBytes are dropped.
    std::function<void(const QString& request)> onRequest;

private:
    void accept();

    QString m_name;
    QLocalServer* m_server = nullptr;
};

} // namespace murmeli::app
