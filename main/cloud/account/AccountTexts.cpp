#include "main/cloud/account/AccountTexts.h"

#include <QStringList>

namespace murmeli::cloud::AccountTexts {

bool isPayAsYouGo(const QString& tier)
{
    return tier.compare(QLatin1String("pay-go"), Qt::CaseInsensitive) == 0;
}

QString planName(const QString& tier)
{
    if (isPayAsYouGo(tier)) {
        return QStringLiteral("Pay-as-you-go");
    }
    // A session fresh from the code check has no tier yet; calling it a paid plan would promise what nobody knows.
    if (tier.trimmed().isEmpty()) {
        return QStringLiteral("Free");
    }
    QStringList words = tier.split(QLatin1Char(' '));
    for (QString& word : words) {
        if (!word.isEmpty()) {
            word = word.left(1).toUpper() + word.mid(1).toLower();
        }
    }
    return words.join(QLatin1Char(' '));
}

BalanceTone balanceTone(qint64 minutesLeft)
{
    if (minutesLeft < 0) {
        return BalanceTone::Unknown;
    }
    return minutesLeft == 0 ? BalanceTone::Empty : BalanceTone::Positive;
}

QString minutesText(qint64 minutesLeft)
{
    if (minutesLeft < 0) {
        return QString(QChar(0x2014));
    }
    return QStringLiteral("%1 mins left").arg(minutesLeft);
}

} // namespace murmeli::cloud::AccountTexts
