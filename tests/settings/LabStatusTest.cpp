#include "main/settings/LabStatus.h"

#include <gtest/gtest.h>

#include <QLocale>

using namespace murmeli;
using settings::LabStatus::Badge;
using settings::LabStatus::DeviceLink;
using settings::LabStatus::Radio;
using settings::LabStatus::Tone;
using usage::CodexBarReaderStatus;

// The device badge: "Off" whenever the link does not run, whatever it last knew; a connection beats the radio.
TEST(LabStatusTest, TheDeviceBadgeFollowsTheLink)
{
    struct Row {
        std::optional<DeviceLink> link;
        QString label;
        Tone tone;
    };
    const Row rows[] = {
        { std::nullopt, "Unavailable", Tone::Off },
        { DeviceLink { false, true, QStringLiteral("murmeli-7"), Radio::PoweredOn }, "Off", Tone::Off },
        { DeviceLink { true, true, QStringLiteral("murmeli-7"), Radio::PoweredOn }, "Paired (murmeli-7)",
            Tone::Active },
        { DeviceLink { true, true, std::nullopt, Radio::PoweredOn }, "Paired (murmeli)", Tone::Active },
        // No Bluetooth service (BlueZ) or no adapter on this machine.
        { DeviceLink { true, false, std::nullopt, Radio::Unsupported }, "Unavailable", Tone::Off },
        { DeviceLink { true, false, std::nullopt, Radio::Unauthorized }, "Unauthorized", Tone::Warn },
        { DeviceLink { true, false, std::nullopt, Radio::PoweredOff }, "Bluetooth Off", Tone::Warn },
        { DeviceLink { true, false, std::nullopt, Radio::PoweredOn }, "Scanning…", Tone::Warn },
        { DeviceLink { true, false, std::nullopt, Radio::Resetting }, "Not Paired", Tone::Off },
        { DeviceLink { true, false, std::nullopt, Radio::Unknown }, "Not Paired", Tone::Off },
    };
    for (const Row& row : rows) {
        const Badge badge = settings::LabStatus::device(row.link);
        EXPECT_EQ(badge.label.toStdString(), row.label.toStdString());
        EXPECT_EQ(badge.tone, row.tone) << row.label.toStdString();
        EXPECT_TRUE(badge.subtitle.isEmpty());
    }
}

// The usage badge and its status line, first match: no application, switch off, then the reader's status.
TEST(LabStatusTest, TheUsageBadgeFollowsTheSwitchAndTheReader)
{
    const QDateTime at(QDate(2026, 3, 4), QTime(14, 5));
    const QString atText = QLocale().toString(at.time(), QLocale::ShortFormat);
    struct Row {
        bool available;
        bool enabled;
        CodexBarReaderStatus status;
        std::optional<QDateTime> lastUpdate;
        QString label;
        Tone tone;
        QString subtitle;
    };
    const Row rows[] = {
        { false, true, CodexBarReaderStatus::active(), at, "Unavailable", Tone::Off, "" },
        { true, false, CodexBarReaderStatus::active(), at, "Off", Tone::Off, "" },
        { true, true, CodexBarReaderStatus::error(2), at, "Error 2", Tone::Warn, "Reader error 2 — see activity log." },
        { true, true, CodexBarReaderStatus::idle(), at, "Starting…", Tone::Warn, "" },
        { true, true, CodexBarReaderStatus::active(), at, "Active", Tone::Active, "Last update: " + atText },
        { true, true, CodexBarReaderStatus::active(), std::nullopt, "Active", Tone::Active, "Last update: —" },
    };
    for (const Row& row : rows) {
        EXPECT_EQ(settings::LabStatus::usage(row.available, row.enabled, row.status, row.lastUpdate),
            (Badge { row.label, row.tone, row.subtitle }))
            << row.label.toStdString();
    }
    const Badge missing = settings::LabStatus::usage(true, true, CodexBarReaderStatus::notInstalled(), at);
    EXPECT_EQ(missing.label, QStringLiteral("Not installed"));
    EXPECT_TRUE(missing.subtitle.contains(QStringLiteral("codexbar"))) << "the hint names the tool";
}
