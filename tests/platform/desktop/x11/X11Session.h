#pragma once

#include <memory>
#include <optional>

#include <QByteArray>
#include <QProcess>
#include <QStringList>

#include <gtest/gtest.h>

#include "platform/desktop/x11/X11Connection.h"
#include "tests/support/DesktopLock.h"

namespace murmeli::test {

/// A fixture for tests on Qt's connection to the test desktop's display; skips outside the desktop. It holds the
/// desktop's keyboard, focus and clipboard for the test.
class X11Session : public ::testing::Test {
protected:
    void SetUp() override;

    std::optional<DesktopLock> m_lock;
    std::shared_ptr<platform::X11Connection> m_connection;
};

/// Runs a desktop tool (xdotool, xclip, ...) to its end while the event loop keeps running, so that this process
/// can answer the tool's requests (for a selection it owns, say). Its standard output, or nullopt when it failed or
/// took longer than ten seconds.
std::optional<QByteArray> runTool(const QString& program, const QStringList& arguments, const QByteArray& input = {});

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
