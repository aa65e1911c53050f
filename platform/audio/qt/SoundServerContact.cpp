#include "platform/audio/qt/SoundServerContact.h"

#include <atomic>
#include <mutex>

#include <QAudioDevice>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QMediaDevices>
#include <QThread>
#include <QTimer>

#include <pulse/context.h>
#include <pulse/mainloop.h>

namespace murmeli::platform::SoundServerContact {

namespace {

// Process-wide because what it guards is: Qt keeps one client of the sound server per process.
std::atomic<bool> hasAnswered = false;
std::atomic<bool> hasTried = false;

constexpr int exitWaitMs = 1000;

QThread* contactThread()
{
    static QThread* thread = nullptr;
    static std::once_flag started;
    std::call_once(started, [] {
        // Qt's client belongs to the thread that made it and reconnects to a restarted server through that thread's
        // event loop, so the thread runs for the rest of the process. It is never deleted: a contact that hangs must
        // not hold up the exit.
        thread = new QThread;
        thread->setObjectName(QStringLiteral("murmeli.soundserver"));
        QObject::connect(thread, &QThread::started, [] {
            const bool made = reach();
            hasTried = true;
            if (made) {
                return;
            }
            // Made on this thread, so it fires here; it goes once the contact is made.
            auto* retry = new QTimer;
            retry->setInterval(retryInterval);
            QObject::connect(retry, &QTimer::timeout, [retry] {
                if (reach()) {
                    retry->deleteLater();
                }
            });
            retry->start();
        });
        thread->start();
        // Qt's client is torn down with the process; a stream being opened or closed on this thread meanwhile would
        // find its locks gone. The thread is let finish what it does, for a moment and no longer.
        qAddPostRoutine([] {
            thread->quit();
            thread->wait(QDeadlineTimer(exitWaitMs));
        });
    });
    return thread;
}

} // namespace

bool answered()
{
    contactThread();
    return hasAnswered;
}

bool triedOnce()
{
    contactThread();
    return hasTried;
}

QThread* thread()
{
    return contactThread();
}

bool reach()
{
    Q_ASSERT(QThread::currentThread() == contactThread());
    if (hasAnswered) {
        return true;
    }
    if (!answersWithin(answerLimit)) {
        return false;
    }
    QMediaDevices::defaultAudioOutput();
    hasAnswered = true;
    return true;
}

bool answersWithin(std::chrono::milliseconds limit)
{
    pa_mainloop* loop = pa_mainloop_new();
    if (!loop) {
        return false;
    }
    pa_context* context = pa_context_new(pa_mainloop_get_api(loop), "murmeli");
    bool ready = false;
    if (context && pa_context_connect(context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) >= 0) {
        const QDeadlineTimer deadline(limit);
        while (!ready && !deadline.hasExpired()) {
            const pa_context_state_t state = pa_context_get_state(context);
            if (state == PA_CONTEXT_READY) {
                ready = true;
            } else if (!PA_CONTEXT_IS_GOOD(state)) {
                break;
            } else if (pa_mainloop_prepare(loop, static_cast<int>(deadline.remainingTime() * 1000)) < 0
                || pa_mainloop_poll(loop) < 0 || pa_mainloop_dispatch(loop) < 0) {
                break;
            }
        }
        pa_context_disconnect(context);
    }
    if (context) {
        pa_context_unref(context);
    }
    pa_mainloop_free(loop);
    return ready;
}

} // namespace murmeli::platform::SoundServerContact
