#include "platform/audio/AudioPlayerFactory.h"

#ifdef MURMELI_HAVE_QT_MULTIMEDIA
#include "platform/audio/qt/QtAudioPlayer.h"
#else
#include "platform/audio/unavailable/UnavailableAudioPlayer.h"
#endif

namespace murmeli::platform {

std::unique_ptr<AudioPlayer> makeAudioPlayer()
{
#ifdef MURMELI_HAVE_QT_MULTIMEDIA
    return std::make_unique<QtAudioPlayer>();
#else
    return std::make_unique<UnavailableAudioPlayer>();
#endif
}

} // namespace murmeli::platform
