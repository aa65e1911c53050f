#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include <QJsonObject>
#include <QString>
#include <QStringList>

#include "tests/support/MockCloudWorker.h"

namespace murmeli::test {

/// The worker's older socket endpoint "/ws/transcribe": the run-task recognition protocol (run-task, PCM pieces,
/// finish-task; task-started, result-generated, task-finished or task-failed) and the polish exchange
/// (enhance.request answered by final.enhanced or enhance.error). Takes a bearer on the upgrade and notes every
/// breach of either protocol it sees.
class MockRunTaskRoute final {
public:
    static constexpr auto path = "/ws/transcribe";
    static constexpr int pieceBytes = 3200;

    enum class EnhanceAnswer {
        Enhanced, ///< final.enhanced with enhancedTextFor(raw_text)
        Error, ///< enhance.error
        NestedError, ///< final.enhanced.error, whose type names neither reply a client waits for
        Silent, ///< no answer at all
    };

    struct Script final {
        QString token; // the bearer the upgrade must carry; "" takes any non-empty one
        // The polish exchange.
        EnhanceAnswer enhanceAnswer = EnhanceAnswer::Enhanced;
        QStringList framesBeforeAnswer; // sent first, as they are (progress frames and the like)
        int answerDelayMs = 0;
        // The recognition task.
        QStringList sentences { QStringLiteral("hello "), QStringLiteral("world") };
        std::optional<QString> taskFailure; // error_message of a task-failed instead of the sentences
        int partialEveryPieces = 0; // a running result (sentence not ended) per this many pieces; 0 sends none
        int dropAfterPieces = 0; // the connection is dropped without a close frame after this many pieces; 0 never
        bool answerFinishTask = true; // false: finish-task is read and never answered
        bool closeAfterFinished = false; // the worker closes the connection right after task-finished
    };

    /// One client connection as the endpoint saw it.
    struct Client final {
        MockWebSocketConnection* connection = nullptr;
        QString bearerToken;
        std::vector<QJsonObject> enhanceRequests;
        std::vector<QJsonObject> taskControls; // run-task and finish-task, in order
        QString taskId;
        std::vector<qsizetype> pieceSizes;
        QByteArray audio; // every audio byte, in arrival order
        bool taskFinished = false;
        QStringList violations;
    };

    /// The polished text the endpoint answers for raw: distinct per request, so concurrent exchanges can be told
    /// apart.
    static QString enhancedTextFor(const QString& raw) { return QStringLiteral("Polished: ") + raw; }

    explicit MockRunTaskRoute(MockCloudWorker& worker);

    Script& script() { return m_script; }
    /// Each audio frame as it arrives, after it was recorded.
    std::function<void(const Client& client, const QByteArray& data)> onAudio;
    const std::vector<std::unique_ptr<Client>>& clients() const { return m_clients; }
    Client* lastClient() const { return m_clients.empty() ? nullptr : m_clients.back().get(); }
    int refusedUpgrades() const { return m_refused; }
    /// Every client's protocol breaches, each prefixed with the client's index.
    QStringList violations() const;

private:
    void attach(MockWebSocketConnection& connection);
    void onText(Client& client, const QString& text);
    void onBinary(Client& client, const QByteArray& data);
    void answerEnhance(Client& client, const QJsonObject& request);
    void runTask(Client& client, const QJsonObject& control);
    void finishTask(Client& client, const QJsonObject& control);

    Script m_script;
    std::vector<std::unique_ptr<Client>> m_clients;
    int m_refused = 0;
};

} // namespace murmeli::test
