#include "platform/desktop/x11/X11WindowSystem.h"

#include <algorithm>

#include <QUuid>

#include <gtest/gtest.h>

#include "tests/platform/desktop/x11/X11Session.h"
#include "tests/support/Wait.h"

namespace murmeli::platform {
namespace {

using namespace std::chrono_literals;
using test::waitUntil;
using test::Xterm;

QString uniqueName(const char* prefix)
{
    return QStringLiteral("%1%2").arg(QLatin1String(prefix), QUuid::createUuid().toString(QUuid::Id128).left(8));
}

std::optional<bool> resultOf(QFuture<bool> future)
{
    if (!waitUntil([&] { return future.isFinished(); }, 10000)) {
        return std::nullopt;
    }
    return future.result();
}

class X11WindowSystemTest : public test::X11Session {
protected:
    void SetUp() override
    {
        X11Session::SetUp();
        if (!IsSkipped() && !HasFatalFailure()) {
            m_windows = std::make_unique<X11WindowSystem>(m_connection);
        }
    }

    std::unique_ptr<X11WindowSystem> m_windows;
};

TEST_F(X11WindowSystemTest, ActiveXtermIsDescribedWithItsClassTitleAndProcess)
{
    const QString name = uniqueName("murmeliwin");
    Xterm xterm(name, { QStringLiteral("-title"), QStringLiteral("murmeli window test") }, QStringLiteral("sleep 60"));
    const quint64 id = xterm.waitForWindow();
    ASSERT_NE(id, 0u);

    std::optional<WindowInfo> active;
    ASSERT_TRUE(waitUntil([&] {
        active = m_windows->activeWindow();
        return active && active->id == id && active->pid == xterm.pid();
    })) << "the window manager did not focus the new xterm";
    EXPECT_EQ(active->classInstance, name);
    EXPECT_EQ(active->className, QStringLiteral("XTerm"));
    EXPECT_EQ(active->title, QStringLiteral("murmeli window test"));
    EXPECT_EQ(active->pid, xterm.pid());

    // The window manager lists a new window a moment after it maps it.
    EXPECT_TRUE(waitUntil([&] { return m_windows->windows().contains(*active); }));
    EXPECT_TRUE(m_windows->injectionSupport().canInject) << m_windows->injectionSupport().reason.toStdString();
}

TEST_F(X11WindowSystemTest, ActivationWaitsForTheWindowManager)
{
    Xterm first(uniqueName("murmelifirst"), {}, QStringLiteral("sleep 60"));
    const quint64 firstId = first.waitForWindow();
    Xterm second(uniqueName("murmelisecond"), {}, QStringLiteral("sleep 60"));
    const quint64 secondId = second.waitForWindow();
    ASSERT_TRUE(firstId && secondId);
    // Both are managed (the window manager lists them). Which one has the focus is not asked: other
    // tests on the same desktop map windows of their own meanwhile.
    ASSERT_TRUE(waitUntil([&] {
        const QList<WindowInfo> all = m_windows->windows();
        const auto listed = [&](quint64 id, qint64 pid) {
            return std::any_of(
                all.cbegin(), all.cend(), [&](const WindowInfo& w) { return w.id == id && w.pid == pid; });
        };
        return listed(firstId, first.pid()) && listed(secondId, second.pid());
    }));
    EXPECT_EQ(resultOf(m_windows->activate(secondId, 5s)), true);

    // Back to the first, then to the one already active, then to windows the window manager does not know.
    EXPECT_EQ(resultOf(m_windows->activate(firstId, 5s)), true);
    EXPECT_EQ(m_windows->activeWindow().value_or(WindowInfo {}).id, firstId);
    EXPECT_EQ(resultOf(m_windows->activate(firstId, 5s)), true);
    EXPECT_EQ(resultOf(m_windows->activate(m_connection->root(), 5s)), false);
    EXPECT_EQ(resultOf(m_windows->activate(0x7ffffff0, 5s)), false);
    EXPECT_EQ(m_windows->activeWindow().value_or(WindowInfo {}).id, firstId);
}

} // namespace
} // namespace murmeli::platform
