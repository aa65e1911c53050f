#pragma once

#include <optional>

#include <QByteArray>
#include <QDateTime>
#include <QString>

namespace murmeli::app {

/// One push-to-talk take as the push-to-talk log keeps it: when, how it was recorded and recognised, what started
/// it, and how it ended. The text itself is never kept, only its length.
struct PTTSessionLog final {
    /// What started a take.
    static constexpr auto triggerF13 = "f13";
    static constexpr auto triggerCustomHotkey = "custom_hotkey";
    static constexpr auto triggerFnDoubleTap = "fn_double_tap";
    static constexpr auto triggerPanel = "panel";
    static constexpr auto triggerDevice = "ble";

    QDateTime start;
    QDateTime end;
    /// The recognition backend actually used.
    QString backend;
    /// "local" (this computer's microphone) or "ble" (the device's).
    QString micSource;
    bool streaming = false;
    QString trigger;
    /// Characters of the final transcript.
    int finalTextLength = 0;
    bool success = false;
    std::optional<QString> error;

    /// The record as one compact JSON object, without a line break.
    QByteArray toJsonLine() const;
    bool operator==(const PTTSessionLog&) const = default;
};

} // namespace murmeli::app
