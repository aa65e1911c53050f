#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "main/app/AppController.h"
#include "platform/secrets/fake/FakeSecretStore.h"
#include "tests/support/ControllerDependencies.h"
#include "tests/support/ControllerProbe.h"
#include "tests/support/FakeClock.h"
#include "tests/support/Wait.h"

using namespace murmeli;

namespace {

class AppControllerPanelTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        controller.sessions().onStatusChange = [this] { ++statusChanges; };
        ASSERT_TRUE(QDir().mkpath(statusDirectory()));
        QFile::setPermissions(statusDirectory(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

    QString statusDirectory() const { return root.path() + QStringLiteral("/murmeli"); }

    void write(const QString& name, const QByteArray& content, qint64 ageSecs)
    {
        QFile file(statusDirectory() + QLatin1Char('/') + name);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(content);
        file.flush();
        ASSERT_TRUE(file.setFileTime(clock->now().addSecs(-ageSecs), QFileDevice::FileModificationTime));
    }

    void syncAndSettle()
    {
        controller.sessions().syncSessions();
        ASSERT_TRUE(test::waitUntil([&] { return !test::ControllerProbe::panelSync(controller).isReading(); }));
    }

    QString selected() { return test::ControllerProbe::sessionRegistry(controller).selectedSid()->text(); }

    std::shared_ptr<test::FakeClock> clock = std::make_shared<test::FakeClock>();
    QTemporaryDir root;
    app::AppController controller { test::controllerDependencies(
        root, std::make_shared<platform::FakeSecretStore>(), clock) };
    int statusChanges = 0;
};

TEST_F(AppControllerPanelTest, SyncFollowsTheSelectedSessionAndTheSessionActionsMoveIt)
{
    const QString transcript = root.path() + QStringLiteral("/t.jsonl");
    QFile lines(transcript);
    ASSERT_TRUE(lines.open(QIODevice::WriteOnly));
    lines.write(R"({"type":"assistant","message":{"content":[{"type":"tool_use","id":"tu-1","name":"TodoWrite",)"
                R"("input":{"todos":[{"content":"Write tests","status":"in_progress"}]}}]}})"
                "\n");
    lines.close();
    write("aaaa1111-status.json",
        R"({"workspace":{"current_dir":"/home/dev/alpha"},"transcript_path":")" + transcript.toUtf8() + R"("})", 10);
    write("bbbb2222-status.json", R"({"workspace":{"current_dir":"/home/dev/beta"}})", 5);
    write("bbbb2222-activity.json",
        R"({"activity":"Reading notes","tool":"Read","ts":)" + QByteArray::number(clock->now().toSecsSinceEpoch())
            + "}",
        5);
    controller.startBackend(QString());
    // The start wires the actions and syncs once.
    ASSERT_TRUE(controller.vm().onSessionSelect && controller.vm().onSessionNext && controller.vm().onAnswer);
    ASSERT_TRUE(test::waitUntil([&] { return !test::ControllerProbe::panelSync(controller).isReading(); }));
    EXPECT_EQ(controller.vm().sessionTotal(), 2);

    // bbbb2222 changed last, so the registry lists it first and selects it.
    EXPECT_EQ(selected(), "bbbb2222");
    EXPECT_EQ(controller.vm().currentActivity(), "Reading notes");

    statusChanges = 0;
    controller.vm().onSessionSelect(QStringLiteral("aaaa1111"));
    EXPECT_EQ(selected(), "aaaa1111");
    EXPECT_TRUE(controller.vm().currentActivity().isEmpty()) << "the other session's activity is gone at once";
    EXPECT_EQ(statusChanges, 1);

    // The selected session's transcript is followed; its tasks reach its row.
    ASSERT_TRUE(test::waitUntil([&] {
        syncAndSettle();
        const auto active = controller.vm().activeSession();
        return active && active->sid == "aaaa1111" && active->activeTasks.size() == 1;
    }));
    EXPECT_EQ(controller.vm().activeSession()->activeTasks.front().title, "Write tests");
    EXPECT_EQ(controller.vm().sessionIndex(), 1);

    controller.vm().onSessionNext();
    EXPECT_EQ(selected(), "bbbb2222");
    controller.vm().onSessionPrev();
    EXPECT_EQ(selected(), "aaaa1111");
    EXPECT_EQ(statusChanges, 3);

    // An id that is no session of ours changes nothing; an answer does nothing.
    controller.vm().onSessionSelect(QStringLiteral("../../x"));
    controller.vm().onSessionSelect(QStringLiteral("zzzz9999"));
    controller.vm().onAnswer(QStringLiteral("aaaa1111"), QStringLiteral("yes"));
    EXPECT_EQ(selected(), "aaaa1111");
    EXPECT_EQ(statusChanges, 3);
}

} // namespace

TEST(AppControllerUsageTest, LabSwitchStartsTheReaderWhoseRowsReachThePanel)
{
    QTemporaryDir root;
    const QByteArray oldPath = qgetenv("PATH");
    qputenv("PATH", QByteArray(MURMELI_SOURCE_DIR "/tests/usage/fake:") + oldPath);
    auto dependencies = test::controllerDependencies(
        root, std::make_shared<platform::FakeSecretStore>(), std::make_shared<test::FakeClock>());
    dependencies.defaults->setValue(QStringLiteral("lab.codexbar.enabled"), true);
    {
        app::AppController controller(std::move(dependencies));
        controller.startBackend(QString());
        EXPECT_TRUE(test::waitUntil([&] { return !controller.vm().usageSnapshots().empty(); }));
        ASSERT_FALSE(controller.vm().usageSnapshots().empty());
        EXPECT_EQ(controller.vm().usageSnapshots().front().providerID, QStringLiteral("claude"));
        EXPECT_TRUE(controller.vm().usageSnapshot().has_value());
    }
    qputenv("PATH", oldPath);
}

TEST_F(AppControllerPanelTest, APasteDrawsTheLinkToItsProgramATenthOfASecondLater)
{
    QList<std::optional<qint64>> links;
    controller.dictation().onVisualLink = [&](std::optional<qint64> pid) { links.append(pid); };
    controller.dictation().pasteIntoProgramStarted(4242);
    clock->advance(app::DesktopDictation::visualLinkDelayMs - 1);
    EXPECT_TRUE(links.isEmpty());
    clock->advance(1);
    controller.dictation().pasteIntoProgramStarted(std::nullopt);
    clock->advance(app::DesktopDictation::visualLinkDelayMs);
    EXPECT_EQ(links, (QList<std::optional<qint64>> { 4242, std::nullopt }));
}
