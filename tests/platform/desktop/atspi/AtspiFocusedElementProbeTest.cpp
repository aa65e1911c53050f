#include "platform/desktop/atspi/AtspiFocusedElementProbe.h"

#include <QCoreApplication>
#include <QProcess>
#include <QScopeGuard>

#include <gtest/gtest.h>

#include "tests/platform/desktop/FocusTargetApp.h"
#include "tests/support/DesktopLock.h"
#include "tests/support/TestDesktop.h"
#include "tests/support/Wait.h"

namespace murmeli::platform {
namespace {

using test::waitUntil;

class AtspiFocusedElementProbeTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (const std::optional<QString> missing = test::testDesktopMissing()) {
            GTEST_SKIP() << missing->toStdString();
        }
        // The target's window takes the focus from whatever test had it.
        m_lock.emplace(test::DesktopLock::keyboardAndClipboard);
        ASSERT_TRUE(m_lock->isHeld()) << "another test kept the keyboard";
    }

    std::optional<test::DesktopLock> m_lock;
};

TEST_F(AtspiFocusedElementProbeTest, FollowsTheFocusInsideAnotherApplication)
{
    AtspiFocusedElementProbe probe;
    ASSERT_TRUE(probe.start()) << "no accessibility bus on the test desktop";

    // A Qt application exposes itself on the bus only when told to.
    QProcess target;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_LINUX_ACCESSIBILITY_ALWAYS_ON"), QStringLiteral("1"));
    target.setProcessEnvironment(environment);
    target.start(QCoreApplication::applicationFilePath(), { QLatin1String(test::focusTargetArgument) });
    ASSERT_TRUE(target.waitForStarted(5000));
    const auto stop = qScopeGuard([&] {
        target.closeWriteChannel();
        if (!target.waitForFinished(5000)) {
            target.kill();
            target.waitForFinished(5000);
        }
    });

    std::optional<FocusedElement> focused;
    const auto waitForFocus = [&](const QList<FocusedRole>& roles) {
        return waitUntil(
            [&] {
                focused = probe.focusedElement(target.processId());
                return focused && roles.contains(focused->role);
            },
            15000);
    };
    // Toolkits differ in whether a one-line field is an entry or a text.
    ASSERT_TRUE(waitForFocus({ FocusedRole::TextField, FocusedRole::TextArea }))
        << "saw " << (focused ? focused->roleName.toStdString() : "nothing");
    EXPECT_TRUE(focused->editable);

    target.write("button\n");
    ASSERT_TRUE(waitForFocus({ FocusedRole::Other }))
        << "saw " << (focused ? focused->roleName.toStdString() : "nothing");
    EXPECT_FALSE(focused->editable);
    EXPECT_EQ(focused->roleName, QStringLiteral("push button"));

    // Processes that expose nothing, this one included, get no answer.
    EXPECT_EQ(probe.focusedElement(QCoreApplication::applicationPid()), std::nullopt);
    EXPECT_EQ(probe.focusedElement(target.processId() + 100000), std::nullopt);
}

} // namespace
} // namespace murmeli::platform
