#include "platform/ble/qt/QtBleTransport.h"

#include <QBluetoothAddress>
#include <QBluetoothDeviceDiscoveryAgent>
#include <QBluetoothLocalDevice>
#include <QBluetoothUuid>
#include <QDBusConnection>
#include <QLowEnergyDescriptor>
#include <QMetaObject>

namespace murmeli::platform {

namespace {

// The ATT default MTU of 23 less the 3 bytes of the write's own header.
constexpr int defaultWriteLength = 20;
constexpr int attHeader = 3;
// BlueZ turns a longer write with response into a long write; an attribute holds at most 512 bytes.
constexpr int longWriteLength = 512;

QString serviceErrorText(QLowEnergyService::ServiceError error)
{
    switch (error) {
    case QLowEnergyService::CharacteristicWriteError:
        return QStringLiteral("the device refused the write");
    case QLowEnergyService::DescriptorWriteError:
        return QStringLiteral("the device refused to notify");
    case QLowEnergyService::OperationError:
        return QStringLiteral("the service cannot do that now");
    default:
        return QStringLiteral("service error");
    }
}

} // namespace

QtBleTransport::QtBleTransport()
{
    openAdapter();
}

QtBleTransport::~QtBleTransport()
{
    if (m_agent) {
        m_agent->stop();
    }
    releaseLink();
}

bool QtBleTransport::isAvailable() const
{
    return m_adapter && m_adapter->isValid();
}

QString QtBleTransport::unavailableReason() const
{
    if (isAvailable()) {
        return {};
    }
    if (!QDBusConnection::systemBus().isConnected()) {
        return QStringLiteral("no system D-Bus to reach BlueZ on");
    }
    if (!m_bluez.isReachable()) {
        return QStringLiteral("the Bluetooth service (BlueZ) is not running");
    }
    return QStringLiteral("no Bluetooth adapter");
}

void QtBleTransport::start()
{
    m_started = true;
    // An adapter plugged in since the last look is found again here.
    if (!isAvailable()) {
        openAdapter();
    }
    const AdapterState state = readAdapterState();
    m_state = state;
    QMetaObject::invokeMethod(
        this, [this, state] { Q_EMIT adapterStateChanged(state); }, Qt::QueuedConnection);
}

BleTransport::AdapterState QtBleTransport::adapterState() const
{
    return m_state;
}

void QtBleTransport::openAdapter()
{
    if (m_agent) {
        m_agent->disconnect(this);
        m_agent->deleteLater();
        m_agent = nullptr;
        m_scanning = false;
    }
    m_adapter = std::make_unique<QBluetoothLocalDevice>();
    if (!m_adapter->isValid()) {
        return;
    }
    connect(m_adapter.get(), &QBluetoothLocalDevice::hostModeStateChanged, this, [this] {
        if (m_started) {
            setAdapterState(readAdapterState());
        }
    });
}

BleTransport::AdapterState QtBleTransport::readAdapterState() const
{
    if (!isAvailable()) {
        return AdapterState::Unsupported;
    }
    return m_adapter->hostMode() == QBluetoothLocalDevice::HostPoweredOff ? AdapterState::PoweredOff
                                                                          : AdapterState::PoweredOn;
}

void QtBleTransport::setAdapterState(AdapterState state)
{
    if (state == m_state) {
        return;
    }
    m_state = state;
    if (state != AdapterState::PoweredOn) {
        m_scanning = false;
    }
    Q_EMIT adapterStateChanged(state);
}

bool QtBleTransport::canListConnectedPeripherals() const
{
    return isAvailable() && m_bluez.isReachable();
}

void QtBleTransport::requestConnectedPeripherals(const QUuid& service)
{
    if (!canListConnectedPeripherals()) {
        QMetaObject::invokeMethod(
            this, [this] { Q_EMIT connectedPeripheralsFound({}); }, Qt::QueuedConnection);
        return;
    }
    const QString adapterAddress = m_adapter->address().toString();
    m_bluez.read([this, adapterAddress, service](std::optional<BluezDirectory::Objects> objects) {
        Q_EMIT connectedPeripheralsFound(objects
                ? BluezDirectory::connectedWithService(*objects, adapterAddress, service)
                : QList<BlePeripheral> {});
    });
}

void QtBleTransport::ensureAgent()
{
    if (m_agent) {
        return;
    }
    m_agent = new QBluetoothDeviceDiscoveryAgent(m_adapter->address(), this);
    // The scan runs until a device is chosen, as long as that takes.
    m_agent->setLowEnergyDiscoveryTimeout(0);
    connect(m_agent, &QBluetoothDeviceDiscoveryAgent::deviceDiscovered, this, &QtBleTransport::reportDevice);
    connect(m_agent, &QBluetoothDeviceDiscoveryAgent::deviceUpdated, this,
        [this](const QBluetoothDeviceInfo& info, QBluetoothDeviceInfo::Fields) { reportDevice(info); });
    connect(m_agent, &QBluetoothDeviceDiscoveryAgent::errorOccurred, this, [this] {
        const QString error = m_agent->errorString();
        if (m_startingScan || !m_scanning) {
            return; // startScan() reports a scan that could not start by its result
        }
        m_scanning = false;
        Q_EMIT scanFailed(error);
    });
    connect(m_agent, &QBluetoothDeviceDiscoveryAgent::finished, this, [this] {
        if (m_scanning) {
            m_scanning = false;
            Q_EMIT scanFailed(QStringLiteral("the scan ended on its own"));
        }
    });
}

bool QtBleTransport::startScan()
{
    if (m_state != AdapterState::PoweredOn || !isAvailable()) {
        return false;
    }
    ensureAgent();
    if (m_scanning) {
        return true;
    }
    m_startingScan = true;
    m_scanning = true;
    m_agent->start(QBluetoothDeviceDiscoveryAgent::LowEnergyMethod);
    m_startingScan = false;
    if (m_agent->error() != QBluetoothDeviceDiscoveryAgent::NoError || !m_agent->isActive()) {
        m_scanning = false;
    }
    return m_scanning;
}

void QtBleTransport::stopScan()
{
    if (!m_scanning) {
        return;
    }
    m_scanning = false;
    m_agent->stop();
}

bool QtBleTransport::isScanning() const
{
    return m_scanning;
}

void QtBleTransport::reportDevice(const QBluetoothDeviceInfo& info)
{
    if (!m_scanning || !(info.coreConfigurations() & QBluetoothDeviceInfo::LowEnergyCoreConfiguration)) {
        return;
    }
    if (m_startingScan) {
        // Qt reports the devices BlueZ already knows from inside start(); the owner hears of them after
        // startScan() has returned, so that it may stop the scan or connect in answer.
        QMetaObject::invokeMethod(
            this, [this, info] { reportDevice(info); }, Qt::QueuedConnection);
        return;
    }
    const QString id = info.address().toString();
    m_seen.insert(id, info);
    Q_EMIT peripheralFound({ id, info.name(), info.rssi() });
}

bool QtBleTransport::connectTo(const BlePeripheral& peripheral)
{
    const QBluetoothAddress address(peripheral.id);
    if (m_state != AdapterState::PoweredOn || address.isNull()) {
        return false;
    }
    releaseLink();
    QBluetoothDeviceInfo info = m_seen.value(peripheral.id);
    if (!info.isValid()) {
        info = QBluetoothDeviceInfo(address, peripheral.name, 0);
        info.setCoreConfigurations(QBluetoothDeviceInfo::LowEnergyCoreConfiguration);
    }
    m_peripheral = peripheral;
    m_phase = Phase::Connecting;
    m_lastError.clear();
    m_controller = QLowEnergyController::createCentral(info, m_adapter->address(), this);
    connect(m_controller, &QLowEnergyController::connected, this, [this] {
        m_phase = Phase::Connected;
        Q_EMIT connected();
    });
    connect(m_controller, &QLowEnergyController::stateChanged, this, &QtBleTransport::onControllerState);
    connect(m_controller, &QLowEnergyController::errorOccurred, this, &QtBleTransport::onControllerError);
    connect(m_controller, &QLowEnergyController::discoveryFinished, this, [this] {
        m_servicesDiscovered = true;
        if (m_serviceWanted) {
            findService();
        }
    });
    m_controller->connectToDevice();
    return true;
}

void QtBleTransport::onControllerState(QLowEnergyController::ControllerState state)
{
    if (state == QLowEnergyController::UnconnectedState) {
        finishLink(m_lastError);
    }
}

void QtBleTransport::onControllerError()
{
    // Qt words every controller error itself.
    m_lastError = m_controller && !m_controller->errorString().isEmpty() ? m_controller->errorString()
                                                                         : QStringLiteral("connection error");
    // An attempt that fails before it began leaves the state where it was: nothing else reports its end.
    if (m_controller && m_controller->state() == QLowEnergyController::UnconnectedState) {
        QMetaObject::invokeMethod(
            this,
            [this, controller = m_controller] {
                if (controller == m_controller) {
                    finishLink(m_lastError);
                }
            },
            Qt::QueuedConnection);
    }
}

void QtBleTransport::finishLink(const QString& error)
{
    if (m_phase == Phase::Idle) {
        return;
    }
    const bool wasConnected = m_phase == Phase::Connected;
    releaseLink();
    if (wasConnected) {
        Q_EMIT disconnected(error);
    } else {
        Q_EMIT connectFailed(error.isEmpty() ? QStringLiteral("connection cancelled") : error);
    }
}

void QtBleTransport::releaseLink()
{
    m_phase = Phase::Idle;
    m_servicesDiscovered = false;
    m_serviceWanted = false;
    m_writeCharacteristic = {};
    m_subscribing = false;
    m_mtu = 0;
    if (m_service) {
        m_service->disconnect(this);
        m_service->deleteLater();
    }
    m_service = nullptr;
    if (m_controller) {
        // Signals of a link given up reach no one; the controller may be inside one of them, so it goes later.
        m_controller->disconnect(this);
        if (m_controller->state() != QLowEnergyController::UnconnectedState) {
            m_controller->disconnectFromDevice();
        }
        m_controller->deleteLater();
    }
    m_controller = nullptr;
}

void QtBleTransport::disconnectPeripheral()
{
    if (m_phase == Phase::Idle || !m_controller) {
        return;
    }
    if (m_controller->state() == QLowEnergyController::UnconnectedState) {
        finishLink({});
        return;
    }
    m_lastError.clear();
    m_controller->disconnectFromDevice();
}

BlePeripheral QtBleTransport::peripheral() const
{
    return m_peripheral;
}

void QtBleTransport::openService(
    const QUuid& service, const QUuid& writeCharacteristic, const QUuid& notifyCharacteristic)
{
    if (m_phase != Phase::Connected || !m_controller) {
        failServiceLater(QStringLiteral("not connected"));
        return;
    }
    m_serviceUuid = service;
    m_writeUuid = writeCharacteristic;
    m_notifyUuid = notifyCharacteristic;
    m_serviceWanted = true;
    if (m_servicesDiscovered) {
        findService();
    } else if (m_controller->state() == QLowEnergyController::ConnectedState) {
        m_controller->discoverServices();
    }
}

void QtBleTransport::failServiceLater(const QString& error)
{
    QMetaObject::invokeMethod(
        this, [this, error] { Q_EMIT serviceFailed(error); }, Qt::QueuedConnection);
}

void QtBleTransport::findService()
{
    m_serviceWanted = false;
    if (m_service) {
        m_service->disconnect(this);
        m_service->deleteLater();
    }
    m_service = m_controller->createServiceObject(QBluetoothUuid(m_serviceUuid), this);
    if (!m_service) {
        Q_EMIT serviceFailed(QStringLiteral("the device does not offer the service"));
        return;
    }
    connect(m_service, &QLowEnergyService::stateChanged, this, &QtBleTransport::onServiceState);
    connect(m_service, &QLowEnergyService::errorOccurred, this, &QtBleTransport::onServiceError);
    connect(m_service, &QLowEnergyService::characteristicChanged, this,
        [this](const QLowEnergyCharacteristic& characteristic, const QByteArray& value) {
            if (characteristic.uuid() == QBluetoothUuid(m_notifyUuid)) {
                Q_EMIT notified(value);
            }
        });
    // The two characteristics are written and notified, never read: their values need not be fetched.
    m_service->discoverDetails(QLowEnergyService::SkipValueDiscovery);
}

void QtBleTransport::onServiceState(QLowEnergyService::ServiceState state)
{
    if (state == QLowEnergyService::RemoteServiceDiscovered) {
        serviceDiscovered();
    }
}

void QtBleTransport::onServiceError(QLowEnergyService::ServiceError error)
{
    if (m_subscribing && error == QLowEnergyService::DescriptorWriteError) {
        m_subscribing = false;
        finishService(false);
        return;
    }
    const QString text = serviceErrorText(error);
    if (m_service && m_service->state() != QLowEnergyService::RemoteServiceDiscovered) {
        Q_EMIT serviceFailed(text);
        return;
    }
    Q_EMIT writeFailed(text);
}

void QtBleTransport::serviceDiscovered()
{
    m_writeCharacteristic = m_service->characteristic(QBluetoothUuid(m_writeUuid));
    const QLowEnergyCharacteristic notifier = m_service->characteristic(QBluetoothUuid(m_notifyUuid));
    const QLowEnergyDescriptor config = notifier.isValid()
        ? notifier.descriptor(QBluetoothUuid::DescriptorType::ClientCharacteristicConfiguration)
        : QLowEnergyDescriptor();
    if (!config.isValid()) {
        finishService(false);
        return;
    }
    // Ready only once subscribed, so that nothing the device says right after is lost.
    m_subscribing = true;
    connect(m_service, &QLowEnergyService::descriptorWritten, this, [this](const QLowEnergyDescriptor& descriptor) {
        if (m_subscribing
            && descriptor.uuid() == QBluetoothUuid(QBluetoothUuid::DescriptorType::ClientCharacteristicConfiguration)) {
            m_subscribing = false;
            finishService(true);
        }
    });
    m_service->writeDescriptor(config, QLowEnergyCharacteristic::CCCDEnableNotification);
}

void QtBleTransport::finishService(bool canNotify)
{
    const bool canWrite = m_writeCharacteristic.isValid();
    // Qt 6.4 knows the MTU only on its own HCI backend; on BlueZ's D-Bus interface the characteristic tells.
    m_mtu = m_controller->mtu() > 0 ? m_controller->mtu() : 0;
    if (m_mtu > 0) {
        Q_EMIT serviceReady(canWrite, canNotify);
        return;
    }
    const QString address = m_peripheral.id;
    const QUuid writeUuid = m_writeUuid;
    m_bluez.read([this, address, writeUuid, canWrite, canNotify, controller = m_controller](
                     std::optional<BluezDirectory::Objects> objects) {
        if (controller != m_controller || m_phase != Phase::Connected) {
            return;
        }
        if (objects) {
            const QString path = BluezDirectory::devicePath(*objects, address);
            m_mtu = BluezDirectory::characteristicMtu(*objects, path, writeUuid).value_or(0);
        }
        Q_EMIT serviceReady(canWrite, canNotify);
    });
}

bool QtBleTransport::write(const QByteArray& value, WriteMode mode)
{
    if (m_phase != Phase::Connected || !m_service || !m_writeCharacteristic.isValid()) {
        return false;
    }
    m_service->writeCharacteristic(m_writeCharacteristic, value,
        mode == WriteMode::WithResponse ? QLowEnergyService::WriteWithResponse
                                        : QLowEnergyService::WriteWithoutResponse);
    return true;
}

int QtBleTransport::maximumWriteLength(WriteMode mode) const
{
    if (mode == WriteMode::WithResponse) {
        return longWriteLength;
    }
    return m_mtu > attHeader ? m_mtu - attHeader : defaultWriteLength;
}

bool QtBleTransport::canReadRssi() const
{
    return m_bluez.isReachable();
}

bool QtBleTransport::readRssi()
{
    if (m_phase != Phase::Connected || !canReadRssi()) {
        return false;
    }
    const QString address = m_peripheral.id;
    m_bluez.read([this, address, controller = m_controller](std::optional<BluezDirectory::Objects> objects) {
        if (controller != m_controller || m_phase != Phase::Connected) {
            return;
        }
        const std::optional<int> rssi = objects
            ? BluezDirectory::deviceRssi(*objects, BluezDirectory::devicePath(*objects, address))
            : std::nullopt;
        if (rssi) {
            Q_EMIT rssiRead(*rssi);
        } else {
            Q_EMIT rssiReadFailed(QStringLiteral("BlueZ holds no signal strength for the connected device"));
        }
    });
    return true;
}

} // namespace murmeli::platform
