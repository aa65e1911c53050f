#pragma once

#include <functional>

#include <QByteArray>
#include <QObject>
#include <QString>

#include "platform/ble/BleTransport.h"

namespace murmeli::app {

/// `murmeli device console`: finds the push-to-talk device by its advertised name, connects to its Nordic UART
/// service, prints every line the device sends and sends each line the user types. It is how a user with the
/// device checks the link; it talks to the transport directly and shares nothing with the running application.
class DeviceConsole final : public QObject {
    Q_OBJECT

public:
    /// A device line longer than this without a line feed is dropped, as the link itself drops it.
    static constexpr int maxLineBytes = 4096;

    /// nameFilter: a peripheral qualifies when its advertised name contains it (same case).
    DeviceConsole(platform::BleTransport& transport, QString nameFilter);

    /// Brings the adapter up and starts looking for the device.
    void start();
    /// Sends one typed line (a line feed is added); before the device is ready it is refused with a note.
    void send(const QString& line);
    /// The user ended the input: the connection is closed and the console finishes with 0.
    void inputClosed();
    /// The device was not found and connected within the time the caller allows: finishes with 1 unless ready.
    void giveUp();

    bool isReady() const { return m_ready; }

    /// Each line to show the user, without a line feed, its control characters written as visible escapes.
    std::function<void(const QString& text)> onOutput;
    /// The console is done, with the process exit status.
    std::function<void(int status)> onFinished;

private:
    void adapterChanged(platform::BleTransport::AdapterState state);
    void search(const QList<platform::BlePeripheral>& connectedAlready);
    bool qualifies(const platform::BlePeripheral& peripheral) const;
    void connectTo(const platform::BlePeripheral& peripheral);
    void receive(const QByteArray& value);
    void say(const QString& text);
    void finish(int status);

    platform::BleTransport& m_transport;
    QString m_nameFilter;
    bool m_searching = false;
    bool m_connecting = false;
    bool m_ready = false;
    bool m_quitting = false;
    bool m_done = false;
    QByteArray m_received;
};

} // namespace murmeli::app
