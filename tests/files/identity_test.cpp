#include "files/cp1251.h"
#include "files/identity.h"
#include "sim_link.h"

#include <QDir>
#include <QFile>
#include <QLocale>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>

#include <unistd.h>

using namespace zef;
using test::FileBytes;
using test::RawRecord;
using test::SimLink;

namespace {

const QDate kToday(2026, 12, 7);
constexpr char kTodayText[] = "07.12.26";
constexpr char kBlank[] = "ZEF-K7LX SN 05.02 00000 ";
constexpr char kBlankDate[] = "01.01.00"; // what the simulator's blank controller carries

class RecordingView final : public IdentityView {
public:
    void ShowSerial(const QString& serial) override { events << "serial " + serial; }
    void ShowDate(const QString& date) override { events << "date " + date; }
    void Repaint() override {
        events << "repaint";
        if (onRepaint)
            onRepaint();
    }
    QStringList events;
    std::function<void()> onRepaint;
};

class Identity : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(sim.opened);
        ASSERT_TRUE(dir.isValid());
    }
    QString LogPath() const { return dir.filePath("Protocol.lst"); }
    void Blank() {
        sim.ports.sim->WithModel([](sim::ControllerModel& m) {
            m.SetIdentity(kBlank, kBlankDate);
            return 0;
        });
    }
    // The controller untouched: no write reached it and its registers are as they were.
    void ExpectControllerUntouched(const std::array<std::uint16_t, 256>& before) {
        EXPECT_TRUE(sim.Writes().empty());
        EXPECT_EQ(sim.Params(), before);
    }

    SimLink sim{{.blankIdentity = true}};
    QTemporaryDir dir;
    DeviceIdentity identity{sim.link, dir.path(), [] { return kToday; }};
    RecordingView view;
};

TEST_F(Identity, blank_controller_and_no_log_get_the_seed_and_number_00114) {
    bool logAtRepaint = true;
    view.onRepaint = [&] { logAtRepaint = QFileInfo::exists(LogPath()); };

    const auto reading = identity.ReadIdentity(view);

    ASSERT_TRUE(reading) << reading.error().toStdString();
    EXPECT_TRUE(reading->numbered);
    EXPECT_EQ(reading->serial, "ZEF-K7LX SN 05.02 00114 ");
    EXPECT_EQ(reading->date, kTodayText);
    EXPECT_EQ(FileBytes(LogPath()), RawRecord("ZEF-K7LX SN 05.02 00113 ", kBlankDate) +
                                        RawRecord("ZEF-K7LX SN 05.02 00114 ", kTodayText));
    EXPECT_EQ(sim.Serial(), "ZEF-K7LX SN 05.02 00114 ");
    EXPECT_EQ(sim.Date(), kTodayText);
    EXPECT_FALSE(logAtRepaint); // the read values were shown before any numbering
    EXPECT_EQ(view.events,
              QStringList({"serial ZEF-K7LX SN 05.02 00000 ", "date 01.01.00", "repaint",
                           "date 07.12.26", "serial ZEF-K7LX SN 05.02 00114 "}));
}

TEST_F(Identity, each_further_blank_controller_gets_the_next_number) {
    QByteArray expectedLog = RawRecord("ZEF-K7LX SN 05.02 00113 ", kBlankDate);
    for (const char* serial :
         {"ZEF-K7LX SN 05.02 00114 ", "ZEF-K7LX SN 05.02 00115 ", "ZEF-K7LX SN 05.02 00116 "}) {
        Blank();
        const auto reading = identity.ReadIdentity(view);
        ASSERT_TRUE(reading) << reading.error().toStdString();
        EXPECT_EQ(sim.Serial(), serial);
        expectedLog += RawRecord(serial, kTodayText);
        EXPECT_EQ(FileBytes(LogPath()), expectedLog);
    }
}

