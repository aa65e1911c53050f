#include "main/hooks/status/SummaryExtractor.h"

#include <QJsonObject>
#include <QJsonValue>

#include "main/common/TextUtils.h"

namespace murmeli::hooks::SummaryExtractor {

namespace {

// The gear sign without a variation selector, so the prefix is exactly four bytes on the device.
QString toolPrefix()
{
    return QString(QChar(0x2699)) + QLatin1Char(' ');
}

// A tool's name as the device shows it: a control or invisible character in it shows as an escape instead of
// reordering or hiding the rest.
QString toolLine(const QString& name)
{
    return toolPrefix() + common::text::visible(name, common::text::Breaks::Escape);
}

// Walks the lines lazily: assistant text can be long and we only ever want the first one that shows something.
QString firstNonEmptyLine(const QString& text)
{
    qsizetype start = 0;
    while (start < text.size()) {
        qsizetype end = text.indexOf(QLatin1Char('\n'), start);
        const bool endsWithLineFeed = end >= 0;
        if (!endsWithLineFeed) {
            end = text.size();
        }
        qsizetype lineEnd = end;
        if (endsWithLineFeed && lineEnd > start && text.at(lineEnd - 1) == QLatin1Char('\r')) {
            --lineEnd;
        }
        const QString line = common::text::trimSpacesAndTabs(text.mid(start, lineEnd - start));
        if (!line.isEmpty()) {
            return line;
        }
        start = end + 1;
    }
    return {};
}

QString removingCharacters(QString text, QStringView characters)
{
    text.removeIf([characters](QChar c) { return characters.contains(c); });
    return text;
}

QString sanitizeFraming(const QString& text)
{
    return removingCharacters(text, u",|\r\n");
}

} // namespace

QString truncateUtf8Bytes(const QString& text, int maxBytes)
{
    return QString::fromUtf8(common::text::truncateUtf8(text, maxBytes));
}

std::optional<QString> extractSummaryFromPlainText(const QString& text)
{
    const QString line = firstNonEmptyLine(text);
    if (line.isEmpty()) {
        return std::nullopt;
    }
    return truncateUtf8Bytes(line, maxSummaryBytes);
}

std::optional<QString> toolSummary(const QString& name)
{
    const QString trimmed = name.trimmed();
    if (trimmed.isEmpty()) {
        return std::nullopt;
    }
    return truncateUtf8Bytes(toolLine(trimmed), maxSummaryBytes);
}

std::optional<QString> extractSummaryFromContentBlocks(const QJsonArray& blocks)
{
    // What the agent says describes its work better than which tool it reached for, wherever the text sits.
    for (const QJsonValue& value : blocks) {
        const QJsonObject block = value.toObject();
        const QJsonValue text = block.value(QLatin1String("text"));
        if (block.value(QLatin1String("type")).toString() != QLatin1String("text") || !text.isString()) {
            continue;
        }
        const QString line = firstNonEmptyLine(text.toString());
        if (!line.isEmpty()) {
            return truncateUtf8Bytes(line, maxSummaryBytes);
        }
    }
    for (const QJsonValue& value : blocks) {
        const QJsonObject block = value.toObject();
        const QJsonValue name = block.value(QLatin1String("name"));
        if (block.value(QLatin1String("type")).toString() != QLatin1String("tool_use") || !name.isString()
            || name.toString().isEmpty()) {
            continue;
        }
        return truncateUtf8Bytes(toolLine(name.toString()), maxSummaryBytes);
    }
    return std::nullopt;
}

QString buildEventPayload(const QString& type, const QString& data, const std::optional<QString>& summary)
{
    QString payload = sanitizeFraming(type);
    const QString cleanData = sanitizeFraming(data);
    if (!cleanData.isEmpty()) {
        payload += QLatin1Char(',') + cleanData;
    }
    if (!summary || summary->isEmpty()) {
        return payload;
    }
    // The summary is the last field, so a comma in it cannot split anything.
    const QString cleanSummary = truncateUtf8Bytes(removingCharacters(*summary, u"|\r\n"), maxSummaryBytes);
    if (cleanSummary.isEmpty()) {
        return payload;
    }
    return payload + QLatin1Char('|') + cleanSummary;
}

} // namespace murmeli::hooks::SummaryExtractor
