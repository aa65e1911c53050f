#pragma once

#include <vector>

#include <QByteArray>
#include <QProcess>
#include <QString>

namespace murmeli::test {

/// The test desktop's speaker as its monitor hears it: parecord records it, apart from murmeli's own capture, as
/// 16 kHz mono signed 16-bit samples for as long as this lives. Needs the test desktop and the speaker lock.
class SpeakerMonitor final {
public:
    static constexpr int sampleRate = 16000;

    SpeakerMonitor();
    ~SpeakerMonitor();

    /// Waits up to timeoutMs until the recording delivers; false, with the reason in error(), when it does not.
    bool waitUntilRecording(int timeoutMs = 5000);
    /// The samples recorded so far.
    std::vector<qint16> samples();
    /// How many of the half-overlapping 100 ms windows from sample `from` on carry the tone (a share above
    /// minShare, see toneShare): each one found adds 50 ms of the tone heard.
    int toneWindows(qsizetype from, double frequencyHz, double minShare);
    QString error() const { return m_error; }

private:
    QProcess m_recorder;
    QByteArray m_recorded;
    QString m_error;
};

} // namespace murmeli::test
