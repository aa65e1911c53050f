#include "main/common/BoundedFile.h"

#include <functional>

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include <unistd.h>

namespace murmeli::common {
namespace {

bool writeBytes(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

bool link(const QString& target, const QString& path)
{
    return ::symlink(QFile::encodeName(target).constData(), QFile::encodeName(path).constData()) == 0;
}

// What each kind of name leads to, with the file's own reason, for a reader that follows links and one that does
// not. The FIFOs, devices and folders that the readers meet are in tests/integration/HostileFilesTest.
TEST(BoundedFileTest, SaysWhyANameWasNotRead)
{
    QTemporaryDir root;
    const QString path = root.filePath(QStringLiteral("name"));
    const QString regular = root.filePath(QStringLiteral("regular"));
    ASSERT_TRUE(writeBytes(regular, "0123456789"));
    using Links = BoundedFile::Links;
    struct Row {
        const char* name;
        std::function<bool()> plant;
        qint64 limit;
        FileProblem followed;
        FileProblem unfollowed;
        QString below = {}; // read a name inside the planted one
    };
    const Row rows[] = {
        { "nothing", [] { return true; }, 10, FileProblem::Missing, FileProblem::Missing },
        { "fits exactly", [&] { return writeBytes(path, "0123456789"); }, 10, FileProblem::None, FileProblem::None },
        { "one byte over", [&] { return writeBytes(path, "0123456789"); }, 9, FileProblem::TooLarge,
            FileProblem::TooLarge },
        { "link to /dev/zero", [&] { return link(QStringLiteral("/dev/zero"), path); }, 10, FileProblem::NotRegularFile,
            FileProblem::NotRegularFile },
        { "link to a file", [&] { return link(regular, path); }, 10, FileProblem::None, FileProblem::NotRegularFile },
        { "dangling link", [&] { return link(root.filePath(QStringLiteral("gone")), path); }, 10, FileProblem::Missing,
            FileProblem::NotRegularFile },
        { "below a file", [&] { return writeBytes(path, "x"); }, 10, FileProblem::Missing, FileProblem::Missing,
            QStringLiteral("/x") },
        // Opens like a regular file and fails on the first read, even for root.
        { "link to /proc/self/mem", [&] { return link(QStringLiteral("/proc/self/mem"), path); }, 10,
            FileProblem::Unreadable, FileProblem::NotRegularFile },
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        QFile::remove(path);
        ASSERT_TRUE(row.plant());
        for (const auto& [links, expected] :
            { std::pair { Links::Follow, row.followed }, std::pair { Links::Refuse, row.unfollowed } }) {
            FileProblem problem = FileProblem::None;
            const std::optional<QByteArray> bytes = BoundedFile::read(path + row.below, row.limit, &problem, links);
            EXPECT_EQ(problem, expected) << (links == Links::Follow ? "following links" : "refusing links");
            EXPECT_EQ(bytes.has_value(), expected == FileProblem::None);
            if (bytes) {
                EXPECT_EQ(*bytes, QByteArray("0123456789"));
            }
        }
    }
}

TEST(BoundedFileTest, AFileThatGrowsPastTheCapAfterOpeningIsTooLarge)
{
    QTemporaryDir root;
    const QString path = root.filePath(QStringLiteral("growing"));
    ASSERT_TRUE(writeBytes(path, "small"));
    BoundedFile file(path);
    ASSERT_TRUE(file.isOpen());
    ASSERT_EQ(file.size(), 5);
    ASSERT_TRUE(writeBytes(path, QByteArray(100'000, 'x')));

    EXPECT_FALSE(file.readAll(50'000).has_value());
    EXPECT_EQ(file.problem(), FileProblem::TooLarge);
}

TEST(BoundedFileTest, ReadsFilesThatReportNoSize)
{
    // Files of /proc say 0 bytes and hold more; the size only sizes the first read.
    BoundedFile file(QStringLiteral("/proc/self/status"));
    ASSERT_TRUE(file.isOpen());
    ASSERT_EQ(file.size(), 0);
    const std::optional<QByteArray> bytes = file.readAll(1 << 20);
    ASSERT_TRUE(bytes.has_value());
    EXPECT_TRUE(bytes->contains("VmRSS:"));
}

} // namespace
} // namespace murmeli::common
