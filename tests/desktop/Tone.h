#pragma once

#include <span>

#include <QByteArray>
#include <QtGlobal>

namespace murmeli::test {

/// A sine tone as mono signed 16-bit little-endian samples, the raw format paplay and parecord speak.
QByteArray makeTone(double frequencyHz, int sampleRate, int durationMs, double amplitude);

/// The share of the window's energy that lies at the frequency (Goertzel): near 1 for a pure tone at it, near 0 for
/// other frequencies, and 0 for silence.
double toneShare(std::span<const qint16> window, double frequencyHz, int sampleRate);

} // namespace murmeli::test
