#include "tests/support/SpeakerMonitor.h"

#include <span>

#include "tests/support/Tone.h"
#include "tests/support/Wait.h"

namespace murmeli::test {

SpeakerMonitor::SpeakerMonitor()
{
    m_recorder.start(QStringLiteral("parecord"),
        { QStringLiteral("--device=@DEFAULT_MONITOR@"), QStringLiteral("--raw"), QStringLiteral("--format=s16le"),
            QStringLiteral("--rate=%1").arg(sampleRate), QStringLiteral("--channels=1"),
            QStringLiteral("--latency-msec=20") });
}

SpeakerMonitor::~SpeakerMonitor()
{
    m_recorder.kill();
    m_recorder.waitForFinished(5000);
}

bool SpeakerMonitor::waitUntilRecording(int timeoutMs)
{
    if (!m_recorder.waitForStarted(timeoutMs)) {
        m_error = QStringLiteral("parecord did not start: %1").arg(m_recorder.errorString());
        return false;
    }
    if (!waitUntil([this] { return !samples().empty(); }, timeoutMs)) {
        m_error = QStringLiteral("parecord recorded nothing: %1")
                      .arg(QString::fromUtf8(m_recorder.readAllStandardError()).trimmed());
        return false;
    }
    return true;
}

std::vector<qint16> SpeakerMonitor::samples()
{
    m_recorded += m_recorder.readAllStandardOutput();
    return samplesOf(m_recorded);
}

int SpeakerMonitor::toneWindows(qsizetype from, double frequencyHz, double minShare)
{
    const std::vector<qint16> recorded = samples();
    const qsizetype window = sampleRate / 10;
    int found = 0;
    for (qsizetype start = from; start + window <= qsizetype(recorded.size()); start += window / 2) {
        if (toneShare(std::span(recorded).subspan(start, window), frequencyHz, sampleRate) > minShare) {
            ++found;
        }
    }
    return found;
}

} // namespace murmeli::test
