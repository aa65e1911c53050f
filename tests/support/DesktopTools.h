#pragma once

#include <optional>

#include <QByteArray>
#include <QProcess>
#include <QStringList>

namespace murmeli::test {

/// Runs a desktop tool (xdotool, xclip, ...) to its end while the event loop keeps running, so that this process
/// can answer the tool's requests (for a selection it owns, say). Its standard output, or nullopt when it failed or
/// took longer than ten seconds.
std::optional<QByteArray> runTool(const QString& program, const QStringList& arguments, const QByteArray& input = {});

/// Brings the window to the front through the window manager, as a user's click would; whether it became the active
/// window within ten seconds.
bool activateWindow(quint64 window);

/// An xterm with a shell command in it, ended with the test.
class Xterm final {
public:
    /// Starts xterm with the instance name (the first part of its WM_CLASS) and the extra arguments, running
    /// command under sh.
    Xterm(const QString& instanceName, const QStringList& xtermArguments, const QString& command);
    ~Xterm();
    Q_DISABLE_COPY_MOVE(Xterm)

    qint64 pid() const { return m_process.processId(); }
    /// Waits (bounded) until a window of this xterm is on the window manager's list; its id, or 0.
    quint64 waitForWindow();

private:
    QString m_instanceName;
    QProcess m_process;
};

} // namespace murmeli::test
