#include "main/device/link/BLEBridge.h"

#include <algorithm>
#include <utility>

#include <QThread>

#include "main/common/G711.h"
#include "main/device/link/WritePieces.h"
#include "platform/ble/NordicUart.h"

namespace murmeli::device {

using common::LogColor;
using platform::BlePeripheral;
using platform::BleTransport;
using AdapterState = BleTransport::AdapterState;
using WriteMode = BleTransport::WriteMode;

namespace {

QString stateWord(AdapterState state)
{
    switch (state) {
    case AdapterState::Resetting:
        return QStringLiteral("resetting");
    case AdapterState::Unsupported:
        return QStringLiteral("unsupported");
    case AdapterState::Unauthorized:
        return QStringLiteral("unauthorized");
    case AdapterState::PoweredOff:
        return QStringLiteral("poweredOff");
    case AdapterState::PoweredOn:
        return QStringLiteral("poweredOn");
    case AdapterState::Unknown:
        break;
    }
    return QStringLiteral("unknown");
}

QString nameOrDevice(const BlePeripheral& peripheral)
{
    return peripheral.name.isEmpty() ? QStringLiteral("device") : peripheral.name;
}

} // namespace

BLEBridge::BLEBridge(std::unique_ptr<BleTransport> transport, common::Clock& clock)
    : m_transport(std::move(transport)), m_clock(clock)
{
    m_outgoing.write = [this](const QByteArray& bytes) { return writePieces(bytes, WriteMode::WithoutResponse); };
    m_outgoing.onBehind = [this] {
        onLog(QStringLiteral("BLE: the device takes lines slower than they come; the oldest waiting are dropped"),
            LogColor::Orange);
    };
    BleTransport* t = m_transport.get();
    QObject* context = m_context.get();
    QObject::connect(t, &BleTransport::adapterStateChanged, context, [this](AdapterState s) { handleAdapterState(s); });
    QObject::connect(t, &BleTransport::connectedPeripheralsFound, context,
        [this](const QList<BlePeripheral>& peripherals) { handleConnectedPeripherals(peripherals); });
    QObject::connect(t, &BleTransport::peripheralFound, context, [this](const BlePeripheral& p) { handleFound(p); });
    QObject::connect(t, &BleTransport::scanFailed, context, [this](const QString& error) {
        onLog(QStringLiteral("BLE: Scan failed — ") + error, LogColor::Orange);
        retry();
    });
    QObject::connect(t, &BleTransport::connected, context, [this] {
        m_transport->openService(platform::nordicUart::service, platform::nordicUart::rx, platform::nordicUart::tx);
    });
    QObject::connect(
        t, &BleTransport::connectFailed, context, [this](const QString& error) { handleConnectFailed(error); });
    QObject::connect(t, &BleTransport::disconnected, context, [this] { handleDisconnected(); });
    QObject::connect(t, &BleTransport::serviceReady, context,
        [this](bool canWrite, bool canNotify) { handleServiceReady(canWrite, canNotify); });
    QObject::connect(t, &BleTransport::serviceFailed, context, [this](const QString& error) {
        // Without the service the link stays unconnected until the device goes away or the link is started again.
        onLog(QStringLiteral("BLE: No UART service — ") + error, LogColor::Orange);
    });
    QObject::connect(t, &BleTransport::notified, context, [this](const QByteArray& value) { handleNotified(value); });
    QObject::connect(t, &BleTransport::writeFailed, context,
        [this](const QString& error) { onLog(QStringLiteral("BLE: Write failed — ") + error, LogColor::Orange); });
    QObject::connect(t, &BleTransport::rssiRead, context, [this](int dbm) { handleRssi(dbm); });
}

BLEBridge::~BLEBridge()
{
    m_context.reset();
    if (m_retryTimer) {
        m_clock.cancel(*m_retryTimer);
    }
    linkDown();
}


int BLEBridge::addStateObserver(std::function<void()> observer)
{
    const int id = m_nextObserver++;
    m_observers.emplace(id, std::move(observer));
    return id;
}

void BLEBridge::removeStateObserver(int id)
{
    m_observers.erase(id);
}

void BLEBridge::notify()
{
    // A copy: an observer may add or remove observers.
    const auto observers = m_observers;
    for (const auto& [id, observer] : observers) {
        observer();
    }
    if (onStateChange) {
        onStateChange();
    }
}

bool BLEBridge::onOwnerThread() const
{
    return !m_context || QThread::currentThread() == m_context->thread();
}

bool BLEBridge::qualifies(const BlePeripheral& peripheral) const
{
    if (peripheral.name.isEmpty()) {
        return false;
    }
    return std::any_of(deviceNames.cbegin(), deviceNames.cend(),
        [&](const QString& word) { return peripheral.name.contains(word, Qt::CaseSensitive); });
}

bool BLEBridge::isPoweredOn() const
{
    return m_transport->adapterState() == AdapterState::PoweredOn;
}

std::optional<QString> BLEBridge::peripheralName() const
{
    if (!m_peripheral || m_peripheral->name.isEmpty()) {
        return std::nullopt;
    }
    return m_peripheral->name;
}

AdapterState BLEBridge::adapterState() const
{
    return m_started ? m_transport->adapterState() : AdapterState::Unknown;
}

BLEBridge::ScanState BLEBridge::scanState() const
{
    if (m_connected) {
        return ScanState::Connected;
    }
    return adapterState() == AdapterState::PoweredOn ? ScanState::Scanning : ScanState::Off;
}

QString BLEBridge::connectionStateString() const
{
    QString text = stateWord(adapterState());
    if (!m_connected) {
        return text + QStringLiteral("/disconnected");
    }
    const std::optional<QString> name = peripheralName();
    return text + (name ? QStringLiteral("/connected[") + *name + QLatin1Char(']') : QStringLiteral("/connected"));
}

void BLEBridge::start()
{
    m_stopped = false;
    if (!m_started) {
        m_started = true;
        if (!m_transport->isAvailable()) {
            onLog(QStringLiteral("BLE: unavailable — ") + m_transport->unavailableReason(), LogColor::Orange);
        }
        m_transport->start();
        return;
    }
    if (isPoweredOn()) {
        reconnect();
    }
}

void BLEBridge::stop()
{
    if (!m_started) {
        return;
    }
    // The mark every later callback checks: the user switched the link off.
    m_stopped = true;
    if (m_retryTimer) {
        m_clock.cancel(*m_retryTimer);
        m_retryTimer.reset();
    }
    if (m_linked) {
        m_transport->disconnectPeripheral();
    }
    m_transport->stopScan();
    linkDown();
    resetDeviceState();
    if (m_connected) {
        m_connected = false;
        m_rssi = 0;
        notify();
    }
}

void BLEBridge::reconnect()
{
    if (m_stopped || !m_started || !isPoweredOn()) {
        return;
    }
    if (m_transport->canListConnectedPeripherals()) {
        m_transport->requestConnectedPeripherals(platform::nordicUart::service);
        return;
    }
    scan();
}

void BLEBridge::disconnect()
{
    if (!m_linked) {
        return;
    }
    stopRssiTimer();
    m_transport->disconnectPeripheral();
}

void BLEBridge::handleAdapterState(AdapterState state)
{
    onLog(QStringLiteral("BLE: Central state → ") + stateWord(state), LogColor::Grey);
    if (state == AdapterState::PoweredOn) {
        reconnect();
        return;
    }
    // The radio is gone, and with it any connection, whether or not the transport reports its end as well.
    m_linked = false;
    m_connected = false;
    m_rssi = 0;
    linkDown();
    resetDeviceState();
    notify();
}

void BLEBridge::handleConnectedPeripherals(const QList<BlePeripheral>& peripherals)
{
    if (m_stopped || m_linked || !isPoweredOn()) {
        return;
    }
    for (const BlePeripheral& peripheral : peripherals) {
        if (qualifies(peripheral)) {
            onLog(QStringLiteral("BLE: Found paired device ") + peripheral.name, LogColor::Grey);
            connectTo(peripheral);
            return;
        }
    }
    scan();
}

void BLEBridge::scan()
{
    onLog(QStringLiteral("BLE: Scanning..."), LogColor::Grey);
    if (!m_transport->isScanning() && !m_transport->startScan()) {
        onLog(QStringLiteral("BLE: Scan could not start"), LogColor::Orange);
        retry();
        return;
    }
    notify();
}

void BLEBridge::handleFound(const BlePeripheral& peripheral)
{
    if (m_stopped || m_linked || !qualifies(peripheral)) {
        return;
    }
    onLog(QStringLiteral("BLE: Found ") + nameOrDevice(peripheral) + QStringLiteral(" (RSSI ")
        + QString::number(peripheral.rssi) + QLatin1Char(')'), LogColor::Grey);
    m_transport->stopScan();
    connectTo(peripheral);
}

void BLEBridge::connectTo(const BlePeripheral& peripheral)
{
    m_peripheral = peripheral;
    if (!m_transport->connectTo(peripheral)) {
        onLog(QStringLiteral("BLE: Connect failed — adapter cannot connect"), LogColor::Orange);
        retry();
        return;
    }
    m_linked = true;
    notify();
}

void BLEBridge::handleServiceReady(bool canWrite, bool canNotify)
{
    if (m_stopped) {
        m_transport->disconnectPeripheral();
        return;
    }
    if (!canWrite) {
        onLog(QStringLiteral("BLE: Device has no write characteristic"), LogColor::Orange);
        return;
    }
    enterConnected(canNotify);
}

void BLEBridge::enterConnected(bool canNotify)
{
    // Half a line or an audio flag from an earlier connection must not reach this one.
    resetDeviceState();
    m_connected = true;
    const BlePeripheral peripheral = m_peripheral.value_or(m_transport->peripheral());
    onLog(QStringLiteral("BLE: Connected (") + nameOrDevice(peripheral)
        + (canNotify ? QStringLiteral(" + mic") : QString()) + QLatin1Char(')'), LogColor::Grey);
    notify();
    startRssiTimer();
    m_writer.deviceConnected();
}

void BLEBridge::handleConnectFailed(const QString& error)
{
    m_linked = false;
    onLog(QStringLiteral("BLE: Connect failed — ") + (error.isEmpty() ? QStringLiteral("unknown") : error),
        LogColor::Orange);
    retry();
}

void BLEBridge::handleDisconnected()
{
    m_linked = false;
    m_connected = false;
    m_rssi = 0;
    linkDown();
    resetDeviceState();
    onLog(QStringLiteral("BLE: Disconnected"), LogColor::Grey);
    notify();
    retry();
}

void BLEBridge::resetDeviceState()
{
    m_lines.clear();
    m_receivingAudio = false;
    m_audioBuffer.clear();
    m_writer.forgetDeviceState();
}

void BLEBridge::retry()
{
    if (m_stopped) {
        return;
    }
    if (m_retryTimer) {
        m_clock.cancel(*m_retryTimer);
    }
    m_retryTimer = m_clock.schedule(retryDelayMs, [this] {
        m_retryTimer.reset();
        if (!m_stopped && isPoweredOn() && !m_connected && !m_linked) {
            reconnect();
        }
    });
}

void BLEBridge::startRssiTimer()
{
    stopRssiTimer();
    if (!m_transport->canReadRssi()) {
        if (!m_rssiUnavailableLogged) {
            m_rssiUnavailableLogged = true;
            onLog(QStringLiteral("BLE: signal strength of a connected device is not available here"), LogColor::Blue);
        }
        return;
    }
    m_rssiTimer = m_clock.schedule(rssiIntervalMs, [this] {
        m_rssiTimer.reset();
        m_transport->readRssi();
        startRssiTimer();
    });
}

void BLEBridge::handleRssi(int dbm)
{
    if (!m_connected) {
        return;
    }
    m_rssi = dbm;
    notify();
}

void BLEBridge::stopRssiTimer()
{
    if (const auto timer = std::exchange(m_rssiTimer, std::nullopt)) {
        m_clock.cancel(*timer);
    }
}

void BLEBridge::linkDown()
{
    stopRssiTimer();
    // Lines still waiting were meant for the connection that is gone.
    m_outgoing.clear();
    m_writer.deviceGone();
}

void BLEBridge::startAudioCapture()
{
    m_audioBuffer.clear();
    m_receivingAudio = true;
}

QByteArray BLEBridge::stopAudioCapture()
{
    m_receivingAudio = false;
    return common::g711::decodeMulaw(std::exchange(m_audioBuffer, {}));
}

void BLEBridge::handleNotified(const QByteArray& value)
{
    if (m_receivingAudio) {
        m_audioBuffer.append(value);
        if (onAudioChunk) {
            onAudioChunk(value);
        }
        return;
    }
    for (const QString& line : m_lines.feed(value)) {
        route(line);
    }
}

void BLEBridge::route(const QString& line)
{
    if (m_writer.takeReply(line)) {
        return;
    }
    if (onControlFrame) {
        onControlFrame(line);
    }
}

void BLEBridge::send(const QString& line)
{
    if (!onOwnerThread()) {
        QMetaObject::invokeMethod(
            m_context.get(), [this, line] { send(line); }, Qt::QueuedConnection);
        return;
    }
    if (!m_connected) {
        return;
    }
    m_outgoing.send(line);
}

void BLEBridge::sendBinary(const QByteArray& data)
{
    if (!onOwnerThread()) {
        QMetaObject::invokeMethod(
            m_context.get(), [this, data] { sendBinary(data); }, Qt::QueuedConnection);
        return;
    }
    if (!m_connected) {
        return;
    }
    writePieces(data, WriteMode::WithResponse);
}

int BLEBridge::writePieces(const QByteArray& bytes, WriteMode mode)
{
    int writes = 0;
    // A line longer than one write reaches the device in order, as pieces it joins at the line feed.
    for (const QByteArray& piece : WritePieces::split(bytes, m_transport->maximumWriteLength(mode))) {
        if (!m_transport->write(piece, mode)) {
            break;
        }
        ++writes;
    }
    return writes;
}

} // namespace murmeli::device
