// On-device recognition with pocketsphinx and the packaged US English model, over sentences spoken by the tests'
// voice (flite's slt). Reports (a) how long a take waits for its text per second of audio, through the recogniser as
// the application uses it (the first take loads the model, the others find it loaded), (b) the decoder alone per
// second of audio and the model's loading time, and (c) the word accuracy on the sentences chosen for the tests and
// on a wider set of everyday ones.
//   recognition_speed [ROUNDS=3]

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <optional>
#include <variant>
#include <vector>

#include <QCoreApplication>
#include <QTemporaryDir>

#include "platform/recognizer/pocketsphinx/DecoderInput.h"
#include "platform/recognizer/pocketsphinx/PocketsphinxDecoder.h"
#include "platform/recognizer/pocketsphinx/PocketsphinxSpeechRecognizer.h"
#include "tests/support/SpokenAudio.h"

using namespace murmeli;
using namespace murmeli::platform;
namespace Spoken = murmeli::test::SpokenAudio;

namespace {

// Everyday sentences beyond the chosen ones; the model gets many of them partly wrong.
const QStringList kWiderSentences { "this is a test of the speech recognition system", "please open the file",
    "i would like a cup of coffee", "we will meet tomorrow morning", "can you help me with this problem",
    "the quick brown fox jumps over the lazy dog", "run the tests again", "the build failed on the server",
    "send me the report by friday", "we need to fix this bug", "the children are playing in the garden",
    "let us go to the park", "the computer is running very slowly", "good morning everyone",
    "the store is closed on sunday", "i am going home now", "open the door please", "the water is very cold",
    "how are you doing today" };

double nowMs()
{
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

struct Take final {
    QString sentence;
    QString path;
    double audioSeconds = 0;
};

// The recogniser's text for one file, or the error's description, waiting on the event loop.
QString recognise(SpeechRecognizer& recognizer, const QString& path)
{
    std::optional<QString> answer;
    auto task = recognizer.recognize(RecognitionRequest::forFile(path, QStringLiteral("en-US")));
    QObject::connect(task.get(), &RecognitionTask::finished, [&](const QString& text) { answer = text; });
    QObject::connect(task.get(), &RecognitionTask::failed,
        [&](const RecognitionError& error) { answer = QStringLiteral("(error) ") + error.description; });
    while (!answer) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    }
    return *answer;
}

double meanAccuracy(const std::vector<Take>& takes, const std::vector<QString>& heard, size_t from, size_t to)
{
    double sum = 0;
    for (size_t i = from; i < to; ++i) {
        sum += Spoken::wordAccuracy(takes[i].sentence, heard[i]);
    }
    return to > from ? sum / static_cast<double>(to - from) : 0;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int rounds = std::max(1, app.arguments().value(1, "3").toInt());
    // The model murmeli ships: the stock one with the dictation model and developer dictionary of the source tree, or
    // of another folder to compare with (MURMELI_BENCH_SPEECH).
    const PocketsphinxModel model = PocketsphinxModel::installed().withDictation(
        qEnvironmentVariable("MURMELI_BENCH_SPEECH", QStringLiteral(MURMELI_SOURCE_DIR "/Resources/speech")));
    if (!model.isComplete()) {
        std::fprintf(
            stderr, "recognition_speed: the model is not installed (no %s)\n", qPrintable(model.missingFile()));
        return 1;
    }
    QTemporaryDir scratch;
    const QStringList chosen = Spoken::recognisableSentences();
    std::vector<Take> takes;
    for (const QString& sentence : chosen + kWiderSentences) {
        Take take { sentence, scratch.filePath(QStringLiteral("take%1.wav").arg(takes.size())) };
        if (const QString why = Spoken::speakToWav(sentence, take.path); !why.isEmpty()) {
            std::fprintf(stderr, "recognition_speed: %s\n", qPrintable(why));
            return 1;
        }
        const auto input = DecoderInput::load(RecognitionRequest::forFile(take.path, "en-US"));
        take.audioSeconds = static_cast<double>(std::get<MonoPcm>(input).samples.size()) / DecoderInput::kDecoderRate;
        takes.push_back(take);
    }
    double audioSeconds = 0;
    for (const Take& take : takes) {
        audioSeconds += take.audioSeconds;
    }

    // (a) Through the recogniser, one take after another.
    PocketsphinxSpeechRecognizer recognizer(model);
    std::vector<double> perAudioSecond;
    std::vector<QString> heard(takes.size());
    for (int round = 0; round < rounds; ++round) {
        const double began = nowMs();
        for (size_t i = 0; i < takes.size(); ++i) {
            heard[i] = recognise(recognizer, takes[i].path);
        }
        perAudioSecond.push_back((nowMs() - began) / audioSeconds);
    }
    std::sort(perAudioSecond.begin(), perAudioSecond.end());
    std::printf("audio: %zu takes, %.1f s in all, %d rounds\n", takes.size(), audioSeconds, rounds);
    std::printf("recogniser, model loading included: min %.0f ms, median %.0f ms per second of audio\n",
        perAudioSecond.front(), perAudioSecond[perAudioSecond.size() / 2]);

    // (b) The decoder alone, its model loaded once.
    const double loadBegan = nowMs();
    PocketsphinxDecoder decoder(model);
    const double loadMs = nowMs() - loadBegan;
    double decodeMs = 0;
    for (const Take& take : takes) {
        const auto input = DecoderInput::load(RecognitionRequest::forFile(take.path, "en-US"));
        QString text;
        const double began = nowMs();
        decoder.decode(std::get<MonoPcm>(input).samples, text);
        decodeMs += nowMs() - began;
    }
    std::printf("decoder alone: %.0f ms per second of audio (%.2fx real time); model loading %.0f ms\n",
        decodeMs / audioSeconds, decodeMs / audioSeconds / 1000.0, loadMs);

    // (c) Word accuracy.
    std::printf("word accuracy: %.1f %% on the %lld chosen sentences, %.1f %% on %lld wider ones\n",
        100 * meanAccuracy(takes, heard, 0, static_cast<size_t>(chosen.size())), static_cast<long long>(chosen.size()),
        100 * meanAccuracy(takes, heard, static_cast<size_t>(chosen.size()), takes.size()),
        static_cast<long long>(kWiderSentences.size()));
    for (size_t i = 0; i < takes.size(); ++i) {
        std::printf("  %-50s -> %s\n", qPrintable(takes[i].sentence), qPrintable(heard[i]));
    }
    return 0;
}
