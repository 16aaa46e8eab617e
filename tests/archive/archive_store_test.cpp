// The archive on disk: where snapshots go, that they are the save's bytes, that an unchanged
// state is not stored twice, and that a failed read or write leaves nothing behind.
#include "archive/snapshot_archive.h"
#include "files/disk_faults.h"
#include "files/sim_link.h"

#include <QCoreApplication>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <QProcess>
#include <gtest/gtest.h>
#include <set>

#include <cstring>

using namespace zef;
using test::FileBytes;
using test::FolderEntries;

namespace {

constexpr char kSerial[] = "ZEF-K7LX SN 05.02 00123 ";
constexpr char kFolder[] = "calibrations/ZEF-K7LX_SN_05.02_00123";

// A clock that moves on a second at each reading, or stands still.
struct Clock {
    QDateTime now{QDate(2026, 5, 1), QTime(12, 0, 0)};
    int step = 1;
    QDateTime operator()() {
        const QDateTime t = now;
        now = now.addSecs(step);
        return t;
    }
};

TEST(ArchiveStore, serial_numbers_become_safe_folder_names) {
    const struct {
        QString serial;
        QString folder;
    } cases[] = {
        {kSerial, "ZEF-K7LX_SN_05.02_00123"},
        {kBlankSerial, "blank"},
        {QString(24, ' '), "blank"},
        {"../../etc/passwd", "_._.._etc_passwd"},
        {"..", "__"},
        {"A:B*C?\"<>|\\", "A_B_C______"},
        {"tab\there\x01", "tab_here_"},
        {"con", "_con"},
        {"COM1", "_COM1"},
        {"COM10", "COM10"},
        {"Серия 7.", "Серия_7_"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(SerialFolderName(c.serial), c.folder) << c.serial.toStdString();
}

TEST(ArchiveStore, data_folder_is_the_one_given_or_the_per_user_application_folder) {
    QStandardPaths::setTestModeEnabled(true);
    UseApplicationNames();
    const QString perUser = DataFolder({});
    EXPECT_TRUE(perUser.endsWith("/ZEF/zef-service")) << perUser.toStdString();
    EXPECT_TRUE(
        perUser.startsWith(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation)))
        << perUser.toStdString();
    EXPECT_EQ(DataFolder("/srv/zef/../data/"), "/srv/data");
    EXPECT_TRUE(QDir::isAbsolutePath(DataFolder("relative")));
    QStandardPaths::setTestModeEnabled(false);
}

// The snapshot must load back exactly as a saved file would, and a controller that was only
// reconnected must not fill its folder with copies.
TEST(ArchiveStore, snapshots_are_the_saves_bytes_one_per_distinct_state_in_order) {
    QTemporaryDir data;
    test::SimLink sim;
    ASSERT_TRUE(sim.opened);
    Clock clock;
    const CalibrationArchive archive(data.path(), std::ref(clock));

    const auto first = TakeSnapshot(sim.link, archive, QString(kSerial), SnapshotReason::Connect);
    ASSERT_TRUE(first) << first.error().toStdString();
    EXPECT_TRUE(first->written);
    EXPECT_EQ(first->path, data.filePath(kFolder) + "/2026-05-01_12-00-00_connect.zef");
    ASSERT_TRUE(SaveSettings(sim.link, data.filePath("saved.zef")));
    EXPECT_EQ(FileBytes(first->path), FileBytes(data.filePath("saved.zef")));

    const auto again =
        TakeSnapshot(sim.link, archive, QString(kSerial), SnapshotReason::BeforeLoad);
    ASSERT_TRUE(again);
    EXPECT_FALSE(again->written);
    EXPECT_EQ(again->path, first->path);

    // A state seen before, but not the latest, is stored again: the list is a history.
    sim.SetParam(25, 420);
    ASSERT_TRUE(TakeSnapshot(sim.link, archive, QString(kSerial), SnapshotReason::BeforeLoad));
    sim.SetParam(25, 300);
    clock.step = 0; // two more within one second
    ASSERT_TRUE(TakeSnapshot(sim.link, archive, QString(kSerial), SnapshotReason::Connect));
    sim.SetParam(73, 5000);
    ASSERT_TRUE(TakeSnapshot(sim.link, archive, QString(kSerial), SnapshotReason::BeforeLoad));

    // Files that are no snapshots share the folder without being listed.
    ASSERT_TRUE(test::WriteFile(data.filePath(kFolder) + "/notes.zef", "1\r\n"));
    ASSERT_TRUE(test::WriteFile(data.filePath(kFolder) + "/2026-05-01_12-00-09_other.zef", "1"));

    const auto list = archive.List(kSerial);
    std::vector<QString> names;
    for (const Snapshot& s : list)
        names.push_back(QFileInfo(s.path).fileName());
    EXPECT_EQ(names, (std::vector<QString>{"2026-05-01_12-00-00_connect.zef",
                                           "2026-05-01_12-00-01_before-load.zef",
                                           "2026-05-01_12-00-02_connect.zef",
                                           "2026-05-01_12-00-02_before-load_2.zef"}));
    ASSERT_EQ(list.size(), 4u);
    EXPECT_EQ(list[1].reason, SnapshotReason::BeforeLoad);
    EXPECT_EQ(list[3].sequence, 2);
    EXPECT_EQ(SnapshotCaption(list[3]), "2026-05-01 12:00:02 (2), перед загрузкой");
    const auto latest = ReadSettingsFile(list.back().path);
    ASSERT_TRUE(latest);
    EXPECT_EQ(latest->size(), kSettingsRegisters.size());
    EXPECT_EQ(latest->back(), 5000);                       // register 73 is the last line
    EXPECT_EQ((*ReadSettingsFile(list[1].path))[21], 420); // register 25 is line 22

    // Another controller keeps its own folder.
    EXPECT_TRUE(archive.List("ZEF-K7LX SN 05.02 00124 ").empty());
}

TEST(ArchiveStore, nothing_is_stored_unless_every_read_was_answered_and_the_serial_known) {
    QTemporaryDir data;
    test::SimLink sim;
    ASSERT_TRUE(sim.opened);
    const CalibrationArchive archive(data.path());

    sim.ports.sim->SetFaultForAddress(29, sim::FaultPlan{sim::Fault::Silent, 0, {}});
    const auto silent = TakeSnapshot(sim.link, archive, QString(kSerial), SnapshotReason::Connect);
    ASSERT_FALSE(silent);
    EXPECT_TRUE(silent.error().contains("регистра 29")) << silent.error().toStdString();
    EXPECT_TRUE(SnapshotStatusText(silent).contains("регистра 29"));

    sim.ports.sim->SetFaultForAddress(29, std::nullopt);
    sim.ports.sim->SetFaultForAddress(34, sim::FaultPlan{sim::Fault::ShortReply, 2, {}});
    EXPECT_FALSE(TakeSnapshot(sim.link, archive, QString(kSerial), SnapshotReason::Connect));

    // A serial number read with gaps is no folder to put a calibration in; nothing is read.
    sim.ports.sim->SetFaultForAddress(34, std::nullopt);
    sim.ports.sim->ClearFrames();
    EXPECT_FALSE(TakeSnapshot(sim.link, archive, std::nullopt, SnapshotReason::Connect));
    EXPECT_TRUE(sim.ports.sim->Frames().empty());

    EXPECT_TRUE(FolderEntries(data.path()).isEmpty());
    EXPECT_FALSE(
        CalibrationArchive({}).Store(kSerial, SettingsValues(31, 0), SnapshotReason::Connect));
}

// The helper stores one snapshot from a simulated controller in a process of its own, so a
// file-size limit can refuse the write part-way.
TEST(ArchiveStore, snapshot_past_the_file_size_limit_leaves_no_file_and_says_why) {
    QTemporaryDir data;
    for (const rlim_t limit : {rlim_t(0), rlim_t(1), rlim_t(60)}) {
        const auto child = test::RunUnderFileSizeLimit(ZEF_SNAPSHOT_HELPER, {data.path()}, limit);
        ASSERT_TRUE(child.finished);
        EXPECT_EQ(child.exitCode, 1) << child.errorOutput.toStdString();
        EXPECT_TRUE(child.errorOutput.contains(std::strerror(EFBIG)))
            << child.errorOutput.toStdString();
        // The folder may have been made; no file, whole or partial, is in it.
        EXPECT_TRUE(FolderEntries(data.filePath(kFolder)).isEmpty()) << limit;
    }
    const auto child = test::RunUnderFileSizeLimit(ZEF_SNAPSHOT_HELPER, {data.path()}, 4096);
    ASSERT_TRUE(child.finished);
    EXPECT_EQ(child.exitCode, 0) << child.errorOutput.toStdString();
    EXPECT_EQ(FolderEntries(data.filePath(kFolder)).size(), 1);
}

// Two workstations archive the same controller in the same second: both keep every snapshot.
TEST(ArchiveStore, two_processes_in_the_same_second_keep_every_snapshot) {
    QTemporaryDir data;
    QProcess runs[2];
    for (int i = 0; i < 2; ++i)
        runs[i].start(ZEF_SNAPSHOT_HELPER,
                      {data.path(), "25", "2026-05-01T09:30:00", QString::number(1000 * (i + 1))});
    for (QProcess& run : runs)
        ASSERT_TRUE(run.waitForFinished(60'000) && run.exitCode() == 0);
    std::set<std::uint16_t> kept;
    for (const Snapshot& s : CalibrationArchive(data.path()).List(kSerial))
        kept.insert(ReadSettingsFile(s.path)->front());
    EXPECT_EQ(kept.size(), 50u);
}

// A snapshot killed in the middle of its write is never listed, and the next one removes it.
TEST(ArchiveStore, a_killed_snapshot_s_temporary_is_not_listed_and_is_removed_next_time) {
    QTemporaryDir data;
    const auto child = test::RunUnderFileSizeLimit(ZEF_SNAPSHOT_HELPER, {data.path()}, 60,
                                                   test::FileSizeSignal::Default);
    ASSERT_FALSE(child.finished); // killed: the helper leaves the signal alone
    ASSERT_EQ(FolderEntries(data.filePath(kFolder)).size(), 1);
    const CalibrationArchive archive(data.path());
    EXPECT_TRUE(archive.List(kSerial).empty());
    ASSERT_TRUE(archive.Store(kSerial, SettingsValues(31, 7), SnapshotReason::Connect));
    EXPECT_EQ(FolderEntries(data.filePath(kFolder)).size(), 1);
}

} // namespace
