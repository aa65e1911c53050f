#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <utility>

#include <QLatin1String>
#include <QString>

namespace murmeli::common {

/// A fixed table of enum cases and their raw texts.
template <typename E, std::size_t N> using RawValueTable = std::array<std::pair<E, const char*>, N>;

/// The case's raw text; "" for a case the table does not hold.
template <typename E, std::size_t N> QString rawValueOf(const RawValueTable<E, N>& table, E value)
{
    for (const auto& [each, raw] : table) {
        if (each == value) {
            return QString::fromLatin1(raw);
        }
    }
    return {};
}

/// The case whose raw text matches exactly (case-sensitive); nullopt for any other text.
template <typename E, std::size_t N>
std::optional<E> caseOfRawValue(const RawValueTable<E, N>& table, const QString& raw)
{
    for (const auto& [each, text] : table) {
        if (raw == QLatin1String(text)) {
            return each;
        }
    }
    return std::nullopt;
}

} // namespace murmeli::common
