#pragma once

#include <functional>

#include <QCoroTask>
#include <QWidget>

class QLabel;

namespace murmeli::cloud {

class AccountHost;
class ProgressLine;
class TopUpButton;

/// The "Plan" group of the account page: on the free plan the month and week usage with their reset times, on
/// pay-as-you-go only the plan's name, and in both a button that buys minutes through the application's top-up.
/// It keeps a copy of the application's mirror, taken by syncFromController() whenever the page takes its own and after
/// a top-up.
class PlanBillingSectionView final : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(PlanBillingSectionView)

public:
    /// host may be null: the group then keeps its first values and its button cannot be pressed.
    explicit PlanBillingSectionView(AccountHost* host, QWidget* parent = nullptr);

    /// Runs after a top-up has ended and the copy was taken again, so the page can show the new balance too.
    std::function<void()> onTopUpFinished;

    /// Copies the mirror; without a host it changes nothing.
    void syncFromController();
    /// Starts a top-up unless one runs or there is no host.
    void triggerTopUp();

    const QString& tier() const { return m_tier; }
    bool isPayAsYouGoShown() const;
    bool topUpInFlight() const { return m_topUpInFlight; }
    /// The caption over the free plan's lines ("FREE" for the free plan).
    QString freeCaption() const;
    ProgressLine* monthLine() const { return m_month; }
    ProgressLine* weekLine() const { return m_week; }
    /// The button of the layout on show.
    TopUpButton* topUpButton() const;
    /// Why the last top-up failed; "" after any other outcome and while one runs.
    QString topUpError() const;

private:
    QCoro::Task<> runTopUp();
    void render();

    AccountHost* m_host = nullptr;
    QString m_tier = QStringLiteral("free");
    qint64 m_quotaMinutes = 0;
    qint64 m_minutesUsed = 0;
    qint64 m_minutesUsedWeek = 0;
    qint64 m_monthResetAt = 0;
    qint64 m_weekResetAt = 0;
    bool m_topUpInFlight = false;
    QString m_topUpError;

    QWidget* m_freeBox = nullptr;
    QLabel* m_freeCaption = nullptr;
    ProgressLine* m_month = nullptr;
    ProgressLine* m_week = nullptr;
    TopUpButton* m_freeTopUp = nullptr;
    QWidget* m_paygoBox = nullptr;
    TopUpButton* m_paygoTopUp = nullptr;
    QLabel* m_error = nullptr;
};

} // namespace murmeli::cloud
