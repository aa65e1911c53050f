#include "tests/device/support/FakeDevice.h"

#include "tests/support/Wait.h"

namespace murmeli::test {

FakeDevice::FakeDevice()
{
    auto fake = std::make_unique<platform::FakeBleTransport>();
    transport = fake.get();
    link = std::make_unique<device::BLEBridge>(std::move(fake), clock);
    link->lines().timeZone = [] { return QTimeZone::utc(); };
    link->onLog = [this](const QString& message, common::LogColor) { log << message; };
    link->onControlFrame = [this](const QString& line) { controlLines << line; };
}

bool FakeDevice::advertiseAndComplete()
{
    if (!waitUntil([this] { return transport->isScanning(); })) {
        return false;
    }
    // What went out before this connection is not what the device now hears; the time sync sent on connecting is.
    m_read = transport->writtenBytes().size();
    transport->advertise({ QStringLiteral("AA:BB:CC:DD:EE:01"), QString::fromLatin1(name), -60 });
    return transport->completeConnection() && link->isConnected();
}

bool FakeDevice::connect()
{
    link->start();
    return advertiseAndComplete();
}

bool FakeDevice::reconnect()
{
    clock.advance(device::BLEBridge::retryDelayMs);
    return advertiseAndComplete();
}

QStringList FakeDevice::peekLines() const
{
    const QByteArray bytes = transport->writtenBytes();
    QStringList lines;
    qsizetype start = m_read;
    for (qsizetype end = bytes.indexOf('\n', start); end >= 0; end = bytes.indexOf('\n', start)) {
        lines << QString::fromUtf8(bytes.mid(start, end - start));
        start = end + 1;
    }
    return lines;
}

QStringList FakeDevice::takeLines()
{
    const QStringList lines = peekLines();
    for (const QString& line : lines) {
        m_read += line.toUtf8().size() + 1;
    }
    return lines;
}

} // namespace murmeli::test
