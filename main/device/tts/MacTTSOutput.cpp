#include "main/device/tts/MacTTSOutput.h"

#include "main/device/codec/ADPCMEncoder.h"

namespace murmeli::device {

namespace {

const QString failedPrefix = QStringLiteral("TTS: speaker playback failed: ");

} // namespace

MacTTSOutput::MacTTSOutput(std::unique_ptr<platform::AudioPlayer> player) : m_player(std::move(player))
{
    // A sound that started and then never reached the speaker (no sound server, a lost device) is worth the same
    // line as one that could not start.
    QObject::connect(m_player.get(), &platform::AudioPlayer::failed, m_player.get(),
        [this](const QString& error) { onLog(failedPrefix + error, common::LogColor::Grey); });
}

QCoro::Task<> MacTTSOutput::play(QByteArray adpcm)
{
    ADPCMEncoder::State state;
    const QByteArray pcm = ADPCMEncoder::decode(adpcm, state);
    if (!m_player->play(platform::AudioFormat::take(), pcm)) {
        onLog(failedPrefix + m_player->errorString(), common::LogColor::Grey);
        co_return;
    }
    onLog(QStringLiteral("TTS: playing on the computer speaker (%1 samples)").arg(pcm.size() / 2),
        common::LogColor::Grey);
}

void MacTTSOutput::stop()
{
    m_player->stop();
}

} // namespace murmeli::device
