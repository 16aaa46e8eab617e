// Saving and numbering under real write failures: a process whose files may not grow past a
// limit, and a file system that has run full. Every failure must be reported with the system's
// reason and leave the disk as it was: the old file byte for byte, no temporary file.
#include "disk_faults.h"
#include "files/identity.h"
#include "files/settings_file.h"
#include "sim_link.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstring>

using namespace zef;
using test::FileBytes;
using test::FolderEntries;
using test::RawRecord;

namespace {

QByteArray Repeat(const QByteArray& line, int times) {
    QByteArray text;
    for (int i = 0; i < times; ++i)
        text += line;
    return text;
}

// A log whose records run on from the seed's counter, as many as asked.
QByteArray LogOf(int records) {
    QByteArray log;
    for (int r = 0; r < records; ++r)
        log += RawRecord("ZEF-K7LX SN 05.02 " + QByteArray::number(113 + r).rightJustified(5, '0') +
                         " ");
    return log;
}

QString Native(const QString& path) {
    return QDir::toNativeSeparators(path);
}

TEST(WriteFaults, save_past_the_file_size_limit_keeps_the_old_file_and_says_why) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QByteArray old = Repeat("777\r\n", 31);
    struct Case {
        const char* name;
        bool oldFile;
        rlim_t limit; // the helper's file is 186 bytes
        bool fits;
    };
    const Case cases[] = {
        {"not a byte may be written", true, 0, false},
        {"one byte", true, 1, false},
        {"half the file", true, 93, false},
        {"one byte short", true, 185, false},
        {"a new file, half of it", false, 93, false},
        {"exactly room for it", true, 186, true},
    };
    const QString path = dir.filePath("golf.zef");
    for (const auto& c : cases) {
        QFile::remove(path);
        if (c.oldFile) {
            ASSERT_TRUE(test::WriteFile(path, old));
        }
        const QStringList before = FolderEntries(dir.path());

        const auto child = test::RunUnderFileSizeLimit(ZEF_SAVE_HELPER, {path}, c.limit);
        ASSERT_TRUE(child.finished) << c.name;
        const std::string output = child.errorOutput.toStdString();
        if (c.fits) {
            EXPECT_EQ(child.exitCode, 0) << c.name << ": " << output;
            EXPECT_EQ(FileBytes(path)->size(), 186) << c.name;
            EXPECT_TRUE(FileBytes(path)->startsWith("1000\r\n1003\r\n")) << c.name;
            continue;
        }
        EXPECT_EQ(child.exitCode, 1) << c.name << ": " << output;
        EXPECT_TRUE(child.errorOutput.contains(Native(path))) << c.name << ": " << output;
        EXPECT_TRUE(child.errorOutput.contains(std::strerror(EFBIG))) << c.name << ": " << output;
        EXPECT_TRUE(child.errorOutput.contains(c.oldFile ? "Прежнее содержимое файла сохранено."
                                                         : "Файл не создан."))
            << c.name << ": " << output;
        EXPECT_EQ(FileBytes(path), c.oldFile ? std::optional(old) : std::nullopt) << c.name;
        EXPECT_EQ(FolderEntries(dir.path()), before) << c.name;
    }
}

TEST(WriteFaults, numbering_past_the_file_size_limit_keeps_the_log_and_says_why) {
    struct Case {
        const char* name;
        std::optional<QByteArray> log;
        rlim_t limit;
        const char* error;
    };
    const QByteArray two = LogOf(2);
    const Case cases[] = {
        {"no room for a record", two, 80, "Не удалось записать журнал"},
        {"half a record", two, 100, "Не удалось записать журнал"},
        {"one byte short", two, 119, "Не удалось записать журнал"},
        // The new record goes over the partial one; that must come back as it was.
        {"over a partial record", two + QByteArray(17, 'z'), 100, "Не удалось записать журнал"},
        {"no log yet", std::nullopt, 20, "Не удалось создать журнал"},
    };
    for (const auto& c : cases) {
        QTemporaryDir dir;
        ASSERT_TRUE(dir.isValid());
        const QString log = dir.filePath("Protocol.lst");
        if (c.log) {
            ASSERT_TRUE(test::WriteFile(log, *c.log));
        }
        const QStringList before = FolderEntries(dir.path());

        const auto child =
            test::RunUnderFileSizeLimit(ZEF_NUMBER_HELPER, {dir.path(), "1"}, c.limit);
        ASSERT_TRUE(child.finished) << c.name;
        const std::string output = child.errorOutput.toStdString();
        EXPECT_EQ(child.exitCode, 1) << c.name << ": " << output;
        EXPECT_TRUE(child.errorOutput.contains(QString::fromUtf8(c.error)))
            << c.name << ": " << output;
        EXPECT_TRUE(child.errorOutput.contains(Native(log))) << c.name << ": " << output;
        EXPECT_TRUE(child.errorOutput.contains(std::strerror(EFBIG))) << c.name << ": " << output;
        EXPECT_EQ(FileBytes(log), c.log) << c.name;
        EXPECT_EQ(FolderEntries(dir.path()), before) << c.name;
    }

    // With just room for the record the same helper numbers: the limit, not the helper, failed.
    QTemporaryDir dir;
    ASSERT_TRUE(test::WriteFile(dir.filePath("Protocol.lst"), two));
    const auto child = test::RunUnderFileSizeLimit(ZEF_NUMBER_HELPER, {dir.path(), "1"}, 120);
    ASSERT_TRUE(child.finished);
    EXPECT_EQ(child.exitCode, 0) << child.errorOutput.toStdString();
    EXPECT_EQ(FileBytes(dir.filePath("Protocol.lst"))->size(), 120);
}

