#include "main/app/shell/EndSignals.h"

#include <array>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

#include <QSocketNotifier>

namespace murmeli::app {

namespace {

constexpr std::array caught { SIGTERM, SIGINT, SIGHUP };

// The handler's only state: a plain descriptor, written before any handler is installed, and how many of each kind
// came.
volatile sig_atomic_t writeFd = -1;
constexpr int kinds = 65;
volatile sig_atomic_t received[kinds] = {};
// From this many of one kind on, the next one has the default action: it ends murmeli at once.
constexpr int caughtOfAKind = 2;

void onEndSignal(int signal)
{
    const int saved = errno;
    // Only the caught signals come here, each below kinds. A handler never runs twice at once for one kind: the
    // kernel blocks the signal while its handler runs.
    const sig_atomic_t count = received[signal] + 1;
    received[signal] = count;
    if (count >= caughtOfAKind) {
        struct sigaction fallback { };
        fallback.sa_handler = SIG_DFL;
        sigemptyset(&fallback.sa_mask);
        ::sigaction(signal, &fallback, nullptr);
    }
    const auto number = static_cast<unsigned char>(signal);
    // Non-blocking: with the pipe full the main thread has signals enough to read already.
    [[maybe_unused]] const ssize_t written = ::write(writeFd, &number, 1);
    errno = saved;
}

} // namespace

EndSignals::EndSignals(QObject* parent) : QObject(parent)
{
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) {
        return;
    }
    m_readFd = fds[0];
    writeFd = fds[1];
    for (const int signal : caught) {
        received[signal] = 0;
    }
    struct sigaction action { };
    action.sa_handler = onEndSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signal : caught) {
        // One that murmeli was started ignoring (nohup, a background job) stays ignored, as it was meant to be.
        struct sigaction before { };
        if (::sigaction(signal, nullptr, &before) == 0 && before.sa_handler != SIG_IGN
            && ::sigaction(signal, &action, nullptr) == 0) {
            m_installed.push_back(signal);
        }
    }
    m_notifier = new QSocketNotifier(m_readFd, QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &EndSignals::deliverPending);
}

EndSignals::~EndSignals()
{
    for (const int signal : m_installed) {
        std::signal(signal, SIG_DFL);
    }
    // The write end stays open: a handler already running on another thread may still write to it.
    if (m_readFd >= 0) {
        ::close(m_readFd);
    }
}

QString EndSignals::nameOf(int signal)
{
    switch (signal) {
    case SIGTERM:
        return QStringLiteral("SIGTERM");
    case SIGINT:
        return QStringLiteral("SIGINT");
    case SIGHUP:
        return QStringLiteral("SIGHUP");
    default:
        return QStringLiteral("signal %1").arg(signal);
    }
}

void EndSignals::deliverPending()
{
    if (m_readFd < 0) {
        return;
    }
    unsigned char numbers[16];
    ssize_t got = 0;
    while ((got = ::read(m_readFd, numbers, sizeof numbers)) > 0) {
        for (ssize_t at = 0; at < got; ++at) {
            if (onSignal) {
                onSignal(numbers[at]);
            }
        }
    }
}

} // namespace murmeli::app
