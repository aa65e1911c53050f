#include "tests/support/DesktopTools.h"

#include "tests/support/Wait.h"

namespace murmeli::test {

namespace {

constexpr int toolTimeoutMs = 10000;
constexpr int windowTimeoutMs = 10000;

} // namespace

bool activateWindow(quint64 window)
{
    runTool(QStringLiteral("xdotool"), { QStringLiteral("windowactivate"), QString::number(window) });
    return waitUntil([&] {
        const auto active = runTool(QStringLiteral("xdotool"), { QStringLiteral("getactivewindow") });
        return active && active->trimmed().toULongLong() == window;
    });
}

std::optional<QByteArray> runTool(const QString& program, const QStringList& arguments, const QByteArray& input)
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForStarted(toolTimeoutMs)) {
        return std::nullopt;
    }
    process.write(input);
    process.closeWriteChannel();
    QByteArray output;
    const bool ended = waitUntil(
        [&] {
            output += process.readAllStandardOutput();
            return process.state() == QProcess::NotRunning;
        },
        toolTimeoutMs);
    output += process.readAllStandardOutput();
    if (!ended) {
        process.kill();
        process.waitForFinished(toolTimeoutMs);
        return std::nullopt;
    }
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        return std::nullopt;
    }
    return output;
}

Xterm::Xterm(const QString& instanceName, const QStringList& xtermArguments, const QString& command)
    : m_instanceName(instanceName)
{
    m_process.start(QStringLiteral("xterm"),
        QStringList { QStringLiteral("-name"), instanceName } + xtermArguments
            + QStringList { QStringLiteral("-e"), QStringLiteral("sh"), QStringLiteral("-c"), command });
    m_process.waitForStarted(toolTimeoutMs);
}

Xterm::~Xterm()
{
    m_process.kill();
    m_process.waitForFinished(toolTimeoutMs);
}

quint64 Xterm::waitForWindow()
{
    // xdotool finds the window by its instance name, without going through the code under test.
    quint64 window = 0;
    waitUntil(
        [&] {
            const std::optional<QByteArray> found = runTool(
                QStringLiteral("xdotool"), { QStringLiteral("search"), QStringLiteral("--classname"), m_instanceName });
            window = found ? found->split('\n').value(0).trimmed().toULongLong() : 0;
            return window != 0;
        },
        windowTimeoutMs);
    return window;
}

} // namespace murmeli::test
