#include <atomic>
#include <chrono>
#include <memory>

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>
#include <QtEndian>

#include "main/common/ResourcePaths.h"
#include "platform/recognizer/pocketsphinx/PocketsphinxSpeechRecognizer.h"
#include "platform/recognizer/pocketsphinx/RiffWave.h"
#include "tests/support/HeardRecognition.h"
#include "tests/support/SpokenAudio.h"
#include "tests/support/Wait.h"

namespace murmeli::platform {
namespace {

using test::HeardRecognition;
namespace Spoken = test::SpokenAudio;
using Code = RecognitionError::Code;

// Deterministic voice and decoder, but floating point may differ a little between machines.
constexpr double kMinWordAccuracy = 0.8;
constexpr int kDecodeWaitMs = 60000;

class PocketsphinxSpeechRecognizerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!PocketsphinxModel::installed().isComplete()) {
            GTEST_SKIP() << "the pocketsphinx US English model is not installed (pocketsphinx-en-us)";
        }
    }

    // The sentence spoken into a WAV file and read back; an empty path, with m_noSpeech saying why, when flite
    // cannot speak here.
    std::pair<QString, MonoPcm> spoken(const QString& sentence)
    {
        const QString path = m_dir.filePath(QStringLiteral("take%1.wav").arg(m_files++));
        m_noSpeech = Spoken::speakToWav(sentence, path);
        QFile file(path);
        QString whyNot;
        const std::optional<MonoPcm> wave
            = file.open(QIODevice::ReadOnly) ? RiffWave::decode(file.readAll(), &whyNot) : std::nullopt;
        EXPECT_TRUE(wave || !m_noSpeech.isEmpty()) << whyNot.toStdString();
        return { m_noSpeech.isEmpty() ? path : QString(), wave.value_or(MonoPcm {}) };
    }

    // The stock model with murmeli's dictation model and developer dictionary from the source tree.
    static PocketsphinxModel shippedModel()
    {
        const auto speech
            = common::findResourceFolder(QCoreApplication::applicationFilePath(), common::ResourceFolder::Speech);
        return PocketsphinxModel::installed().withDictation(speech.value_or(QString()));
    }

    // A file that is there but holds no audio; the source's own name is relative where the compiler cache runs.
    QString textFile()
    {
        QFile file(m_dir.filePath(QStringLiteral("notes.wav")));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly) && file.write("not audio, only text\n") > 0);
        return file.fileName();
    }

    static QByteArray pcmOf(const MonoPcm& wave, double gain)
    {
        QByteArray pcm(static_cast<qsizetype>(wave.samples.size() * 2), '\0');
        for (size_t i = 0; i < wave.samples.size(); ++i) {
            qToLittleEndian<qint16>(static_cast<qint16>(wave.samples[i] * gain), pcm.data() + 2 * i);
        }
        return pcm;
    }

    static QStringList recognise(SpeechRecognizer& recognizer, const RecognitionRequest& request)
    {
        std::unique_ptr<RecognitionTask> task = recognizer.recognize(request);
        HeardRecognition heard(*task);
        EXPECT_TRUE(test::waitUntil([&] { return heard.ended(); }, kDecodeWaitMs)) << request.wavPath.toStdString();
        return heard.events;
    }

    QTemporaryDir m_dir;
    int m_files = 0;
    QString m_noSpeech;
};

