#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include <QString>

#include "main/common/Clock.h"
#include "main/common/Log.h"
#include "main/voice/streaming/Qwen3ASRStreamingSession.h"
#include "platform/net/NetworkSession.h"

namespace murmeli::voice {

/// The controller's hold on the long-lived streaming session: opens it when the user is signed in and streams
/// through the cloud, closes it, discards it so that the next open builds a fresh one (after a proxy change), and
/// reports its state changes. Main thread only.
class StreamingSessionKeeper final {
public:
    static constexpr auto endpointPath = "/ws/transcribe-v3";
    static constexpr qint64 disconnectNoticeIntervalMs = 30000;
    static constexpr auto disconnectNotice = "WS disconnected — next PTT will use legacy fallback (quality may differ)";

    /// What the keeper reads from the speech engine each time it opens a session.
    struct Providers final {
        std::function<QString()> token;
        std::function<QString()> effectiveBackendId;
        std::function<QString()> workerUrl;
        std::function<QString()> locale;
        /// The engine's socket session, through the current proxy.
        std::function<std::shared_ptr<platform::NetworkSession>()> networkSession;
    };

    StreamingSessionKeeper(Providers providers, common::Clock& clock);
    ~StreamingSessionKeeper();
    StreamingSessionKeeper(const StreamingSessionKeeper&) = delete;
    StreamingSessionKeeper& operator=(const StreamingSessionKeeper&) = delete;

    /// Opens (or reopens) the session when a token is held and the effective backend is cloud streaming.
    void openIfEligible();
    /// Closes the session; it stays the engine's session and can be opened again.
    void close();
    /// Lets go of the session and closes it, so the next openIfEligible() builds a new one.
    void discard();
    /// After the proxy setting changed: a new session through the new proxy, when eligible.
    void reopenAfterProxyChange();

    /// The engine's streaming session, or null when none was opened or it was discarded.
    voice::Qwen3ASRStreamingSession* session() const { return m_session.get(); }

    /// Each state change of the session, as its raw value (the "murmeliWSStateChanged" notification).
    std::function<void(const QString& stateRaw)> onStateChanged;
    common::LogSink onLog;

private:
    void install(voice::Qwen3ASRStreamingSession& session);
    void stateChanged(const voice::Qwen3ASRStreamingSession* session, voice::Qwen3ASRStreamingSession::State state);
    void retire(std::unique_ptr<voice::Qwen3ASRStreamingSession> session);
    void sweepRetired();
    void log(const QString& message, common::LogColor color);

    Providers m_providers;
    common::Clock& m_clock;
    std::unique_ptr<voice::Qwen3ASRStreamingSession> m_session;
    // Sessions let go of but still finishing their close; freed once idle, never from inside their own callbacks.
    std::vector<std::unique_ptr<voice::Qwen3ASRStreamingSession>> m_retired;
    std::optional<qint64> m_lastDisconnectNoticeMs;
};

} // namespace murmeli::voice
