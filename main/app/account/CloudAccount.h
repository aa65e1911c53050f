#pragma once

#include <functional>
#include <memory>

#include <QObject>
#include <QString>
#include <QUrl>

#include <QCoroTask>

#include "main/cloud/account/AccountMirror.h"
#include "main/cloud/account/AccountSignInSheetModel.h"
#include "main/cloud/account/AccountStore.h"
#include "main/cloud/api/CloudAuth.h"
#include "main/cloud/billing/BillingFlow.h"
#include "main/cloud/billing/GiftCardClient.h"
#include "main/common/Clock.h"
#include "main/common/Log.h"
#include "platform/net/NetworkSession.h"
#include "platform/secrets/KeychainStore.h"

namespace murmeli::notch {
class PanelViewModel;
}

namespace murmeli::voice {
class SpeechEngine;
}

namespace murmeli::app {

/// The controller's side of the cloud account: the mirror of the account that the panel and the pages read, and
/// sign-in, sign-out, the balance refresh, the check of the stored session at launch and the top-up. The session
/// token and e-mail live in the secret store; the speech engine carries the token for the cloud backends. Main
/// thread only.
class CloudAccount final {
public:
    static constexpr auto tokenAccount = "session-token";
    static constexpr auto emailAccount = "account-email";

    /// What the panel, the device and the account pages show of the account.
    using Mirror = cloud::AccountMirror;

    /// What the account reaches of the rest of the controller. The engine's long-lived streaming session follows the
    /// sign-in.
    struct Links final {
        voice::SpeechEngine& speech;
        notch::PanelViewModel& vm;
    };

    /// Requests go to baseURL on a session of their own (the system's proxy settings, not the WebSocket proxy);
    /// their time limits and the top-up's waits run on clock. openURL shows the checkout page; the desktop's handler
    /// when empty.
    CloudAccount(platform::KeychainStore keychain, common::Clock& clock, QString baseURL,
        std::function<void(const QUrl&)> openURL, Links links);
    ~CloudAccount();
    CloudAccount(const CloudAccount&) = delete;
    CloudAccount& operator=(const CloudAccount&) = delete;

    common::LogSink onLog;
    /// The account or the mirror changed.
    std::function<void()> onChanged;

    const Mirror& mirror() const { return m_mirror; }
    /// Whether a session token is kept in the secret store.
    bool hasStoredSession() const;
    /// The account service's client, for the sign-in sheet and the gift codes.
    const cloud::CloudAuth& auth() const { return m_auth; }
    cloud::GiftCardClient giftCardClient() const;

    /// Start-up: takes the stored token and e-mail into the speech engine and the mirror.
    void loadStoredSession();
    /// A new session: stored, handed to the speech engine, mirrored; opens the streaming session when eligible.
    void signIn(const QString& email, const QString& token, qint64 minutesLeft);
    /// Ends the session on the service (a failure is logged) and forgets it here in every case.
    QCoro::Task<> signOut();
    /// Reads the account into the mirror; does nothing while signed out.
    QCoro::Task<> refreshMinutes();
    /// Checks the stored session: a valid one is signed in and refreshed, a refused one forgotten, a failed check
    /// logged with the session kept.
    QCoro::Task<> validateOnLaunch();
    /// One top-up with the held session.
    QCoro::Task<cloud::BillingFlowResult> startTopUp();
    /// Pushes the mirror into the panel's view model.
    void sync();

    /// The balance a cloud transcription reported; ignored while signed out.
    void takeMinutesLeft(qint64 minutesLeft);
    /// The cloud refused the session's token during a transcription; reason is the worker's. The session stays,
    /// as it does when the balance refresh is refused: the user is asked to sign in again.
    void sessionRefused(const QString& reason);

    /// Created on first use with the service defaults.
    cloud::BillingFlow& billingFlow();
    void setBillingFlow(std::unique_ptr<cloud::BillingFlow> flow);
    cloud::AccountStore& accountStore();
    void setAccountStore(std::unique_ptr<cloud::AccountStore> store);

    /// Points a sign-in sheet at this account; the sheet holds it weakly.
    void attach(cloud::AccountSignInSheetModel& model);

private:
    void changed();
    /// Forgets the session in the speech engine and the mirror; the stored items are the caller's.
    void forgetSession();

    platform::KeychainStore m_keychain;
    common::Clock& m_clock;
    std::function<void(const QUrl&)> m_openURL;
    Links m_links;
    std::shared_ptr<platform::NetworkSession> m_network;
    cloud::CloudAuth m_auth;
    std::unique_ptr<cloud::AccountStore> m_store;
    std::unique_ptr<cloud::BillingFlow> m_billingFlow;
    Mirror m_mirror;
    // Everything that resumes after a request checks this first: the controller may be gone by then.
    std::unique_ptr<QObject> m_lifetime = std::make_unique<QObject>();
};

} // namespace murmeli::app
