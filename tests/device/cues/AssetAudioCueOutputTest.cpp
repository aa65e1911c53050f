#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <optional>
#include <set>

#include <QDir>
#include <QFile>
#include <QStringList>
#include <QTemporaryDir>

#include "main/common/ResourcePaths.h"
#include "main/device/cues/AssetAudioCueOutput.h"
#include "platform/audio/AudioPlayerFactory.h"
#include "platform/audio/WavFile.h"
#include "platform/audio/fake/FakeAudioPlayer.h"
#include "tests/support/SpeakerTest.h"
#include "tests/support/Tone.h"
#include "tests/support/Wait.h"

namespace {

using murmeli::device::AssetAudioCueOutput;
using murmeli::device::AudioCue;
using murmeli::platform::FakeAudioPlayer;
namespace WavFile = murmeli::platform::WavFile;

const murmeli::platform::AudioFormat take = murmeli::platform::AudioFormat::take();

QByteArray toneWav(double hz)
{
    const QByteArray pcm = murmeli::test::makeTone(take, hz, 100, 0.3);
    return WavFile::header(take, quint32(pcm.size())) + pcm;
}

class AssetAudioCueOutputTest : public ::testing::Test {
protected:
    // An output over an empty folder and the test's sound folder, with a fake player.
    std::unique_ptr<AssetAudioCueOutput> makeOutput(bool withSpeaker = true)
    {
        auto player = std::make_unique<FakeAudioPlayer>();
        m_player = player.get();
        auto output = std::make_unique<AssetAudioCueOutput>(
            nullptr, [this](const QString& line, murmeli::common::LogColor) { m_logged << line; },
            QStringList { m_emptyFolder.path(), m_folder.path() }, std::move(player));
        if (withSpeaker) {
            output->speakFallback = [this](const QString& phrase) { m_spoken << phrase; };
        }
        return output;
    }

    void writeCue(const QString& name, const QByteArray& bytes)
    {
        QFile file(m_folder.filePath(name + QStringLiteral(".wav")));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }

