#pragma once

#include "platform/secrets/SecretStore.h"

namespace murmeli::platform {

// On-disk layout, shared with the hook installer script (which writes the hook secret without a JSON tool):
//
//   directory   ${XDG_DATA_HOME:-$HOME/.local/share}/murmeli/secrets        mode 0700
//   one file    <directory>/<service>.<account>                             mode 0600, regular file, at most 64 KiB
//               e.g. ~/.local/share/murmeli/secrets/com.murmeli.apikey.hook-auth.secret
//   content     the value's raw bytes, nothing added and nothing stripped on reading (the hook secret's readers,
//               murmeli and the hook scripts alike, drop the white space that ends it, which `echo` or an editor adds)
//
// Service and account must be non-empty, use only [A-Za-z0-9._-] and not start with '.'. Since the two are joined
// with a dot, ("a.b", "c") and ("a", "b.c") share a file; our services are reverse-DNS names, so that never bites.
// A file that is a symlink, not a regular file, another user's, or open to group or others is not read: a secret
// somebody else could have read or planted is no secret. check() closes the user's own file to the others, and says
// so of a file over the cap or one whose content the caller cannot use.

/// Secrets as one file per item in a directory only the user can enter; the fallback where no Secret Service answers.
class FileSecretStore final : public SecretStore {
public:
    explicit FileSecretStore(QString directory);

    /// $XDG_DATA_HOME/murmeli/secrets, or ~/.local/share/murmeli/secrets when that is unset or relative.
    static QString standardDirectory();

    /// Largest item read or written, in bytes.
    static constexpr qint64 maxValueSize = 64 * 1024;

    bool isAvailable() const override;
    std::optional<QByteArray> load(const QString& service, const QString& account) const override;
    bool save(const QString& service, const QString& account, const QByteArray& value) override;
    bool remove(const QString& service, const QString& account) override;
    std::vector<SecretNotice> check(const QString& service, const QString& account, const ValueCheck& usable) override;
    QString backendName() const override;

private:
    bool ensureDirectory() const;
    std::optional<QString> itemPath(const QString& service, const QString& account) const;

    QString m_directory;
};

} // namespace murmeli::platform
