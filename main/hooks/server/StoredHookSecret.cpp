#include "main/hooks/server/StoredHookSecret.h"

#include <algorithm>

#include <QRandomGenerator>

namespace murmeli::hooks {

namespace {

QString trimmed(const QString& text)
{
    // The white space of the shells' [[:space:]] in the C locale, which the hook scripts strip the same way.
    qsizetype end = text.size();
    while (end > 0 && QStringView(u" \t\n\v\f\r").contains(text.at(end - 1))) {
        --end;
    }
    return text.left(end);
}

} // namespace

bool StoredHookSecret::refused() const
{
    return std::any_of(notices.begin(), notices.end(), [](const auto& notice) { return !notice.repaired; });
}

StoredHookSecret StoredHookSecret::read(platform::KeychainStore& keychain)
{
    const QString service = QString::fromLatin1(platform::KeychainStore::hookAuthService);
    const QString account = QStringLiteral("secret");
    StoredHookSecret stored;
    stored.notices = keychain.check(service, account);
    for (const QString& copy : keychain.loadEach(service, account)) {
        if (const QString secret = trimmed(copy); !secret.isEmpty() && !stored.secrets.contains(secret)) {
            stored.secrets << secret;
        }
    }
    return stored;
}

QString StoredHookSecret::fresh()
{
    QByteArray random(32, Qt::Uninitialized);
    QRandomGenerator::system()->fillRange(reinterpret_cast<quint32*>(random.data()), random.size() / 4);
    return QString::fromLatin1(random.toHex());
}

QString StoredHookSecret::describe(const platform::SecretNotice& notice)
{
    return QStringLiteral("hook secret ") + (notice.repaired ? QString() : QStringLiteral("not used: ")) + notice.text;
}

} // namespace murmeli::hooks
