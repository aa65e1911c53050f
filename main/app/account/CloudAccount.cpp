#include "main/app/account/CloudAccount.h"

#include <QDesktopServices>
#include <QNetworkProxy>
#include <QPointer>

#include "main/notch/model/PanelViewModel.h"
#include "main/cloud/account/DefaultAccountStore.h"
#include "main/voice/engine/SpeechBackends.h"
#include "main/voice/engine/SpeechEngine.h"
#include "platform/net/NetworkSessionFactory.h"

namespace murmeli::app {

using common::LogColor;

namespace {

QCoro::Task<> nothing()
{
    co_return;
}

QString cloudService()
{
    return QString::fromLatin1(platform::KeychainStore::cloudService);
}

} // namespace

CloudAccount::CloudAccount(platform::KeychainStore keychain, common::Clock& clock, QString baseURL,
    std::function<void(const QUrl&)> openURL, Links links)
    : m_keychain(std::move(keychain)), m_clock(clock),
      m_openURL(openURL ? std::move(openURL) : [](const QUrl& address) { QDesktopServices::openUrl(address); }),
      m_links(std::move(links)), m_network(platform::makeNetworkSession(QNetworkProxy(QNetworkProxy::DefaultProxy))),
      m_auth(std::make_shared<cloud::CloudHttpClient>(m_network->accessManager(), clock), std::move(baseURL))
{
}

CloudAccount::~CloudAccount() = default;

bool CloudAccount::hasStoredSession() const
{
    return !m_keychain.load(cloudService(), QLatin1String(tokenAccount)).isEmpty();
}

cloud::GiftCardClient CloudAccount::giftCardClient() const
{
    return cloud::GiftCardClient(m_auth.http(), m_auth.baseURL());
}


void CloudAccount::changed()
{
    if (onChanged) {
        onChanged();
    }
}

void CloudAccount::sync()
{
    notch::PanelViewModel& vm = m_links.vm;
    vm.setCloudEmail(m_mirror.email);
    vm.setCloudTier(m_mirror.tier);
    vm.setCloudMinutesLeft(m_mirror.minutesLeft);
    vm.setCloudQuotaMinutes(m_mirror.quotaMinutes);
    vm.setCloudMinutesUsed(m_mirror.minutesUsed);
    vm.setCloudMinutesUsedWeek(m_mirror.minutesUsedWeek);
    vm.setCloudMonthResetAt(m_mirror.monthResetAt);
    vm.setCloudWeekResetAt(m_mirror.weekResetAt);
}

void CloudAccount::takeMinutesLeft(qint64 minutesLeft)
{
    // A transcription that ends after the sign-out must not bring a balance back to a signed-out mirror.
    if (m_links.speech.cloudToken().isEmpty()) {
        return;
    }
    m_mirror.minutesLeft = minutesLeft < 0 ? -1 : minutesLeft;
    sync();
    changed();
}

void CloudAccount::sessionRefused(const QString& reason)
{
    onLog(QStringLiteral("Cloud: session refused by the worker (") + reason + QStringLiteral(") — please sign in again"),
        LogColor::Orange);
}

void CloudAccount::loadStoredSession()
{
    const QString token = m_keychain.load(cloudService(), QLatin1String(tokenAccount));
    if (token.isEmpty()) {
        return;
    }
    m_links.speech.setCloudToken(token);
    if (const QString email = m_keychain.load(cloudService(), QLatin1String(emailAccount)); !email.isEmpty()) {
        m_mirror.email = email;
    }
    sync();
}

void CloudAccount::signIn(const QString& email, const QString& token, qint64 minutesLeft)
{
    // An empty token is no session; taking it would read as signed in here and as signed out everywhere else.
    if (token.isEmpty()) {
        return;
    }
    m_keychain.save(cloudService(), QLatin1String(tokenAccount), token);
    if (!email.isEmpty()) {
        m_keychain.save(cloudService(), QLatin1String(emailAccount), email);
        m_mirror.email = email;
    }
    m_links.speech.setCloudToken(token);
    m_mirror.minutesLeft = minutesLeft;
    sync();
    changed();
    m_links.speech.streaming().openIfEligible();
}

void CloudAccount::forgetSession()
{
    m_mirror = Mirror {};
    // Empties the token as well.
    m_links.speech.resetCloudState();
}

QCoro::Task<> CloudAccount::signOut()
{
    const QString token = m_links.speech.cloudToken();
    m_links.speech.streaming().close();
    if (!token.isEmpty()) {
        const QPointer<QObject> alive = m_lifetime.get();
        const cloud::AuthResult<cloud::Done> result = co_await m_auth.logout(token);
        if (!alive) {
            co_return;
        }
        if (const cloud::AuthError* error = cloud::failure(result)) {
            onLog(QStringLiteral("Cloud: logout request failed — ") + error->errorDescription(), LogColor::Orange);
        }
    }
    m_keychain.remove(cloudService(), QLatin1String(tokenAccount));
    m_links.speech.setCloudToken(QString());
    m_keychain.remove(cloudService(), QLatin1String(emailAccount));
    m_mirror = Mirror {};
    const QString chosen = m_links.speech.activeBackendId();
    if (chosen == QLatin1String(voice::SpeechBackends::cloudId)
        || chosen == QLatin1String(voice::SpeechBackends::cloudStreamingId)) {
        m_links.speech.setActiveBackendId(QString::fromLatin1(voice::SpeechBackends::onDeviceId));
    }
    m_links.speech.resetCloudState();
    sync();
    changed();
}

QCoro::Task<> CloudAccount::refreshMinutes()
{
    const QString token = m_links.speech.cloudToken();
    if (token.isEmpty()) {
        co_return;
    }
    const QPointer<QObject> alive = m_lifetime.get();
    const cloud::AuthResult<cloud::AccountInfo> result = co_await m_auth.fetchAccount(token);
    if (!alive) {
        co_return;
    }
    if (const cloud::AuthError* error = cloud::failure(result)) {
        if (error->kind() == cloud::AuthError::Kind::Unauthorized) {
            onLog(QStringLiteral("Cloud: session expired — please sign in again"), LogColor::Orange);
        } else {
            onLog(QStringLiteral("Cloud: refresh failed — ") + error->errorDescription(), LogColor::Orange);
        }
        co_return;
    }
    // The session changed while the record was on its way (a sign-out, another sign-in): it is not this one's.
    if (m_links.speech.cloudToken() != token) {
        co_return;
    }
    const auto& account = std::get<cloud::AccountInfo>(result);
    if (!account.email.isEmpty()) {
        m_mirror.email = account.email;
        m_keychain.save(cloudService(), QLatin1String(emailAccount), account.email);
    }
    m_mirror.tier = account.tier;
    m_mirror.minutesLeft = account.minutesLeft < 0 ? -1 : account.minutesLeft;
    m_mirror.quotaMinutes = qMax<qint64>(account.quotaMinutes, 0);
    m_mirror.minutesUsed = qMax<qint64>(account.minutesUsed, 0);
    m_mirror.minutesUsedWeek = qMax<qint64>(account.minutesUsedWeek, 0);
    m_mirror.monthResetAt = qMax<qint64>(account.monthResetAt, 0);
    m_mirror.weekResetAt = qMax<qint64>(account.weekResetAt, 0);
    sync();
    changed();
}

QCoro::Task<> CloudAccount::validateOnLaunch()
{
    const QPointer<QObject> alive = m_lifetime.get();
    const cloud::AccountValidation validation = co_await accountStore().validateStoredSession();
    if (!alive) {
        co_return;
    }
    switch (validation.kind) {
    case cloud::AccountValidation::Kind::Valid:
        signIn(validation.session.email, validation.session.token, validation.session.minutesLeft);
        co_await refreshMinutes();
        break;
    case cloud::AccountValidation::Kind::Transient:
        onLog(QStringLiteral("Cloud: session check failed, keeping the stored session — ") + validation.message,
            LogColor::Orange);
        break;
    case cloud::AccountValidation::Kind::Unauthorized:
        // The store has deleted both items; the token the start-up loaded must not stay in use either.
        onLog(QStringLiteral("Cloud: session expired — please sign in again"), LogColor::Orange);
        m_links.speech.streaming().close();
        forgetSession();
        sync();
        changed();
        break;
    case cloud::AccountValidation::Kind::SignedOut:
        break;
    }
}

QCoro::Task<cloud::BillingFlowResult> CloudAccount::startTopUp()
{
    const QString token = m_links.speech.cloudToken();
    if (token.isEmpty()) {
        co_return cloud::BillingFlowResult::failed(QStringLiteral("Sign in first."));
    }
    co_return co_await billingFlow().startTopUp(token);
}

cloud::BillingFlow& CloudAccount::billingFlow()
{
    if (!m_billingFlow) {
        m_billingFlow = std::make_unique<cloud::BillingFlow>(m_auth, m_clock, m_openURL);
    }
    return *m_billingFlow;
}

void CloudAccount::setBillingFlow(std::unique_ptr<cloud::BillingFlow> flow)
{
    m_billingFlow = std::move(flow);
}

cloud::AccountStore& CloudAccount::accountStore()
{
    if (!m_store) {
        m_store = std::make_unique<cloud::DefaultAccountStore>(m_keychain, m_auth);
    }
    return *m_store;
}

void CloudAccount::setAccountStore(std::unique_ptr<cloud::AccountStore> store)
{
    m_store = std::move(store);
}

void CloudAccount::attach(cloud::AccountSignInSheetModel& model)
{
    const QPointer<QObject> alive = m_lifetime.get();
    model.signIn = [this, alive](const QString& email, const QString& token, qint64 minutesLeft) {
        if (alive) {
            signIn(email, token, minutesLeft);
        }
    };
    model.refreshBalance = [this, alive]() { return alive ? refreshMinutes() : nothing(); };
}

} // namespace murmeli::app
