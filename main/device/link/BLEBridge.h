#pragma once

#include <functional>
#include <map>
#include <memory>
#include <optional>

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QStringList>

#include "main/common/Clock.h"
#include "main/common/Log.h"
#include "main/device/link/DeviceLineWriter.h"
#include "main/device/link/LineAssembler.h"
#include "main/device/link/OutgoingLines.h"
#include "platform/ble/BleTransport.h"

namespace murmeli::device {

/// The one link to the push-to-talk device: finds it by its advertised name, connects, opens the Nordic UART
/// service and carries UTF-8 text lines both ways, device microphone audio in and speech audio out. It reconnects
/// by itself after a failure or a disconnection until stop(), reports its state to observers and hands every
/// incoming line either to its line writer (the status reply) or to onControlFrame. What the host says to the device
/// is its line writer's (lines()). Lives on the main thread; the send functions may be called from any thread and
/// are carried over to it.
class BLEBridge final {
public:
    enum class ScanState { Off, Scanning, Connected };

    /// The Lab switch under which the user runs the device link.
    static constexpr auto enabledUDKey = "lab.ble.enabled";
    static constexpr qint64 retryDelayMs = 2000;
    static constexpr qint64 rssiIntervalMs = 5000;

    /// The transport is the link's own; the clock runs its retry and signal timers and its writer's.
    BLEBridge(std::unique_ptr<platform::BleTransport> transport, common::Clock& clock);
    /// Ends a pending status query with Disconnected.
    ~BLEBridge();
    BLEBridge(const BLEBridge&) = delete;
    BLEBridge& operator=(const BLEBridge&) = delete;

    /// Log lines, each beginning "BLE: ".
    common::LogSink onLog;
    /// Called after the observers on every state notice.
    std::function<void()> onStateChange;
    /// Each notification while a device take records.
    std::function<void(const QByteArray& chunk)> onAudioChunk;
    /// Every incoming line except status replies.
    std::function<void(const QString& line)> onControlFrame;
    /// A peripheral qualifies when its advertised name contains one of these (case-sensitive).
    QStringList deviceNames { QStringLiteral("murmeli") };

    /// Called, in the order added, on every state notice: a connect request, the connected state, a disconnection,
    /// an adapter state other than powered on, the start of a scan, a signal-strength reading, a stop. Returns an
    /// id for removeStateObserver().
    int addStateObserver(std::function<void()> observer);
    void removeStateObserver(int id);

    // Connection control.

    /// Brings the link up and keeps it up until stop().
    void start();
    /// Takes the link down; nothing searches or reconnects again until the next start().
    void stop();
    /// Looks for the device again: an already connected peripheral of the system first, else a scan.
    void reconnect();
    /// Drops the current connection; the link then reconnects by itself.
    void disconnect();

    // State.

    bool isStarted() const { return m_started; }
    bool isStopped() const { return m_stopped; }
    bool isConnected() const { return m_connected; }
    /// dBm of the last reading; 0 when not connected or not read yet.
    int rssi() const { return m_rssi; }
    /// The current peripheral's advertised name; nullopt without a peripheral or a name.
    std::optional<QString> peripheralName() const;
    platform::BleTransport::AdapterState adapterState() const;
    ScanState scanState() const;
    /// "poweredOn/connected[murmeli-1]", "poweredOff/disconnected", ...
    QString connectionStateString() const;

    // Transport.

    /// One text line, cut to OutgoingLines::maxLineBytes; a line longer than one write goes in ordered pieces. The
    /// radio is paced (OutgoingLines): approval lines go out at once, ahead of lines still waiting. Dropped when not
    /// connected.
    void send(const QString& line);
    /// Raw bytes (speech audio and its own lines) in pieces, each written with response. Dropped when not connected.
    void sendBinary(const QByteArray& data);

    /// The host's lines to the device: time, status query, events, the session's status.
    DeviceLineWriter& lines() { return m_writer; }

    // Device audio.

    /// From now on every notification is device audio, not text.
    void startAudioCapture();
    /// Back to text; the audio collected since the start, expanded from µ-law to 16-bit PCM.
    QByteArray stopAudioCapture();
    bool isReceivingAudio() const { return m_receivingAudio; }

private:
    void notify();
    bool onOwnerThread() const;
    bool qualifies(const platform::BlePeripheral& peripheral) const;
    bool isPoweredOn() const;

    void handleAdapterState(platform::BleTransport::AdapterState state);
    void handleConnectedPeripherals(const QList<platform::BlePeripheral>& peripherals);
    void handleFound(const platform::BlePeripheral& peripheral);
    void handleServiceReady(bool canWrite, bool canNotify);
    void handleConnectFailed(const QString& error);
    void handleDisconnected();
    void handleNotified(const QByteArray& value);
    void handleRssi(int dbm);

    void scan();
    void connectTo(const platform::BlePeripheral& peripheral);
    void enterConnected(bool canNotify);
    /// What the device held is gone with its connection.
    void resetDeviceState();
    void retry();
    void startRssiTimer();
    void stopRssiTimer();
    /// The connection is over: no more timers, and the writer hears the device is gone.
    void linkDown();
    void route(const QString& line);
    /// The number of writes made.
    int writePieces(const QByteArray& bytes, platform::BleTransport::WriteMode mode);

    std::unique_ptr<platform::BleTransport> m_transport;
    common::Clock& m_clock;
    std::map<int, std::function<void()>> m_observers;
    int m_nextObserver = 1;

    bool m_started = false;
    bool m_stopped = false;
    bool m_connected = false;
    bool m_linked = false; // a peripheral is connected at the radio level, or being connected
    int m_rssi = 0;
    std::optional<platform::BlePeripheral> m_peripheral;
    bool m_rssiUnavailableLogged = false;

    LineAssembler m_lines;
    QByteArray m_audioBuffer;
    bool m_receivingAudio = false;

    std::optional<common::Clock::TimerId> m_retryTimer;
    std::optional<common::Clock::TimerId> m_rssiTimer;
    OutgoingLines m_outgoing { m_clock };

    DeviceLineWriter m_writer { *this, m_clock };

    // Last: the transport's signals and the carried-over sends end with it, before anything else goes.
    std::unique_ptr<QObject> m_context = std::make_unique<QObject>();
};

} // namespace murmeli::device
