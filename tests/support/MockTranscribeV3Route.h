#pragma once

#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include <QJsonObject>
#include <QString>
#include <QStringList>

#include "tests/support/MockCloudWorker.h"

namespace murmeli::test {

/// The streaming recogniser's "/ws/transcribe-v3" endpoint of the mock cloud worker: takes a bearer, expects init
/// first, reads turns of 3200-byte PCM pieces ended by end_turn, answers ready, partials and a final (or an error),
/// and notes every breach of the protocol it sees.
class MockTranscribeV3Route final {
public:
    static constexpr auto path = "/ws/transcribe-v3";
    static constexpr int pieceBytes = 3200;
    static constexpr int sampleRate = 16000;

    /// How the endpoint answers; tests change it between turns as they need.
    struct Script final {
        QString token; // the bearer the upgrade must carry; "" takes any non-empty one
        bool sendReady = true;
        int readyDelayMs = 0;
        int partialEveryPieces = 5; // one partial per this many pieces; 0 sends none
        QString finalText = QStringLiteral("hello from the mock worker");
        int finalDelayMs = 0;
        qint64 firstPartialMs = 120;
        qint64 finalMs = 340;
        bool answerEndTurn = true; // false: the final never comes
        std::optional<std::pair<QString, QString>> errorInsteadOfFinal; // code and message
        int dropAfterPieces = 0; // the connection is dropped without a close frame after this many pieces; 0 never
        std::optional<MockWebSocketConnection::Flood> floodAfterReady; // a hostile worker: ready, then this flood
    };

    struct Turn final {
        QString locale;
        std::vector<qsizetype> pieceSizes;
        qint64 audioBytes = 0;
        bool ended = false;
        QByteArray audio; // every audio byte of the turn, in arrival order
    };

    /// One client connection as the endpoint saw it.
    struct Client final {
        MockWebSocketConnection* connection = nullptr;
        QString bearerToken;
        std::vector<QJsonObject> controls; // the JSON text messages, in order
        std::vector<Turn> turns;
        QStringList violations;
        QString locale;
        bool initialised = false;
        bool finished = false;
        bool inTurn = false;
    };

    explicit MockTranscribeV3Route(MockCloudWorker& worker);

    Script& script() { return m_script; }
    /// Every accepted client, oldest first.
    const std::vector<std::unique_ptr<Client>>& clients() const { return m_clients; }
    Client* lastClient() const { return m_clients.empty() ? nullptr : m_clients.back().get(); }
    /// Every client's protocol breaches, each prefixed with the client's index.
    QStringList violations() const;
    int refusedUpgrades() const { return m_refused; }
    /// The final (or error) frames sent so far, over all clients.
    int finalsSent() const { return m_finalsSent; }

private:
    void attach(MockWebSocketConnection& connection);
    void onText(Client& client, const QString& text);
    void onBinary(Client& client, const QByteArray& data);
    void endTurn(Client& client);
    /// Sends message after delayMs, then starts flood when one is given.
    void later(MockWebSocketConnection* connection, int delayMs, const QJsonObject& message,
        std::optional<MockWebSocketConnection::Flood> flood = std::nullopt);

    MockCloudWorker& m_worker;
    Script m_script;
    std::vector<std::unique_ptr<Client>> m_clients;
    int m_refused = 0;
    int m_finalsSent = 0;
};

} // namespace murmeli::test
