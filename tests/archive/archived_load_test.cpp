// Loading with a look back: the state a load overwrites is archived first, a restore is a load
// like any other, and nothing overwrites a calibration without a copy unless the caller says so.
#include "archive/archived_load.h"
#include "files/disk_faults.h"
#include "files/sim_link.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstring>

using namespace zef;
using test::FolderEntries;

namespace {

const QString kSerial = "ZEF-K7LX SN 05.02 00123 ";

class ArchivedLoadTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(sim.opened);
        ASSERT_TRUE(dir.isValid());
    }

    // A file that differs from the simulated controller in every register it holds.
    QString WrongFile() {
        SettingsValues values;
        for (const std::uint8_t address : kSettingsRegisters)
            values.push_back(static_cast<std::uint16_t>(sim.Params()[address] + 1));
        const QString path = dir.filePath("wrong.zef");
        EXPECT_TRUE(test::WriteFile(path, FormatSettings(values)));
        return path;
    }

    int WritesSent() const { return static_cast<int>(sim.Writes().size()); }

    QTemporaryDir dir;
    test::SimLink sim;
    QDateTime now{QDate(2026, 5, 1), QTime(9, 30, 0)};
    CalibrationArchive archive{dir.filePath("data"), [this] { return now = now.addSecs(1); }};
};

TEST_F(ArchivedLoadTest, restore_after_a_wrong_load_gives_back_every_register) {
    const auto before = sim.Params();
    ASSERT_TRUE(TakeSnapshot(sim.link, archive, kSerial, SnapshotReason::Connect));

    const auto wrong = LoadWithArchive(sim.link, &archive, kSerial, WrongFile(), {});
    ASSERT_TRUE(wrong) << wrong.error().toStdString();
    ASSERT_TRUE(wrong->written);
    EXPECT_EQ(wrong->load.written, 31);
    ASSERT_TRUE(wrong->snapshot && *wrong->snapshot);
    EXPECT_FALSE((*wrong->snapshot)->written); // the state at connection is the latest one
    const auto after = sim.Params();
    for (const std::uint8_t address : kSettingsRegisters)
        EXPECT_NE(after[address], before[address]) << int(address);

    const std::vector<Snapshot> kept = archive.List(kSerial);
    ASSERT_EQ(kept.size(), 1u);
    const auto restored = LoadWithArchive(sim.link, &archive, kSerial, kept[0].path, {});
    ASSERT_TRUE(restored && restored->written) << restored.error().toStdString();
    EXPECT_EQ(sim.Params(), before); // the identity, counter and reference voltage untouched too

    // Both states are in the archive, so the restore itself can be undone.
    const std::vector<Snapshot> both = archive.List(kSerial);
    ASSERT_EQ(both.size(), 2u);
    EXPECT_EQ(both[1].reason, SnapshotReason::BeforeLoad);
    const auto states = std::pair(ReadSettingsFile(both[0].path), ReadSettingsFile(both[1].path));
    ASSERT_TRUE(states.first && states.second);
    for (std::size_t i = 0; i < kSettingsRegisters.size(); ++i) {
        EXPECT_EQ((*states.first)[i], before[kSettingsRegisters[i]]);
        EXPECT_EQ((*states.second)[i], after[kSettingsRegisters[i]]);
    }
}

TEST_F(ArchivedLoadTest, bad_file_reads_nothing_writes_nothing_and_archives_nothing) {
    const QString bad = dir.filePath("bad.zef");
    ASSERT_TRUE(test::WriteFile(bad, "0\r\n0\r\n70000\r\n"));
    sim.ports.sim->ClearFrames();
    for (const QString& path : {bad, dir.filePath("missing.zef")}) {
        bool asked = false;
        const auto outcome = LoadWithArchive(sim.link, &archive, kSerial, path,
                                             [&](const QString&) { return asked = true; });
        ASSERT_FALSE(outcome);
        EXPECT_TRUE(outcome.error().contains("В контроллер ничего не записано."));
        EXPECT_FALSE(asked);
    }
    EXPECT_TRUE(sim.ports.sim->Frames().empty());
    EXPECT_FALSE(QFileInfo::exists(dir.filePath("data")));
}

