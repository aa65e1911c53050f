#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include <QString>

#include "main/common/Clock.h"
#include "main/common/Log.h"
#include "main/voice/streaming/Qwen3ASRStreamingSession.h"

namespace murmeli::platform {
class Defaults;
}

namespace murmeli::voice {

class SpeechEngine;

/// The speech engine's hold on its long-lived streaming session: opens it when the user is signed in and streams
/// through the cloud, closes it, discards it so that the next open builds a fresh one (after a proxy change), and
/// reports its state changes. Each open reads the engine as it is then: its token, effective backend, worker address
/// and socket session, and the effective locale of its defaults. Main thread only.
class StreamingSessionKeeper final {
public:
    static constexpr auto endpointPath = "/ws/transcribe-v3";
    static constexpr qint64 disconnectNoticeIntervalMs = 30000;
    static constexpr auto disconnectNotice = "WS disconnected — next PTT will use legacy fallback (quality may differ)";

    /// engine (the keeper's owner), the engine's defaults and clock must outlive the keeper.
    StreamingSessionKeeper(SpeechEngine& engine, const platform::Defaults& defaults, common::Clock& clock);
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

    SpeechEngine& m_engine;
    const platform::Defaults& m_defaults;
    common::Clock& m_clock;
    std::unique_ptr<voice::Qwen3ASRStreamingSession> m_session;
    // Sessions let go of but still finishing their close; freed once idle, never from inside their own callbacks.
    std::vector<std::unique_ptr<voice::Qwen3ASRStreamingSession>> m_retired;
    std::optional<qint64> m_lastDisconnectNoticeMs;
};

} // namespace murmeli::voice
