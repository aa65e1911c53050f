#pragma once

#include <optional>
#include <vector>

#include <QByteArray>
#include <QJsonObject>
#include <QString>
#include <QStringList>

#include "tests/support/MockCloudWorker.h"

namespace murmeli::test {

/// The worker's batch upload endpoint "/transcribe": reads the multipart form on its own terms (not with the
/// client's code), keeps what each upload carried and answers as the script says.
class MockTranscribeRoute final {
public:
    static constexpr auto path = "/transcribe";

    enum class Answer {
        Transcript, ///< 200 with {"transcript": script.transcript}
        Unauthorized, ///< 401 with script.authBody
        QuotaExceeded, ///< 402
        ServerError, ///< 500
        NoTranscript, ///< 200 with a JSON object that lacks "transcript"
        Hang, ///< answers only after script.hangMs, long past any client's limit
    };

    struct Script final {
        Answer answer = Answer::Transcript;
        QString transcript = QStringLiteral("mock transcript");
        /// The "X-Minutes-Remaining" header; nullopt sends none.
        std::optional<QByteArray> minutesRemaining = QByteArray("37");
        QByteArray authBody = R"({"error":"token revoked"})";
        int hangMs = 10 * 60 * 1000;
    };

    /// One part of a multipart form.
    struct Part final {
        QString name;
        std::optional<QString> filename;
        QByteArray contentType;
        QByteArray data;
    };

    /// One upload as the endpoint read it.
    struct Upload final {
        QString bearerToken;
        QByteArray contentType;
        QString boundary;
        std::vector<Part> parts;
        /// What did not follow the multipart format; empty for a well-formed form.
        QStringList violations;

        const Part* part(const QString& name) const;
        /// The "context" part read as a JSON object; empty when it is not one.
        QJsonObject context() const;
    };

    explicit MockTranscribeRoute(MockCloudWorker& worker);

    Script& script() { return m_script; }
    const std::vector<Upload>& uploads() const { return m_uploads; }

    /// Splits a multipart/form-data body framed by boundary.
    static Upload parseForm(const QByteArray& body, const QString& boundary);

private:
    MockHttpReply answer(const MockHttpRequest& request);

    Script m_script;
    std::vector<Upload> m_uploads;
};

} // namespace murmeli::test
