#pragma once

#include <functional>
#include <memory>
#include <optional>

#include <QNetworkProxy>
#include <QString>
#include <QUrl>

#include <qcoro/qcorotask.h>

#include "main/common/Clock.h"
#include "main/common/Log.h"
#include "platform/defaults/Defaults.h"
#include "platform/net/NetworkSession.h"

namespace murmeli::voice {

/// Where a streaming take's socket goes and with what: the older streaming endpoint, the bearer and the model.
struct StreamingConfig final {
    QUrl url;
    QString authToken;
    QString model;

    bool operator==(const StreamingConfig&) const = default;
};

/// The speech engine's settings the streaming configuration is made from, read each time it is needed.
struct StreamingInputs final {
    QString effectiveBackendId;
    QString cloudToken;
    QString cloudWorkerUrl;
};

/// The WebSocket side of the speech engine: the user's WebSocket proxy (stored, checked), the one network session
/// every cloud socket of the voice pipeline is opened from, the streaming configuration, a socket opened ahead of a
/// take and the connection test the settings page runs after a proxy is saved. Main thread only.
class CloudSocketSession final {
public:
    static constexpr auto proxyHostKey = "wsProxyHost";
    static constexpr auto proxyPortKey = "wsProxyPort";
    static constexpr auto streamingPath = "/ws/transcribe";
    static constexpr int preconnectTimeoutMs = 30000;
    static constexpr int connectionTestTimeoutMs = 8000;
    /// A socket opened ahead of a take is handed over only while it is younger than this.
    static constexpr qint64 preconnectFreshMs = 10000;
    static constexpr quint16 normalClosure = 1000;
    static constexpr auto noConfigurationText = "No streaming backend configured (need cloud token or Aliyun key)";

    using InputsProvider = std::function<StreamingInputs()>;
    using SessionFactory = std::function<std::shared_ptr<platform::NetworkSession>(const QNetworkProxy& proxy)>;

    /// factory makes network sessions; empty means the platform's.
    CloudSocketSession(
        platform::Defaults& defaults, common::Clock& clock, InputsProvider inputs, SessionFactory factory = {});
    ~CloudSocketSession();
    CloudSocketSession(const CloudSocketSession&) = delete;
    CloudSocketSession& operator=(const CloudSocketSession&) = delete;

    const QString& proxyHost() const { return m_proxyHost; }
    int proxyPort() const { return m_proxyPort; }
    /// Whether sockets go through the proxy: a host and a port of at least 1.
    bool hasProxy() const { return !m_proxyHost.isEmpty() && m_proxyPort >= 1; }
    /// Checks and stores host and port as the proxy; returns why they were refused (then nothing changes), or nullopt.
    std::optional<QString> setProxy(const QString& host, int port);
    /// No proxy from now on: stores the empty host and port 0.
    void clearProxy();
    /// Reads the stored proxy once at start-up; a stored pair that fails the check is logged and not used.
    void loadProxySettings();

    /// The session every cloud socket of the voice pipeline is opened from: one through the proxy while one is set
    /// (kept until the proxy changes), else the direct one.
    std::shared_ptr<platform::NetworkSession> wsSession();
    /// The older endpoint's configuration, or nullopt unless the effective backend is cloud streaming, a token is
    /// held and the worker address makes a WebSocket address.
    std::optional<StreamingConfig> streamingConfig() const;
    bool canStreamingRecord() const { return streamingConfig().has_value(); }

    /// Opens the streaming socket ahead of a take (replacing one opened earlier); sends nothing on it.
    void preconnectIfNeeded();
    /// The socket opened ahead of a take while it is fresh, still open; a stale one is closed and nothing returned.
    std::unique_ptr<platform::WebSocket> takePreconnected();
    /// Opens a socket to the streaming endpoint and pings it: nullopt when the pong came back, else the error text.
    QCoro::Task<std::optional<QString>> testConnection();

    common::LogSink onLog;

private:
    void storeProxy(const QString& host, int port);

    platform::Defaults& m_defaults;
    common::Clock& m_clock;
    InputsProvider m_inputs;
    SessionFactory m_factory;
    QString m_proxyHost;
    int m_proxyPort = 0;
    std::shared_ptr<platform::NetworkSession> m_proxiedSession; // only ever a proxied one; dropped on a change
    std::shared_ptr<platform::NetworkSession> m_directSession;
    std::unique_ptr<platform::WebSocket> m_preconnected;
    std::optional<qint64> m_preconnectedAtMs;
};

} // namespace murmeli::voice
