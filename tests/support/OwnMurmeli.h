#pragma once

#include <optional>

#include <QDir>
#include <QFile>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QString>

namespace murmeli::test {

/// The environment of a real murmeli that a test starts beside the user's own, which it must never reach: below
/// folder, a home (onboarding done), an instance folder (the lock and the socket a later start finds), a runtime
/// folder, a temporary folder (for its takes) and a status folder of its own; secrets in a file rather than the user's
/// keyring; any free hook port (the one it took is in its log, hookPortIn()); no display. Empty when the folders cannot
/// be made.
inline std::optional<QProcessEnvironment> ownMurmeliEnvironment(
    const QString& folder, QProcessEnvironment environment = QProcessEnvironment::systemEnvironment())
{
    const QDir root(folder);
    const QString home = root.filePath(QStringLiteral("home"));
    const QFileDevice::Permissions own = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner;
    if (!root.mkpath(QStringLiteral("home/.config/murmeli")) || !root.mkpath(QStringLiteral("status"))
        || !QDir().mkdir(root.filePath(QStringLiteral("run")), own)
        || !QDir().mkdir(root.filePath(QStringLiteral("instance")), own)
        || !QDir().mkdir(root.filePath(QStringLiteral("tmp")), own)) {
        return std::nullopt;
    }
    QFile defaults(home + QStringLiteral("/.config/murmeli/defaults.json"));
    if (!defaults.open(QIODevice::WriteOnly) || defaults.write(R"({"onboarding.v1.completed": true})") <= 0) {
        return std::nullopt;
    }
    environment.insert(QStringLiteral("HOME"), home);
    environment.insert(QStringLiteral("MURMELI_INSTANCE_DIR"), root.filePath(QStringLiteral("instance")));
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), root.filePath(QStringLiteral("run")));
    environment.insert(QStringLiteral("TMPDIR"), root.filePath(QStringLiteral("tmp")));
    environment.insert(QStringLiteral("MURMELI_STATUS_DIR"), root.filePath(QStringLiteral("status")));
    environment.insert(QStringLiteral("MURMELI_PORT"), QStringLiteral("0"));
    environment.insert(QStringLiteral("MURMELI_SECRETS_BACKEND"), QStringLiteral("file"));
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    for (const char* name : { "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_STATE_HOME", "XDG_CACHE_HOME" }) {
        environment.remove(QString::fromLatin1(name));
    }
    return environment;
}

/// The hook port murmeli's log says it listens on; 0 while it says none.
inline quint16 hookPortIn(const QByteArray& log)
{
    static const QRegularExpression listening(QStringLiteral("HookServer: listening on 127\\.0\\.0\\.1:(\\d+)"));
    const QRegularExpressionMatch found = listening.match(QString::fromUtf8(log));
    return found.hasMatch() ? quint16(found.captured(1).toUInt()) : 0;
}

} // namespace murmeli::test
