#pragma once

#include <functional>
#include <memory>

#include "main/voice/enhance/EnhanceTransport.h"

namespace murmeli::common {
class Clock;
}

namespace murmeli::platform {
class NetworkSession;
}

namespace murmeli::voice {

/// The polish's exchange with the worker: one fresh WebSocket to "/ws/transcribe" per request, the request sent as
/// one text message, the first reply that names "final.enhanced" or "enhance.error" taken, everything else skipped.
/// Whatever happens first of that reply, a failure or the time limit ends the exchange and closes the socket with
/// 1000; exchanges share nothing, so two takes polished at once use two sockets.
class EnhanceSocketTransport final : public EnhanceTransport {
public:
    /// The session sockets are opened from, read at each request so a changed proxy applies to the next one.
    using SessionSource = std::function<std::shared_ptr<platform::NetworkSession>()>;

    static constexpr auto path = "/ws/transcribe";

    /// clock bounds each exchange and must outlive every request.
    EnhanceSocketTransport(SessionSource session, common::Clock& clock);

    QCoro::Task<std::optional<QString>> send(
        QString requestJson, QString workerURL, QString token, int timeoutMs) override;

private:
    // A member rather than a type of the .cpp's own: send()'s coroutine frame holds one.
    struct SocketCloser;

    SessionSource m_session;
    common::Clock& m_clock;
};

} // namespace murmeli::voice
