#include "tests/support/MockAccountRoute.h"

#include <QJsonDocument>
#include <QJsonObject>

namespace murmeli::test {

MockAccountRoute::MockAccountRoute(MockCloudWorker& worker)
{
    worker.registerHttpRoute(QString::fromLatin1(path), [this](const MockHttpRequest& request) {
        m_bearerTokens.append(request.bearerToken());
        m_methods.append(request.method);
        MockHttpReply reply;
        reply.status = m_script.status;
        reply.body = !m_script.body.isEmpty()
            ? m_script.body
            : QJsonDocument(QJsonObject { { "email", m_script.email }, { "minutes_left", m_script.minutesLeft } })
                  .toJson(QJsonDocument::Compact);
        reply.headers.append(std::pair<QByteArray, QByteArray>("Content-Type", "application/json"));
        return reply;
    });
}

} // namespace murmeli::test
