#pragma once

#include <optional>
#include <vector>

#include <QByteArray>

#include "main/usage/CodexBarProviderUsage.h"

namespace murmeli::usage {

/// Reads what `codexbar usage --format json` prints: an array of provider payloads (older releases printed a single
/// payload object).
class CodexBarOutputParser final {
public:
    /// The most provider rows taken from one run; the rest are ignored.
    static constexpr int maxProviders = 32;
    /// The most extra windows kept per provider.
    static constexpr int maxExtraWindows = 16;
    /// Texts from the tool are cut to this many characters.
    static constexpr int maxTextChars = 200;

    /// One row per payload that names a provider and carries usage, in output order; nullopt when the text is not
    /// the tool's JSON or holds no such payload.
    static std::optional<std::vector<CodexBarProviderUsage>> parse(const QByteArray& output);
};

} // namespace murmeli::usage
