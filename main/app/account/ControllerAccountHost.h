#pragma once

#include "main/cloud/account/AccountHost.h"

namespace murmeli::app {

class AppController;

/// The account pages' way into the running application: the controller's mirror and its cloud operations.
class ControllerAccountHost final : public cloud::AccountHost {
public:
    explicit ControllerAccountHost(AppController& controller);

    cloud::AccountMirror mirror() const override;
    QString sessionToken() const override;
    bool hasStoredSession() const override;
    QCoro::Task<> refreshMinutes() override;
    QCoro::Task<> signOut() override;
    QCoro::Task<cloud::BillingFlowResult> startTopUp() override;
    cloud::CloudAuth auth() const override;
    void attach(cloud::AccountSignInSheetModel& model) override;
    cloud::GiftCardClient giftCardClient() const override;
    common::Clock& clock() override;

private:
    AppController& m_controller;
};

} // namespace murmeli::app
