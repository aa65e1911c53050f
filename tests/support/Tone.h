#pragma once

#include <optional>
#include <span>
#include <vector>

#include <QByteArray>
#include <QtGlobal>

#include "platform/audio/AudioFormat.h"

namespace murmeli::test {

/// A sine tone as mono signed 16-bit little-endian samples, the raw format paplay and parecord speak.
QByteArray makeTone(double frequencyHz, int sampleRate, int durationMs, double amplitude);

/// The same sine tone in every channel of the format.
QByteArray makeTone(const platform::AudioFormat& format, double frequencyHz, int durationMs, double amplitude);

/// Signed 16-bit little-endian bytes as samples; a trailing odd byte is left out.
std::vector<qint16> samplesOf(const QByteArray& raw);

/// The share of the window's energy that lies at the frequency (Goertzel): near 1 for a pure tone at it, near 0 for
/// other frequencies, and 0 for silence.
double toneShare(std::span<const qint16> window, double frequencyHz, int sampleRate);

/// The first of the half-overlapping 100 ms windows from `from` on in which the tone carries nearly all the energy.
std::optional<qsizetype> findTone(std::span<const qint16> samples, qsizetype from, double frequencyHz, int sampleRate);

} // namespace murmeli::test
