#include "tests/support/MockRunTaskRoute.h"

#include <QJsonDocument>
#include <QPointer>
#include <QTimer>

#include "tests/support/MockSocketRoutes.h"

namespace murmeli::test {

namespace {

QJsonObject taskEvent(const QString& event, const QString& taskId)
{
    return { { "header", QJsonObject { { "event", event }, { "task_id", taskId } } } };
}

QJsonObject resultEvent(const QString& taskId, const QString& text, bool ended)
{
    QJsonObject result = taskEvent(QStringLiteral("result-generated"), taskId);
    result.insert("payload",
        QJsonObject { { "output",
            QJsonObject { { "sentence", QJsonObject { { "text", text }, { "sentence_end", ended } } } } } });
    return result;
}

} // namespace

MockRunTaskRoute::MockRunTaskRoute(MockCloudWorker& worker)
{
    worker.registerWebSocketRoute(
        QString::fromLatin1(path), [this](MockWebSocketConnection& connection) { attach(connection); },
        mockroutes::bearerUpgradeGate([this] { return m_script.token; }, m_refused));
}

QStringList MockRunTaskRoute::violations() const
{
    return mockroutes::violations(m_clients);
}

void MockRunTaskRoute::attach(MockWebSocketConnection& connection)
{
    mockroutes::addClient<Client>(
        m_clients, connection, [this](Client& client, const QString& text) { onText(client, text); },
        [this](Client& client, const QByteArray& data) { onBinary(client, data); });
}

void MockRunTaskRoute::onText(Client& client, const QString& text)
{
    const QJsonDocument document = QJsonDocument::fromJson(text.toUtf8());
    if (!document.isObject()) {
        client.violations.append(QStringLiteral("text message that is not a JSON object: %1").arg(text));
        return;
    }
    const QJsonObject message = document.object();
    if (message.value("type") == QLatin1String("enhance.request")) {
        answerEnhance(client, message);
        return;
    }
    const QString action = message.value("header").toObject().value("action").toString();
    if (action == QLatin1String("run-task")) {
        runTask(client, message);
    } else if (action == QLatin1String("finish-task")) {
        finishTask(client, message);
    } else {
        client.violations.append(QStringLiteral("message of no known kind: %1").arg(text));
    }
}

void MockRunTaskRoute::onBinary(Client& client, const QByteArray& data)
{
    if (client.taskId.isEmpty()) {
        client.violations.append(QStringLiteral("audio before run-task"));
    }
    if (client.taskFinished) {
        client.violations.append(QStringLiteral("audio after finish-task"));
    }
    if (data.size() > pieceBytes) {
        client.violations.append(QStringLiteral("audio piece of %1 bytes").arg(data.size()));
    }
    client.pieceSizes.push_back(data.size());
    client.audio.append(data);
    if (onAudio) {
        onAudio(client, data);
    }
    const auto pieces = static_cast<int>(client.pieceSizes.size());
    if (m_script.partialEveryPieces > 0 && pieces % m_script.partialEveryPieces == 0) {
        // The first sentence as it would be heard so far: one more character per partial.
        const QString sentence = m_script.sentences.value(0);
        client.connection->sendJson(
            resultEvent(client.taskId, sentence.left(pieces / m_script.partialEveryPieces), false));
    }
    if (m_script.dropAfterPieces > 0 && pieces == m_script.dropAfterPieces) {
        client.connection->drop();
    }
}

void MockRunTaskRoute::answerEnhance(Client& client, const QJsonObject& request)
{
    client.enhanceRequests.push_back(request);
    for (const char* member : { "raw_text", "locale" }) {
        if (!request.value(QLatin1String(member)).isString()) {
            client.violations.append(QStringLiteral("enhance.request without a string %1").arg(member));
        }
    }
    if (!request.value("duration_ms").isDouble() || !request.value("hotwords").isArray()) {
        client.violations.append(QStringLiteral("enhance.request without duration_ms or hotwords"));
    }
    QStringList frames = m_script.framesBeforeAnswer;
    const QString raw = request.value("raw_text").toString();
    QJsonObject answer;
    switch (m_script.enhanceAnswer) {
    case EnhanceAnswer::Enhanced:
        answer = { { "type", "final.enhanced" }, { "raw_text", raw }, { "enhanced_text", enhancedTextFor(raw) },
            { "model", "mock-polish" }, { "latency_ms", 42 } };
        break;
    case EnhanceAnswer::Error:
        answer = { { "type", "enhance.error" }, { "raw_text", raw }, { "reason", "busy" }, { "fallback", "use_raw" } };
        break;
    case EnhanceAnswer::NestedError:
        answer = { { "type", "final.enhanced.error" }, { "raw_text", raw }, { "reason", "busy" } };
        break;
    case EnhanceAnswer::Silent:
        break;
    }
    if (!answer.isEmpty()) {
        frames.append(QString::fromUtf8(QJsonDocument(answer).toJson(QJsonDocument::Compact)));
    }
    const QPointer<MockWebSocketConnection> connection(client.connection);
    auto send = [connection, frames] {
        for (const QString& frame : frames) {
            if (!connection) {
                return;
            }
            connection->sendText(frame);
        }
    };
    if (m_script.answerDelayMs > 0) {
        QTimer::singleShot(m_script.answerDelayMs, client.connection, send);
    } else {
        send();
    }
}

void MockRunTaskRoute::runTask(Client& client, const QJsonObject& control)
{
    client.taskControls.push_back(control);
    const QJsonObject header = control.value("header").toObject();
    const QJsonObject payload = control.value("payload").toObject();
    const QJsonObject parameters = payload.value("parameters").toObject();
    if (!client.taskId.isEmpty()) {
        client.violations.append(QStringLiteral("a second run-task on one connection"));
    }
    client.taskId = header.value("task_id").toString();
    if (client.taskId.isEmpty() || header.value("streaming") != QLatin1String("duplex")) {
        client.violations.append(QStringLiteral("run-task without task_id or duplex streaming"));
    }
    if (payload.value("task") != QLatin1String("asr") || parameters.value("format") != QLatin1String("pcm")
        || parameters.value("sample_rate").toInt() != 16000) {
        client.violations.append(QStringLiteral("run-task not for 16 kHz PCM recognition"));
    }
    client.connection->sendJson(taskEvent(QStringLiteral("task-started"), client.taskId));
}

void MockRunTaskRoute::finishTask(Client& client, const QJsonObject& control)
{
    client.taskControls.push_back(control);
    if (control.value("header").toObject().value("task_id").toString() != client.taskId || client.taskId.isEmpty()) {
        client.violations.append(QStringLiteral("finish-task for another task"));
    }
    client.taskFinished = true;
    if (m_script.taskFailure) {
        QJsonObject failed = taskEvent(QStringLiteral("task-failed"), client.taskId);
        QJsonObject header = failed.value("header").toObject();
        header.insert("error_message", *m_script.taskFailure);
        failed.insert("header", header);
        client.connection->sendJson(failed);
        return;
    }
    if (!m_script.answerFinishTask) {
        return;
    }
    for (const QString& sentence : m_script.sentences) {
        client.connection->sendJson(resultEvent(client.taskId, sentence, true));
    }
    client.connection->sendJson(taskEvent(QStringLiteral("task-finished"), client.taskId));
    if (m_script.closeAfterFinished) {
        client.connection->close();
    }
}

} // namespace murmeli::test
