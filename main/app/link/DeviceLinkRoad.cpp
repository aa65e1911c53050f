#include "main/app/link/DeviceLinkRoad.h"

#include <QMetaObject>

#include "main/app/DeviceRows.h"
#include "main/device/lines/AgentEvents.h"
#include "main/hooks/approvals/ApprovalRoad.h"
#include "main/hooks/approvals/PendingRequestTable.h"
#include "main/notch/model/PanelViewModel.h"
#include "main/voice/engine/SpeechEngine.h"
#include "platform/defaults/Defaults.h"

namespace murmeli::app {

using common::LogColor;

DeviceLinkRoad::DeviceLinkRoad(Links links) : m_links(std::move(links)), m_tokenStore(m_links.defaults, m_links.clock)
{
}

DeviceLinkRoad::~DeviceLinkRoad() = default;


void DeviceLinkRoad::start()
{
    m_backendStarted = true;
    if (!m_links.defaults.boolValue(QLatin1String(device::BLEBridge::enabledUDKey)).value_or(false)) {
        return;
    }
    build();
    m_ble->start();
}

void DeviceLinkRoad::setRunning(bool on)
{
    if (!on) {
        if (m_ble) {
            m_ble->stop();
        }
        return;
    }
    if (!m_ble) {
        if (!m_backendStarted) {
            return;
        }
        build();
    }
    m_ble->start();
}

void DeviceLinkRoad::dropQueued()
{
    m_lifetime.reset();
}

void DeviceLinkRoad::build()
{
    common::Clock& clock = *m_links.clock;
    notch::PanelViewModel& vm = m_links.vm;
    m_ble = std::make_unique<device::BLEBridge>(m_links.transport(), clock);
    m_ble->onLog = [this](const QString& message, LogColor color) { onLog(message, color); };
    m_deviceApprovals = device::BLEApprovalBridge::overLink(*m_ble, m_links.pendingTable);
    m_deviceApprovals->onLog = [this](const QString& message, LogColor color) { onLog(message, color); };
    m_links.approvalRoad.setBridge(m_deviceApprovals);
    m_pttRouter.onLog = [this](const QString& line) { onLog(line, LogColor::Grey); };
    m_ble->onControlFrame = [this](const QString& line) {
        m_pttRouter.handleControlFrame(line);
        // Answered from the event loop, not inside the link's receive: a decision resumes the waiting reply.
        QMetaObject::invokeMethod(
            m_lifetime.get(), [this, line] { m_deviceApprovals->handleControlFrame(line); }, Qt::QueuedConnection);
    };
    // The engine takes the device's audio only while one of its takes streams from the device.
    m_ble->onAudioChunk = [this](const QByteArray& chunk) { m_links.speech.feedStreamingBLEChunk(chunk); };

    m_overviewBridge = std::make_unique<device::OverviewBridge>(*m_ble, clock);
    m_overviewBridge->accountProvider = [&vm] { return DeviceRows::account(vm); };
    m_slistBridge = std::make_unique<device::SListBridge>(*m_ble, clock);
    m_slistBridge->sessionsProvider = [&vm] { return DeviceRows::sessionList(vm); };
    m_sessionDetailBridge = std::make_unique<device::SessionDetailBridge>(*m_ble, clock);
    m_sessionDetailBridge->rowsProvider
        = [this] { return DeviceRows::sessionDetails(m_links.vm, m_links.clock->now()); };
    m_overviewBridge->start();
    m_slistBridge->start();
    m_sessionDetailBridge->start();
    // Both pushers send only what changed, so they may follow every change of the rows.
    const auto pushSessions = [this] {
        m_slistBridge->pushNow();
        m_sessionDetailBridge->pushNow();
    };
    QObject::connect(&vm, &notch::PanelViewModel::sessionsChanged, m_lifetime.get(), pushSessions);
    QObject::connect(&vm, &notch::PanelViewModel::contextPercentChanged, m_lifetime.get(), pushSessions);
    QObject::connect(&vm, &notch::PanelViewModel::modelNameChanged, m_lifetime.get(), pushSessions);
    QObject::connect(
        &vm, &notch::PanelViewModel::cloudEmailChanged, m_lifetime.get(), [this] { m_overviewBridge->pushAccount(); });
    QObject::connect(
        &vm, &notch::PanelViewModel::cloudTierChanged, m_lifetime.get(), [this] { m_overviewBridge->pushAccount(); });
}

void DeviceLinkRoad::hookEvent(const QString& eventName, const QJsonObject& payload)
{
    if (!m_ble) {
        return;
    }
    if (const std::optional<device::AgentEvents::Event> event = device::AgentEvents::forHookEvent(eventName, payload)) {
        m_ble->lines().sendEvent(event->type, QString(), event->summary);
    }
}

void DeviceLinkRoad::sendStatus(
    const std::optional<hooks::ClaudeStatus>& status, const hooks::TranscriptData& transcript)
{
    if (!m_ble || !status) {
        return;
    }
    m_ble->lines().sendStatusFull(*status, transcript, m_links.vm.runningAgents(), m_links.vm.waitingAgents(),
        m_tokenStore.cumulative(), m_tokenStore.today());
}

} // namespace murmeli::app
