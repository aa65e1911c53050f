#pragma once

#include <functional>

#include <QObject>
#include <QString>

class QLocalServer;

namespace murmeli::app {

/// How a second start of murmeli reaches the one already running (`murmeli settings` opens the running instance's
/// settings window, plain `murmeli` shows the running one, rather than starting a second murmeli). A local socket only
/// the user can open, in a folder of the user's own, which the running one names in its InstanceLock; each request is
/// one short line. Main thread only.
class InstanceChannel final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(InstanceChannel)

public:
    static constexpr auto showSettingsRequest = "show-settings";
    static constexpr auto showRequest = "show";
    static constexpr qsizetype maxRequestBytes = 64;
    /// What a Unix socket's path may hold, its closing zero aside.
    static constexpr qsizetype maxSocketPathBytes = 107;

    /// name is the socket's path; standardName() when empty.
    explicit InstanceChannel(QString name = {}, QObject* parent = nullptr);
    ~InstanceChannel() override;

    /// The socket in the user's runtime folder; without one, in a folder of the user's own, "~/.murmeli/run", else (a
    /// home too long for a socket's path, or unusable) in the temporary folder's "murmeli-<uid>". Those folders are
    /// made with mode 0700 and refused, as the status folder is, when one is a link, another user's, or open to
    /// others. Empty, with every reason in problem, when none can be had.
    static QString standardName(QString* problem = nullptr);

    /// Hands request to a running instance; false when none listens or the socket at name is not the user's own.
    /// Waits at most timeoutMs for the connection.
    static bool sendToRunning(const QString& name, const QString& request, int timeoutMs = 1000);

    /// Starts listening; a socket of the user's left behind by an instance that is gone is replaced, a live one is
    /// not, another user's is never touched. False, with the reason in problem, when another instance listens or the
    /// socket cannot be made.
    bool listen(QString* problem = nullptr);
    bool isListening() const;
    /// Whether the last listen() found another instance answering on the socket.
    bool isTakenByAnother() const { return m_takenByAnother; }

    /// Each request received, trimmed; longer ones than maxRequestBytes are dropped.
    std::function<void(const QString& request)> onRequest;

private:
    void accept();

    QString m_name;
    QLocalServer* m_server = nullptr;
    bool m_takenByAnother = false;
};

} // namespace murmeli::app
