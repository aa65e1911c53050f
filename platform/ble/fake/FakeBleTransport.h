#pragma once

#include <functional>
#include <optional>
#include <vector>

#include "platform/ble/BleTransport.h"

namespace murmeli::platform {

/// A transport for tests: records what its owner asks for (scans, connections, every write) and lets the test play
/// the adapter and the peripheral. What the test plays is signalled at once; answers to the owner's own calls
/// (start's state report, the connected list, RSSI reads, write failures, the end of a dropped connection) come on
/// the next turn of the event loop, as they do from the real adapter. A write longer than maximumWriteLength() is
/// recorded and reported failed, as a peripheral refuses it.
class FakeBleTransport final : public BleTransport {
    Q_OBJECT

public:
    enum class Link { Idle, Connecting, Connected };

    struct Write final {
        QByteArray value;
        WriteMode mode = WriteMode::WithoutResponse;
        friend bool operator==(const Write&, const Write&) = default;
    };

    struct ServiceRequest final {
        QUuid service;
        QUuid writeCharacteristic;
        QUuid notifyCharacteristic;
    };

    FakeBleTransport();

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

    // The system and the adapter.
    /// Makes the transport unavailable for reason (the adapter then reports Unsupported), or available again.
    void setUnavailable(const QString& reason);
    /// The adapter changes state; signalled at once once start() was called. Leaving PoweredOn ends the scan and
    /// the connection, as the radio does.
    void setAdapterState(AdapterState state);
    /// What requestConnectedPeripherals() answers from now on.
    void setConnectedPeripherals(const QList<BlePeripheral>& peripherals) { m_connectedPeripherals = peripherals; }
    void setMaximumWriteLength(WriteMode mode, int length);
    /// What RSSI reads give from now on; nullopt makes them fail.
    void setRssi(std::optional<int> dbm) { m_rssi = dbm; }
    void setCanReadRssi(bool can) { m_canReadRssi = can; }
    /// Every later write is recorded and then reported failed with error; "" lets writes succeed again.
    void setWriteError(const QString& error) { m_writeError = error; }

    // The peripheral.
    /// A peripheral advertises; reported only while a scan runs. Returns whether it was reported.
    bool advertise(const BlePeripheral& peripheral);
    /// The running scan breaks off with error.
    void failScan(const QString& error);
    /// The pending connection is made. Returns false when none was pending.
    bool acceptConnection();
    /// The pending connection fails. Returns false when none was pending.
    bool failConnection(const QString& error);
    /// The pending openService() finds what it looked for. Returns false when none was pending.
    bool resolveService(bool canWrite = true, bool canNotify = true);
    /// The pending openService() fails. Returns false when none was pending.
    bool failService(const QString& error);
    /// Accepts the pending connection and opens the pending service with both characteristics.
    bool completeConnection();
    /// The peripheral notifies value; delivered only while subscribed. Returns whether it was delivered.
    bool notify(const QByteArray& value);
    /// The connection drops from the peripheral's side (out of range, switched off).
    bool dropConnection(const QString& error = {});

    // What the owner asked for.
    int startCount() const { return m_startCount; }
    int scanStarts() const { return m_scanStarts; }
    int scanStops() const { return m_scanStops; }
    const std::vector<QUuid>& connectedPeripheralRequests() const { return m_connectedRequests; }
    const std::vector<BlePeripheral>& connectRequests() const { return m_connectRequests; }
    int disconnectRequests() const { return m_disconnectRequests; }
    const std::vector<ServiceRequest>& serviceRequests() const { return m_serviceRequests; }
    /// Every accepted write, in order.
    const std::vector<Write>& writes() const { return m_writes; }
    /// The accepted writes' values joined in order: the byte stream the peripheral received.
    QByteArray writtenBytes() const;
    /// Writes refused because no write characteristic was open.
    int refusedWrites() const { return m_refusedWrites; }
    int rssiReads() const { return m_rssiReads; }
    Link link() const { return m_link; }
    bool isSubscribed() const { return m_subscribed; }
    /// Forgets what the owner asked for (not the state of the adapter or the link).
    void clearRecords();

private:
    void later(std::function<void()> work);
    void endLink();

    QString m_unavailableReason;
    bool m_started = false;
    AdapterState m_state = AdapterState::PoweredOn;
    QList<BlePeripheral> m_connectedPeripherals;
    bool m_scanning = false;
    Link m_link = Link::Idle;
    BlePeripheral m_peripheral;
    bool m_servicePending = false;
    bool m_canWrite = false;
    bool m_subscribed = false;
    int m_maxWithResponse = 512;
    int m_maxWithoutResponse = 20;
    std::optional<int> m_rssi;
    bool m_canReadRssi = true;
    QString m_writeError;

    int m_startCount = 0;
    int m_scanStarts = 0;
    int m_scanStops = 0;
    std::vector<QUuid> m_connectedRequests;
    std::vector<BlePeripheral> m_connectRequests;
    int m_disconnectRequests = 0;
    std::vector<ServiceRequest> m_serviceRequests;
    std::vector<Write> m_writes;
    int m_refusedWrites = 0;
    int m_rssiReads = 0;
};

} // namespace murmeli::platform
