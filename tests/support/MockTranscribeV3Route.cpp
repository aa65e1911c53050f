#include "tests/support/MockTranscribeV3Route.h"

#include <algorithm>

#include <QJsonDocument>
#include <QPointer>
#include <QTimer>

#include "tests/support/MockSocketRoutes.h"

namespace murmeli::test {

MockTranscribeV3Route::MockTranscribeV3Route(MockCloudWorker& worker) : m_worker(worker)
{
    m_worker.registerWebSocketRoute(
        QString::fromLatin1(path), [this](MockWebSocketConnection& connection) { attach(connection); },
        mockroutes::bearerUpgradeGate([this] { return m_script.token; }, m_refused));
}

QStringList MockTranscribeV3Route::violations() const
{
    return mockroutes::violations(m_clients);
}

void MockTranscribeV3Route::attach(MockWebSocketConnection& connection)
{
    mockroutes::addClient<Client>(
        m_clients, connection, [this](Client& client, const QString& text) { onText(client, text); },
        [this](Client& client, const QByteArray& data) { onBinary(client, data); });
}

void MockTranscribeV3Route::onText(Client& client, const QString& text)
{
    const QJsonDocument document = QJsonDocument::fromJson(text.toUtf8());
    if (!document.isObject()) {
        client.violations.append(QStringLiteral("text message that is not a JSON object: %1").arg(text));
        return;
    }
    const QJsonObject control = document.object();
    client.controls.push_back(control);
    const QString action = control.value("action").toString();
    if (client.finished) {
        client.violations.append(QStringLiteral("%1 after finish").arg(action));
    }
    if (!client.initialised && action != QLatin1String("init")) {
        client.violations.append(QStringLiteral("first message is %1, not init").arg(action));
    }
    if (action == QLatin1String("init")) {
        if (client.inTurn) {
            client.violations.append(QStringLiteral("init inside a turn"));
        }
        if (control.value("sample_rate").toInt() != sampleRate) {
            client.violations.append(QStringLiteral("init without sample_rate 16000"));
        }
        client.locale = control.value("locale").toString();
        if (client.locale.isEmpty()) {
            client.violations.append(QStringLiteral("init without a locale"));
        }
        const bool first = !client.initialised;
        client.initialised = true;
        if (first && m_script.sendReady) {
            later(client.connection, m_script.readyDelayMs, { { "type", "ready" } }, m_script.floodAfterReady);
        }
    } else if (action == QLatin1String("end_turn")) {
        endTurn(client);
    } else if (action == QLatin1String("finish")) {
        client.finished = true;
    } else {
        client.violations.append(QStringLiteral("unknown action %1").arg(action));
    }
}

void MockTranscribeV3Route::onBinary(Client& client, const QByteArray& data)
{
    if (!client.initialised) {
        client.violations.append(QStringLiteral("audio before init"));
    }
    if (client.finished) {
        client.violations.append(QStringLiteral("audio after finish"));
    }
    if (!client.inTurn) {
        client.turns.push_back({ client.locale, {}, 0, false, {} });
        client.inTurn = true;
    }
    Turn& turn = client.turns.back();
    turn.pieceSizes.push_back(data.size());
    turn.audioBytes += data.size();
    turn.audio.append(data);
    if (m_script.dropAfterPieces > 0 && std::ssize(turn.pieceSizes) == m_script.dropAfterPieces) {
        client.connection->drop();
        return;
    }
    const int every = m_script.partialEveryPieces;
    if (every > 0 && turn.pieceSizes.size() % every == 0) {
        // The running text grows by one word per partial, as a recogniser's does.
        const QStringList words = m_script.finalText.split(QLatin1Char(' '), Qt::SkipEmptyParts);
        const qsizetype shown
            = std::min<qsizetype>(words.size(), static_cast<qsizetype>(turn.pieceSizes.size()) / every);
        client.connection->sendJson({ { "type", "partial" }, { "text", words.mid(0, shown).join(QLatin1Char(' ')) } });
    }
}

void MockTranscribeV3Route::endTurn(Client& client)
{
    if (!client.inTurn) {
        client.turns.push_back({ client.locale, {}, 0, false, {} });
    }
    client.inTurn = false;
    Turn& turn = client.turns.back();
    turn.ended = true;
    // Every piece is a whole 3200 bytes but the last, which carries what was left when the take stopped.
    for (std::size_t i = 0; i < turn.pieceSizes.size(); ++i) {
        const bool last = i + 1 == turn.pieceSizes.size();
        if ((!last && turn.pieceSizes[i] != pieceBytes) || turn.pieceSizes[i] > pieceBytes) {
            client.violations.append(QStringLiteral("piece %1 of turn %2 has %3 bytes")
                                         .arg(i)
                                         .arg(client.turns.size())
                                         .arg(turn.pieceSizes[i]));
        }
    }
    if (!m_script.answerEndTurn) {
        return;
    }
    if (m_script.errorInsteadOfFinal) {
        later(client.connection, m_script.finalDelayMs,
            { { "type", "error" }, { "code", m_script.errorInsteadOfFinal->first },
                { "message", m_script.errorInsteadOfFinal->second } });
        return;
    }
    later(client.connection, m_script.finalDelayMs,
        { { "type", "final" }, { "text", m_script.finalText }, { "first_partial_ms", m_script.firstPartialMs },
            { "final_ms", m_script.finalMs } });
}

void MockTranscribeV3Route::later(MockWebSocketConnection* connection, int delayMs, const QJsonObject& message,
    std::optional<MockWebSocketConnection::Flood> flood)
{
    const bool isFinal = message.value("type") != QLatin1String("ready");
    auto send = [this, message, isFinal, flood](MockWebSocketConnection& to) {
        to.sendJson(message);
        m_finalsSent += isFinal ? 1 : 0;
        if (flood) {
            to.startFlood(*flood);
        }
    };
    if (delayMs <= 0) {
        send(*connection);
        return;
    }
    const QPointer<MockWebSocketConnection> guarded(connection);
    QTimer::singleShot(delayMs, connection, [guarded, send] {
        if (guarded) {
            send(*guarded);
        }
    });
}

} // namespace murmeli::test
