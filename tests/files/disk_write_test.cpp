// The one way the program writes a whole file, and the permissions of the files it makes.
#include "disk_faults.h"
#include "files/disk_write.h"
#include "files/identity.h"
#include "files/settings_file.h"
#include "sim_link.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstring>

using namespace zef;
using test::FileBytes;
using test::FolderEntries;
using test::ModeOf;

namespace {

class DiskWrite : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }
    QString Path(const QString& name) const { return dir.filePath(name); }
    QTemporaryDir dir;
};

TEST_F(DiskWrite, writes_exactly_the_bytes_over_whatever_was_there) {
    QByteArray large(3 << 20, '\0');
    for (qsizetype i = 0; i < large.size(); ++i)
        large[i] = char(i * 7 % 251);
    struct Case {
        const char* name;
        std::optional<QByteArray> before;
        QByteArray bytes;
    };
    const Case cases[] = {
        {"new file", std::nullopt, "1\r\n2\r\n"},
        {"empty content", std::nullopt, ""},
        {"longer file cut to the new length", QByteArray(5000, 'x'), "7\r\n"},
        {"several megabytes in many writes", "old", large},
    };
    for (const auto& c : cases) {
        QFile::remove(Path("f.zef"));
        if (c.before) {
            ASSERT_TRUE(test::WriteFile(Path("f.zef"), *c.before));
        }
        const Status written = WriteFileAtomically(Path("f.zef"), c.bytes);
        ASSERT_EQ(written.error(), "") << c.name;
        EXPECT_EQ(FileBytes(Path("f.zef")), c.bytes) << c.name;
        EXPECT_EQ(FolderEntries(dir.path()), QStringList{"f.zef"}) << c.name;
    }
}

TEST_F(DiskWrite, a_path_it_cannot_write_fails_with_the_reason_and_changes_nothing) {
    ASSERT_TRUE(QDir(dir.path()).mkdir("folder.zef"));
    ASSERT_TRUE(test::WriteFile(Path("folder.zef/inside"), "x"));
    ASSERT_TRUE(test::WriteFile(Path("plain"), "p"));
    struct Case {
        QString path;
        int error;
        const char* state;
    };
    const Case cases[] = {
        {Path("no/such/folder/car.zef"), ENOENT, "Файл не создан."},
        {Path("folder.zef"), EISDIR, "Файл не создан."},
        {Path("plain/car.zef"), ENOTDIR, "Файл не создан."},
    };
    const QStringList before = FolderEntries(dir.path());
    for (const auto& c : cases) {
        const Status written = WriteFileAtomically(c.path, "1\r\n");
        ASSERT_FALSE(written) << c.path.toStdString();
        EXPECT_EQ(written.error(), QStringLiteral("Не удалось записать файл «%1»:\n%2\n%3")
                                       .arg(QDir::toNativeSeparators(c.path),
                                            QString::fromLocal8Bit(std::strerror(c.error)),
                                            QString::fromUtf8(c.state)));
    }
    EXPECT_EQ(FolderEntries(dir.path()), before);
    EXPECT_EQ(FileBytes(Path("folder.zef/inside")), QByteArray("x"));
    EXPECT_EQ(FileBytes(Path("plain")), QByteArray("p"));
}

// A link the user keeps to a file elsewhere stays a link; the file it points to gets the bytes.
TEST_F(DiskWrite, a_symbolic_link_is_written_through) {
    ASSERT_TRUE(test::WriteFile(Path("real.zef"), "old"));
    ASSERT_TRUE(QFile::link(Path("real.zef"), Path("link.zef")));
    ASSERT_EQ(WriteFileAtomically(Path("link.zef"), "new").error(), "");
    EXPECT_TRUE(QFileInfo(Path("link.zef")).isSymLink());
    EXPECT_EQ(FileBytes(Path("real.zef")), QByteArray("new"));
    EXPECT_EQ(FolderEntries(dir.path()), QStringList({"link.zef", "real.zef"}));
}

TEST(SystemErrorText, is_the_systems_own_text_with_advice_for_the_common_reasons) {
    for (const int error : {ENOSPC, EFBIG, EACCES, EIO, EISDIR})
        EXPECT_EQ(SystemErrorText(error), QString::fromLocal8Bit(std::strerror(error))) << error;
    EXPECT_TRUE(DiskWriteReason(ENOSPC).startsWith(SystemErrorText(ENOSPC) + "\nОсвободите место"));
    EXPECT_TRUE(DiskWriteReason(EROFS).contains("только для чтения"));
    EXPECT_EQ(DiskWriteReason(EIO), SystemErrorText(EIO));
}

// Another account at the workstation must be able to use what this one saved and numbered, as
// far as the umask allows: a new file gets 0666 less the umask.
TEST(FileModes, new_settings_file_and_new_log_get_the_umask_permissions) {
    const std::pair<mode_t, mode_t> cases[] = {
        {022, 0644},
        {027, 0640},
        {002, 0664},
        {077, 0600},
    };
    for (const auto& [mask, expected] : cases) {
        QTemporaryDir dir;
        ASSERT_TRUE(dir.isValid());
        test::SimLink sim{{.blankIdentity = true}};
        ASSERT_TRUE(sim.opened);
        const test::ScopedUmask umask(mask);

        ASSERT_EQ(SaveSettings(sim.link, dir.filePath("car.zef")).error(), "");
        EXPECT_EQ(ModeOf(dir.filePath("car.zef")), expected) << std::oct << mask;

        test::SilentView view;
        DeviceIdentity identity(sim.link, dir.path(), [] { return QDate(2026, 12, 7); });
        const auto reading = identity.ReadIdentity(view);
        ASSERT_TRUE(reading && reading->numbered) << reading.error().toStdString();
        EXPECT_EQ(ModeOf(identity.LogPath()), expected) << std::oct << mask;
    }
}

TEST(FileModes, replaced_file_keeps_its_own_mode_and_owner) {
    struct Case {
        mode_t mask;
        mode_t mode;
    };
    const Case cases[] = {{022, 0600}, {027, 0664}, {022, 0640}, {077, 0644}, {022, 0444}};
    for (const auto& c : cases) {
        QTemporaryDir dir;
        ASSERT_TRUE(dir.isValid());
        const QString path = dir.filePath("car.zef");
        ASSERT_TRUE(test::WriteFile(path, "old"));
        ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), c.mode), 0);
        // Root replaces another account's file without taking it over.
        const bool root = ::geteuid() == 0;
        if (root) {
            ASSERT_EQ(::chown(QFile::encodeName(path).constData(), 65534, 65534), 0);
        }
        const test::ScopedUmask umask(c.mask);

        ASSERT_EQ(WriteFileAtomically(path, "new").error(), "") << std::oct << c.mode;
        EXPECT_EQ(FileBytes(path), QByteArray("new"));
        EXPECT_EQ(ModeOf(path), c.mode) << std::oct << c.mode;
        if (root) {
            struct stat st {};
            ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &st), 0);
            EXPECT_EQ(st.st_uid, 65534u);
            EXPECT_EQ(st.st_gid, 65534u);
        }
    }
}

} // namespace
