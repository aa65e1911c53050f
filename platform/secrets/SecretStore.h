#pragma once

#include <functional>
#include <optional>
#include <vector>

#include <QByteArray>
#include <QString>

namespace murmeli::platform {

/// What SecretStore::check() found of one copy of an item.
struct SecretNotice {
    /// Where the copy is kept and what was wrong with it, e.g. "<file> is a symbolic link".
    QString text;
    /// Whether the copy is read after all (it was repaired); otherwise it is not handed out.
    bool repaired = false;
};

/// Small secrets (API keys, the hooks' shared secret) kept per (service, account) as raw bytes; never throws.
class SecretStore {
public:
    /// Why a stored value is of no use to the caller (e.g. "is not UTF-8 text"), or nullopt when it is.
    using ValueCheck = std::function<std::optional<QString>(const QByteArray& value)>;

    SecretStore() = default;
    virtual ~SecretStore() = default;
    Q_DISABLE_COPY_MOVE(SecretStore)

    /// Whether the backend can be used right now; cheap after the first call.
    virtual bool isAvailable() const = 0;
    /// The stored bytes, or nullopt when there is no such item or the store refuses to hand it out.
    virtual std::optional<QByteArray> load(const QString& service, const QString& account) const = 0;
    /// Every copy of the item the store keeps, without repeats: at most one, unless the store is made of others.
    virtual std::vector<QByteArray> loadEach(const QString& service, const QString& account) const
    {
        std::optional<QByteArray> copy = load(service, account);
        return copy ? std::vector<QByteArray> { std::move(*copy) } : std::vector<QByteArray> {};
    }
    /// Stores value in place of any existing item; true on success.
    virtual bool save(const QString& service, const QString& account, const QByteArray& value) = 0;
    /// Deletes the item; true when it was removed or did not exist.
    virtual bool remove(const QString& service, const QString& account) = 0;
    /// Repairs what keeps a copy of the item from being handed out where that is safe, and says what it repaired or
    /// why a copy will not be handed out or, by usable (when set), cannot be used; nothing for an item that is fine or
    /// not there.
    virtual std::vector<SecretNotice> check(const QString& service, const QString& account, const ValueCheck& usable)
    {
        const std::optional<QByteArray> value = usable ? load(service, account) : std::nullopt;
        const std::optional<QString> why = value ? usable(*value) : std::nullopt;
        if (!why) {
            return {};
        }
        return { { QStringLiteral("the %1 item %2.%3 ").arg(backendName(), service, account) + *why } };
    }
    /// Short backend name for diagnostics: "secret-service", "file" or "fake".
    virtual QString backendName() const = 0;
};

} // namespace murmeli::platform
