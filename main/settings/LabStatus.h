#pragma once

#include <optional>

#include <QDateTime>
#include <QString>

#include "main/usage/CodexBarReaderStatus.h"

/// The Lab page's status badges, decided from what the page last read of the device link and the usage reader.
namespace murmeli::settings::LabStatus {

/// A badge's colour by what it tells.
enum class Tone { Active, Warn, Off };

struct Badge {
    QString label;
    Tone tone = Tone::Off;
    /// The status line under the usage switch; "" for none.
    QString subtitle;

    bool operator==(const Badge&) const = default;
};

/// The Bluetooth adapter's state as the device link reports it.
enum class Radio { Unknown, Resetting, Unsupported, Unauthorized, PoweredOff, PoweredOn };

/// What the device link reports.
struct DeviceLink {
    /// Started and not stopped since: it searches, connects and keeps the connection.
    bool running = false;
    bool connected = false;
    std::optional<QString> peripheralName;
    Radio radio = Radio::Unknown;
};

/// "Unavailable" without a link to ask or without Bluetooth here; "Off" while it does not run; else the connection or
/// the radio's state.
Badge device(const std::optional<DeviceLink>& link);

/// "Unavailable" without the application, "Off" with the switch off, else the reader's status; an active reader's
/// line gives the time of the last usage update in the locale's short form, "—" without one.
Badge usage(bool available, bool enabled, const usage::CodexBarReaderStatus& status,
    const std::optional<QDateTime>& lastUpdate);

} // namespace murmeli::settings::LabStatus
