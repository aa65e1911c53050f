#include "platform/ble/fake/FakeBleTransport.h"

#include <utility>

#include <QMetaObject>

namespace murmeli::platform {

FakeBleTransport::FakeBleTransport() = default;

bool FakeBleTransport::isAvailable() const
{
    return m_unavailableReason.isEmpty();
}

QString FakeBleTransport::unavailableReason() const
{
    return m_unavailableReason;
}

void FakeBleTransport::start()
{
    m_started = true;
    ++m_startCount;
    later([this] { Q_EMIT adapterStateChanged(adapterState()); });
}

BleTransport::AdapterState FakeBleTransport::adapterState() const
{
    if (!m_started) {
        return AdapterState::Unknown;
    }
    return isAvailable() ? m_state : AdapterState::Unsupported;
}

bool FakeBleTransport::canListConnectedPeripherals() const
{
    return isAvailable();
}

void FakeBleTransport::requestConnectedPeripherals(const QUuid& service)
{
    m_connectedRequests.push_back(service);
    const QList<BlePeripheral> answer
        = adapterState() == AdapterState::PoweredOn ? m_connectedPeripherals : QList<BlePeripheral> {};
    later([this, answer] { Q_EMIT connectedPeripheralsFound(answer); });
}

bool FakeBleTransport::startScan()
{
    if (adapterState() != AdapterState::PoweredOn) {
        return false;
    }
    ++m_scanStarts;
    m_scanning = true;
    return true;
}

void FakeBleTransport::stopScan()
{
    if (m_scanning) {
        ++m_scanStops;
        m_scanning = false;
    }
}

bool FakeBleTransport::isScanning() const
{
    return m_scanning;
}

bool FakeBleTransport::connectTo(const BlePeripheral& peripheral)
{
    if (adapterState() != AdapterState::PoweredOn) {
        return false;
    }
    m_connectRequests.push_back(peripheral);
    m_peripheral = peripheral;
    m_link = Link::Connecting;
    m_servicePending = false;
    m_canWrite = false;
    m_subscribed = false;
    return true;
}

void FakeBleTransport::disconnectPeripheral()
{
    ++m_disconnectRequests;
    if (m_link == Link::Idle) {
        return;
    }
    const bool wasConnected = m_link == Link::Connected;
    endLink();
    later([this, wasConnected] {
        if (wasConnected) {
            Q_EMIT disconnected({});
        } else {
            Q_EMIT connectFailed(QStringLiteral("connection cancelled"));
        }
    });
}

BlePeripheral FakeBleTransport::peripheral() const
{
    return m_peripheral;
}

void FakeBleTransport::openService(
    const QUuid& service, const QUuid& writeCharacteristic, const QUuid& notifyCharacteristic)
{
    m_serviceRequests.push_back({ service, writeCharacteristic, notifyCharacteristic });
    if (m_link != Link::Connected) {
        later([this] { Q_EMIT serviceFailed(QStringLiteral("not connected")); });
        return;
    }
    m_servicePending = true;
}

bool FakeBleTransport::write(const QByteArray& value, WriteMode mode)
{
    if (m_link != Link::Connected || !m_canWrite) {
        ++m_refusedWrites;
        return false;
    }
    m_writes.push_back({ value, mode });
    QString error = m_writeError;
    if (error.isEmpty() && value.size() > maximumWriteLength(mode)) {
        error = QStringLiteral("value of %1 bytes is longer than the maximum write of %2")
                    .arg(value.size())
                    .arg(maximumWriteLength(mode));
    }
    if (!error.isEmpty()) {
        later([this, error] { Q_EMIT writeFailed(error); });
    }
    return true;
}

int FakeBleTransport::maximumWriteLength(WriteMode mode) const
{
    return mode == WriteMode::WithResponse ? m_maxWithResponse : m_maxWithoutResponse;
}

bool FakeBleTransport::canReadRssi() const
{
    return m_canReadRssi;
}

bool FakeBleTransport::readRssi()
{
    if (!m_canReadRssi || m_link != Link::Connected) {
        return false;
    }
    ++m_rssiReads;
    const std::optional<int> reading = m_rssi;
    later([this, reading] {
        if (reading) {
            Q_EMIT rssiRead(*reading);
        } else {
            Q_EMIT rssiReadFailed(QStringLiteral("no signal strength known"));
        }
    });
    return true;
}

void FakeBleTransport::setUnavailable(const QString& reason)
{
    m_unavailableReason = reason;
    if (!reason.isEmpty()) {
        m_scanning = false;
        endLink();
    }
}

void FakeBleTransport::setAdapterState(AdapterState state)
{
    m_state = state;
    if (state != AdapterState::PoweredOn) {
        const bool wasConnected = m_link == Link::Connected;
        const bool wasConnecting = m_link == Link::Connecting;
        m_scanning = false;
        endLink();
        if (wasConnected) {
            Q_EMIT disconnected(QStringLiteral("adapter is off"));
        } else if (wasConnecting) {
            Q_EMIT connectFailed(QStringLiteral("adapter is off"));
        }
    }
    if (m_started) {
        Q_EMIT adapterStateChanged(adapterState());
    }
}

void FakeBleTransport::setMaximumWriteLength(WriteMode mode, int length)
{
    (mode == WriteMode::WithResponse ? m_maxWithResponse : m_maxWithoutResponse) = length;
}

bool FakeBleTransport::advertise(const BlePeripheral& peripheral)
{
    if (!m_scanning) {
        return false;
    }
    Q_EMIT peripheralFound(peripheral);
    return true;
}

void FakeBleTransport::failScan(const QString& error)
{
    m_scanning = false;
    Q_EMIT scanFailed(error);
}

bool FakeBleTransport::acceptConnection()
{
    if (m_link != Link::Connecting) {
        return false;
    }
    m_link = Link::Connected;
    Q_EMIT connected();
    return true;
}

bool FakeBleTransport::failConnection(const QString& error)
{
    if (m_link != Link::Connecting) {
        return false;
    }
    endLink();
    Q_EMIT connectFailed(error);
    return true;
}

bool FakeBleTransport::resolveService(bool canWrite, bool canNotify)
{
    if (!m_servicePending) {
        return false;
    }
    m_servicePending = false;
    m_canWrite = canWrite;
    m_subscribed = canNotify;
    Q_EMIT serviceReady(canWrite, canNotify);
    return true;
}

bool FakeBleTransport::failService(const QString& error)
{
    if (!m_servicePending) {
        return false;
    }
    m_servicePending = false;
    Q_EMIT serviceFailed(error);
    return true;
}

bool FakeBleTransport::completeConnection()
{
    return acceptConnection() && resolveService();
}

bool FakeBleTransport::notify(const QByteArray& value)
{
    if (m_link != Link::Connected || !m_subscribed) {
        return false;
    }
    Q_EMIT notified(value);
    return true;
}

bool FakeBleTransport::dropConnection(const QString& error)
{
    if (m_link != Link::Connected) {
        return false;
    }
    endLink();
    Q_EMIT disconnected(error);
    return true;
}

QByteArray FakeBleTransport::writtenBytes() const
{
    QByteArray bytes;
    for (const Write& w : m_writes) {
        bytes += w.value;
    }
    return bytes;
}

void FakeBleTransport::clearRecords()
{
    m_startCount = 0;
    m_scanStarts = 0;
    m_scanStops = 0;
    m_connectedRequests.clear();
    m_connectRequests.clear();
    m_disconnectRequests = 0;
    m_serviceRequests.clear();
    m_writes.clear();
    m_refusedWrites = 0;
    m_rssiReads = 0;
}

void FakeBleTransport::later(std::function<void()> work)
{
    // The transport may be gone by the next turn; what it would have said then is dropped with it.
    QMetaObject::invokeMethod(this, std::move(work), Qt::QueuedConnection);
}

void FakeBleTransport::endLink()
{
    m_link = Link::Idle;
    m_servicePending = false;
    m_canWrite = false;
    m_subscribed = false;
}

} // namespace murmeli::platform
