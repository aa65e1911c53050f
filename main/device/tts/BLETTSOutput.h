#pragma once

#include <functional>

#include "main/common/Clock.h"
#include "main/common/Log.h"
#include "main/device/tts/TTSOutput.h"

namespace murmeli::device {

/// The device's speaker: the ADPCM goes over the link's binary write as-is, announced by "V:start,<bytes>" and
/// closed by "V:end", in pieces paced so the radio keeps ahead of playback without flooding the device. It neither
/// checks the connection nor waits for an answer while it streams. Its waits run on the injected clock, which must
/// outlive them; whoever awaits play() keeps the output alive until it completes.
class BLETTSOutput final : public TTSOutput {
public:
    static constexpr auto outputId = "ble-speaker";
    static constexpr auto outputDisplayName = "ESP32 Speaker";
    static constexpr int pieceBytes = 180;
    static constexpr qint64 leadInMs = 50;
    static constexpr qint64 pieceGapMs = 15;
    static constexpr qint64 leadOutMs = 50;

    explicit BLETTSOutput(common::Clock& clock);

    /// Raw bytes to the device; nothing is sent while it is unset.
    std::function<void(const QByteArray& bytes)> sendBinary;
    /// Whether the device is connected; unset counts as not connected.
    std::function<bool()> isBLEConnected;
    common::LogSink onLog;

    QString id() const override { return QString::fromLatin1(outputId); }
    QString displayName() const override { return QString::fromLatin1(outputDisplayName); }
    bool isAvailable() const override;
    /// Completes once the end line has been sent.
    QCoro::Task<> play(QByteArray adpcm) override;
    /// Sends "V:stop".
    void stop() override;

private:
    common::Clock& m_clock;
};

} // namespace murmeli::device
