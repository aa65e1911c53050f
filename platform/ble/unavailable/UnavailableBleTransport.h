#pragma once

#include "platform/ble/BleTransport.h"

namespace murmeli::platform {

/// The transport of a system without Bluetooth LE: the adapter is unsupported and every operation is refused.
class UnavailableBleTransport final : public BleTransport {
    Q_OBJECT

public:
    explicit UnavailableBleTransport(QString reason);

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
    QString m_reason;
    bool m_started = false;
};

} // namespace murmeli::platform
