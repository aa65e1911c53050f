#include "main/voice/enhance/SpeechEnhancerFrame.h"

#include <cmath>
#include <limits>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "main/voice/context/STTContext.h"

namespace murmeli::voice {

namespace {

QString stringOr(const QJsonObject& object, const char* key, const QString& fallback)
{
    const QJsonValue value = object.value(QLatin1String(key));
    return value.isString() ? value.toString() : fallback;
}

int wholeNumberOr(const QJsonObject& object, const char* key, int fallback)
{
    const QJsonValue value = object.value(QLatin1String(key));
    if (!value.isDouble()) {
        return fallback;
    }
    const double number = value.toDouble();
    if (number != std::trunc(number) || number < std::numeric_limits<int>::min()
        || number > std::numeric_limits<int>::max()) {
        return fallback;
    }
    return static_cast<int>(number);
}

} // namespace

std::optional<QString> SpeechEnhancerFrame::encodeRequest(const QString& rawText, int durationMs,
    const QMap<QString, int>& hotwords, const QString& locale, const std::optional<QString>& promptOverride)
{
    QJsonObject object;
    object.insert(QStringLiteral("type"), QStringLiteral("enhance.request"));
    object.insert(QStringLiteral("raw_text"), rawText);
    object.insert(QStringLiteral("duration_ms"), durationMs);
    object.insert(
        QStringLiteral("hotwords"), QJsonArray::fromStringList(STTContext::rankHotwords(hotwords, maxHotwords)));
    object.insert(QStringLiteral("locale"), locale);
    if (promptOverride && !promptOverride->isEmpty()) {
        object.insert(QStringLiteral("prompt_template"), *promptOverride);
    }
    const QByteArray json = QJsonDocument(object).toJson(QJsonDocument::Compact);
    if (json.isEmpty()) {
        return std::nullopt;
    }
    return QString::fromUtf8(json);
}

SpeechEnhancerFrame::Decoded SpeechEnhancerFrame::decode(const QString& text)
{
    QJsonParseError error {};
    const QJsonDocument document = QJsonDocument::fromJson(text.toUtf8(), &error);
    if (error.error != QJsonParseError::NoError || !document.isObject()) {
        return Ignore {};
    }
    const QJsonObject object = document.object();
    const QJsonValue type = object.value(QStringLiteral("type"));
    if (!type.isString()) {
        return Ignore {};
    }
    const QString typeName = type.toString();
    if (typeName == QLatin1String("final.enhanced")) {
        Enhanced enhanced { stringOr(object, "raw_text", {}), stringOr(object, "enhanced_text", {}),
            stringOr(object, "model", {}), wholeNumberOr(object, "latency_ms", 0) };
        if (enhanced.enhanced.isEmpty()) {
            return Ignore {};
        }
        return enhanced;
    }
    if (typeName == QLatin1String("enhance.error") || typeName == QLatin1String("final.enhanced.error")) {
        return Error { stringOr(object, "raw_text", {}), stringOr(object, "reason", QStringLiteral("unknown")),
            stringOr(object, "fallback", QStringLiteral("use_raw")) };
    }
    return Ignore {};
}

bool SpeechEnhancerFrame::endsExchange(const QString& text)
{
    return text.contains(QLatin1String("\"final.enhanced\"")) || text.contains(QLatin1String("\"enhance.error\""));
}

} // namespace murmeli::voice
