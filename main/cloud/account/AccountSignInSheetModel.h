#pragma once

#include <functional>
#include <optional>

#include <QObject>
#include <QString>

#include <QCoroTask>

#include "main/cloud/api/CloudAuth.h"
#include "main/common/Clock.h"

namespace murmeli::cloud {

/// The state of the two-step e-mail sign-in: the address, the code the service e-mails, the texts the sheet shows
/// and the cooldown before another code may be asked for. Main thread only; the sheet view draws it and enables its
/// buttons by canSendCode(), canVerify() and canResendCode(). Every assignment of a shown field emits changed(),
/// also when the value stays the same.
class AccountSignInSheetModel final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(AccountSignInSheetModel)

public:
    enum class Step { Email, Code };
    enum class Phase {
        Idle,
        Sending, ///< a code request is in flight
        Verifying, ///< a code check is in flight
    };

    using RequestCodeImpl = std::function<QCoro::Task<AuthResult<Done>>(QString email)>;
    using VerifyCodeImpl = std::function<QCoro::Task<AuthResult<CloudAuth::VerifyResult>>(QString email, QString code)>;

    static constexpr int defaultCooldownSec = 60;

    /// Requests go to auth; the cooldown counts on clock, which must outlive the model.
    AccountSignInSheetModel(CloudAuth auth, common::Clock& clock, QObject* parent = nullptr);
    ~AccountSignInSheetModel() override;

    RequestCodeImpl requestCodeImpl;
    VerifyCodeImpl verifyCodeImpl;
    /// The controller's side, set by the presenting page; unset when there is no controller (any more). A checked
    /// code hands the service's e-mail, the token and the balance to signIn, then starts refreshBalance without
    /// waiting for it.
    std::function<void(const QString& email, const QString& token, qint64 minutesLeft)> signIn;
    std::function<QCoro::Task<>()> refreshBalance;
    /// Called after a successful sign-in, with or without a controller; closes the sheet.
    std::function<void()> onDismiss;
    /// Seconds of the cooldown; read each time one starts.
    int cooldownDuration = defaultCooldownSec;

    Step step() const { return m_step; }
    void setStep(Step step);
    Phase phase() const { return m_phase; }
    void setPhase(Phase phase);
    const QString& email() const { return m_email; }
    void setEmail(QString email);
    const QString& code() const { return m_code; }
    void setCode(QString code);
    const QString& errorText() const { return m_errorText; }
    void setErrorText(QString text);
    const QString& infoText() const { return m_infoText; }
    void setInfoText(QString text);
    int cooldownSec() const { return m_cooldownSec; }
    void setCooldownSec(int seconds);

    bool canSendCode() const;
    bool canVerify() const;
    bool canResendCode() const;

    /// Asks the service to e-mail a code to the trimmed address; the first request and the resend link alike.
    /// Never fails to its caller: every failure ends in errorText.
    QCoro::Task<> sendCode();
    /// Checks the trimmed code against the service and signs in. Never fails to its caller.
    QCoro::Task<> verify();
    /// Back from the code step to the address; the cooldown keeps counting.
    void backToEmail();

    /// 6 to 254 characters after trimming, something before the first "@" and a "." after it; nothing else.
    static bool isValidEmail(const QString& text);
    /// The sheet's own texts for a failed code request and a failed code check.
    static QString mapRequestError(const AuthError& error);
    static QString mapVerifyError(const AuthError& error);

Q_SIGNALS:
    void changed();

private:
    void startCooldown();
    void cooldownTick();

    common::Clock& m_clock;
    Step m_step = Step::Email;
    Phase m_phase = Phase::Idle;
    QString m_email;
    QString m_code;
    QString m_errorText;
    QString m_infoText;
    int m_cooldownSec = 0;
    std::optional<common::Clock::TimerId> m_cooldownTimer;
};

} // namespace murmeli::cloud
