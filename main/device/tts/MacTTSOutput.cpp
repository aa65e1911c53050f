#include "main/device/tts/MacTTSOutput.h"

#include "main/device/codec/ADPCMEncoder.h"

namespace murmeli::device {

namespace {

const QString failedPrefix = QStringLiteral("TTS: Mac playback failed: ");

} // namespace

MacTTSOutput::MacTTSOutput(std::unique_ptr<platform::AudioPlayer> player) : m_player(std::move(player))
{
    // A sound that started and then never reached the speaker (no sound server, a lost device) is worth the same
    // line as one that could not start.
    QObject::connect(m_player.get(), &platform::AudioPlayer::failed, m_player.get(),
        [this](const QString& error) { log(failedPrefix + error); });
}

void MacTTSOutput::log(const QString& message) const
{
    if (onLog) {
        onLog(message, common::LogColor::Grey);
    }
}

QCoro::Task<> MacTTSOutput::play(QByteArray adpcm)
{
    ADPCMEncoder::State state;
    const QByteArray pcm = ADPCMEncoder::decode(adpcm, state);
    if (!m_player->play(platform::AudioFormat::take(), pcm)) {
        log(failedPrefix + m_player->errorString());
        co_return;
    }
    log(QStringLiteral("TTS: playing on Mac speaker (%1 samples)").arg(pcm.size() / 2));
}

void MacTTSOutput::stop()
{
    m_player->stop();
}

} // namespace murmeli::device
