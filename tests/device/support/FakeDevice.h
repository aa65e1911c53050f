#pragma once

#include <memory>

#include <QByteArray>
#include <QStringList>

#include "main/device/link/BLEBridge.h"
#include "platform/ble/fake/FakeBleTransport.h"
#include "tests/support/FakeClock.h"

namespace murmeli::test {

/// A device link over the recording transport, with the device played by the test: it advertises, accepts the
/// connection and opens its service; what the host wrote is read back as lines.
class FakeDevice final {
public:
    static constexpr auto name = "murmeli-01";

    FakeDevice();

    FakeClock clock;
    platform::FakeBleTransport* transport = nullptr; // owned by the link
    std::unique_ptr<device::BLEBridge> link;
    QStringList log;
    QStringList controlLines;

    /// Starts the link and plays the device until the link is connected; whether it got there.
    bool connect();
    /// Connects again after a drop: waits for the retry's scan, advertises, completes; whether it got there.
    bool reconnect();
    /// Lines the host wrote since the last call (or since connecting), without their line feeds.
    QStringList takeLines();
    /// Lines the host wrote since the last takeLines(), without taking them.
    QStringList peekLines() const;

private:
    bool advertiseAndComplete();
    qsizetype m_read = 0;
};

} // namespace murmeli::test
