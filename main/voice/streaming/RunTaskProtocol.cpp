#include "main/voice/streaming/RunTaskProtocol.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QUuid>

namespace murmeli::voice::RunTaskProtocol {

namespace {

QString compact(const QJsonObject& object)
{
    return QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact));
}

QJsonObject header(const char* action, const QString& taskId)
{
    return { { "action", QLatin1String(action) }, { "task_id", taskId }, { "streaming", "duplex" } };
}

} // namespace

QString newTaskId()
{
    return QUuid::createUuid().toString(QUuid::WithoutBraces).remove(QLatin1Char('-')).toUpper();
}

std::optional<QString> runTask(const QString& taskId, const QString& model, const QMap<QString, int>& hotwords)
{
    QJsonObject parameters { { "format", "pcm" }, { "sample_rate", sampleRate },
        { "punctuation_prediction_enabled", true }, { "inverse_text_normalization_enabled", true } };
    if (!hotwords.isEmpty()) {
        QJsonObject table;
        for (auto it = hotwords.cbegin(); it != hotwords.cend(); ++it) {
            table.insert(it.key(), it.value());
        }
        parameters.insert("hotword", compact(table));
    }
    const QJsonObject payload { { "task_group", "audio" }, { "task", "asr" }, { "function", "recognition" },
        { "model", model }, { "parameters", parameters }, { "input", QJsonObject() } };
    const QString text = compact({ { "header", header("run-task", taskId) }, { "payload", payload } });
    if (text.isEmpty()) {
        return std::nullopt;
    }
    return text;
}

QString finishTask(const QString& taskId)
{
    return compact(
        { { "header", header("finish-task", taskId) }, { "payload", QJsonObject { { "input", QJsonObject() } } } });
}

Event parseEvent(const QString& frame)
{
    const QJsonDocument document = QJsonDocument::fromJson(frame.toUtf8());
    const QJsonValue head = document.object().value("header");
    const QJsonValue event = head.toObject().value("event");
    if (!document.isObject() || !head.isObject() || !event.isString()) {
        return {};
    }
    const QString name = event.toString();
    if (name == QLatin1String("result-generated")) {
        const QJsonValue payload = document.object().value("payload");
        const QJsonValue output = payload.toObject().value("output");
        const QJsonValue sentence = output.toObject().value("sentence");
        const QJsonValue text = sentence.toObject().value("text");
        if (!payload.isObject() || !output.isObject() || !sentence.isObject() || !text.isString()) {
            return {};
        }
        const QJsonValue ended = sentence.toObject().value("sentence_end");
        return { Event::Kind::Result, text.toString(), ended.isBool() && ended.toBool() };
    }
    if (name == QLatin1String("task-finished")) {
        return { Event::Kind::Finished, {}, false };
    }
    if (name == QLatin1String("task-failed")) {
        const QJsonValue reason = head.toObject().value("error_message");
        return { Event::Kind::Failed, reason.isString() ? reason.toString() : QStringLiteral("ASR error"), false };
    }
    return {};
}

QString Transcript::add(const QString& sentence, bool ended)
{
    const QString running = finalText() + sentence;
    if (ended) {
        m_ended.append(sentence);
    }
    return running;
}

} // namespace murmeli::voice::RunTaskProtocol
