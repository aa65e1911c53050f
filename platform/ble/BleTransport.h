#pragma once

#include <QByteArray>
#include <QList>
#include <QMetaType>
#include <QObject>
#include <QString>
#include <QUuid>

namespace murmeli::platform {

/// A peripheral as a scan or the system's list of connected peripherals reports it.
struct BlePeripheral final {
    /// What connectTo() finds it by: the device address on Linux.
    QString id;
    /// The advertised name; "" when it has none.
    QString name;
    /// Signal strength in dBm when it was seen; 0 when unknown.
    int rssi = 0;

    friend bool operator==(const BlePeripheral&, const BlePeripheral&) = default;
};

/// The central side of Bluetooth LE for one peripheral at a time: the adapter's state, scanning, connecting, one
/// GATT service with a characteristic to write and one that notifies, and the link's signal strength. Lives on the
/// thread that created it (the main thread), which must run an event loop; every call returns at once and every
/// answer comes as a signal, never as an exception. A call that cannot be carried out says so by its result or by
/// a failure signal.
class BleTransport : public QObject {
    Q_OBJECT

public:
    /// The adapter's state, in the order and with the meaning of the platform's central states.
    enum class AdapterState { Unknown, Resetting, Unsupported, Unauthorized, PoweredOff, PoweredOn };
    Q_ENUM(AdapterState)

    enum class WriteMode { WithResponse, WithoutResponse };
    Q_ENUM(WriteMode)

    BleTransport() = default;
    ~BleTransport() override = default;
    Q_DISABLE_COPY_MOVE(BleTransport)

    /// Whether this system can do Bluetooth LE at all (built with it, an adapter present).
    virtual bool isAvailable() const = 0;
    /// Why isAvailable() is false ("no Bluetooth adapter", ...); "" while it is true.
    virtual QString unavailableReason() const = 0;
    /// Looks at the adapter (again) and reports its state with adapterStateChanged(), later, even when unchanged.
    virtual void start() = 0;
    /// The adapter's last known state; Unknown before the first start().
    virtual AdapterState adapterState() const = 0;

    /// Whether requestConnectedPeripherals() can ask the system at all.
    virtual bool canListConnectedPeripherals() const = 0;
    /// Asks for the peripherals the system has connected that offer service; connectedPeripheralsFound() answers,
    /// with an empty list where the system cannot tell.
    virtual void requestConnectedPeripherals(const QUuid& service) = 0;

    /// Scans for every advertising peripheral, without a filter, until stopScan(); peripheralFound() reports each
    /// one (never from inside this call), scanFailed() a scan that broke off. Returns false when the adapter cannot
    /// scan.
    virtual bool startScan() = 0;
    /// Ends a running scan; does nothing when none runs.
    virtual void stopScan() = 0;
    virtual bool isScanning() const = 0;

    /// Connects to peripheral, dropping any earlier one. Ends in connected() or connectFailed(); after connected(),
    /// in disconnected(). Returns false when the adapter cannot connect (nothing follows then).
    virtual bool connectTo(const BlePeripheral& peripheral) = 0;
    /// Drops the connection, or the attempt to make one: disconnected() follows where connectTo() was answered
    /// with connected(), connectFailed() where it was not yet answered.
    virtual void disconnectPeripheral() = 0;
    /// The peripheral of the last connectTo(); an empty id before the first.
    virtual BlePeripheral peripheral() const = 0;

    /// On the connected peripheral, finds service and in it the two characteristics and subscribes to the
    /// notifications of notifyCharacteristic; serviceReady() or serviceFailed() answers.
    virtual void openService(const QUuid& service, const QUuid& writeCharacteristic, const QUuid& notifyCharacteristic)
        = 0;
    /// Writes value to the write characteristic in one write; returns false when no write characteristic is open.
    /// A failure the peripheral reports later comes as writeFailed().
    virtual bool write(const QByteArray& value, WriteMode mode) = 0;
    /// The longest value one write of mode carries on this connection; 20 when the link does not tell.
    virtual int maximumWriteLength(WriteMode mode) const = 0;

    /// Whether readRssi() can ever give a value on this system.
    virtual bool canReadRssi() const = 0;
    /// Asks for the signal strength of the connected peripheral; rssiRead() or rssiReadFailed() answers. Returns
    /// false when no reading was started (not connected, or not supported).
    virtual bool readRssi() = 0;

Q_SIGNALS:
    void adapterStateChanged(murmeli::platform::BleTransport::AdapterState state);
    void connectedPeripheralsFound(const QList<murmeli::platform::BlePeripheral>& peripherals);
    void peripheralFound(const murmeli::platform::BlePeripheral& peripheral);
    void scanFailed(const QString& error);
    void connected();
    void connectFailed(const QString& error);
    /// The connection ended, by disconnectPeripheral() or otherwise; error is "" for a clean end.
    void disconnected(const QString& error);
    /// The service is open: canWrite when its write characteristic was found, canNotify when its notify
    /// characteristic was found and subscribed to.
    void serviceReady(bool canWrite, bool canNotify);
    void serviceFailed(const QString& error);
    /// One notification's value on the notify characteristic.
    void notified(const QByteArray& value);
    void writeFailed(const QString& error);
    void rssiRead(int dbm);
    void rssiReadFailed(const QString& error);
};

} // namespace murmeli::platform

Q_DECLARE_METATYPE(murmeli::platform::BlePeripheral)
