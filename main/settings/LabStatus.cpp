#include "main/settings/LabStatus.h"

#include <QLocale>

namespace murmeli::settings::LabStatus {

namespace {

const QString unavailable = QStringLiteral("Unavailable");

} // namespace

Badge device(const std::optional<DeviceLink>& link)
{
    if (!link) {
        return { unavailable, Tone::Off, {} };
    }
    if (!link->running) {
        return { QStringLiteral("Off"), Tone::Off, {} };
    }
    if (link->connected) {
        return { QStringLiteral("Paired (%1)").arg(link->peripheralName.value_or(QStringLiteral("murmeli"))),
            Tone::Active, {} };
    }
    switch (link->radio) {
    case Radio::Unsupported:
        // Here that means no Bluetooth service (BlueZ) or no adapter, not a radio that cannot do the job.
        return { unavailable, Tone::Off, {} };
    case Radio::Unauthorized:
        return { QStringLiteral("Unauthorized"), Tone::Warn, {} };
    case Radio::PoweredOff:
        return { QStringLiteral("Bluetooth Off"), Tone::Warn, {} };
    case Radio::PoweredOn:
        return { QStringLiteral("Scanning…"), Tone::Warn, {} };
    case Radio::Unknown:
    case Radio::Resetting:
        break;
    }
    return { QStringLiteral("Not Paired"), Tone::Off, {} };
}

Badge usage(
    bool available, bool enabled, const usage::CodexBarReaderStatus& status, const std::optional<QDateTime>& lastUpdate)
{
    if (!available) {
        return { unavailable, Tone::Off, {} };
    }
    if (!enabled) {
        return { QStringLiteral("Off"), Tone::Off, {} };
    }
    using Case = usage::CodexBarReaderStatus::Case;
    switch (status.kind()) {
    case Case::Error:
        return { QStringLiteral("Error %1").arg(status.code()), Tone::Warn,
            QStringLiteral("Reader error %1 — see activity log.").arg(status.code()) };
    case Case::Idle:
        return { QStringLiteral("Starting…"), Tone::Warn, {} };
    case Case::Active:
        return { QStringLiteral("Active"), Tone::Active,
            QStringLiteral("Last update: ")
                + (lastUpdate ? QLocale().toString(lastUpdate->time(), QLocale::ShortFormat) : QStringLiteral("—")) };
    case Case::NotInstalled:
        break;
    }
    return { QStringLiteral("Not installed"), Tone::Off,
        QStringLiteral("codexbar is not on your PATH — install its CLI from codexbar.app, then turn this on again.") };
}

} // namespace murmeli::settings::LabStatus
