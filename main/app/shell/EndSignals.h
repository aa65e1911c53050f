#pragma once

#include <functional>
#include <vector>

#include <QObject>
#include <QString>

class QSocketNotifier;

namespace murmeli::app {

/// The signals by which the system asks murmeli to end (SIGTERM at a logout or from `kill`, SIGINT on Ctrl+C in its
/// terminal, SIGHUP when that terminal closes), brought to the main thread so that murmeli ends in order instead of
/// at once. The handler only writes the signal's number into a pipe. A second signal of the same kind still lets the
/// end go on in order (a logout or a service manager that repeats itself, an impatient second `kill`); the third ends
/// murmeli at once, should its main thread never get to the end. One per process, on the main thread.
class EndSignals final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(EndSignals)

public:
    /// Catches the three signals from now on, but for one that murmeli was started ignoring; isCatching() tells
    /// whether that worked.
    explicit EndSignals(QObject* parent = nullptr);
    /// Gives the signals it caught their default action back.
    ~EndSignals() override;

    bool isCatching() const { return m_notifier != nullptr; }

    /// "SIGTERM", "SIGINT" or "SIGHUP"; the number for any other.
    static QString nameOf(int signal);

    /// Each signal caught, on the main thread.
    std::function<void(int signal)> onSignal;

    /// Hands onSignal the signals caught but not yet handed over: what the main thread is about to do may depend on
    /// whether murmeli is ending.
    void deliverPending();

private:
    std::vector<int> m_installed;
    int m_readFd = -1;
    QSocketNotifier* m_notifier = nullptr;
};

} // namespace murmeli::app