TEST_F(PocketsphinxSpeechRecognizerTest, RecognisesSpokenFilesAndPcmWithInterimTextBeforeOneFinal)
{
    PocketsphinxSpeechRecognizer recognizer(shippedModel());
    int partials = 0;
    for (const QString& sentence : Spoken::recognisableSentences()) {
        const auto [path, wave] = spoken(sentence);
        if (path.isEmpty()) {
            GTEST_SKIP() << "no speech to recognise: " << m_noSpeech.toStdString();
        }
        const QStringList events = recognise(recognizer, RecognitionRequest::forFile(path, "en-US"));
        ASSERT_FALSE(events.isEmpty()) << sentence.toStdString();
        ASSERT_TRUE(events.back().startsWith("final:")) << events.join(" | ").toStdString();
        for (qsizetype i = 0; i + 1 < events.size(); ++i) {
            EXPECT_TRUE(events.at(i).startsWith("partial:")) << events.join(" | ").toStdString();
        }
        partials += static_cast<int>(events.size() - 1);
        const QString heard = events.back().mid(6);
        EXPECT_GE(Spoken::wordAccuracy(sentence, heard), kMinWordAccuracy)
            << sentence.toStdString() << " -> " << heard.toStdString();

        // The same samples handed over as PCM at the file's own rate are heard the same.
        QByteArray pcm(static_cast<qsizetype>(wave.samples.size() * 2), '\0');
        qToLittleEndian<qint16>(wave.samples.data(), static_cast<qsizetype>(wave.samples.size()), pcm.data());
        EXPECT_EQ(recognise(recognizer, RecognitionRequest::forPcm(pcm, wave.sampleRate, "en_US.UTF-8")), events);
    }
    EXPECT_GT(partials, 0);
}

TEST_F(PocketsphinxSpeechRecognizerTest, OneKeptDecoderHearsEachTakeByItsOwnLevelWithTheDevelopersWordsAndThenLetsGo)
{
    const PocketsphinxModel model = shippedModel();
    ASSERT_TRUE(model.isComplete()) << model.missingFile().toStdString();
    // Words the stock dictionary lacks, in a sentence that is not a line of the dictation model's text.
    const QString sentence = QStringLiteral("run the pytest suite and fix the linter warnings");
    const auto [path, wave] = spoken(sentence);
    if (path.isEmpty()) {
        GTEST_SKIP() << "no speech to recognise: " << m_noSpeech.toStdString();
    }

    const auto idleTime = std::chrono::milliseconds(300);
    PocketsphinxSpeechRecognizer recognizer(model, &std::chrono::steady_clock::now, idleTime);
    EXPECT_FALSE(recognizer.isModelLoaded());
    // A quiet take after a loud one, and a loud one after it: each starts from its own level, not the last take's.
    QStringList finals;
    for (const double gain : { 1.0, 0.2, 1.0 }) {
        const QStringList events
            = recognise(recognizer, RecognitionRequest::forPcm(pcmOf(wave, gain), wave.sampleRate, "en-US"));
        ASSERT_FALSE(events.isEmpty());
        ASSERT_TRUE(events.back().startsWith("final:")) << gain << ": " << events.join(" | ").toStdString();
        EXPECT_GT(events.size(), 1) << "no interim text at gain " << gain;
        finals << events.back().mid(6);
        EXPECT_TRUE(recognizer.isModelLoaded());
    }
    EXPECT_GE(Spoken::wordAccuracy(sentence, finals.front()), 0.9) << finals.front().toStdString();
    for (const char* word : { "pytest", "linter" }) {
        EXPECT_TRUE(finals.front().split(' ').contains(word)) << word << " in " << finals.front().toStdString();
    }
    EXPECT_EQ(finals.at(1), finals.front());
    EXPECT_EQ(finals.at(2), finals.front());

    // With no take for a while the decoder is freed, and the next take loads it again.
    ASSERT_TRUE(test::waitUntil([&] { return !recognizer.isModelLoaded(); }, 10000));
    const QStringList again = recognise(recognizer, RecognitionRequest::forFile(path, "en-US"));
    ASSERT_FALSE(again.isEmpty());
    EXPECT_EQ(again.back(), "final:" + finals.front());
}

