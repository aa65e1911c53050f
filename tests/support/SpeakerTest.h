#pragma once

#include <chrono>
#include <memory>
#include <vector>

#include <gtest/gtest.h>

#include <QByteArray>
#include <QProcess>

#include "tests/support/SpeakerLock.h"

namespace murmeli::test {

/// A test that plays into the test desktop's speaker and listens to it through the speaker's monitor, with
/// parecord, apart from murmeli's own capture. It skips outside the test desktop and holds the speaker throughout.
class SpeakerTest : public ::testing::Test {
protected:
    static constexpr int sampleRate = 16000;

    /// Starts the recording and waits until it delivers; whatever the monitor hears from then on counts.
    void SetUp() override;
    void TearDown() override;

    /// How many of the half-overlapping 100 ms windows heard since SetUp carry the tone (a share above minShare,
    /// see toneShare): each one adds about 50 ms of the tone heard.
    int toneWindows(double frequencyHz, double minShare);
    /// Waits, for at most timeoutMs, until the recording holds all that the speaker played up to moment; whether it
    /// does. The recording may fall behind on a loaded machine, never run ahead, so this counts samples, not time.
    bool waitForRecordingOf(std::chrono::steady_clock::time_point moment, int timeoutMs);
    /// Everything recorded so far, and where what was heard since SetUp begins in it.
    std::vector<qint16> samples();
    qsizetype heardFrom() const { return m_from; }

private:
    std::unique_ptr<SpeakerLock> m_speaker;
    QProcess m_recorder;
    QByteArray m_recorded;
    qsizetype m_from = 0;
    // When the first samples were there: all of them had been played by then.
    std::chrono::steady_clock::time_point m_fromTime;
};

} // namespace murmeli::test
