#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include "platform/autostart/xdg/XdgAutostartEntry.h"

using murmeli::platform::XdgAutostartEntry;

namespace {

QString execLineOf(const QByteArray& entry)
{
    for (const QByteArray& line : entry.split('\n')) {
        if (line.startsWith("Exec=")) {
            return QString::fromUtf8(line.mid(5));
        }
    }
    return {};
}

} // namespace

// Switching on writes the entry into a folder that did not exist yet; switching off removes it; each state is
// read back from the folder itself.
TEST(XdgAutostartEntryTest, OnWritesTheEntryAndOffRemovesIt)
{
    QTemporaryDir home;
    XdgAutostartEntry entry(home.path() + QStringLiteral("/config/autostart"), QStringLiteral("/usr/bin/murmeli"));
    EXPECT_FALSE(entry.isEnabled());
    EXPECT_EQ(entry.setEnabled(false), std::nullopt) << "nothing to remove is no failure";

    ASSERT_EQ(entry.setEnabled(true), std::nullopt);
    EXPECT_TRUE(entry.isEnabled());
    QFile file(entry.filePath());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray text = file.readAll();
    EXPECT_TRUE(text.startsWith("[Desktop Entry]\n"));
    EXPECT_TRUE(text.contains("\nType=Application\n"));
    EXPECT_EQ(execLineOf(text), QStringLiteral("/usr/bin/murmeli"));

    ASSERT_EQ(entry.setEnabled(false), std::nullopt);
    EXPECT_FALSE(entry.isEnabled());
    EXPECT_FALSE(QFile::exists(entry.filePath()));
}

// Switching off takes the autostart folder away again only when murmeli made it and nothing else went in since.
TEST(XdgAutostartEntryTest, OffRemovesTheFolderOnlyWhenMurmeliMadeItAndItIsEmpty)
{
    struct Case {
        const char* name;
        bool wasThere;
        bool otherEntry;
        bool keepsNote;
        bool folderStays;
    };
    for (const Case& c : { Case { "made, empty", false, false, true, false },
             Case { "made, another entry since", false, true, true, true },
             Case { "the user's, empty", true, false, true, true },
             Case { "made, but no note is kept", false, false, false, true } }) {
        QTemporaryDir home;
        const QString folder = home.path() + QStringLiteral("/config/autostart");
        const QString note = home.path() + QStringLiteral("/config/murmeli/autostart-folder-made");
        if (c.wasThere) {
            ASSERT_TRUE(QDir().mkpath(folder));
        }
        XdgAutostartEntry entry(folder, QStringLiteral("/usr/bin/murmeli"), c.keepsNote ? note : QString());
        ASSERT_EQ(entry.setEnabled(true), std::nullopt) << c.name;
        if (c.otherEntry) {
            QFile other(folder + QStringLiteral("/other.desktop"));
            ASSERT_TRUE(other.open(QIODevice::WriteOnly)) << c.name;
        }
        ASSERT_EQ(entry.setEnabled(false), std::nullopt) << c.name;
        EXPECT_FALSE(entry.isEnabled()) << c.name;
        EXPECT_EQ(QFileInfo::exists(folder), c.folderStays) << c.name;
        // The note goes with the folder, and stays while murmeli may still take the folder away.
        EXPECT_EQ(QFileInfo::exists(note), c.keepsNote && !c.wasThere && c.folderStays) << c.name;
    }
}

// A folder that cannot be made is a failure with the reason, and the entry stays off.
TEST(XdgAutostartEntryTest, AFolderThatCannotBeMadeIsAFailureWithItsPath)
{
    QTemporaryDir home;
    QFile blocker(home.path() + QStringLiteral("/autostart"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    XdgAutostartEntry entry(blocker.fileName(), QStringLiteral("/usr/bin/murmeli"));
    const std::optional<QString> failure = entry.setEnabled(true);
    ASSERT_TRUE(failure.has_value());
    EXPECT_TRUE(failure->contains(blocker.fileName())) << failure->toStdString();
    EXPECT_FALSE(entry.isEnabled());
}

// The Exec line of the desktop entry format: reserved characters are quoted, backslashes escaped twice, "%"
// doubled; a path with a line break cannot be written.
TEST(XdgAutostartEntryTest, ExecLinesQuoteWhatTheFormatReserves)
{
    struct Row {
        const char* path;
        std::optional<const char*> exec;
    };
    const Row rows[] = {
        { "/opt/murmeli/bin/murmeli", "/opt/murmeli/bin/murmeli" },
        { "/home/a b/murmeli", "\"/home/a b/murmeli\"" },
        { "/home/$x/\"q\"/murmeli", "\"/home/\\\\$x/\\\\\"q\\\\\"/murmeli\"" },
        { "/home/100%/murmeli", "/home/100%%/murmeli" },
        { "/home/a\nb/murmeli", std::nullopt },
    };
    for (const Row& row : rows) {
        const std::optional<QByteArray> text = XdgAutostartEntry::entryText(QString::fromUtf8(row.path));
        ASSERT_EQ(text.has_value(), row.exec.has_value()) << row.path;
        if (text) {
            EXPECT_EQ(execLineOf(*text), QString::fromUtf8(*row.exec)) << row.path;
        }
    }
}
