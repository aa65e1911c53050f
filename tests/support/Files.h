#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

namespace murmeli::test {

/// The file's bytes, empty when it cannot be read.
inline QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace murmeli::test
