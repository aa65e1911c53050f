#pragma once

#include <optional>
#include <utility>
#include <variant>

#include <QByteArray>
#include <QList>
#include <QPointer>
#include <QString>
#include <QUrl>

#include <QCoroTask>

class QNetworkAccessManager;

namespace murmeli::common {
class Clock;
}

namespace murmeli::cloud {

/// The one HTTP path to the cloud service: sends a request once and hands back the status, headers and body, or why
/// no HTTP answer came. Every request is bounded by its own time limit on the injected clock and by a reply size,
/// both enforced while the reply is read. Redirects are not followed: a 3xx is handed back as the reply it is, so a
/// bearer token never travels to an address the caller did not name. Shared by the account client, the gift-code
/// client and the speech service's upload, in the application and in tests alike.
///
/// Each request has a connection of its own, read on the caller's thread. Qt's network access manager reads a reply
/// head one byte per system call on its own thread with no bound on its size, and cannot be stopped while a server
/// keeps sending: the thread never gets back to the abort. So the manager given here lends only its proxy.
class CloudHttpClient final {
public:
    using Header = std::pair<QByteArray, QByteArray>;

    /// Account replies are a few hundred bytes; anything far larger is not the service talking.
    static constexpr qint64 maxReplyBytes = 1 << 20;

    struct Request final {
        QByteArray method;
        QUrl url;
        QList<Header> headers;
        /// Sent as it is; no body at all when absent.
        std::optional<QByteArray> body;
        qint64 timeoutMs = 15'000;
        /// A reply body larger than this ends the request as Oversized.
        qint64 maxReplyBytes = CloudHttpClient::maxReplyBytes;
    };

    struct Reply final {
        int status = 0;
        QList<Header> headers;
        QByteArray body;

        /// The value of the first header of that name, compared without case, or nullopt.
        std::optional<QByteArray> header(QByteArrayView name) const;
    };

    struct Failure final {
        enum class Kind {
            Transport, ///< no connection, reset, TLS, a reply that broke off: carries a description
            TimedOut, ///< the request's time limit ran out first; carries timedOutText
            NotHttp, ///< something answered, but not with an HTTP reply
            Oversized, ///< the reply ran past its size limit and was cut off
        };
        Kind kind = Kind::Transport;
        QString description;

        bool operator==(const Failure&) const = default;
    };

    using Outcome = std::variant<Reply, Failure>;

    /// The description of a request that ran out of time.
    static constexpr auto timedOutText = "The request timed out.";

    /// base followed directly by path (nothing added or removed between them) when that is an http(s) URL with a
    /// host; nullopt otherwise.
    static std::optional<QUrl> endpoint(const QString& base, const QString& path);

    /// Requests take network's proxy; time limits run on clock. Both must outlive every call.
    CloudHttpClient(QNetworkAccessManager& network, common::Clock& clock);

    QCoro::Task<Outcome> send(Request request);

private:
    QPointer<QNetworkAccessManager> m_network;
    common::Clock& m_clock;
};

} // namespace murmeli::cloud