TEST_F(Identity, new_record_follows_the_last_whole_record_of_the_log) {
    const QByteArray first = RawRecord("ZEF-K7LX SN 05.02 00113 ", "03.02.25");
    struct Case {
        const char* name;
        QByteArray log;
        qsizetype newRecordAt;
        QByteArray newRecord;
    };
    const Case cases[] = {
        {"00999 gives 01000", first + RawRecord("ZEF-K7LX SN 05.02 00999 ", "04.02.25"), 80,
         RawRecord("ZEF-K7LX SN 05.02 01000 ", kTodayText)},
        {"another model text is kept", first + RawRecord("ZEF-K9 SN 11.07 A 00041 ", "04.02.25"),
         80, RawRecord("ZEF-K9 SN 11.07 A 00042 ", kTodayText)},
        {"separator and line end carried over",
         RawRecord("ZEF-K7LX SN 05.02 00200 ", "04.02.25", "-->", '\n'), 40,
         RawRecord("ZEF-K7LX SN 05.02 00201 ", kTodayText, "-->", '\n')},
        {"a partial record is written over", first + first + QByteArray(17, 'z'), 80,
         RawRecord("ZEF-K7LX SN 05.02 00114 ", kTodayText)},
        {"a partial record of 39 bytes", first + first.left(39), 40,
         RawRecord("ZEF-K7LX SN 05.02 00114 ", kTodayText)},
    };
    for (const auto& c : cases) {
        Blank();
        ASSERT_TRUE(test::WriteFile(LogPath(), c.log));
        const auto reading = identity.ReadIdentity(view);
        ASSERT_TRUE(reading) << c.name << ": " << reading.error().toStdString();
        EXPECT_EQ(FileBytes(LogPath()), c.log.left(c.newRecordAt) + c.newRecord) << c.name;
        EXPECT_EQ(sim.Serial(), c.newRecord.mid(1, 24).toStdString()) << c.name;
        EXPECT_EQ(sim.Date(), kTodayText) << c.name;
    }
}

// A log that cannot give the next number leaves the log as it was and the controller blank.
TEST_F(Identity, unusable_log_changes_neither_log_nor_controller) {
    const QByteArray first = RawRecord("ZEF-K7LX SN 05.02 00113 ", "03.02.25");
    struct Case {
        const char* name;
        QByteArray log;
        const char* error;
    };
    const Case cases[] = {
        {"empty", "", "нет ни одной целой записи (размер 0 байт)"},
        {"one byte", "\x18", "нет ни одной целой записи (размер 1 байт)"},
        {"39 bytes", first.left(39), "нет ни одной целой записи (размер 39 байт)"},
        {"counter not a number", first + RawRecord("ZEF-K7LX SN 05.02 0O1l2 "),
         "'0O1l2' is not a valid integer value"},
        {"counter run out", first + RawRecord("ZEF-K7LX SN 05.02 99999 "),
         "Серийные номера закончились"},
    };
    const auto before = sim.Params();
    for (const auto& c : cases) {
        ASSERT_TRUE(test::WriteFile(LogPath(), c.log));
        const auto reading = identity.ReadIdentity(view);
        ASSERT_FALSE(reading) << c.name;
        EXPECT_TRUE(reading.error().contains(QString::fromUtf8(c.error)))
            << c.name << ": " << reading.error().toStdString();
        EXPECT_EQ(FileBytes(LogPath()), c.log) << c.name;
    }
    ExpectControllerUntouched(before);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"Protocol.lst"});
}

TEST_F(Identity, log_that_cannot_be_created_or_opened_changes_nothing) {
    const auto before = sim.Params();

    // A folder that is a plain file: nothing can be created in it, whoever runs the test.
    ASSERT_TRUE(test::WriteFile(dir.filePath("not-a-folder"), "x"));
    DeviceIdentity inFile(sim.link, dir.filePath("not-a-folder"), [] { return kToday; });
    const auto created = inFile.ReadIdentity(view);
    ASSERT_FALSE(created);
    EXPECT_TRUE(created.error().contains("Не удалось создать журнал"))
        << created.error().toStdString();

    // A folder where the log should be: it exists and cannot be opened for writing.
    ASSERT_TRUE(QDir(dir.path()).mkdir("Protocol.lst"));
    const auto opened = identity.ReadIdentity(view);
    ASSERT_FALSE(opened);
    EXPECT_TRUE(opened.error().contains("для записи")) << opened.error().toStdString();
    EXPECT_TRUE(QFileInfo(LogPath()).isDir());

    ExpectControllerUntouched(before);
}

// File permissions do not stop root, so as root the log is made immutable where the file
// system allows it.
TEST_F(Identity, read_only_log_changes_nothing) {
    const QByteArray log = RawRecord("ZEF-K7LX SN 05.02 00113 ", "03.02.25");
    ASSERT_TRUE(test::WriteFile(LogPath(), log));
    // Lifts the immutable flag however the test ends, or the folder could not be removed.
    struct Immutable {
        QString path;
        ~Immutable() {
            if (!path.isEmpty())
                QProcess::execute("chattr", {"-i", path});
        }
    } immutable;
    if (::geteuid() == 0) {
        if (QProcess::execute("chattr", {"+i", LogPath()}) != 0)
            GTEST_SKIP() << "running as root and chattr +i is not available here, so no way to "
                            "make the log read-only";
        immutable.path = LogPath();
    } else {
        ASSERT_TRUE(QFile::setPermissions(LogPath(), QFile::ReadOwner | QFile::ReadGroup));
    }
    const auto before = sim.Params();
    const auto reading = identity.ReadIdentity(view);

    ASSERT_FALSE(reading);
    EXPECT_TRUE(reading.error().contains("для записи")) << reading.error().toStdString();
    EXPECT_EQ(FileBytes(LogPath()), log);
    ExpectControllerUntouched(before);
}

