#pragma once

#include <optional>

#include <QJsonArray>
#include <QString>

/// One short, framing-safe line about what the agent is doing, for the device's event lines. Commas, vertical bars
/// and line breaks separate fields on the device link, so every part is cleaned and cut here.
namespace murmeli::hooks::SummaryExtractor {

/// The most UTF-8 bytes a summary may have.
inline constexpr int maxSummaryBytes = 80;

/// The first line with visible characters, trimmed of spaces and tabs and cut to maxSummaryBytes; nullopt without one.
std::optional<QString> extractSummaryFromPlainText(const QString& text);

/// The first text block's first visible line, else the first tool-use block's name (its controls and invisible
/// characters escaped) behind the tool sign, cut to maxSummaryBytes; nullopt when neither exists. Blocks that are not
/// objects are skipped.
std::optional<QString> extractSummaryFromContentBlocks(const QJsonArray& blocks);

/// The tool sign and the trimmed name with its controls and invisible characters escaped, cut to maxSummaryBytes;
/// nullopt for a blank name.
std::optional<QString> toolSummary(const QString& name);

/// The longest prefix of whole user-perceived characters that fits in maxBytes of UTF-8; "" for maxBytes < 1.
QString truncateUtf8Bytes(const QString& text, int maxBytes);

/// "type[,data][|summary]" with every separator taken out of the parts; commas may stay inside the summary.
QString buildEventPayload(const QString& type, const QString& data, const std::optional<QString>& summary);

} // namespace murmeli::hooks::SummaryExtractor
