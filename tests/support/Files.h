#pragma once

#include <QByteArray>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QString>
#include <QStringList>

namespace murmeli::test {

/// The file's bytes, empty when it cannot be read.
inline QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

/// Writes a shell script that only its owner may read and run; whether it was written.
inline bool writeScript(const QString& path, const QByteArray& body)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write("#!/bin/sh\n" + body) == body.size() + 10
        && file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

/// Every file below the directory, hidden ones too, as sorted paths relative to it.
inline QStringList filesUnder(const QString& root)
{
    QStringList found;
    QDirIterator it(root, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        found << QDir(root).relativeFilePath(it.next());
    }
    found.sort();
    return found;
}

} // namespace murmeli::test
