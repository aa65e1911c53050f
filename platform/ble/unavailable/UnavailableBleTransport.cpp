#include "platform/ble/unavailable/UnavailableBleTransport.h"

#include <utility>

#include <QMetaObject>

namespace murmeli::platform {

namespace {
constexpr int defaultWriteLength = 20;
}

UnavailableBleTransport::UnavailableBleTransport(QString reason) : m_reason(std::move(reason)) { }

bool UnavailableBleTransport::isAvailable() const
{
    return false;
}

QString UnavailableBleTransport::unavailableReason() const
{
    return m_reason;
}

void UnavailableBleTransport::start()
{
    m_started = true;
    QMetaObject::invokeMethod(
        this, [this] { Q_EMIT adapterStateChanged(AdapterState::Unsupported); }, Qt::QueuedConnection);
}

BleTransport::AdapterState UnavailableBleTransport::adapterState() const
{
    return m_started ? AdapterState::Unsupported : AdapterState::Unknown;
}

bool UnavailableBleTransport::canListConnectedPeripherals() const
{
    return false;
}

void UnavailableBleTransport::requestConnectedPeripherals(const QUuid&)
{
    QMetaObject::invokeMethod(
        this, [this] { Q_EMIT connectedPeripheralsFound({}); }, Qt::QueuedConnection);
}

bool UnavailableBleTransport::startScan()
{
    return false;
}

void UnavailableBleTransport::stopScan() { }

bool UnavailableBleTransport::isScanning() const
{
    return false;
}

bool UnavailableBleTransport::connectTo(const BlePeripheral&)
{
    return false;
}

void UnavailableBleTransport::disconnectPeripheral() { }

BlePeripheral UnavailableBleTransport::peripheral() const
{
    return {};
}

void UnavailableBleTransport::openService(const QUuid&, const QUuid&, const QUuid&)
{
    QMetaObject::invokeMethod(
        this, [this] { Q_EMIT serviceFailed(m_reason); }, Qt::QueuedConnection);
}

bool UnavailableBleTransport::write(const QByteArray&, WriteMode)
{
    return false;
}

int UnavailableBleTransport::maximumWriteLength(WriteMode) const
{
    return defaultWriteLength;
}

bool UnavailableBleTransport::canReadRssi() const
{
    return false;
}

bool UnavailableBleTransport::readRssi()
{
    return false;
}

} // namespace murmeli::platform
