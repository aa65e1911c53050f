#include "main/device/tts/BLETTSOutput.h"

#include "main/common/ClockSleep.h"

namespace murmeli::device {

BLETTSOutput::BLETTSOutput(common::Clock& clock) : m_clock(clock) { }

bool BLETTSOutput::isAvailable() const
{
    return isBLEConnected ? isBLEConnected() : false;
}

QCoro::Task<> BLETTSOutput::play(QByteArray adpcm)
{
    // Read once: the stream goes to the link it started on.
    const std::function<void(const QByteArray&)> send = sendBinary;
    if (!send) {
        co_return;
    }
    const qsizetype total = adpcm.size();
    send("V:start," + QByteArray::number(total) + '\n');
    co_await common::sleepFor(m_clock, leadInMs);
    for (qsizetype offset = 0; offset < total; offset += pieceBytes) {
        send(adpcm.mid(offset, pieceBytes));
        co_await common::sleepFor(m_clock, pieceGapMs);
    }
    co_await common::sleepFor(m_clock, leadOutMs);
    send(QByteArrayLiteral("V:end\n"));
    onLog(QStringLiteral("TTS: sent %1 bytes ADPCM → ESP32").arg(total), common::LogColor::Grey);
}

void BLETTSOutput::stop()
{
    if (sendBinary) {
        sendBinary(QByteArrayLiteral("V:stop\n"));
    }
}

} // namespace murmeli::device
