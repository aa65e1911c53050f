#pragma once

#include <cstdint>
#include <optional>

#include <QByteArray>
#include <QString>

namespace murmeli::device {

/// The device's self-report, carried from its "SR:" reply. Every field keeps its default when the reply leaves it
/// out or gives it with another type; the counters' meaning is the firmware's.
struct DeviceStatus final {
    struct Battery final {
        /// Percent; -1 when not reported.
        int pct = -1;
        int mV = 0;
        int mA = 0;
        bool usb = false;

        friend bool operator==(const Battery&, const Battery&) = default;
    };
    struct System final {
        std::uint32_t up = 0;
        std::uint32_t heap = 0;

        friend bool operator==(const System&, const System&) = default;
    };
    struct Stats final {
        std::uint32_t appr = 0;
        std::uint32_t deny = 0;
        std::uint32_t vel = 0;
        std::uint32_t nap = 0;
        std::uint32_t lvl = 0;

        friend bool operator==(const Stats&, const Stats&) = default;
    };

    QString name;
    int sec = 0;
    Battery bat;
    System sys;
    Stats stats;

    /// A record from a JSON object; nullopt for anything that is not one.
    static std::optional<DeviceStatus> decode(const QByteArray& jsonData);
    /// A record from a whole "SR:" line; nullopt for another line or a reply that is not a JSON object.
    static std::optional<DeviceStatus> decodeSrLine(const QString& line);

    friend bool operator==(const DeviceStatus&, const DeviceStatus&) = default;
};

/// Why a status query ended without a record.
enum class DeviceStatusError { NotConnected, Timeout, MalformedResponse, Disconnected };

/// "notConnected", "timeout", "malformedResponse", "disconnected".
QString toString(DeviceStatusError error);

} // namespace murmeli::device
