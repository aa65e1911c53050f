#include "platform/applescript/fake/FakeScriptHost.h"

#include <QMutexLocker>
#include <QThread>

namespace murmeli::platform {

bool FakeScriptHost::isAvailable() const
{
    const QMutexLocker lock(&m_mutex);
    return m_available;
}

ScriptResult FakeScriptHost::run(const QString& script, std::chrono::milliseconds timeout)
{
    const QMutexLocker lock(&m_mutex);
    m_calls.push_back({ script, timeout, QThread::currentThread() });
    if (!m_available) {
        ScriptResult notLaunched;
        notLaunched.errorText = QStringLiteral("fake script host is unavailable");
        return notLaunched;
    }
    if (m_replies.empty()) {
        return printed({});
    }
    ScriptResult next = m_replies.front();
    m_replies.pop_front();
    return next;
}

ScriptResult FakeScriptHost::printed(const QByteArray& text)
{
    ScriptResult result;
    result.started = true;
    result.exitCode = 0;
    result.standardOutput = text;
    return result;
}

ScriptResult FakeScriptHost::failed(const QByteArray& error, int exitCode)
{
    ScriptResult result;
    result.started = true;
    result.exitCode = exitCode;
    result.standardError = error;
    return result;
}

ScriptResult FakeScriptHost::timedOut()
{
    ScriptResult result;
    result.started = true;
    result.timedOut = true;
    return result;
}

void FakeScriptHost::setAvailable(bool available)
{
    const QMutexLocker lock(&m_mutex);
    m_available = available;
}

void FakeScriptHost::queue(std::initializer_list<ScriptResult> results)
{
    const QMutexLocker lock(&m_mutex);
    m_replies.insert(m_replies.end(), results);
}

std::vector<FakeScriptHost::Call> FakeScriptHost::calls() const
{
    const QMutexLocker lock(&m_mutex);
    return m_calls;
}

QStringList FakeScriptHost::scripts() const
{
    const QMutexLocker lock(&m_mutex);
    QStringList scripts;
    for (const Call& call : m_calls) {
        scripts.append(call.script);
    }
    return scripts;
}

} // namespace murmeli::platform