    QTemporaryDir m_emptyFolder;
    QTemporaryDir m_folder;
    FakeAudioPlayer* m_player = nullptr;
    QStringList m_spoken;
    QStringList m_logged;
};

TEST_F(AssetAudioCueOutputTest, ACueWithoutItsFileSpeaksItsPhraseAndIsLookedUpOnce)
{
    const auto output = makeOutput();
    output->play(AudioCue::ApprovalRequested);
    // A file that turns up later is not seen: the miss was remembered.
    writeCue(QStringLiteral("permission_request"), toneWav(440));
    output->play(AudioCue::ApprovalRequested);
    EXPECT_EQ(m_spoken, QStringList({ "Approval needed.", "Approval needed." }));
    EXPECT_EQ(m_logged.value(0), "AudioCue: WAV missing for permission_request, TTS fallback");
    EXPECT_TRUE(m_player->played().empty());
}

TEST_F(AssetAudioCueOutputTest, AFoundFilePlaysAndANewCueCutsTheLastOneShort)
{
    writeCue(QStringLiteral("stop"), toneWav(523));
    writeCue(QStringLiteral("permission_request"), toneWav(659));
    const auto output = makeOutput();
    output->play(AudioCue::Completion);
    output->play(AudioCue::ApprovalRequested);

    ASSERT_EQ(m_player->played().size(), 2u);
    EXPECT_EQ(m_player->played()[1].format, take);
    EXPECT_EQ(m_player->played()[1].pcm, murmeli::test::makeTone(take, 659, 100, 0.3));
    EXPECT_EQ(m_player->stopCount(), 1);
    EXPECT_TRUE(m_spoken.isEmpty());
    EXPECT_TRUE(m_logged.isEmpty());
    // A sound lost on the way is not lost silently.
    m_player->fail(QStringLiteral("the sound server did not answer"));
    EXPECT_EQ(
        m_logged, QStringList("AudioCue: playback failed for permission_request: the sound server did not answer"));
}

TEST_F(AssetAudioCueOutputTest, ACueThatCannotPlaySaysWhyAndFallsBackToItsPhrase)
{
    struct Case {
        bool withSpeaker;
        QByteArray file; // empty: no file
        bool playerRefuses;
        QString logStart;
        QStringList spoken;
    };
    const Case cases[] = {
        { false, {}, false, "AudioCue: WAV missing for stop, no TTS fallback", {} },
        { true, "ID3 not a wave", false, "AudioCue: AVAudioPlayer init failed for stop: ", { "Done." } },
        { false, "RIFF", false, "AudioCue: AVAudioPlayer init failed for stop: ", {} },
        { true, toneWav(440), true, "AudioCue: AVAudioPlayer.play() returned false for stop", { "Done." } },
    };
    for (const Case& c : cases) {
        m_spoken.clear();
        m_logged.clear();
        QFile::remove(m_folder.filePath(QStringLiteral("stop.wav")));
        if (!c.file.isEmpty()) {
            writeCue(QStringLiteral("stop"), c.file);
        }
        const auto output = makeOutput(c.withSpeaker);
        if (c.playerRefuses) {
            m_player->failNextPlay(QStringLiteral("device busy"));
        }
        output->play(AudioCue::Completion);
        ASSERT_EQ(m_logged.size(), 1) << c.logStart.toStdString();
        EXPECT_TRUE(m_logged.first().startsWith(c.logStart)) << m_logged.first().toStdString();
        EXPECT_EQ(m_spoken, c.spoken) << c.logStart.toStdString();
        EXPECT_TRUE(m_player->played().empty());
    }
}

TEST(HookSoundsTest, EveryCueHasAShortSoundOfItsOwnBesideTheBuildTree)
{
    // A checkout whose sounds are the repository's, with murmeli built in build/.
    QTemporaryDir checkout;
    ASSERT_TRUE(QDir(checkout.path()).mkpath(QStringLiteral("build/main/app")));
    ASSERT_TRUE(QFile::link(QStringLiteral(MURMELI_SOURCE_DIR "/HookSounds"), checkout.filePath("HookSounds")));
    AssetAudioCueOutput output(nullptr, nullptr,
        murmeli::common::resourceFolderCandidates(
            checkout.filePath(QStringLiteral("build/main/app/murmeli")), murmeli::common::ResourceFolder::Sounds),
        std::make_unique<FakeAudioPlayer>());
    std::set<QByteArray> sounds;
    for (const AudioCue cue : murmeli::device::allAudioCues) {
        const std::optional<QString> path = output.resolveAssetPath(cue);
        ASSERT_EQ(path, checkout.filePath("HookSounds/" + murmeli::device::soundFile(cue) + ".wav"));
        QString error;
        const std::optional<murmeli::platform::WavAudio> audio = WavFile::read(*path, &error);
        ASSERT_TRUE(audio.has_value()) << error.toStdString();
        const qsizetype ms = audio->pcm.size() / audio->format.bytesPerFrame() * 1000 / audio->format.sampleRate;
        EXPECT_TRUE(ms >= 80 && ms <= 1000) << path->toStdString() << ": " << ms << " ms";
        sounds.insert(audio->pcm);
    }
    EXPECT_EQ(sounds.size(), murmeli::device::allAudioCues.size());
}

using HookSoundsSpeakerTest = murmeli::test::SpeakerTest;

TEST_F(HookSoundsSpeakerTest, ACueReachesTheSpeaker)
{
    QStringList logged;
    std::unique_ptr<murmeli::platform::AudioPlayer> player = murmeli::platform::makeAudioPlayer();
    std::optional<std::chrono::steady_clock::time_point> ended;
    const auto end = [&] { ended = std::chrono::steady_clock::now(); };
    QObject::connect(player.get(), &murmeli::platform::AudioPlayer::finished, end);
    QObject::connect(player.get(), &murmeli::platform::AudioPlayer::failed, end);
    AssetAudioCueOutput output(
        nullptr, [&](const QString& line, murmeli::common::LogColor) { logged << line; },
        { QStringLiteral(MURMELI_SOURCE_DIR "/HookSounds") }, std::move(player));
    output.play(AudioCue::Notification);
    // A loaded machine may take its time to open the stream and to record it: what is judged is the whole cue, once
    // it has played and the recording holds it. The limits only end a wait that would never end.
    ASSERT_TRUE(murmeli::test::waitUntil([&] { return ended.has_value(); }, 60000)) << "the cue never ended";
    ASSERT_TRUE(waitForRecordingOf(*ended, 60000)) << "the speaker's recording stopped";
    // The notification cue is one G5 (784 Hz) fading over half a second: most of it is heard.
    EXPECT_GE(toneWindows(783.99, 0.8), 5) << toneWindows(783.99, 0.5) << " windows hold a little of it";
    EXPECT_TRUE(logged.isEmpty()) << logged.join('\n').toStdString();
}

} // namespace