class FullDisk : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        ASSERT_TRUE(sim.opened);
        if (!disk.Mounted())
            GTEST_SKIP() << disk.Reason();
    }
    QString Path(const QString& name) const { return dir.filePath(name); }

    QTemporaryDir dir;
    test::SmallTmpfs disk{dir.path(), "64k"};
    test::SimLink sim{{.blankIdentity = true}};
};

TEST_F(FullDisk, save_keeps_the_old_file_and_says_the_disk_is_full) {
    const QByteArray old = Repeat("777\r\n", 31);
    ASSERT_TRUE(test::WriteFile(Path("golf.zef"), old));
    ASSERT_TRUE(disk.Fill());
    const QStringList before = FolderEntries(dir.path());

    for (const char* name : {"golf.zef", "new.zef"}) {
        const Status saved = SaveSettings(sim.link, Path(name));
        ASSERT_FALSE(saved) << name;
        const std::string error = saved.error().toStdString();
        EXPECT_TRUE(saved.error().contains(Native(Path(name)))) << error;
        EXPECT_TRUE(saved.error().contains(std::strerror(ENOSPC))) << error;
        EXPECT_TRUE(saved.error().contains("Освободите место на диске")) << error;
    }
    EXPECT_EQ(FileBytes(Path("golf.zef")), old);
    EXPECT_EQ(FolderEntries(dir.path()), before);
}

// 512 records fill five pages exactly, so the next record needs a page the disk does not have.
TEST_F(FullDisk, numbering_keeps_the_log_and_the_blank_controller_and_says_why) {
    const QByteArray log = LogOf(512);
    ASSERT_EQ(log.size() % 4096, 0);
    ASSERT_TRUE(test::WriteFile(Path("Protocol.lst"), log));
    ASSERT_TRUE(disk.Fill());
    const QStringList before = FolderEntries(dir.path());

    test::SilentView view;
    DeviceIdentity identity(sim.link, dir.path(), [] { return QDate(2026, 12, 7); });
    const auto reading = identity.ReadIdentity(view);

    ASSERT_FALSE(reading);
    const std::string error = reading.error().toStdString();
    EXPECT_TRUE(reading.error().contains("Не удалось записать журнал")) << error;
    EXPECT_TRUE(reading.error().contains(std::strerror(ENOSPC))) << error;
    EXPECT_FALSE(reading.error().contains("Unknown error")) << error;
    EXPECT_EQ(FileBytes(Path("Protocol.lst")), log);
    EXPECT_EQ(FolderEntries(dir.path()), before);
    EXPECT_EQ(sim.Serial(), kBlankSerial);
    EXPECT_TRUE(sim.Writes().empty());
}

TEST_F(FullDisk, first_numbering_creates_no_log_and_says_why) {
    ASSERT_TRUE(disk.Fill());
    const QStringList before = FolderEntries(dir.path());
    test::SilentView view;
    DeviceIdentity identity(sim.link, dir.path(), [] { return QDate(2026, 12, 7); });
    const auto reading = identity.ReadIdentity(view);

    ASSERT_FALSE(reading);
    EXPECT_TRUE(reading.error().contains(std::strerror(ENOSPC))) << reading.error().toStdString();
    EXPECT_EQ(FolderEntries(dir.path()), before);
    EXPECT_EQ(sim.Serial(), kBlankSerial);
}

} // namespace
