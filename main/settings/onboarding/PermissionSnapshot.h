#pragma once

#include <optional>

#include <QString>

namespace murmeli::settings {

/// How far murmeli holds one of the things it needs from the desktop.
enum class PermissionState {
    Granted,
    Denied,
    /// Nothing has answered yet.
    NotDetermined,
    /// This desktop has nothing to grant here.
    NotNeeded,
};

/// "granted", "denied", "notDetermined", "notNeeded".
QString toString(PermissionState state);
/// The state whose raw value matches exactly; nullopt for any other text.
std::optional<PermissionState> permissionStateFromString(const QString& raw);

/// One permission's state and what the probe said about it (the device found, or why it is refused).
struct Permission final {
    PermissionState state = PermissionState::NotDetermined;
    QString detail;

    bool operator==(const Permission&) const = default;
};

/// The onboarding's picture of the permissions: typing into other windows, automating other applications, the
/// microphone and the on-device recogniser's model.
struct PermissionSnapshot final {
    Permission accessibility;
    Permission automation;
    Permission microphone;
    Permission speechRecognition;

    /// Typing into other windows works and automation is granted or not needed; the microphone and the
    /// recogniser do not take part.
    bool allGranted() const;

    bool operator==(const PermissionSnapshot&) const = default;
};

} // namespace murmeli::settings
