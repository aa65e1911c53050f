#pragma once

#include <QString>

#include <QCoroTask>

#include "main/cloud/account/AccountMirror.h"
#include "main/cloud/api/CloudAuth.h"
#include "main/cloud/billing/BillingFlow.h"
#include "main/cloud/billing/GiftCardClient.h"

namespace murmeli::common {
class Clock;
}

namespace murmeli::cloud {

class AccountSignInSheetModel;

/// What the account pages reach of the running application. The pages keep no account of their own: they copy the
/// mirror at the moments they choose and ask for every change here. A page without one (null) shows the signed-out
/// state with nothing to press. Main thread only; it outlives every page.
class AccountHost {
public:
    AccountHost() = default;
    virtual ~AccountHost() = default;
    AccountHost(const AccountHost&) = delete;
    AccountHost& operator=(const AccountHost&) = delete;

    /// The application's copy of the account as it stands.
    virtual AccountMirror mirror() const = 0;
    /// The session token the speech engine holds; empty while signed out.
    virtual QString sessionToken() const = 0;
    /// Whether a session token is kept in the secret store.
    virtual bool hasStoredSession() const = 0;
    /// Reads the account into the mirror; failures are logged, never reported.
    virtual QCoro::Task<> refreshMinutes() = 0;
    /// Ends the session on the service and forgets it here in every case.
    virtual QCoro::Task<> signOut() = 0;
    /// One top-up: the checkout page in the browser, then the wait for the account to show the purchase.
    virtual QCoro::Task<BillingFlowResult> startTopUp() = 0;
    /// The account service's client, for the sign-in sheet.
    virtual CloudAuth auth() const = 0;
    /// Points a sign-in sheet's model at the application: its sign-in and its balance refresh.
    virtual void attach(AccountSignInSheetModel& model) = 0;
    /// The gift-code client on the account service.
    virtual GiftCardClient giftCardClient() const = 0;
    /// The clock of the cooldowns, the balance polls and the reset times.
    virtual common::Clock& clock() = 0;
};

} // namespace murmeli::cloud
