#pragma once

#include <memory>
#include <optional>

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>

namespace murmeli::test {

/// BlueZ simulated by python3-dbusmock on a private system bus (bluez_mock.py beside this file), driven line by
/// line. One per test process: Qt connects to the system bus once, so start() must come before anything in the
/// process touches it; it points DBUS_SYSTEM_BUS_ADDRESS at the private bus and makes QtBluetooth use BlueZ's
/// D-Bus interface.
class SimulatedBluez final {
public:
    struct Device final {
        QString path;
        QString rx;
        QString tx;
    };

    struct Written final {
        QByteArray bytes;
        QStringList types; // BlueZ's "type" option of each write: "command" or "request"
    };

    SimulatedBluez() = default;
    ~SimulatedBluez();

    /// Starts the bus and the mock; false with *whyNot set when they cannot run here (a reason to skip).
    bool start(QString* whyNot);
    /// The process's one simulated BlueZ, started on first use and stopped with the application; null with *whyNot
    /// set when it cannot run here.
    static SimulatedBluez* shared(QString* whyNot);

    std::optional<QString> addAdapter(const QString& hci);
    bool removeAdapter(const QString& hci);
    bool setPowered(const QString& hci, bool on);
    std::optional<Device> addDevice(const QString& hci, const QString& name, const QString& address, int mtu);
    std::optional<Written> written(const Device& device);
    /// The device notifies value; false while the host has not subscribed.
    bool notify(const Device& device, const QByteArray& value);
    /// The device ends the connection from its side.
    bool drop(const Device& device);

private:
    /// Sends one command and returns the words after "ok", or nullopt on an error answer or none in time.
    std::optional<QStringList> command(const QString& line);
    std::optional<QString> readLine();

    std::unique_ptr<QProcess> m_process;
};

} // namespace murmeli::test