TEST_F(PocketsphinxSpeechRecognizerTest, HearsDeveloperWordsThatTheStockModelLacks)
{
    PocketsphinxSpeechRecognizer recognizer(shippedModel());
    // Sentences that are not lines of the dictation model's text, spelt so that the voice says the developer words
    // as people do (left to itself it reads "mypy" as "mippy"), and the words that must come out of them.
    const std::vector<std::pair<QString, QStringList>> said {
        { "connect the api to post gress on localhost", { "postgres", "localhost" } },
        { "fix the eslint warnings in the type script files", { "eslint", "typescript" } },
        { "deploy the engine x proxy to koo burr net ease", { "nginx", "kubernetes" } },
        { "run my pie on the new module", { "mypy" } },
        { "the webpack build breaks the log in screen", { "webpack", "login" } },
    };
    for (const auto& [sentence, words] : said) {
        const QString path = spoken(sentence).first;
        if (path.isEmpty()) {
            GTEST_SKIP() << "no speech to recognise: " << m_noSpeech.toStdString();
        }
        const QStringList events = recognise(recognizer, RecognitionRequest::forFile(path, "en-US"));
        ASSERT_FALSE(events.isEmpty());
        const QStringList heard = events.back().mid(6).split(' ');
        for (const QString& word : words) {
            EXPECT_TRUE(heard.contains(word)) << sentence.toStdString() << " -> " << events.back().toStdString();
        }
    }
}

// Developer words said the other way developers say them ("redis" as ree-dis), the voice told how to say each: the
// word is heard, not a pair of everyday words that sound alike.
TEST_F(PocketsphinxSpeechRecognizerTest, HearsDeveloperWordsSaidTheOtherWayDevelopersSayThem)
{
    PocketsphinxSpeechRecognizer recognizer(shippedModel());
    for (const Spoken::SaidOtherwise& other : Spoken::developerWordsSaidOtherwise()) {
        const QString path = m_dir.filePath(QStringLiteral("otherwise%1.wav").arg(m_files++));
        if (const QString failure = Spoken::speak(Spoken::kSpeaker, other.sentence, path, { other.said });
            !failure.isEmpty()) {
            GTEST_SKIP() << "no speech to recognise: " << failure.toStdString();
        }
        const QStringList events = recognise(recognizer, RecognitionRequest::forFile(path, "en-US"));
        ASSERT_FALSE(events.isEmpty());
        EXPECT_TRUE(events.back().mid(6).split(' ').contains(other.said.word))
            << other.said.word.toStdString() << " said " << other.how.toStdString() << ": "
            << other.sentence.toStdString() << " -> " << events.back().toStdString();
    }
}

