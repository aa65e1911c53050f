#include "tests/support/MockSocketRoutes.h"

namespace murmeli::test::mockroutes {

MockCloudWorker::UpgradeGate bearerUpgradeGate(std::function<QString()> token, int& refused)
{
    return [token = std::move(token), &refused](const MockHttpRequest& request) -> std::optional<MockHttpReply> {
        const QString bearer = request.bearerToken();
        const QString required = token();
        if (bearer.isEmpty() || (!required.isEmpty() && bearer != required)) {
            ++refused;
            return MockHttpReply::json(401, { { "error", "unauthorized" } });
        }
        return std::nullopt;
    };
}

} // namespace murmeli::test::mockroutes
