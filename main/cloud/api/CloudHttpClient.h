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

/// The account service's one HTTP path: sends a request once and hands back the status, headers and body, or why
/// no HTTP answer came. Every request is bounded by its own time limit on the injected clock and by a reply size.
/// Shared by the account client and the gift-code client, in the application and in tests alike.
class CloudHttpClient final {
public:
    using Header = std::pair<QByteArray, QByteArray>;

    struct Request final {
        QByteArray method;
        QUrl url;
        QList<Header> headers;
        /// Sent as it is; no body at all when absent.
        std::optional<QByteArray> body;
        qint64 timeoutMs = 15'000;
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
            Transport, ///< no connection, reset, TLS, time limit: carries a description
            NotHttp, ///< something answered, but not with an HTTP reply
            Oversized, ///< the reply ran past maxReplyBytes and was cut off
        };
        Kind kind = Kind::Transport;
        QString description;

        bool operator==(const Failure&) const = default;
    };

    using Outcome = std::variant<Reply, Failure>;

    /// Account replies are a few hundred bytes; anything far larger is not the service talking.
    static constexpr qint64 maxReplyBytes = 1 << 20;
    /// The description of a request that ran out of time.
    static constexpr auto timedOutText = "The request timed out.";

    /// base followed directly by path (nothing added or removed between them) when that is an http(s) URL with a
    /// host; nullopt otherwise.
    static std::optional<QUrl> endpoint(const QString& base, const QString& path);

    /// Requests go out through network; time limits run on clock. Both must outlive every call.
    CloudHttpClient(QNetworkAccessManager& network, common::Clock& clock);

    QCoro::Task<Outcome> send(Request request);

private:
    QPointer<QNetworkAccessManager> m_network;
    common::Clock& m_clock;
};

} // namespace murmeli::cloud
