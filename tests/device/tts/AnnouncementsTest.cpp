#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "main/device/tts/Announcements.h"
#include "platform/audio/fake/FakeAudioPlayer.h"
#include "platform/defaults/Defaults.h"
#include "tests/support/FakeClock.h"
#include "tests/support/FakeTTS.h"
#include "tests/support/Wait.h"

using namespace murmeli;

namespace {

QJsonObject object(std::initializer_list<std::pair<QString, QJsonValue>> members)
{
    QJsonObject result;
    for (const auto& [key, value] : members) {
        result.insert(key, value);
    }
    return result;
}

} // namespace

// Which hook events speak, and which of the payload's fields reach the phrase when some are missing or not text.
TEST(AnnouncementsTest, HookEventsSpeakFromTheRightFields)
{
    struct Row {
        const char* event;
        QJsonObject payload;
        std::optional<QString> phrase;
    };
    const std::vector<Row> rows {
        { "PostToolUseFailure",
            object({ { QStringLiteral("tool_name"), QStringLiteral("mcp__files__read_file") },
                { QStringLiteral("error"), QStringLiteral("no such file or directory here") } }),
            QStringLiteral("file failed. no such file or directory") },
        { "PostToolUseFailure", object({ { QStringLiteral("tool"), QStringLiteral("Bash") } }),
            QStringLiteral("bash failed") },
        { "StopFailure",
            object({ { QStringLiteral("error_type"), QStringLiteral("server_error") },
                { QStringLiteral("reason"), QStringLiteral("overloaded") } }),
            QStringLiteral("Server error") },
        { "StopFailure",
            object({ { QStringLiteral("error_type"), 42 },
                { QStringLiteral("reason"), QStringLiteral("socket hang up") } }),
            QStringLiteral("Error. socket hang up") },
        { "StopFailure", QJsonObject {}, QStringLiteral("Error occurred") },
        { "PostToolUse", object({ { QStringLiteral("tool_name"), QStringLiteral("Bash") } }), std::nullopt },
        { "NoSuchEvent", QJsonObject {}, std::nullopt },
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.event);
        QTemporaryDir root;
        platform::Defaults defaults(root.path() + QStringLiteral("/defaults.json"));
        test::FakeClock clock;
        device::Announcements announcements(defaults, clock);
        auto backend = std::make_shared<test::FakeTTSBackend>();
        announcements.start(backend, nullptr, std::make_unique<platform::FakeAudioPlayer>(), {});
        announcements.tts().setEnabled(true);

        announcements.speakForHookEvent(QString::fromLatin1(row.event), row.payload, {}, std::nullopt);
        if (!row.phrase) {
            EXPECT_TRUE(backend->phrases.isEmpty());
            continue;
        }
        ASSERT_EQ(backend->phrases.size(), 1);
        EXPECT_EQ(backend->phrases.front(), *row.phrase);
    }
}

// Without a device the computer speaks; the cue output is silent until one that plays files is handed over.
TEST(AnnouncementsTest, PhrasesReachTheComputerSpeakerWithoutADevice)
{
    QTemporaryDir root;
    platform::Defaults defaults(root.path() + QStringLiteral("/defaults.json"));
    test::FakeClock clock;
    device::Announcements announcements(defaults, clock);
    auto speaker = std::make_unique<platform::FakeAudioPlayer>();
    platform::FakeAudioPlayer* heard = speaker.get();
    announcements.start(std::make_shared<test::FakeTTSBackend>(), nullptr, std::move(speaker), {});
    announcements.tts().setEnabled(true);

    hooks::ApprovalRequest request;
    request.toolName = QStringLiteral("Bash");
    request.commandPreview = QStringLiteral("git push");
    [[maybe_unused]] const QCoro::Task<> speaking = announcements.speakApproval(request);
    ASSERT_TRUE(test::waitUntil([&] { return heard->played().size() == 1; }));
    EXPECT_FALSE(heard->played().front().pcm.isEmpty());
}
