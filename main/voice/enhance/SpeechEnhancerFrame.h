#pragma once

#include <optional>
#include <variant>

#include <QMap>
#include <QString>
#include <QStringList>

namespace murmeli::voice {

/// The enhancement exchange's wire format: the request frame we send and the reply frames we read.
class SpeechEnhancerFrame final {
public:
    /// How many hotwords a request carries at most.
    static constexpr int maxHotwords = 30;

    struct Enhanced {
        QString rawText;
        QString enhanced;
        QString model;
        int latencyMs = 0;
        bool operator==(const Enhanced&) const = default;
    };
    struct Error {
        QString rawText;
        QString reason;
        QString fallback;
        bool operator==(const Error&) const = default;
    };
    struct Ignore {
        bool operator==(const Ignore&) const = default;
    };
    using Decoded = std::variant<Ignore, Enhanced, Error>;

    /// The "enhance.request" text frame; "prompt_template" only for a non-empty override. nullopt when it cannot be
    /// serialised.
    static std::optional<QString> encodeRequest(const QString& rawText, int durationMs,
        const QMap<QString, int>& hotwords, const QString& locale, const std::optional<QString>& promptOverride);

    /// A reply frame read leniently: missing or mistyped members take their defaults, unknown types are Ignore.
    static Decoded decode(const QString& text);

    /// Whether a reply text ends the exchange: it names "final.enhanced" or "enhance.error" in double quotes
    /// anywhere in the text. Looser than decode(), and on purpose not the same: "final.enhanced.error" does not end it.
    static bool endsExchange(const QString& text);
};

} // namespace murmeli::voice
