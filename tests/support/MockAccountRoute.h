#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include "tests/support/MockCloudWorker.h"

namespace murmeli::test {

/// The worker's account endpoint "/account": answers a GET with the account's e-mail and minutes, or as the script
/// says, and keeps the bearer of every query.
class MockAccountRoute final {
public:
    static constexpr auto path = "/account";

    struct Script final {
        int status = 200;
        /// The body sent; by default the account below as the worker writes it.
        QByteArray body;
        QString email = QStringLiteral("dev@example.org");
        int minutesLeft = 118;
    };

    explicit MockAccountRoute(MockCloudWorker& worker);

    Script& script() { return m_script; }
    const QStringList& bearerTokens() const { return m_bearerTokens; }
    const QList<QByteArray>& methods() const { return m_methods; }

private:
    Script m_script;
    QStringList m_bearerTokens;
    QList<QByteArray> m_methods;
};

} // namespace murmeli::test
