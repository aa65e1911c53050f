#pragma once

#include <memory>

#include <QBluetoothDeviceInfo>
#include <QHash>
#include <QLowEnergyCharacteristic>
#include <QLowEnergyController>
#include <QLowEnergyService>
#include <QPointer>

#include "platform/ble/BleTransport.h"
#include "platform/ble/qt/BluezDirectory.h"

class QBluetoothDeviceDiscoveryAgent;
class QBluetoothLocalDevice;

namespace murmeli::platform {

/// The transport over QtBluetooth and BlueZ. What Qt 6.4 leaves out for a central on BlueZ (the connected
/// devices, the ATT MTU, a signal strength) is read from BlueZ's own objects on the system bus.
class QtBleTransport final : public BleTransport {
    Q_OBJECT

public:
    QtBleTransport();
    ~QtBleTransport() override;

    bool isAvailable() const override;
    QString unavailableReason() const override;
    void start() override;
    AdapterState adapterState() const override;
    bool canListConnectedPeripherals() const override;
    void requestConnectedPeripherals(const QUuid& service) override;
    bool startScan() override;
    void stopScan() override;
    bool isScanning() const override;
    bool connectTo(const BlePeripheral& peripheral) override;
    void disconnectPeripheral() override;
    BlePeripheral peripheral() const override;
    void openService(
        const QUuid& service, const QUuid& writeCharacteristic, const QUuid& notifyCharacteristic) override;
    bool write(const QByteArray& value, WriteMode mode) override;
    int maximumWriteLength(WriteMode mode) const override;
    bool canReadRssi() const override;
    bool readRssi() override;

private:
    enum class Phase { Idle, Connecting, Connected };

    void openAdapter();
    AdapterState readAdapterState() const;
    void setAdapterState(AdapterState state);
    void ensureAgent();
    void reportDevice(const QBluetoothDeviceInfo& info);
    void onControllerState(QLowEnergyController::ControllerState state);
    void onControllerError();
    void finishLink(const QString& error);
    void releaseLink();
    void findService();
    void onServiceState(QLowEnergyService::ServiceState state);
    void onServiceError(QLowEnergyService::ServiceError error);
    void serviceDiscovered();
    void finishService(bool canNotify);
    void failServiceLater(const QString& error);

    BluezDirectory m_bluez;
    std::unique_ptr<QBluetoothLocalDevice> m_adapter;
    AdapterState m_state = AdapterState::Unknown;
    bool m_started = false;

    QBluetoothDeviceDiscoveryAgent* m_agent = nullptr;
    bool m_scanning = false;
    bool m_startingScan = false;
    QHash<QString, QBluetoothDeviceInfo> m_seen;

    QPointer<QLowEnergyController> m_controller;
    Phase m_phase = Phase::Idle;
    BlePeripheral m_peripheral;
    QString m_lastError;
    bool m_servicesDiscovered = false;

    QPointer<QLowEnergyService> m_service;
    QUuid m_serviceUuid;
    QUuid m_writeUuid;
    QUuid m_notifyUuid;
    bool m_serviceWanted = false;
    QLowEnergyCharacteristic m_writeCharacteristic;
    bool m_subscribing = false;
    int m_mtu = 0; // ATT MTU of the connection; 0 while unknown
};

} // namespace murmeli::platform
