#include "files/log_location.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <sys/mount.h>
#include <unistd.h>

using namespace zef;

namespace {

TEST(LogFolder, named_folder_wins_then_a_writable_copied_program_then_user_data) {
    using S = LogFolderSource;
    struct Case {
        const char* what;
        bool writable, installed;
        QString named;
        QString expected;
        S source;
    };
    const Case cases[] = {
        {"a copied program keeps the log next to itself",
         true,
         false,
         {},
         "/opt/copy",
         S::NextToProgram},
        {"a copied program in a read-only folder",
         false,
         false,
         {},
         "/home/u/.local/share/zef",
         S::UserData},
        {"an installed program never writes next to itself",
         true,
         true,
         {},
         "/home/u/.local/share/zef",
         S::UserData},
        {"installed and read-only", false, true, {}, "/home/u/.local/share/zef", S::UserData},
        // One workstation, one log: a named folder is used even where the program's own folder
        // would take the log, so the numbering never switches between two logs.
        {"a named folder beats a writable program folder", true, false, "/mnt/line/", "/mnt/line",
         S::Named},
        {"a named folder for an installed program", false, true, "/mnt/line", "/mnt/line",
         S::Named},
    };
    for (const auto& c : cases) {
        const LogFolder f = ChooseLogFolder({.executableFolder = "/opt/copy",
                                             .executableFolderWritable = c.writable,
                                             .installed = c.installed,
                                             .namedFolder = c.named,
                                             .userDataFolder = "/home/u/.local/share/zef"});
        EXPECT_EQ(f.path, c.expected) << c.what;
        EXPECT_EQ(f.source, c.source) << c.what;
        // A message about the log names the folder and how to choose another.
        const QString said = DescribeLogFolder(f);
        EXPECT_TRUE(said.contains(QDir::toNativeSeparators(c.expected))) << c.what;
        EXPECT_TRUE(said.contains("--log-dir")) << c.what;
    }
}

TEST(LogFolder, log_dir_is_remembered_until_an_empty_one_forgets_it) {
    QTemporaryDir scratch;
    QSettings settings(QDir(scratch.path()).filePath("user.ini"), QSettings::IniFormat);
    struct Step {
        std::optional<QString> commandLine;
        QString remembered;
    };
    const QString absolute = QDir(scratch.path()).filePath("share");
    const Step steps[] = {
        {std::nullopt, {}},           {absolute, absolute},
        {std::nullopt, absolute}, // the next start without the option
        {"/mnt/other", "/mnt/other"}, {QString(""), {}},
        {std::nullopt, {}},
    };
    for (const auto& s : steps) {
        EXPECT_EQ(RememberNamedLogFolder(settings, s.commandLine), s.remembered);
        EXPECT_EQ(settings.value("paths/logDir").toString(), s.remembered);
    }
    // A relative folder is kept as the absolute one it meant when given.
    const QString here = QDir::currentPath();
    EXPECT_EQ(RememberNamedLogFolder(settings, QString("logs")), QDir(here).filePath("logs"));
}

struct ReadOnlyFolder {
    QTemporaryDir dir;
    bool mounted = false;
    bool ok = false;
    ReadOnlyFolder() {
        // Permission bits stop everyone but root; root needs a read-only mount.
        if (::geteuid() != 0) {
            ok = QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::ExeOwner);
            return;
        }
        mounted = ::mount("tmpfs", QFile::encodeName(dir.path()).constData(), "tmpfs", MS_RDONLY,
                          "size=64k") == 0;
        ok = mounted;
    }
    ~ReadOnlyFolder() {
        if (mounted)
            ::umount(QFile::encodeName(dir.path()).constData());
        QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
};

TEST(LogFolder, facts_come_from_the_file_system) {
    QTemporaryDir copied, data;
    const auto facts = GatherLogFolderFacts(copied.path(), {}, data.path());
    EXPECT_TRUE(facts.executableFolderWritable);
    EXPECT_FALSE(facts.installed);
    EXPECT_EQ(ResolveLogFolder(facts).path, copied.path());
    // The probe leaves nothing behind.
    EXPECT_TRUE(QDir(copied.path())
                    .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot)
                    .isEmpty());

    // An installation: bin/ beside share/applications/ with the desktop entry.
    QTemporaryDir prefix;
    QDir(prefix.path()).mkpath("bin");
    QDir(prefix.path()).mkpath("share/applications");
    QFile entry(QDir(prefix.path()).filePath("share/applications/zef-service.desktop"));
    ASSERT_TRUE(entry.open(QIODevice::WriteOnly));
    entry.close();
    const QString userData = QDir(data.path()).filePath("ZEF/zef-service");
    const auto installed = GatherLogFolderFacts(QDir(prefix.path()).filePath("bin"), {}, userData);
    EXPECT_TRUE(installed.installed);
    const LogFolder chosen = ResolveLogFolder(installed);
    EXPECT_EQ(chosen.source, LogFolderSource::UserData);
    EXPECT_TRUE(QFileInfo(userData).isDir()) << "the user's data folder is made when chosen";

    // A named folder that is missing (an unmounted share) is not made: the numbering must
    // fail and say so rather than start a second log.
    const QString share = QDir(data.path()).filePath("not-mounted");
    EXPECT_EQ(ResolveLogFolder(GatherLogFolderFacts(copied.path(), share, userData)).path, share);
    EXPECT_FALSE(QFileInfo::exists(share));
}

TEST(LogFolder, read_only_program_folder_sends_the_log_to_user_data) {
    ReadOnlyFolder folder;
    if (!folder.ok)
        GTEST_SKIP() << "no read-only folder can be made here";
    QTemporaryDir data;
    const auto facts = GatherLogFolderFacts(folder.dir.path(), {}, data.path());
    EXPECT_FALSE(facts.executableFolderWritable);
    EXPECT_EQ(ResolveLogFolder(facts).source, LogFolderSource::UserData);
}

} // namespace