TEST_F(Identity, only_the_exact_blank_serial_read_whole_is_numbered) {
    struct Case {
        const char* name;
        QByteArray serial;
        std::optional<std::uint8_t> silentRegister;
    };
    const Case cases[] = {
        {"numbered already", "ZEF-K7LX SN 05.02 00123 ", {}},
        {"no trailing space", "ZEF-K7LX SN 05.02 00000X", {}},
        {"other case", "zef-k7lx sn 05.02 00000 ", {}},
        // The missed read repeats the zero before it, so the text still looks blank.
        {"a counter digit unanswered", kBlank, 56},
        {"a date register unanswered", kBlank, 63},
    };
    for (const auto& c : cases) {
        sim.ports.sim->ClearFrames();
        sim.ports.sim->WithModel([&](sim::ControllerModel& m) {
            m.SetIdentity(c.serial.toStdString(), kBlankDate);
            return 0;
        });
        if (c.silentRegister)
            sim.ports.sim->SetFaultForAddress(*c.silentRegister,
                                              sim::FaultPlan{sim::Fault::Silent, 0, {}});
        const auto reading = identity.ReadIdentity(view);
        if (c.silentRegister)
            sim.ports.sim->SetFaultForAddress(*c.silentRegister, std::nullopt);

        ASSERT_TRUE(reading) << c.name;
        EXPECT_FALSE(reading->numbered) << c.name;
        // An unanswered read voids the block's burst, which is read once more.
        EXPECT_EQ(sim.ports.sim->Frames().size(), c.silentRegister ? 64u : 32u) << c.name;
        EXPECT_TRUE(sim.Writes().empty()) << c.name;
        EXPECT_EQ(sim.Serial(), c.serial.toStdString()) << c.name;
    }
    EXPECT_FALSE(QFileInfo::exists(LogPath()));
}

TEST_F(Identity, shows_the_serial_in_cyrillic) {
    const QByteArray serial = EncodeCp1251("ЗЭФ-К7ЛХ № 05.02 00123 Ж");
    sim.ports.sim->WithModel([&](sim::ControllerModel& m) {
        m.SetIdentity(serial.toStdString(), "15.03.26");
        return 0;
    });
    const auto reading = identity.ReadIdentity(view);
    ASSERT_TRUE(reading);
    EXPECT_EQ(reading->serial, "ЗЭФ-К7ЛХ № 05.02 00123 Ж");
    EXPECT_EQ(view.events.first(), "serial ЗЭФ-К7ЛХ № 05.02 00123 Ж");
}

