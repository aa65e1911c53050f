#pragma once

#include <functional>

#include <QObject>
#include <QString>

class QLocalServer;

namespace murmeli::app {

/// How a second start of murmeli reaches the one already running (`murmeli settings` opens the running instance's
/// settings window, plain `murmeli` shows the running one, rather than starting a second murmeli). A local socket only
/// the user can open, in a folder of the user's own, which the running one names in its InstanceLock; each request is
/// one short line, answered with one line: "ok" once taken, "ending" by a murmeli on its way out, which takes none (the
/// later start then waits for it to be gone and runs). Main thread only.
class InstanceChannel final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(InstanceChannel)

public:
    static constexpr auto showSettingsRequest = "show-settings";
    static constexpr auto showRequest = "show";
    /// A session manager's restore: the running one stays as it is.
    static constexpr auto restoreRequest = "restore";
    static constexpr auto takenReply = "ok";
    static constexpr auto endingReply = "ending";
    static constexpr qsizetype maxRequestBytes = 64;
    /// What a Unix socket's path may hold, its closing zero aside.
    static constexpr qsizetype maxSocketPathBytes = 107;

    /// name is the socket's path; standardName() when empty.
    explicit InstanceChannel(QString name = {}, QObject* parent = nullptr);
    ~InstanceChannel() override;

    /// The socket in the user's runtime folder; without one, in a folder of the user's own, "~/.murmeli/run", else (a
    /// home too long for a socket's path, or unusable) in the temporary folder's "murmeli-<uid>". Those folders are
    /// made with mode 0700 and refused, as the status folder is, when one is a link, another user's, or open to
    /// others; so is the runtime folder, which is also refused when it cannot be written to, and then passedOver says
    /// why. Empty, with every reason in problem, when none can be had.
    static QString standardName(QString* problem = nullptr, QString* passedOver = nullptr);

    enum class HandOver {
        NotReached, ///< None listens, or the socket at name is not the user's own.
        Taken,
        Ending, ///< The one there is ending and took nothing.
        NoAnswer, ///< Sent, but no answer came: one that ended meanwhile, or one too busy (or too old) to answer.
    };
    /// Hands request to a running instance. Waits at most timeoutMs for the connection and as long for the answer.
    static HandOver sendToRunning(const QString& name, const QString& request, int timeoutMs = 3000);

    /// Starts listening; a socket of the user's left behind by an instance that is gone is replaced, a live one is
    /// not, another user's is never touched. False, with the reason in problem, when another instance listens or the
    /// socket cannot be made.
    bool listen(QString* problem = nullptr);
    bool isListening() const;
    /// Stops listening and removes the socket, so that a later start finds none; listen() may open it again.
    void close();
    /// Whether the last listen() found another instance answering on the socket.
    bool isTakenByAnother() const { return m_takenByAnother; }

    /// Each request received, trimmed; longer ones than maxRequestBytes are dropped. Returns whether it was taken:
    /// false while murmeli ends. Answered at once, before what the request asks is done.
    std::function<bool(const QString& request)> onRequest;

private:
    void accept();

    QString m_name;
    QLocalServer* m_server = nullptr;
    bool m_takenByAnother = false;
};

} // namespace murmeli::app
