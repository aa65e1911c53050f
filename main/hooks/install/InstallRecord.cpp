#include "main/hooks/install/InstallRecord.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include "main/common/AtomicFile.h"
#include "main/common/BoundedFile.h"

namespace murmeli::hooks {

namespace {

// Far more than the installers ever create.
constexpr qint64 maxRecordBytes = 1024 * 1024;

} // namespace

QString InstallRecord::defaultPath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation)
        + QStringLiteral("/murmeli/created-paths");
}

QStringList InstallRecord::paths() const
{
    if (m_record.isEmpty()) {
        return {};
    }
    const std::optional<QByteArray> bytes = common::BoundedFile::read(m_record, maxRecordBytes);
    return bytes ? QString::fromUtf8(*bytes).split(QLatin1Char('\n'), Qt::SkipEmptyParts) : QStringList {};
}

bool InstallRecord::contains(const QString& path) const
{
    return paths().contains(path);
}

bool InstallRecord::add(const QStringList& added) const
{
    QStringList listed = paths();
    const qsizetype before = listed.size();
    for (const QString& path : added) {
        if (!path.contains(QLatin1Char('\n')) && !listed.contains(path)) {
            listed << path;
        }
    }
    if (m_record.isEmpty() || listed.size() == before) {
        return true;
    }
    QDir().mkpath(QFileInfo(m_record).absolutePath());
    common::AtomicFile::Options options;
    options.newFileMode = 0600;
    return common::AtomicFile::write(m_record, listed.join(QLatin1Char('\n')).toUtf8() + '\n', options);
}

void InstallRecord::remove(const QString& path) const
{
    QStringList listed = paths();
    if (listed.removeAll(path) == 0) {
        return;
    }
    if (listed.isEmpty()) {
        QFile::remove(m_record);
        return;
    }
    common::AtomicFile::write(m_record, listed.join(QLatin1Char('\n')).toUtf8() + '\n');
}

} // namespace murmeli::hooks
