#pragma once

#include <deque>
#include <initializer_list>
#include <vector>

#include <QMutex>
#include <QStringList>

#include "platform/applescript/ScriptHost.h"

class QThread;

namespace murmeli::platform {

/// A script host for tests: records every script it is given and answers from a queue of scripted results.
class FakeScriptHost final : public ScriptHost {
public:
    /// One run as the fake saw it.
    struct Call final {
        QString script;
        std::chrono::milliseconds timeout { 0 };
        QThread* thread = nullptr; // the thread that ran it
    };

    FakeScriptHost() = default;

    bool isAvailable() const override;
    ScriptResult run(const QString& script, std::chrono::milliseconds timeout) override;

    /// A script that ran to exit status 0 and printed text.
    static ScriptResult printed(const QByteArray& text);
    /// A script that ran and failed with the error text and exit status.
    static ScriptResult failed(const QByteArray& error, int exitCode = 1);
    /// A script stopped at its time limit.
    static ScriptResult timedOut();

    /// An unavailable fake answers every run as a launch failure, as a system without a host does.
    void setAvailable(bool available);
    /// Answers the next runs in order; once the queue is empty a run prints nothing and exits 0.
    void queue(std::initializer_list<ScriptResult> results);

    std::vector<Call> calls() const;
    QStringList scripts() const;

private:
    mutable QMutex m_mutex; // runs come from worker threads while the test thread reads
    std::deque<ScriptResult> m_replies;
    std::vector<Call> m_calls;
    bool m_available = true;
};

} // namespace murmeli::platform