TEST_F(PocketsphinxSpeechRecognizerTest, EndsWhatItCannotHearInOneErrorOfTheRightKind)
{
    // Each reading of this clock is a minute after the last, so any recognition outlasts its two-minute limit.
    auto readings = std::make_shared<std::atomic<int>>(0);
    const auto steppingClock
        = [readings] { return std::chrono::steady_clock::time_point(std::chrono::minutes(readings->fetch_add(1))); };
    const auto silence = [](const char* locale) {
        return RecognitionRequest::forPcm(QByteArray(32000, '\0'), 16000, QString::fromLatin1(locale));
    };
    struct Case {
        const char* name;
        PocketsphinxModel model;
        RecognitionRequest request;
        Code code;
        QString description; // the start of it
        PocketsphinxJob::Clock clock = &std::chrono::steady_clock::now;
    };
    const Case cases[] = {
        { "locale without a model", PocketsphinxModel::installed(), silence("de-DE"), Code::UnsupportedLocale,
            "On-device recognition is not available for de-DE" },
        { "another English region", PocketsphinxModel::installed(), silence("en_GB"), Code::UnsupportedLocale,
            "On-device recognition is not available for en_GB" },
        { "model missing", PocketsphinxModel::installed(m_dir.filePath("nothing")), silence("en-US"), Code::Unavailable,
            "On-device recognition is unavailable" },
        { "not a wave file", PocketsphinxModel::installed(), RecognitionRequest::forFile(textFile(), "en-US"),
            Code::UnreadableAudio, "Cannot read the audio file" },
        { "no such file", PocketsphinxModel::installed(),
            RecognitionRequest::forFile(m_dir.filePath("gone.wav"), "en-US"), Code::UnreadableAudio,
            "Cannot open the audio file \"gone.wav\"" },
        { "pcm without a usable rate", PocketsphinxModel::installed(),
            RecognitionRequest::forPcm(QByteArray(3200, '\0'), 0, "en-US"), Code::UnreadableAudio,
            "The audio's sample rate of 0 Hz" },
        { "a second of silence", PocketsphinxModel::installed(), silence("en"), Code::NoSpeech,
            RecognitionError::noSpeech().description },
        { "time limit passed", PocketsphinxModel::installed(), silence("en-US"), Code::TimedOut,
            "On-device recognition gave up after 120 s", steppingClock },
    };
    for (const Case& c : cases) {
        PocketsphinxSpeechRecognizer recognizer(c.model, c.clock);
        const QStringList events = recognise(recognizer, c.request);
        ASSERT_EQ(events.size(), 1) << c.name << ": " << events.join(" | ").toStdString();
        EXPECT_TRUE(events.front().startsWith(HeardRecognition::errorEvent(c.code, c.description)))
            << c.name << ": " << events.front().toStdString();
    }

    PocketsphinxSpeechRecognizer recognizer(PocketsphinxModel::installed());
    for (const char* tag : { "en-US", "en_US.UTF-8", "en" }) {
        EXPECT_TRUE(recognizer.supportsLocale(tag)) << tag;
    }
    for (const char* tag : { "en-GB", "zh-CN", "" }) {
        EXPECT_FALSE(recognizer.supportsLocale(tag)) << tag;
    }
}

TEST_F(PocketsphinxSpeechRecognizerTest, ACancelledOrDroppedRecognitionSaysNothingMoreAndStopsDecoding)
{
    // Some fifteen seconds of speech; the decoding reads the clock once per tenth of a second of audio.
    const auto [path, wave] = spoken(Spoken::recognisableSentences().join(QStringLiteral(". ")));
    if (path.isEmpty()) {
        GTEST_SKIP() << "no speech to recognise: " << m_noSpeech.toStdString();
    }
    const double seconds = static_cast<double>(wave.samples.size()) / wave.sampleRate;
    ASSERT_GT(seconds, 10);
    auto readings = std::make_shared<std::atomic<int>>(0);
    PocketsphinxSpeechRecognizer recognizer(PocketsphinxModel::installed(), [readings] {
        readings->fetch_add(1);
        return std::chrono::steady_clock::now();
    });
    std::unique_ptr<RecognitionTask> cancelled = recognizer.recognize(RecognitionRequest::forFile(path, "en-US"));
    HeardRecognition heardCancelled(*cancelled);
    QObject::connect(cancelled.get(), &RecognitionTask::partialResult, [&] { cancelled->cancel(); });
    std::unique_ptr<RecognitionTask> dropped = recognizer.recognize(RecognitionRequest::forFile(path, "en-US"));
    HeardRecognition heardDropped(*dropped);
    EXPECT_EQ(recognizer.runningDecodes(), 2);

    // Both are dropped mid-decoding, once they have said something.
    ASSERT_TRUE(test::waitUntil([&] { return !heardDropped.events.isEmpty(); }, kDecodeWaitMs));
    dropped.reset();
    ASSERT_TRUE(test::waitUntil([&] { return recognizer.runningDecodes() == 0; }, kDecodeWaitMs));
    // Whatever the jobs posted before they noticed is in the queue by now.
    QCoreApplication::processEvents();
    EXPECT_TRUE(cancelled->isDone());
    ASSERT_EQ(heardCancelled.events.size(), 1);
    EXPECT_TRUE(heardCancelled.events.front().startsWith("partial:"));
    EXPECT_LT(readings->load(), seconds * 10 / 2);
}

} // namespace
} // namespace murmeli::platform
