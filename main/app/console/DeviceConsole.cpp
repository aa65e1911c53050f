#include "main/app/console/DeviceConsole.h"

#include <utility>

#include <QMetaEnum>

#include "main/common/Log.h"
#include "platform/ble/NordicUart.h"

namespace murmeli::app {

namespace {

using platform::BlePeripheral;
using platform::BleTransport;

QString stateWord(BleTransport::AdapterState state)
{
    return QString::fromLatin1(QMetaEnum::fromType<BleTransport::AdapterState>().valueToKey(static_cast<int>(state)));
}

} // namespace

DeviceConsole::DeviceConsole(BleTransport& transport, QString nameFilter)
    : m_transport(transport), m_nameFilter(std::move(nameFilter))
{
    connect(&m_transport, &BleTransport::adapterStateChanged, this, &DeviceConsole::adapterChanged);
    connect(&m_transport, &BleTransport::connectedPeripheralsFound, this, &DeviceConsole::search);
    connect(&m_transport, &BleTransport::peripheralFound, this, [this](const BlePeripheral& peripheral) {
        if (m_searching && qualifies(peripheral)) {
            m_transport.stopScan();
            say(QStringLiteral("Found %1 (%2, RSSI %3)").arg(peripheral.name, peripheral.id).arg(peripheral.rssi));
            connectTo(peripheral);
        }
    });
    connect(&m_transport, &BleTransport::scanFailed, this, [this](const QString& error) {
        say(QStringLiteral("Scan failed: ") + error);
        finish(1);
    });
    connect(&m_transport, &BleTransport::connected, this, [this] {
        m_transport.openService(platform::nordicUart::service, platform::nordicUart::rx, platform::nordicUart::tx);
    });
    connect(&m_transport, &BleTransport::connectFailed, this, [this](const QString& error) {
        say(QStringLiteral("Connect failed: ") + error);
        finish(1);
    });
    connect(&m_transport, &BleTransport::serviceReady, this, [this](bool canWrite, bool canNotify) {
        if (!canWrite) {
            say(QStringLiteral("The device offers the UART service without its write characteristic"));
            finish(1);
            return;
        }
        m_connecting = false;
        m_ready = true;
        say(QStringLiteral("Connected to %1%2; lines go out in writes of up to %3 bytes. Type a line to send it, "
                           "Ctrl-D to quit.")
                .arg(m_transport.peripheral().name.isEmpty() ? QStringLiteral("device") : m_transport.peripheral().name,
                    canNotify ? QString() : QStringLiteral(" (it cannot notify: nothing will be received)"))
                .arg(m_transport.maximumWriteLength(BleTransport::WriteMode::WithoutResponse)));
    });
    connect(&m_transport, &BleTransport::serviceFailed, this, [this](const QString& error) {
        say(QStringLiteral("No UART service: ") + error);
        finish(1);
    });
    connect(&m_transport, &BleTransport::notified, this, &DeviceConsole::receive);
    connect(&m_transport, &BleTransport::writeFailed, this,
        [this](const QString& error) { say(QStringLiteral("Write failed: ") + error); });
    connect(&m_transport, &BleTransport::disconnected, this, [this](const QString& error) {
        say(error.isEmpty() ? QStringLiteral("Disconnected") : QStringLiteral("Disconnected: ") + error);
        finish(1);
    });
}

void DeviceConsole::start()
{
    if (!m_transport.isAvailable()) {
        say(QStringLiteral("Bluetooth is unavailable: ") + m_transport.unavailableReason());
        finish(1);
        return;
    }
    m_transport.start();
}

void DeviceConsole::adapterChanged(BleTransport::AdapterState state)
{
    if (state == BleTransport::AdapterState::PoweredOn) {
        if (!m_searching && !m_connecting && !m_ready) {
            m_searching = true;
            m_transport.requestConnectedPeripherals(platform::nordicUart::service);
        }
        return;
    }
    say(QStringLiteral("Bluetooth adapter: ") + stateWord(state));
    if (state == BleTransport::AdapterState::Unsupported || state == BleTransport::AdapterState::Unauthorized) {
        finish(1);
    }
}

void DeviceConsole::search(const QList<BlePeripheral>& connectedAlready)
{
    if (!m_searching) {
        return;
    }
    for (const BlePeripheral& peripheral : connectedAlready) {
        if (qualifies(peripheral)) {
            say(QStringLiteral("Found connected device %1 (%2)").arg(peripheral.name, peripheral.id));
            connectTo(peripheral);
            return;
        }
    }
    if (!m_transport.startScan()) {
        say(QStringLiteral("Cannot scan"));
        finish(1);
        return;
    }
    say(QStringLiteral("Scanning for a device whose name contains \"%1\"...").arg(m_nameFilter));
}

bool DeviceConsole::qualifies(const BlePeripheral& peripheral) const
{
    return !peripheral.name.isEmpty() && peripheral.name.contains(m_nameFilter, Qt::CaseSensitive);
}

void DeviceConsole::connectTo(const BlePeripheral& peripheral)
{
    m_searching = false;
    m_connecting = true;
    if (!m_transport.connectTo(peripheral)) {
        say(QStringLiteral("Cannot connect to ") + peripheral.id);
        finish(1);
    }
}

void DeviceConsole::send(const QString& line)
{
    if (!m_ready) {
        say(QStringLiteral("Not connected yet; line not sent"));
        return;
    }
    // One write carries at most the link's maximum; a longer line goes in ordered pieces.
    const QByteArray bytes = line.toUtf8() + '\n';
    const int piece = std::max(1, m_transport.maximumWriteLength(BleTransport::WriteMode::WithoutResponse));
    for (qsizetype at = 0; at < bytes.size(); at += piece) {
        if (!m_transport.write(bytes.mid(at, piece), BleTransport::WriteMode::WithoutResponse)) {
            say(QStringLiteral("Write refused: not connected"));
            return;
        }
    }
    say(QStringLiteral("> ") + line);
}

void DeviceConsole::receive(const QByteArray& value)
{
    m_received += value;
    qsizetype end = 0;
    while ((end = m_received.indexOf('\n')) >= 0) {
        QByteArray line = m_received.left(end);
        m_received.remove(0, end + 1);
        if (line.endsWith('\r')) {
            line.chop(1);
        }
        say(QStringLiteral("< ") + QString::fromUtf8(line));
    }
    // Complete lines are out; only an unfinished rest that grew too long is dropped.
    if (m_received.size() > maxLineBytes) {
        say(QStringLiteral("(dropped %1 bytes without a line feed)").arg(m_received.size()));
        m_received.clear();
    }
}

void DeviceConsole::inputClosed()
{
    m_quitting = true;
    if (m_ready || m_connecting) {
        m_transport.disconnectPeripheral(); // its end finishes the console
        return;
    }
    m_transport.stopScan();
    finish(0);
}

void DeviceConsole::giveUp()
{
    if (m_ready || m_done) {
        return;
    }
    m_transport.stopScan();
    if (m_connecting) {
        m_transport.disconnectPeripheral();
    }
    say(QStringLiteral("No device whose name contains \"%1\" answered in time").arg(m_nameFilter));
    finish(1);
}

void DeviceConsole::say(const QString& text)
{
    // Device lines, names and errors come from outside: a control character must not steer the user's terminal.
    if (onOutput) {
        onOutput(common::escapeLogText(text));
    }
}

void DeviceConsole::finish(int status)
{
    m_searching = false;
    m_connecting = false;
    m_ready = false;
    if (m_done) {
        return;
    }
    m_done = true;
    if (onFinished) {
        // Ending at the user's request is a success, however the link ended.
        onFinished(m_quitting ? 0 : status);
    }
}

} // namespace murmeli::app
