#pragma once

#include <functional>
#include <memory>
#include <optional>

#include <QJsonObject>
#include <QObject>

#include "main/common/Clock.h"
#include "main/common/Log.h"
#include "main/device/approvals/BLEApprovalBridge.h"
#include "main/device/link/BLEBridge.h"
#include "main/device/pushers/OverviewBridge.h"
#include "main/device/pushers/SListBridge.h"
#include "main/device/pushers/SessionDetailBridge.h"
#include "main/hooks/status/ClaudeStatus.h"
#include "main/hooks/status/TokenStore.h"
#include "main/hooks/transcript/TranscriptData.h"
#include "main/voice/flow/PTTSessionRouter.h"
#include "platform/ble/BleTransport.h"

namespace murmeli::hooks {
class ApprovalRoad;
class PendingRequestTable;
} // namespace murmeli::hooks

namespace murmeli::notch {
class PanelViewModel;
}

namespace murmeli::platform {
class Defaults;
}

namespace murmeli::voice {
class SpeechEngine;
}

namespace murmeli::app {

/// The device link's road: makes the link with its approval bridge (which then shows the approvals) and its pushers of
/// the panel's rows and account, brings it up and down with its Lab switch, hands the device's push-to-talk lines to
/// the router and its audio to the speech engine, and sends it the selected session's status and the agent's events.
/// Main thread only.
class DeviceLinkRoad final {
public:
    /// What the road works with; everything must outlive it.
    struct Links final {
        notch::PanelViewModel& vm;
        hooks::PendingRequestTable& pendingTable;
        hooks::ApprovalRoad& approvalRoad;
        voice::SpeechEngine& speech;
        platform::Defaults& defaults;
        std::shared_ptr<common::Clock> clock;
        /// The link's Bluetooth LE transport, made only when the link is.
        std::function<std::unique_ptr<platform::BleTransport>()> transport;
    };

    explicit DeviceLinkRoad(Links links);
    ~DeviceLinkRoad();
    DeviceLinkRoad(const DeviceLinkRoad&) = delete;
    DeviceLinkRoad& operator=(const DeviceLinkRoad&) = delete;

    common::LogSink onLog;

    /// Start-up: the link is made and brought up when its Lab switch is on.
    void start();
    /// The Lab switch: brings the link up, making it on first use once the back end runs (before that, the start-up
    /// makes it from the stored switch), or takes it down.
    void setRunning(bool on);
    /// An accepted hook event: the device hears of the agent's sessions, prompts, answers, failures and sub-agents.
    void hookEvent(const QString& eventName, const QJsonObject& payload);
    /// The selected session's status lines for the device, while there is a link.
    void sendStatus(const std::optional<hooks::ClaudeStatus>& status, const hooks::TranscriptData& transcript);
    /// Teardown: control frames still queued are dropped and the pushers stop following the panel.
    void dropQueued();

    /// The device link; null until it is made.
    device::BLEBridge* ble() const { return m_ble.get(); }
    /// Whether the device is connected, so that its microphone can be used.
    bool isConnected() const { return m_ble && m_ble->isConnected(); }
    /// Reads the device's push-to-talk lines; its events reach only the log.
    const voice::PTTSessionRouter& pttRouter() const { return m_pttRouter; }

private:
    void build();

    Links m_links;
    hooks::TokenStore m_tokenStore;
    bool m_backendStarted = false;
    // The pushers go before the link they observe.
    std::unique_ptr<device::BLEBridge> m_ble;
    std::shared_ptr<device::BLEApprovalBridge> m_deviceApprovals;
    voice::PTTSessionRouter m_pttRouter;
    std::unique_ptr<device::OverviewBridge> m_overviewBridge;
    std::unique_ptr<device::SListBridge> m_slistBridge;
    std::unique_ptr<device::SessionDetailBridge> m_sessionDetailBridge;
    // Carries the queued answers to the device's control frames and the pushers' connections to the panel.
    std::unique_ptr<QObject> m_lifetime = std::make_unique<QObject>();
};

} // namespace murmeli::app
