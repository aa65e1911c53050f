#pragma once

#include <optional>

#include <QByteArray>
#include <QString>

#include "platform/audio/AudioFormat.h"

namespace murmeli::platform {

/// The samples of one WAV file.
struct WavAudio final {
    AudioFormat format;
    QByteArray pcm; // interleaved frames, whole frames only
};

/// Reading and writing the RIFF WAV container of linear PCM.
namespace WavFile {

/// The 44-byte header of a PCM (or IEEE float) WAV file whose data chunk holds dataBytes bytes.
QByteArray header(const AudioFormat& format, quint32 dataBytes);

/// The audio of a WAV file's bytes: 8-bit unsigned, 16- or 32-bit integer or 32-bit float PCM, plain or extensible.
/// nullopt, with the reason in error when given, for anything else or a damaged file. A data size larger than what
/// follows (as streamed writers leave it) reads as the bytes that are there.
std::optional<WavAudio> parse(const QByteArray& bytes, QString* error = nullptr);

/// parse() of a file's contents; files over 256 MiB are refused unread.
std::optional<WavAudio> read(const QString& path, QString* error = nullptr);

} // namespace WavFile

} // namespace murmeli::platform