// Each way the copy can fail is put to the caller, who may refuse (nothing is written) or go on
// (the file is written and no copy is claimed).
TEST_F(ArchivedLoadTest, load_without_a_copy_only_when_the_caller_says_so) {
    struct Case {
        const char* name;
        std::function<void()> breakIt;
        std::optional<QString> serial;
        const char* reason;
    };
    const Case cases[] = {
        {"a read goes unanswered",
         [&] {
             sim.ports.sim->SetFaultForAddress(32, sim::FaultPlan{sim::Fault::Silent, 0, {}});
         },
         kSerial, "регистра 32"},
        {"the serial number is unknown", [] {}, std::nullopt, "серийный номер"},
        {"the data folder is a file",
         [&] { ASSERT_TRUE(test::WriteFile(dir.filePath("data"), "not a folder")); }, kSerial,
         "Не удалось создать папку архива"},
    };
    for (const auto& c : cases) {
        for (const bool goOn : {false, true}) {
            sim.ports.sim->SetFaultForAddress(32, std::nullopt);
            QFile::remove(dir.filePath("data"));
            QDir(dir.filePath("data")).removeRecursively();
            c.breakIt();
            const QString wrong = WrongFile();
            const auto before = sim.Params();
            const int writesBefore = WritesSent();

            QStringList reasons;
            const auto outcome =
                LoadWithArchive(sim.link, &archive, c.serial, wrong, [&](const QString& why) {
                    reasons << why;
                    return goOn;
                });
            ASSERT_TRUE(outcome) << c.name;
            ASSERT_EQ(reasons.size(), 1) << c.name;
            EXPECT_TRUE(reasons[0].contains(QString::fromUtf8(c.reason)))
                << c.name << ": " << reasons[0].toStdString();
            EXPECT_EQ(outcome->written, goOn) << c.name;
            EXPECT_TRUE(outcome->snapshot && !*outcome->snapshot) << c.name;
            if (goOn) {
                EXPECT_EQ(outcome->load.written, 31) << c.name;
                EXPECT_NE(sim.Params(), before) << c.name;
            } else {
                EXPECT_EQ(WritesSent(), writesBefore) << c.name;
                EXPECT_EQ(sim.Params(), before) << c.name;
            }
            EXPECT_TRUE(archive.List(kSerial).empty()) << c.name;
        }
    }
}

TEST_F(ArchivedLoadTest, full_disk_asks_before_loading_and_leaves_no_partial_snapshot) {
    test::SmallTmpfs disk(dir.path(), "64k");
    if (!disk.Mounted())
        GTEST_SKIP() << disk.Reason();
    ASSERT_TRUE(TakeSnapshot(sim.link, archive, kSerial, SnapshotReason::Connect));
    sim.SetParam(25, 999); // a state the archive does not hold yet
    const QString wrong = WrongFile();
    ASSERT_TRUE(disk.Fill());
    const QString folder = archive.FolderFor(kSerial);
    const QStringList entries = FolderEntries(folder);
    const auto before = sim.Params();

    QString reason;
    const auto outcome =
        LoadWithArchive(sim.link, &archive, kSerial, wrong, [&](const QString& why) {
            reason = why;
            return false;
        });
    ASSERT_TRUE(outcome);
    EXPECT_FALSE(outcome->written);
    EXPECT_TRUE(reason.contains(std::strerror(ENOSPC))) << reason.toStdString();
    EXPECT_EQ(FolderEntries(folder), entries);
    EXPECT_EQ(sim.Params(), before);
}

TEST_F(ArchivedLoadTest, without_an_archive_the_file_loads_as_it_is) {
    sim.ports.sim->ClearFrames();
    const QString wrong = WrongFile();
    const auto outcome = LoadWithArchive(sim.link, nullptr, std::nullopt, wrong, {});
    ASSERT_TRUE(outcome && outcome->written);
    EXPECT_FALSE(outcome->snapshot.has_value());
    EXPECT_EQ(sim.ports.sim->Frames().size(), 62u); // the writes and their read-back only
}

} // namespace

namespace {

// A load cut short by a pulled cable says how far it got and where the earlier calibration is;
// the retry archives the half-written state under its own name, and the read-back after it
// names a register the controller went back on.
TEST_F(ArchivedLoadTest, load_cut_at_write_12_is_told_read_back_and_its_retry_labelled) {
    ASSERT_TRUE(TakeSnapshot(sim.link, archive, kSerial, SnapshotReason::Connect));
    const QString file = WrongFile();
    const std::uint16_t old25 = sim.Params()[25];
    sim.ports.sim->UnplugAfterWrites(12);
    const auto cut = LoadWithArchive(sim.link, &archive, kSerial, file, {});
    ASSERT_TRUE(cut && cut->written);
    EXPECT_EQ(LoadOutcomeText(*cut).section('\n', 0, 0),
              "Калибровка загружена не полностью: записано 12 из 31; прежняя калибровка в "
              "архиве: 2026-05-01_09-30-01_connect.zef");

    sim.ports.sim->SetFault({});
    sim.link.SetWriteObserver([&] { sim.SetParam(25, old25); }); // refuses register 25
    const auto retry = LoadWithArchive(sim.link, &archive, kSerial, file, {});
    ASSERT_TRUE(retry && retry->written);
    EXPECT_EQ(retry->differing,
              std::vector<DifferingRegister>({{25, std::uint16_t(old25 + 1), old25}}));
    EXPECT_TRUE(archive.List(kSerial).back().path.endsWith("_partial-load.zef"));
}

} // namespace
