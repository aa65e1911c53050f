#include "main/cloud/account/AccountSignInSheetModel.h"

#include <QPointer>
#include <QTextBoundaryFinder>

namespace murmeli::cloud {

namespace {

constexpr qsizetype codeLength = 6;
constexpr qsizetype minEmailLength = 6;
constexpr qsizetype maxEmailLength = 254;

/// Characters as the user sees them.
qsizetype graphemeCount(const QString& text)
{
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    qsizetype count = 0;
    while (finder.toNextBoundary() != -1) {
        ++count;
    }
    return count;
}

/// Spaces, tabs and the other space separators; line breaks stay.
bool isBlank(QChar ch)
{
    return ch == QLatin1Char('\t') || ch.category() == QChar::Separator_Space;
}

QString trimmedOfBlanks(const QString& text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && isBlank(text[begin])) {
        ++begin;
    }
    while (end > begin && isBlank(text[end - 1])) {
        --end;
    }
    return text.mid(begin, end - begin);
}

QString networkErrorText()
{
    return QStringLiteral("Network error. Try again.");
}

} // namespace

AccountSignInSheetModel::AccountSignInSheetModel(CloudAuth auth, common::Clock& clock, QObject* parent)
    : QObject(parent), requestCodeImpl([auth](QString email) { return auth.requestCode(std::move(email)); }),
      verifyCodeImpl(
          [auth](QString email, QString code) { return auth.verifyCode(std::move(email), std::move(code)); }),
      m_clock(clock)
{
}

AccountSignInSheetModel::~AccountSignInSheetModel()
{
    if (m_cooldownTimer) {
        m_clock.cancel(*m_cooldownTimer);
    }
}

void AccountSignInSheetModel::setStep(Step step)
{
    m_step = step;
    Q_EMIT changed();
}

void AccountSignInSheetModel::setPhase(Phase phase)
{
    m_phase = phase;
    Q_EMIT changed();
}

void AccountSignInSheetModel::setEmail(QString email)
{
    m_email = std::move(email);
    Q_EMIT changed();
}

void AccountSignInSheetModel::setCode(QString code)
{
    m_code = std::move(code);
    Q_EMIT changed();
}

void AccountSignInSheetModel::setErrorText(QString text)
{
    m_errorText = std::move(text);
    Q_EMIT changed();
}

void AccountSignInSheetModel::setInfoText(QString text)
{
    m_infoText = std::move(text);
    Q_EMIT changed();
}

void AccountSignInSheetModel::setCooldownSec(int seconds)
{
    m_cooldownSec = seconds;
    Q_EMIT changed();
}

bool AccountSignInSheetModel::isValidEmail(const QString& text)
{
    const QString address = text.trimmed();
    const qsizetype length = graphemeCount(address);
    if (length < minEmailLength || length > maxEmailLength) {
        return false;
    }
    const qsizetype at = address.indexOf(QLatin1Char('@'));
    return at > 0 && address.indexOf(QLatin1Char('.'), at + 1) != -1;
}

bool AccountSignInSheetModel::canSendCode() const
{
    return m_phase == Phase::Idle && isValidEmail(m_email);
}

bool AccountSignInSheetModel::canVerify() const
{
    return m_phase == Phase::Idle && graphemeCount(trimmedOfBlanks(m_code)) == codeLength;
}

bool AccountSignInSheetModel::canResendCode() const
{
    return m_phase == Phase::Idle && m_cooldownSec == 0;
}

QString AccountSignInSheetModel::mapRequestError(const AuthError& error)
{
    if (error.kind() != AuthError::Kind::RateLimited) {
        return networkErrorText();
    }
    const auto seconds = error.retryAfterSec();
    return seconds && *seconds >= 1 ? QStringLiteral("Please wait %1s before requesting another code.").arg(*seconds)
                                    : QStringLiteral("Too many requests. Please wait a moment and try again.");
}

QString AccountSignInSheetModel::mapVerifyError(const AuthError& error)
{
    switch (error.kind()) {
    case AuthError::Kind::RateLimited: {
        const auto seconds = error.retryAfterSec();
        return seconds && *seconds >= 1 ? QStringLiteral("Please wait %1s before trying again.").arg(*seconds)
                                        : QStringLiteral("Too many attempts. Please wait a moment and try again.");
    }
    case AuthError::Kind::InvalidCode:
        return QStringLiteral("Invalid or expired code. Request a new one.");
    default:
        return networkErrorText();
    }
}

QCoro::Task<> AccountSignInSheetModel::sendCode()
{
    setErrorText(QString());
    setInfoText(QString());
    const QString address = m_email.trimmed();
    if (!isValidEmail(address)) {
        setErrorText(QStringLiteral("Please enter a valid email address."));
        co_return;
    }
    setPhase(Phase::Sending);
    const QPointer<AccountSignInSheetModel> self(this);
    const RequestCodeImpl request = requestCodeImpl;
    const AuthResult<Done> result = co_await request(address);
    if (!self) {
        co_return;
    }
    setPhase(Phase::Idle);
    if (const AuthError* error = failure(result)) {
        setErrorText(mapRequestError(*error));
        co_return;
    }
    setEmail(address);
    setStep(Step::Code);
    setInfoText(QStringLiteral("We sent a 6-digit code to %1. It's valid for 5 minutes.").arg(address));
    setCode(QString());
    startCooldown();
}

QCoro::Task<> AccountSignInSheetModel::verify()
{
    setErrorText(QString());
    setInfoText(QString());
    const QString entered = m_code.trimmed();
    if (graphemeCount(entered) != codeLength) {
        setErrorText(QStringLiteral("Enter the 6-digit code from your email."));
        co_return;
    }
    setPhase(Phase::Verifying);
    const QPointer<AccountSignInSheetModel> self(this);
    const VerifyCodeImpl check = verifyCodeImpl;
    const AuthResult<CloudAuth::VerifyResult> result = co_await check(m_email, entered);
    if (!self) {
        co_return;
    }
    setPhase(Phase::Idle);
    if (const AuthError* error = failure(result)) {
        setErrorText(mapVerifyError(*error));
        co_return;
    }
    const auto& session = std::get<CloudAuth::VerifyResult>(result);
    // The service's e-mail, not the typed one: it names the account the token belongs to.
    if (signIn) {
        signIn(session.email, session.token, session.minutesLeft);
    }
    if (refreshBalance) {
        // Started, not awaited: the sheet closes while the balance is read.
        [[maybe_unused]] const QCoro::Task<> refreshing = refreshBalance();
    }
    if (onDismiss) {
        onDismiss();
    }
}

void AccountSignInSheetModel::backToEmail()
{
    setStep(Step::Email);
    setCode(QString());
    setErrorText(QString());
    setInfoText(QString());
}

void AccountSignInSheetModel::startCooldown()
{
    if (m_cooldownTimer) {
        m_clock.cancel(*m_cooldownTimer);
    }
    setCooldownSec(cooldownDuration);
    m_cooldownTimer = m_clock.schedule(1000, [this] { cooldownTick(); });
}

void AccountSignInSheetModel::cooldownTick()
{
    m_cooldownTimer.reset();
    // Ends on the tick after the counter reached 0, or after something else set it there.
    if (m_cooldownSec < 1) {
        return;
    }
    setCooldownSec(m_cooldownSec - 1);
    m_cooldownTimer = m_clock.schedule(1000, [this] { cooldownTick(); });
}

} // namespace murmeli::cloud
