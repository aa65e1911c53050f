#include "main/hooks/server/StoredHookSecret.h"

#include <algorithm>

#include <QRandomGenerator>
#include <QStringDecoder>

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

QStringList StoredHookSecret::refusals() const
{
    QStringList lines;
    for (const platform::SecretNotice& notice : notices) {
        if (!notice.repaired) {
            lines << notice.text;
        }
    }
    return lines;
}

std::optional<QString> StoredHookSecret::unusable(const QByteArray& value)
{
    if (value.isEmpty()) {
        return QStringLiteral("is empty");
    }
    // The shell drops NUL bytes from what it reads: the hooks would send another secret.
    if (value.contains('\0')) {
        return QStringLiteral("holds a NUL byte");
    }
    // As the keychain layer decodes it: a sequence cut off at the end is an error, and a leading BOM stays.
    QStringDecoder decoder(
        QStringDecoder::Utf8, QStringConverter::Flag::Stateless | QStringConverter::Flag::ConvertInitialBom);
    const QString text = trimmed(decoder.decode(value));
    if (decoder.hasError()) {
        return QStringLiteral("is not UTF-8 text");
    }
    if (text.isEmpty()) {
        return QStringLiteral("holds only white space");
    }
    // A header ends at a line break: the rest of the secret would never reach murmeli.
    if (text.contains(u'\n') || text.contains(u'\r')) {
        return QStringLiteral("holds a line break inside it");
    }
    return std::nullopt;
}

StoredHookSecret StoredHookSecret::read(platform::KeychainStore& keychain)
{
    const QString service = QString::fromLatin1(platform::KeychainStore::hookAuthService);
    const QString account = QStringLiteral("secret");
    StoredHookSecret stored;
    stored.notices = keychain.check(service, account, &StoredHookSecret::unusable);
    for (const QString& copy : keychain.loadEach(service, account)) {
        if (const QString secret = trimmed(copy); !unusable(copy.toUtf8()) && !stored.secrets.contains(secret)) {
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
