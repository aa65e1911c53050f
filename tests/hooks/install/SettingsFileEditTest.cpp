#include "main/hooks/install/SettingsFileEdit.h"

#include <gtest/gtest.h>

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "tests/support/Files.h"

using namespace murmeli::hooks;

// Five backups are there already; their modification times run against their names, as copies keep the time of the
// file they copied. An edit keeps the backup it makes (the settings before it) and drops the backup whose name is
// oldest. Named after the time they were made, the five earlier ones sort before the new one, or after it once the
// clock was set back.
TEST(SettingsFileEditTest, PastFiveBackupsTheOldestGoesNeverTheNewest)
{
    for (const char* year : { "2020", "2099" }) {
        SCOPED_TRACE(year);
        QTemporaryDir folder;
        const QString path = folder.filePath(QStringLiteral("settings.json"));
        QStringList earlier;
        for (int day = 1; day <= SettingsFileEdit::maxBackups; ++day) {
            earlier << path + QStringLiteral(".murmeli-backup-") + QLatin1String(year)
                    + QStringLiteral("010%1-120000-000-42").arg(day);
            QFile backup(earlier.back());
            ASSERT_TRUE(backup.open(QIODevice::WriteOnly) && backup.write("{}") == 2);
            ASSERT_TRUE(
                backup.setFileTime(QDateTime::currentDateTime().addDays(-day), QFileDevice::FileModificationTime));
        }
        QFile settings(path);
        ASSERT_TRUE(settings.open(QIODevice::WriteOnly) && settings.write("{\"a\": 1}\n") == 9);
        settings.close();

        const auto setA = [](JsonText& json, QString*) {
            json.insert(QStringLiteral("a"), JsonText(2));
            return true;
        };
        QString message;
        ASSERT_EQ(SettingsFileEdit::edit(path, setA, &message), SettingsFileEdit::Outcome::Written)
            << message.toStdString();

        QStringList backups = QDir(folder.path()).entryList({ QStringLiteral("settings.json.murmeli-backup-*") });
        for (QString& name : backups) {
            name = folder.filePath(name);
        }
        EXPECT_EQ(backups.size(), SettingsFileEdit::maxBackups) << backups.join(QLatin1Char(' ')).toStdString();
        EXPECT_FALSE(backups.contains(earlier.front())) << backups.join(QLatin1Char(' ')).toStdString();
        for (const QString& kept : earlier.mid(1)) {
            EXPECT_TRUE(backups.contains(kept)) << kept.toStdString();
        }
        for (const QString& name : earlier) {
            backups.removeOne(name);
        }
        ASSERT_EQ(backups.size(), 1) << "the backup just made is gone";
        EXPECT_EQ(murmeli::test::readFile(backups.front()), "{\"a\": 1}\n");
    }
}
