#include "main/app/console/SayCommand.h"

#include <gtest/gtest.h>

#include <QFileInfo>
#include <QTemporaryDir>

#include "platform/audio/fake/FakeAudioPlayer.h"
#include "platform/speech/fake/FakeSpeechSynthesizer.h"
#include "tests/support/TaskResult.h"
#include "tests/support/Wait.h"

namespace murmeli::app {
namespace {

using Request = SayCommand::Request;

TEST(SayCommandTest, OptionsComeBeforeTheTextAndNeverFromIt)
{
    struct Case {
        QStringList words;
        std::optional<Request> expected;
    };
    const Case cases[] = {
        { { "Task", "complete" }, Request { "Task complete", {} } },
        { { "--wav", "out.wav", "Done." }, Request { "Done.", "out.wav" } },
        { { "--", "--help" }, Request { "--help", {} } },
        { { "--wav", "out.wav", "--", "-v", "en" }, Request { "-v en", "out.wav" } },
        { { "Done.", "--wav", "out.wav" }, Request { "Done. --wav out.wav", {} } },
        { {}, std::nullopt },
        { { "--" }, std::nullopt },
        { { "  " }, std::nullopt },
        { { "-v", "en", "Done." }, std::nullopt },
        { { "--wav" }, std::nullopt },
        { { "--wav", "", "Done." }, std::nullopt },
        { { "--wav", "a.wav", "--wav", "b.wav", "Done." }, std::nullopt },
    };
    for (const Case& c : cases) {
        EXPECT_EQ(SayCommand::parse(c.words), c.expected) << c.words.join(' ').toStdString();
    }
}

TEST(SayCommandTest, ThePhraseIsPlayedToItsEndOrTheReasonGiven)
{
    using Player = platform::FakeAudioPlayer;
    struct Case {
        const char* name;
        bool speakerThere;
        std::function<void(Player&)> outcome; // unset: playback never starts
        int status;
        QString error;
    };
    const Case cases[] = {
        { "played", true, [](Player& player) { player.finish(); }, 0, {} },
        { "lost", true, [](Player& player) { player.fail(QStringLiteral("device gone")); }, 1,
            "murmeli: cannot play: device gone" },
        { "no speaker", false, {}, 1, "murmeli: cannot play: no audio output device" },
    };
    for (const Case& c : cases) {
        Player* player = nullptr;
        SayCommand command(std::make_shared<platform::FakeSpeechSynthesizer>(), [&] {
            auto fake = std::make_unique<Player>();
            fake->setAvailable(c.speakerThere);
            player = fake.get();
            return fake;
        });
        QStringList errors;
        command.onError = [&errors](const QString& line) { errors << line; };
        const auto status = test::keepResult(command.run({ QStringLiteral("Done."), {} }));
        if (c.outcome) {
            ASSERT_TRUE(test::waitUntil([&] { return player && player->isPlaying(); })) << c.name;
            EXPECT_FALSE(status->has_value()) << c.name;
            c.outcome(*player);
        }
        ASSERT_TRUE(test::waitUntil([&] { return status->has_value(); })) << c.name;
        EXPECT_EQ(**status, c.status) << c.name;
        EXPECT_EQ(errors, c.error.isEmpty() ? QStringList() : QStringList { c.error }) << c.name;
    }
}

// A tool whose speech passes the runner's 16 MiB cap is cut there: the command says so, writes nothing and fails.
TEST(SayCommandTest, APhraseCutAtTheOutputCapFailsAndWritesNothing)
{
    const auto synthesizer = std::make_shared<platform::FakeSpeechSynthesizer>();
    synthesizer->setTool(QStringLiteral("head"), { QStringLiteral("-c"), QStringLiteral("17000000"), "/dev/zero" });
    QTemporaryDir dir;
    const QString wav = dir.filePath(QStringLiteral("long.wav"));
    SayCommand command(synthesizer, [] { return std::make_unique<platform::FakeAudioPlayer>(); });
    QStringList errors;
    command.onError = [&errors](const QString& line) { errors << line; };
    const auto status = test::keepResult(command.run({ QStringLiteral("a very long phrase"), wav }));
    ASSERT_TRUE(test::waitUntil([&] { return status->has_value(); }, 20000));
    EXPECT_EQ(**status, 1);
    EXPECT_EQ(errors.last(), QStringLiteral("murmeli: the phrase is too long to speak whole; nothing was written"));
    EXPECT_FALSE(QFileInfo::exists(wav));
}

} // namespace
} // namespace murmeli::app
