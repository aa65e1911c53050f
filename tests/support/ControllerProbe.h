#pragma once

#include <functional>
#include <memory>
#include <utility>

#include "main/app/AppController.h"

namespace murmeli::test {

/// What tests, the desktop tests and the benchmarks reach of a controller beyond what the application uses: the
/// components it owns and keeps to itself.
class ControllerProbe final {
public:
    static hooks::HookServer& hookServer(app::AppController& controller) { return *controller.m_hookServer; }
    static hooks::PendingRequestTable& pendingTable(app::AppController& controller)
    {
        return *controller.m_pendingTable;
    }
    static hooks::SessionRegistry& sessionRegistry(app::AppController& controller)
    {
        return controller.m_sessions.registry();
    }
    static hooks::SessionAgentFinder& agentFinder(app::AppController& controller)
    {
        return controller.m_sessions.agentFinder();
    }
    static hooks::ProcessDiscovery& processDiscovery(app::AppController& controller)
    {
        return controller.m_processDiscovery;
    }
    static const notch::PanelSessionSync& panelSync(app::AppController& controller)
    {
        return controller.m_sessions.panelSync();
    }
    static const voice::PTTSessionRouter& pttRouter(app::AppController& controller)
    {
        return controller.m_deviceLink.pttRouter();
    }
    static voice::AppSettingsCache& appSettings(app::AppController& controller) { return controller.m_appSettings; }

    /// The bridge that shows approvals away from the panel, in place of the device's.
    static void setApprovalBridge(app::AppController& controller, std::shared_ptr<hooks::ApprovalBridge> bridge)
    {
        controller.m_approvalRoad.setBridge(std::move(bridge));
    }
    /// observer hears each change of the cloud account before the controller acts on it.
    static void observeCloudChanges(app::AppController& controller, std::function<void()> observer)
    {
        app::CloudAccount& account = controller.m_cloudAccount;
        account.onChanged = [observer = std::move(observer), inner = std::move(account.onChanged)] {
            observer();
            if (inner) {
                inner();
            }
        };
    }
};

} // namespace murmeli::test
