#include "platform/audio/qt/SoundServerContact.h"

#include <atomic>
#include <mutex>

#include <QAudioDevice>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QMediaDevices>
#include <QThread>

namespace murmeli::platform::SoundServerContact {

namespace {

// Process-wide because what it guards is: Qt keeps one client of the sound server per process.
std::atomic<bool> hasAnswered = false;

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
            QMediaDevices::defaultAudioOutput();
            hasAnswered = true;
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

QThread* thread()
{
    return contactThread();
}

} // namespace murmeli::platform::SoundServerContact
