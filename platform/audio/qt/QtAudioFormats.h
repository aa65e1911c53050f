#pragma once

#include <optional>

#include <QAudio>
#include <QAudioFormat>
#include <QString>

#include "platform/audio/AudioFormat.h"

namespace murmeli::platform {

/// Between our formats and Qt Multimedia's, for both directions of the sound server.
namespace QtAudioFormats {

/// Our sample type of Qt's; nullopt for a format Qt does not name.
std::optional<SampleType> sampleTypeOf(QAudioFormat::SampleFormat format);
/// Qt's format of ours.
QAudioFormat toQt(const AudioFormat& format);
/// A device error in words, for log lines.
QString describe(QAudio::Error error);

} // namespace QtAudioFormats

} // namespace murmeli::platform
