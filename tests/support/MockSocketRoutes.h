#pragma once

#include <functional>
#include <memory>
#include <vector>

#include <QString>
#include <QStringList>

#include "tests/support/MockCloudWorker.h"

/// What the mock worker's WebSocket routes share: the bearer check on the upgrade and the per-client records.
namespace murmeli::test::mockroutes {

/// Refuses an upgrade without a bearer, or with one other than token() when that is not empty, with a 401 carrying
/// {"error":"unauthorized"}; each refusal is counted in refused, which must outlive the route.
MockCloudWorker::UpgradeGate bearerUpgradeGate(std::function<QString()> token, int& refused);

/// Records connection as the route's newest client (its connection and bearer set) and hands each of its messages
/// to onText and onBinary with that client.
template <typename Client>
Client& addClient(std::vector<std::unique_ptr<Client>>& clients, MockWebSocketConnection& connection,
    std::function<void(Client&, const QString&)> onText, std::function<void(Client&, const QByteArray&)> onBinary)
{
    auto client = std::make_unique<Client>();
    client->connection = &connection;
    client->bearerToken = connection.request().bearerToken();
    Client& added = *client;
    clients.push_back(std::move(client));
    connection.onText = [onText, &added](const QString& text) { onText(added, text); };
    connection.onBinary = [onBinary, &added](const QByteArray& data) { onBinary(added, data); };
    return added;
}

/// Every client's protocol breaches, each prefixed with the client's index.
template <typename Client> QStringList violations(const std::vector<std::unique_ptr<Client>>& clients)
{
    QStringList all;
    for (std::size_t i = 0; i < clients.size(); ++i) {
        for (const QString& violation : clients[i]->violations) {
            all.append(QStringLiteral("client %1: %2").arg(i).arg(violation));
        }
    }
    return all;
}

} // namespace murmeli::test::mockroutes
