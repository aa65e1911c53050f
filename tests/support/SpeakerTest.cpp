#include "tests/support/SpeakerTest.h"

#include <optional>
#include <span>

#include "tests/support/TestDesktop.h"
#include "tests/support/Tone.h"
#include "tests/support/Wait.h"

namespace murmeli::test {

void SpeakerTest::SetUp()
{
    if (const std::optional<QString> missing = testDesktopMissing()) {
        GTEST_SKIP() << missing->toStdString();
    }
    m_speaker = std::make_unique<SpeakerLock>();
    ASSERT_TRUE(m_speaker->isHeld()) << "another test kept the speaker";
    m_recorder.start(QStringLiteral("parecord"),
        { QStringLiteral("--device=@DEFAULT_MONITOR@"), QStringLiteral("--raw"), QStringLiteral("--format=s16le"),
            QStringLiteral("--rate=%1").arg(sampleRate), QStringLiteral("--channels=1"),
            QStringLiteral("--latency-msec=20") });
    ASSERT_TRUE(m_recorder.waitForStarted(5000)) << m_recorder.errorString().toStdString();
    ASSERT_TRUE(waitUntil([this] { return !samples().empty(); }, 5000))
        << "parecord records nothing: " << m_recorder.readAllStandardError().toStdString();
    m_from = qsizetype(samples().size());
    m_fromTime = std::chrono::steady_clock::now();
}

void SpeakerTest::TearDown()
{
    m_recorder.kill();
    m_recorder.waitForFinished(5000);
}

bool SpeakerTest::waitForRecordingOf(std::chrono::steady_clock::time_point moment, int timeoutMs)
{
    const auto played = std::chrono::duration_cast<std::chrono::microseconds>(moment - m_fromTime).count();
    const qsizetype needed = m_from + qsizetype(played * sampleRate / 1000000);
    return waitUntil([&] { return qsizetype(samples().size()) >= needed; }, timeoutMs);
}

std::vector<qint16> SpeakerTest::samples()
{
    m_recorded += m_recorder.readAllStandardOutput();
    return samplesOf(m_recorded);
}

int SpeakerTest::toneWindows(double frequencyHz, double minShare)
{
    const std::vector<qint16> heard = samples();
    const qsizetype window = sampleRate / 10;
    int found = 0;
    for (qsizetype start = m_from; start + window <= qsizetype(heard.size()); start += window / 2) {
        found += toneShare(std::span(heard).subspan(start, window), frequencyHz, sampleRate) > minShare ? 1 : 0;
    }
    return found;
}

} // namespace murmeli::test
