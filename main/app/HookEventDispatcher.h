#pragma once

#include <QJsonObject>
#include <QString>

#include "main/common/Clock.h"
#include "main/common/Log.h"
#include "main/hooks/SessionFileWriter.h"
#include "main/hooks/SessionRegistry.h"

namespace murmeli::app {

/// Turns each hook event into what the rest of the system reads: the session's activity, notification and
/// transcript-path files, and the registry's entries, titles and last assistant texts.
class HookEventDispatcher final {
public:
    HookEventDispatcher(hooks::SessionRegistry& registry, hooks::SessionFileWriter& files, common::Clock& clock);

    common::LogSink onLog;

    /// Returns whether the sessions may have changed (the owner then refreshes what it shows).
    bool dispatch(const QString& eventName, const QJsonObject& payload);

private:
    void writeFiles(const QString& eventName, const QString& key, const QJsonObject& payload);
    void log(const QString& message, common::LogColor color);

    hooks::SessionRegistry& m_registry;
    hooks::SessionFileWriter& m_files;
    common::Clock& m_clock;
};

} // namespace murmeli::app
