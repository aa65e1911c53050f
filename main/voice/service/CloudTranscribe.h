#pragma once

#include <QByteArray>

/// Audio preparation for the cloud worker: WAV framing of the take and the device's µ-law audio brought to 16 kHz.
/// Pure functions of their input, safe on any thread.
namespace murmeli::voice::CloudTranscribe {

/// A 44-byte RIFF/WAVE header for mono signed 16-bit little-endian PCM at sampleRate, followed by pcm unchanged.
QByteArray buildWAV(const QByteArray& pcm, int sampleRate);

/// G.711 µ-law expansion: one signed 16-bit little-endian sample per input byte.
QByteArray decodeMulaw(const QByteArray& mulaw);

/// 8 kHz to 16 kHz: each sample followed by the midpoint to the next, the last one repeated; input of fewer than two
/// samples is returned unchanged and a trailing odd byte is dropped.
QByteArray resample8to16(const QByteArray& pcm);

} // namespace murmeli::voice::CloudTranscribe
