#pragma once

#include <QDateTime>
#include <QList>
#include <QString>

#include "main/notch/model/PanelViewModel.h"
#include "main/notch/model/SessionState.h"
#include "main/device/pushers/OverviewBridge.h"
#include "main/device/pushers/SListBridge.h"
#include "main/device/pushers/SessionDetailBridge.h"

/// What the device pushers are given from the panel's state: the session rows in the panel's order and the signed-in
/// account. Read on the main thread.
namespace murmeli::app::DeviceRows {

/// The session list's word: "approval" for anything waiting on the user (an error too), "working", "idle".
QString sessionListState(const notch::SessionState& state);
/// The detail line's word: "attention", "error", "working", "idle".
QString sessionDetailState(const notch::SessionState& state);

/// Every panel row as the session list shows it.
QList<device::SListBridge::WireRow> sessionList(const notch::PanelViewModel& vm);
/// Every panel row as its detail line shows it; only the active session has a model and context figures.
QList<device::SessionDetailBridge::WireRow> sessionDetails(const notch::PanelViewModel& vm, const QDateTime& now);

/// The signed-in account from the cloud mirror: all absent when signed out; the plan is named as on the account page
/// (cloud::AccountTexts::planName); the renewal is not known ("—").
device::OverviewBridge::Account account(const notch::PanelViewModel& vm);

} // namespace murmeli::app::DeviceRows
