#include "main/app/console/SayCommand.h"

#include <chrono>

#include <QObject>
#include <QTimer>

#include "main/common/AtomicFile.h"
#include "main/common/OneShot.h"
#include "main/device/tts/SayTTSBackend.h"
#include "platform/audio/AudioPlayerFactory.h"
#include "platform/audio/WavFile.h"
#include "platform/speech/SpeechSynthesizerFactory.h"

namespace murmeli::app {

namespace {

using namespace std::chrono_literals;

// A whole paragraph takes the tool well under a second; the engine's few seconds are meant for short phrases.
constexpr auto toolTimeout = 30s;
// The player gives up on a sound that does not play by itself; this only bounds a player that never answers.
constexpr auto playbackMargin = 10s;

// Ends the wait for the sound from the event loop, never inside the player's own signal: the end of the wait
// deletes the player.
void settle(common::OneShot<QString> ended, const QString& outcome)
{
    QTimer::singleShot(0, [ended, outcome]() mutable { ended.fulfil(outcome); });
}

} // namespace

std::optional<SayCommand::Request> SayCommand::parse(const QStringList& words, QString* problem)
{
    const auto refuse = [problem](const QString& why) -> std::optional<Request> {
        if (problem != nullptr) {
            *problem = why;
        }
        return std::nullopt;
    };
    Request request;
    bool wavGiven = false;
    qsizetype at = 0;
    for (; at < words.size(); ++at) {
        const QString& word = words.at(at);
        if (word == QLatin1String("--")) {
            ++at;
            break;
        }
        if (word == QLatin1String("--wav")) {
            if (wavGiven) {
                return refuse(QStringLiteral("--wav given twice"));
            }
            if (at + 1 >= words.size() || words.at(at + 1).isEmpty()) {
                return refuse(QStringLiteral("--wav needs FILE"));
            }
            request.wavPath = words.at(++at);
            wavGiven = true;
            continue;
        }
        if (word.startsWith(QLatin1Char('-'))) {
            return refuse(QStringLiteral("unknown option ") + word);
        }
        break;
    }
    request.text = words.mid(at).join(QLatin1Char(' '));
    if (request.text.trimmed().isEmpty()) {
        return refuse(QStringLiteral("missing TEXT"));
    }
    return request;
}

SayCommand::SayCommand(std::shared_ptr<const platform::SpeechSynthesizer> synthesizer,
    std::function<std::unique_ptr<platform::AudioPlayer>()> makePlayer)
    : m_synthesizer(synthesizer ? std::move(synthesizer) : platform::makeSpeechSynthesizer()),
      m_makePlayer(makePlayer ? std::move(makePlayer) : &platform::makeAudioPlayer)
{
}

int SayCommand::fail(const QString& message) const
{
    if (onError) {
        onError(QStringLiteral("murmeli: ") + message);
    }
    return 1;
}

QCoro::Task<int> SayCommand::run(Request request)
{
    if (!m_synthesizer->isAvailable()) {
        co_return fail(QStringLiteral("%1 is not installed").arg(m_synthesizer->program()));
    }
    device::SayTTSBackend backend(m_synthesizer);
    backend.toolTimeout = toolTimeout;
    backend.onLog = [this](const QString& message, common::LogColor) {
        if (onError) {
            onError(message);
        }
    };
    const std::optional<QByteArray> pcm = co_await backend.synthesize(request.text);
    if (backend.lastPhraseWasCut()) {
        // Half a phrase is not what was asked for; a script must not take it for success.
        co_return fail(QStringLiteral("the phrase is too long to speak whole; nothing was %1")
                           .arg(request.wavPath.isEmpty() ? QStringLiteral("played") : QStringLiteral("written")));
    }
    if (!pcm) {
        co_return fail(QStringLiteral("the phrase could not be synthesised"));
    }
    if (!request.wavPath.isEmpty()) {
        co_return write(request.wavPath, *pcm);
    }
    co_return co_await play(*pcm);
}

int SayCommand::write(const QString& path, const QByteArray& pcm) const
{
    // Written whole or not at all: a reader never finds half a file under the name.
    const QByteArray header = platform::WavFile::header(platform::AudioFormat::take(), quint32(pcm.size()));
    if (QString problem; !common::AtomicFile::write(path, header + pcm, {}, &problem)) {
        return fail(QStringLiteral("cannot write %1: %2").arg(path, problem));
    }
    return 0;
}

QCoro::Task<int> SayCommand::play(QByteArray pcm)
{
    const std::unique_ptr<platform::AudioPlayer> player = m_makePlayer();
    const platform::AudioFormat take = platform::AudioFormat::take();
    if (!player->play(take, pcm)) {
        co_return fail(QStringLiteral("cannot play: %1").arg(player->errorString()));
    }
    // Empty: the sound played to its end; otherwise why it did not.
    common::OneShot<QString> ended;
    QObject::connect(
        player.get(), &platform::AudioPlayer::finished, player.get(), [ended] { settle(ended, QString()); });
    QObject::connect(player.get(), &platform::AudioPlayer::failed, player.get(),
        [ended](const QString& error) { settle(ended, error.isEmpty() ? QStringLiteral("playback failed") : error); });
    const auto duration = std::chrono::milliseconds(pcm.size() * 1000 / (take.sampleRate * take.bytesPerFrame()));
    QTimer::singleShot(
        duration + playbackMargin, player.get(), [ended] { settle(ended, QStringLiteral("the sound did not end")); });
    const QString error = co_await ended;
    if (!error.isEmpty()) {
        player->stop();
        co_return fail(QStringLiteral("cannot play: %1").arg(error));
    }
    co_return 0;
}

} // namespace murmeli::app