// The number is spent once the log holds it; a controller that then leaves the writes
// unanswered must not pass for numbered in silence. It is no failure of the reading, though:
// the log did its part, and what comes after the identity still has to run.
TEST_F(Identity, unanswered_serial_writes_are_reported) {
    struct Case {
        const char* name;
        std::function<void()> fault;
        int unanswered;
    };
    const Case cases[] = {
        {"the line goes silent after the log append",
         [&] {
             sim.link.SetWriteObserver([&] {
                 sim.ports.sim->SetFault({sim::Fault::Silent, 0, {}});
             });
         },
         32},
        {"two serial registers and a date register silent to writes",
         [&] {
             sim.link.SetWriteObserver([&] {
                 for (std::uint8_t a : {40, 58, 66})
                     sim.ports.sim->SetFaultForAddress(a,
                                                       sim::FaultPlan{sim::Fault::Silent, 0, {}});
             });
         },
         3},
        {"every write answered", [] {}, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QFile::remove(LogPath());
        sim.link.SetWriteObserver({});
        sim.ports.sim->SetFault({});
        for (std::uint8_t a : {40, 58, 66})
            sim.ports.sim->SetFaultForAddress(a, std::nullopt);
        Blank();
        c.fault();
        view.events.clear();

        const auto reading = identity.ReadIdentity(view);
        ASSERT_TRUE(reading) << reading.error().toStdString();
        EXPECT_TRUE(reading->numbered);
        EXPECT_EQ(reading->unansweredWrites, c.unanswered);
        EXPECT_EQ(reading->serial, "ZEF-K7LX SN 05.02 00114 ");
        // A number the controller did not take whole is not shown as its own.
        EXPECT_EQ(view.events.last(), c.unanswered == 0 ? "serial ZEF-K7LX SN 05.02 00114 "
                                                        : "serial Нумерация не завершена");
        EXPECT_EQ(FileBytes(LogPath())->size(), 80);
        const QString told = UnansweredIdentityText(*reading);
        if (c.unanswered == 0) {
            EXPECT_TRUE(told.isEmpty()) << told.toStdString();
        } else {
            EXPECT_TRUE(told.contains("ZEF-K7LX SN 05.02 00114")) << told.toStdString();
            EXPECT_TRUE(told.contains(QString("%1 из 32").arg(c.unanswered))) << told.toStdString();
        }
    }
}

TEST_F(Identity, write_identity_pads_or_cuts_to_24_characters_and_adds_the_date) {
    struct Case {
        QString serial;
        QByteArray expected; // registers 36 to 59
    };
    const Case cases[] = {
        {"ABC", "ABC                     "},
        {"123456789012345678901234567890", "123456789012345678901234"},
        {"", "                        "},
        {"Жук №7", "\xC6\xF3\xEA \xB9"
                   "7                  "},
        {QString::fromUtf8("a😀b"), "a?b                     "},
    };
    for (const auto& c : cases) {
        sim.ports.sim->ClearFrames();
        EXPECT_EQ(identity.WriteIdentity(c.serial), 0);
        // The last position's marker first and its own character last: see
        // numbering_cut_at_any_write_is_recognised_and_numbered_afresh.
        std::vector<SimLink::Write> expected{{59, 0x7F}};
        for (int i = 0; i < 23; ++i)
            expected.emplace_back(36 + i, static_cast<std::uint8_t>(c.expected[i]));
        for (int i = 0; i < 8; ++i)
            expected.emplace_back(60 + i, kTodayText[i]);
        expected.emplace_back(59, static_cast<std::uint8_t>(c.expected[23]));
        EXPECT_EQ(sim.Writes(), expected) << c.serial.toStdString();
    }
}

TEST(ReleaseDate, is_always_two_digit_day_month_year) {
    const std::pair<QDate, QByteArray> cases[] = {
        {QDate(2026, 12, 7), "07.12.26"},
        {QDate(2000, 1, 1), "01.01.00"},
        {QDate(1999, 12, 31), "31.12.99"},
        {QDate(2105, 2, 28), "28.02.05"},
    };
    const QLocale previous;
    for (const auto& locale :
         {QLocale(QLocale::Russian), QLocale(QLocale::English, QLocale::UnitedStates)}) {
        QLocale::setDefault(locale);
        for (const auto& [date, text] : cases)
            EXPECT_EQ(ReleaseDateText(date), text) << text.toStdString();
    }
    QLocale::setDefault(previous);
}

} // namespace

namespace {

// A numbering cut short at any of its 32 writes, as by a pulled cable, leaves a controller that
// says so, never a plausible serial; the next numbering gives it a fresh number, and the number
// cut short stays spent in the log: a gap, never a duplicate.
TEST(IdentityCut, numbering_cut_at_any_write_is_recognised_and_numbered_afresh) {
    SimLink sim({.blankIdentity = true}, std::chrono::milliseconds(1));
    QTemporaryDir dir;
    DeviceIdentity identity(sim.link, dir.path(), [] { return kToday; });
    RecordingView view;
    for (int answered = 0; answered < 32; ++answered) {
        SCOPED_TRACE(answered);
        QFile::remove(dir.filePath("Protocol.lst"));
        sim.ports.sim->WithModel(
            [](sim::ControllerModel& m) { m.SetIdentity(kBlank, kBlankDate); });
        sim.ports.sim->UnplugAfterWrites(answered);
        ASSERT_TRUE(identity.ReadIdentity(view));
        EXPECT_EQ(view.events.last(), QString("serial Нумерация не завершена"));
        EXPECT_EQ(sim.Serial().back(), answered == 0 ? ' ' : kUnfinishedMarker);

        sim.ports.sim->SetFault({}); // plugged in again
        view.events.clear();
        const auto again = identity.ReadIdentity(view);
        ASSERT_TRUE(again && again->complete);
        EXPECT_EQ(view.events.first(), answered == 0 ? QString("serial ") + kBlank
                                                     : QString("serial Нумерация не завершена"));
        EXPECT_EQ(sim.Serial(), "ZEF-K7LX SN 05.02 00115 ");
        EXPECT_EQ(FileBytes(dir.filePath("Protocol.lst"))->size(), 3 * 40); // 00113 to 00115
    }
}

} // namespace
