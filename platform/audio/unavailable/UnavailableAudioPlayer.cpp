#include "platform/audio/unavailable/UnavailableAudioPlayer.h"

namespace murmeli::platform {

bool UnavailableAudioPlayer::play(const AudioFormat&, const QByteArray&)
{
    m_error = QStringLiteral("this build of murmeli has no audio playback (Qt Multimedia was missing)");
    return false;
}

bool UnavailableAudioPlayer::playFile(const QString&)
{
    return play({}, {});
}

} // namespace murmeli::platform
