#include "platform/secrets/KeychainStore.h"

#include <utility>

#include <QStringDecoder>
#include <QStringEncoder>

namespace murmeli::platform {

namespace {

// Stateless so that a sequence cut off at the end counts as an error instead of waiting for more input;
// ConvertInitialBom so that a leading BOM stays part of the value rather than being eaten.
constexpr auto strictFlags = QStringConverter::Flag::Stateless | QStringConverter::Flag::ConvertInitialBom;

// "" for an empty item and for bytes that are not UTF-8.
QString decoded(const std::optional<QByteArray>& bytes)
{
    if (!bytes || bytes->isEmpty()) {
        return {};
    }
    QStringDecoder decoder(QStringDecoder::Utf8, strictFlags);
    const QString text = decoder.decode(*bytes);
    // A lossy decode would hand out a key with replacement characters that fails later with a confusing error.
    if (decoder.hasError()) {
        return {};
    }
    return text;
}

} // namespace

KeychainStore::KeychainStore(std::shared_ptr<platform::SecretStore> store) : m_store(std::move(store)) { }

QString KeychainStore::load(const QString& service, const QString& account) const
{
    return m_store ? decoded(m_store->load(service, account)) : QString();
}

QStringList KeychainStore::loadEach(const QString& service, const QString& account) const
{
    QStringList texts;
    if (m_store) {
        for (const QByteArray& bytes : m_store->loadEach(service, account)) {
            if (const QString text = decoded(bytes); !text.isEmpty() && !texts.contains(text)) {
                texts << text;
            }
        }
    }
    return texts;
}

bool KeychainStore::save(const QString& service, const QString& account, const QString& value)
{
    if (!m_store) {
        return false;
    }
    // A lone surrogate has no UTF-8 form; storing a substitute would change the secret behind the caller's back.
    QStringEncoder encoder(QStringEncoder::Utf8, strictFlags);
    const QByteArray bytes = encoder.encode(value);
    if (encoder.hasError()) {
        return false;
    }
    return m_store->save(service, account, bytes);
}

bool KeychainStore::remove(const QString& service, const QString& account)
{
    return m_store && m_store->remove(service, account);
}

std::vector<SecretNotice> KeychainStore::check(
    const QString& service, const QString& account, const SecretStore::ValueCheck& usable)
{
    return m_store ? m_store->check(service, account, usable) : std::vector<SecretNotice> {};
}

} // namespace murmeli::platform
