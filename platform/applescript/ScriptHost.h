#pragma once

#include <chrono>

#include <QByteArray>
#include <QString>
#include <QtGlobal>

namespace murmeli::platform {

/// What the script host reported for one script, unread: the caller decides what the text means.
struct ScriptResult final {
    bool started = false; // false when the host could not run the script at all; errorText says why
    bool timedOut = false;
    bool crashed = false;
    int exitCode = -1;
    QByteArray standardOutput;
    QByteArray standardError;
    bool outputTruncated = false; // the host kept only the first part of what the script printed
    QString errorText;

    friend bool operator==(const ScriptResult&, const ScriptResult&) = default;
};

/// Runs AppleScript texts on the system's script host; synchronous, safe to call from several threads, never throws.
class ScriptHost {
public:
    ScriptHost() = default;
    virtual ~ScriptHost() = default;
    Q_DISABLE_COPY_MOVE(ScriptHost)

    /// Whether this system has a script host that can run scripts at all.
    virtual bool isAvailable() const = 0;
    /// Runs the script to its end or stops it after timeout; blocks the calling thread, so never the main thread.
    virtual ScriptResult run(const QString& script, std::chrono::milliseconds timeout) = 0;
};

} // namespace murmeli::platform
