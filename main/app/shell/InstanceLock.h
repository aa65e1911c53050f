#pragma once

#include <functional>

#include <QString>
#include <QStringList>

namespace murmeli::app {

/// The one lock that lets exactly one murmeli run per user, however each start was made: a desktop session, its
/// autostart, ssh, `su -`, cron or a service see different runtime folders, so the instance socket alone could not
/// find the running one. The lock is a file in a fixed place held with flock(2) for the life of the process; the
/// holder writes into it where its instance socket listens, so a later start, whatever its environment, hands its
/// request over. Released when the process ends however it ends; never passed on to child processes.
class InstanceLock final {
public:
    enum class Claim {
        Run, ///< This start holds the lock and runs.
        HandedOver, ///< The running murmeli took the request; this start ends.
        Failed, ///< Neither: the reason is in problem.
    };

    static constexpr auto fileName = "instance.lock";
    /// How long a start waits for the holder to finish starting and name its socket, or to finish ending.
    static constexpr int defaultPatienceMs = 15000;
    /// How long a holder that got a request but did not answer may take to end before the request counts as taken.
    static constexpr int silentHolderMs = 5000;
    static constexpr int quietWaitMs = 1000;

    /// Names a folder of the user's own that holds the lock in place of lockFolders(): tests keep their murmelis
    /// apart with it.
    static constexpr auto instanceDirVariable = "MURMELI_INSTANCE_DIR";

    /// The folders of the user's own that the instance socket may live in without a runtime folder, in the order they
    /// are tried: "~/.murmeli/run", then the temporary folder's "murmeli-<uid>".
    static QStringList privateFolders();

    /// The folders the lock may live in, in the order they are tried, the same for every start of the user whatever
    /// its environment (HOME, TMPDIR): ".murmeli/run" in the home the user database gives the user, then
    /// "/tmp/murmeli-<uid>"; only the folder that instanceDirVariable names when it is set.
    static QStringList lockFolders();

    /// The lock file in the first of lockFolders() that can be had (made with mode 0700; one that is a link, another
    /// user's or open to others is refused, as the status folder is). Empty, with every reason in problem, when none
    /// can.
    static QString standardPath(QString* problem = nullptr);

    /// path is the lock file's; standardPath() when empty.
    explicit InstanceLock(QString path = {});
    ~InstanceLock();
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;

    QString path() const { return m_path; }

    /// Told once, with a line to show, when claimOrHandOver() has waited quietWaitMs for a holder that is starting or
    /// ending: a start that waits in silence looks hung, while a holder that finishes its start at once is not worth
    /// a line.
    std::function<void(const QString& line)> onWaiting;

    /// Takes the lock when nobody holds it, or hands request over to the murmeli that does, waiting up to patienceMs
    /// for it to finish starting. A holder that is ending takes no request: this start waits for the lock and runs.
    Claim claimOrHandOver(const QString& request, int patienceMs = defaultPatienceMs, QString* problem = nullptr);

    /// Takes the lock without waiting; false while another holds it, or when the file cannot be opened (problem).
    bool tryLock(QString* problem = nullptr);
    bool isHeld() const { return m_held; }
    /// Lets the lock go before the process ends, for an end whose last steps may take long: a later start runs at
    /// once.
    void release();

    /// Tells later starts where this murmeli's instance socket listens; only while the lock is held.
    bool announce(const QString& channelName);
    /// The socket the holder announced; empty while it is still starting.
    QString announcedChannel() const;

private:
    bool open(QString* problem);
    /// Whether the file system keeps locks on the file (true also while another holds it).
    bool canLock(QString* problem) const;

    QString m_path;
    int m_fd = -1;
    bool m_held = false;
};

} // namespace murmeli::app
