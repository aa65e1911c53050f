#include "platform/audio/fake/FakeAudioPlayer.h"

#include <optional>
#include <utility>

#include "platform/audio/WavFile.h"

namespace murmeli::platform {

bool FakeAudioPlayer::play(const AudioFormat& format, const QByteArray& pcm)
{
    return start({ format, pcm, QString() });
}

bool FakeAudioPlayer::playFile(const QString& path)
{
    QString error;
    std::optional<WavAudio> audio = WavFile::read(path, &error);
    if (!audio) {
        stop();
        m_error = QStringLiteral("%1: %2").arg(path, error);
        return false;
    }
    return start({ audio->format, std::move(audio->pcm), path });
}

void FakeAudioPlayer::stop()
{
    if (m_playing) {
        m_playing = false;
        ++m_stops;
    }
}

void FakeAudioPlayer::finish()
{
    if (m_playing) {
        m_playing = false;
        Q_EMIT finished();
    }
}

void FakeAudioPlayer::fail(const QString& error)
{
    if (m_playing) {
        m_playing = false;
        m_error = error;
        Q_EMIT failed(error);
    }
}

bool FakeAudioPlayer::start(Sound sound)
{
    stop();
    if (!m_nextPlayError.isEmpty()) {
        m_error = std::exchange(m_nextPlayError, QString());
        return false;
    }
    if (!m_available) {
        m_error = QStringLiteral("no audio output device");
        return false;
    }
    if (!sound.format.isValid() || sound.pcm.size() < sound.format.bytesPerFrame()) {
        m_error
            = QStringLiteral("nothing to play in %1 bytes of %2").arg(sound.pcm.size()).arg(sound.format.describe());
        return false;
    }
    m_error.clear();
    m_played.push_back(std::move(sound));
    m_playing = true;
    return true;
}

} // namespace murmeli::platform
