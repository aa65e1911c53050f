#pragma once

#include <optional>

#include <QJsonObject>
#include <QString>

namespace murmeli::voice {

/// The settings file's content: the settings that the settings window does not offer.
struct AppSettings {
    static constexpr auto versionKey = "version";
    static constexpr auto enhanceKey = "enhance";

    /// The text polish's settings, the file's "enhance" object.
    struct EnhanceSettings {
        static constexpr auto promptTemplateKey = "prompt_template";

        /// Sent with each polish request when present and not empty; nothing in it is interpreted here.
        std::optional<QString> promptTemplate;

        bool operator==(const EnhanceSettings&) const = default;
    };

    /// The file's layout version; kept as read, nothing depends on it.
    qint64 version = 1;
    EnhanceSettings enhance;

    /// Version 1 and no prompt template: what a missing or unusable file gives.
    static AppSettings defaults() { return {}; }

    /// The file's JSON: "version" and "enhance" always, "prompt_template" only when there is a template.
    QJsonObject toJson() const;

    bool operator==(const AppSettings&) const = default;
};

} // namespace murmeli::voice
