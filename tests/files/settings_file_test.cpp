#include "files/settings_file.h"
#include "sim_link.h"

#include <QDir>
#include <QLocale>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <clocale>
#include <functional>

using namespace zef;
using test::FileBytes;
using test::SimLink;
using Writes = std::vector<SimLink::Write>;

namespace {

QByteArray Repeat(const QByteArray& line, int times) {
    QByteArray text;
    for (int i = 0; i < times; ++i)
        text += line;
    return text;
}

// The register order of files already in use, one register a line.
const std::vector<int> kFileRegisters = {0,  3,  4,  5,  6,  7,  8,  9,  10, 11, 12,
                                         13, 14, 15, 17, 18, 19, 20, 21, 23, 24, 25,
                                         26, 28, 29, 34, 30, 31, 32, 71, 73};

Writes WritesOf(const std::vector<int>& values) {
    Writes writes;
    for (std::size_t i = 0; i < values.size(); ++i)
        writes.emplace_back(kFileRegisters[i], values[i]);
    return writes;
}

class SettingsFile : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(sim.opened);
        ASSERT_TRUE(dir.isValid());
    }
    QString Path(const QString& name) const { return dir.filePath(name); }
    // Everything in the folder, hidden files too: a failed save leaves no temporary file behind.
    QStringList Entries() const {
        return QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
    }

    SimLink sim;
    QTemporaryDir dir;
};

TEST_F(SettingsFile, save_writes_each_register_on_its_line) {
    for (int address = 0; address < 256; ++address)
        sim.SetParam(address, static_cast<std::uint16_t>(1000 + address));
    ASSERT_EQ(SaveSettings(sim.link, Path("car.zef")).error(), "");
    EXPECT_EQ(FileBytes(Path("car.zef")),
              QByteArray("1000\r\n1003\r\n1004\r\n1005\r\n1006\r\n1007\r\n1008\r\n1009\r\n"
                         "1010\r\n1011\r\n1012\r\n1013\r\n1014\r\n1015\r\n1017\r\n1018\r\n"
                         "1019\r\n1020\r\n1021\r\n1023\r\n1024\r\n1025\r\n1026\r\n1028\r\n"
                         "1029\r\n1034\r\n1030\r\n1031\r\n1032\r\n1071\r\n1073\r\n"));
}

TEST_F(SettingsFile, save_writes_plain_unsigned_decimals) {
    struct Case {
        const char* name;
        std::vector<std::pair<int, std::uint16_t>> registers; // on top of all zero
        QByteArray expected;
    };
    const Case cases[] = {
        {"all zero gives 93 bytes", {}, Repeat("0\r\n", 31)},
        {"no padding, no leading zeros",
         {{0, 65535}, {3, 7}},
         "65535\r\n7\r\n" + Repeat("0\r\n", 29)},
        {"last line is register 73", {{73, 10}}, Repeat("0\r\n", 30) + "10\r\n"},
    };
    for (const auto& c : cases) {
        for (int address = 0; address < 256; ++address)
            sim.SetParam(address, 0);
        for (const auto& [address, value] : c.registers)
            sim.SetParam(address, value);
        ASSERT_EQ(SaveSettings(sim.link, Path("car.zef")).error(), "") << c.name;
        EXPECT_EQ(FileBytes(Path("car.zef")), c.expected) << c.name;
    }
    EXPECT_EQ(FileBytes(Path("car.zef"))->size(), 30 * 3 + 4);
}

TEST_F(SettingsFile, save_replaces_an_existing_file_whole) {
    ASSERT_TRUE(test::WriteFile(Path("car.zef"), Repeat("12345\r\n", 40)));
    for (int address = 0; address < 256; ++address)
        sim.SetParam(address, 1);
    ASSERT_EQ(SaveSettings(sim.link, Path("car.zef")).error(), "");
    EXPECT_EQ(FileBytes(Path("car.zef")), Repeat("1\r\n", 31));
}

// A failed save leaves the disk as it was: an old file whole, no new file, no temporary file.
TEST_F(SettingsFile, failed_save_changes_nothing_on_disk) {
    const QByteArray old = Repeat("777\r\n", 31);
    struct Case {
        const char* name;
        QString target;
        std::function<void()> arrange;
        std::optional<QByteArray> before;
    };
    const Case cases[] = {
        {"silent controller, old file", "old.zef",
         [&] {
             sim.ports.sim->SetFault({sim::Fault::Silent, 0, {}});
         },
         old},
        {"silent controller, no file", "new.zef",
         [&] {
             sim.ports.sim->SetFault({sim::Fault::Silent, 0, {}});
         },
         std::nullopt},
        {"one register unanswered", "old.zef",
         [&] {
             sim.ports.sim->SetFaultForAddress(34, sim::FaultPlan{sim::Fault::Silent, 0, {}});
         },
         old},
        {"short reply to one register", "old.zef",
         [&] {
             sim.ports.sim->SetFaultForAddress(73, sim::FaultPlan{sim::Fault::ShortReply, 2, {}});
         },
         old},
        {"folder missing", "no/such/folder/car.zef", [] {}, std::nullopt},
    };
    for (const auto& c : cases) {
        sim.ports.sim->SetFault({});
        sim.ports.sim->SetFaultForAddress(34, std::nullopt);
        sim.ports.sim->SetFaultForAddress(73, std::nullopt);
        ASSERT_TRUE(test::WriteFile(Path("old.zef"), old));
        QFile::remove(Path("new.zef"));
        const QStringList entriesBefore = Entries();
        c.arrange();

        const Status saved = SaveSettings(sim.link, Path(c.target));
        EXPECT_FALSE(saved) << c.name;
        EXPECT_FALSE(saved.error().isEmpty()) << c.name;
        EXPECT_EQ(FileBytes(Path(c.target)), c.before) << c.name;
        EXPECT_EQ(Entries(), entriesBefore) << c.name;
    }
}

TEST_F(SettingsFile, save_onto_a_folder_fails_and_keeps_it) {
    ASSERT_TRUE(QDir(dir.path()).mkdir("car.zef"));
    ASSERT_TRUE(test::WriteFile(Path("car.zef/inside"), "x"));
    const Status saved = SaveSettings(sim.link, Path("car.zef"));
    EXPECT_FALSE(saved);
    EXPECT_TRUE(QFileInfo(Path("car.zef")).isDir());
    EXPECT_EQ(FileBytes(Path("car.zef/inside")), QByteArray("x"));
}

TEST_F(SettingsFile, load_writes_the_values_present_in_file_order) {
    struct Case {
        const char* name;
        QByteArray text;
        Writes expected;
    };
    const std::vector<int> ones(31, 1);
    const Case cases[] = {
        {"a saved file", Repeat("1\r\n", 31), WritesOf(ones)},
        {"65535 and 7", "65535\r\n7\r\n", WritesOf({65535, 7})},
        {"blank lines read like none", "\r\n5\r\n\r\n\r\n6\r\n   \r\n7\r\n", WritesOf({5, 6, 7})},
        {"text after the number and a space", "1500 rpm\r\n2\t tab\r\n", WritesOf({1500, 2})},
        {"five lines write five registers", "0\r\n1\r\n2\r\n3\r\n4\r\n", WritesOf({0, 1, 2, 3, 4})},
        {"last line without its line end", "8\r\n9", WritesOf({8, 9})},
        {"Ctrl-Z ends the file",
         "8\r\n9\r\n\x1A"
         "10\r\n",
         WritesOf({8, 9})},
        {"Ctrl-Z right after a number",
         "8\r\n9\x1A"
         "10\r\n",
         WritesOf({8, 9})},
        {"lines ending in LF alone", "8\n9\n10\n", WritesOf({8, 9, 10})},
        {"lines ending in CR alone", "8\r9\r10\r", WritesOf({8, 9, 10})},
        {"white space after the last value", "8\r\n\r\n  \r\n\t", WritesOf({8})},
        {"leading zeros", "007\r\n", WritesOf({7})},
        {"extra lines are not read", Repeat("2\r\n", 31) + "junk\r\n70000\r\n",
         WritesOf(std::vector<int>(31, 2))},
        {"an empty file", "", {}},
    };
    for (const auto& c : cases) {
        sim.ports.sim->ClearFrames();
        ASSERT_TRUE(test::WriteFile(Path("in.zef"), c.text));
        const auto loaded = LoadSettings(sim.link, Path("in.zef"));
        ASSERT_TRUE(loaded) << c.name << ": " << loaded.error().toStdString();
        EXPECT_EQ(sim.Writes(), c.expected) << c.name;
        EXPECT_EQ(loaded->written, static_cast<int>(c.expected.size())) << c.name;
        EXPECT_EQ(loaded->unanswered, 0) << c.name;
        EXPECT_EQ(UnansweredWritesText(*loaded), "") << c.name;
    }
}

// A file is checked whole before anything is written, so a bad line anywhere writes nothing.
TEST_F(SettingsFile, bad_file_writes_nothing_and_names_the_line) {
    struct Case {
        QByteArray text;
        const char* expected; // a fragment of the error
    };
    const Case cases[] = {
        {"1500rpm\r\n", "Строка 1: «1500rpm» — не целое число."},
        {"1\r\n2\r\n1.5\r\n", "Строка 3: «1.5» — не целое число."},
        {"1\r\n2\r\n1,5\r\n", "Строка 3: «1,5» — не целое число."},
        {"1\r\n\r\n\r\n0x10\r\n", "Строка 4: «0x10»"},
        {"1\n2\nabc\n", "Строка 3: «abc»"},
        {"-\r\n", "Строка 1: «-» — не целое число."},
        {"65536\r\n", "Строка 1: число 65536 вне пределов от 0 до 65535."},
        {"-1\r\n", "Строка 1: число -1 вне пределов от 0 до 65535."},
        {"99999999999999999999999\r\n", "Строка 1: число 99999999999999999999"},
        {"\xC3\xEE\xEB\xFC\xF4\r\n", "Строка 1: «Гольф» — не целое число."},
        {Repeat("3\r\n", 30) + "3x\r\n", "Строка 31: «3x»"},
    };
    const auto before = sim.Params();
    for (const auto& c : cases) {
        sim.ports.sim->ClearFrames();
        ASSERT_TRUE(test::WriteFile(Path("bad.zef"), c.text));
        const auto loaded = LoadSettings(sim.link, Path("bad.zef"));
        ASSERT_FALSE(loaded) << c.expected;
        EXPECT_TRUE(loaded.error().contains(QString::fromUtf8(c.expected)))
            << loaded.error().toStdString();
        EXPECT_TRUE(loaded.error().contains("ничего не записано")) << loaded.error().toStdString();
        EXPECT_TRUE(sim.ports.sim->Frames().empty()) << c.expected;
    }
    EXPECT_EQ(sim.Params(), before);
}

TEST_F(SettingsFile, unreadable_file_writes_nothing) {
    ASSERT_TRUE(QDir(dir.path()).mkdir("folder.zef"));
    const auto before = sim.Params();
    for (const QString name : {"missing.zef", "folder.zef"}) {
        const auto loaded = LoadSettings(sim.link, Path(name));
        ASSERT_FALSE(loaded) << name.toStdString();
        EXPECT_TRUE(loaded.error().contains(name)) << loaded.error().toStdString();
    }
    EXPECT_TRUE(sim.ports.sim->Frames().empty());
    EXPECT_EQ(sim.Params(), before);
}

TEST_F(SettingsFile, unanswered_writes_are_counted_and_told) {
    sim.ports.sim->SetFaultForAddress(5, sim::FaultPlan{sim::Fault::Silent, 0, {}});
    sim.ports.sim->SetFaultForAddress(73, sim::FaultPlan{sim::Fault::ShortReply, 1, {}});
    ASSERT_TRUE(test::WriteFile(Path("in.zef"), Repeat("9\r\n", 31)));
    const auto loaded = LoadSettings(sim.link, Path("in.zef"));
    ASSERT_TRUE(loaded) << loaded.error().toStdString();
    EXPECT_EQ(loaded->written, 31);
    EXPECT_EQ(loaded->unanswered, 2);
    EXPECT_EQ(UnansweredWritesText(*loaded), "Контроллер не ответил на запись регистров: 2 из 31.\n"
                                             "Их значения в контроллере могли остаться прежними.");
    EXPECT_EQ(sim.Params()[20], 9); // the others still went in
}

TEST_F(SettingsFile, saved_file_loads_into_another_controller_unchanged) {
    for (int address = 0; address < 256; ++address)
        sim.SetParam(address, static_cast<std::uint16_t>(address * 257));
    ASSERT_EQ(SaveSettings(sim.link, Path("car.zef")).error(), "");

    SimLink second;
    ASSERT_TRUE(second.opened);
    const auto before = second.Params();
    ASSERT_TRUE(LoadSettings(second.link, Path("car.zef")));
    const auto after = second.Params();
    for (int address = 0; address < 256; ++address) {
        const bool inFile = std::find(kFileRegisters.begin(), kFileRegisters.end(), address) !=
                            kFileRegisters.end();
        EXPECT_EQ(after[address], inFile ? address * 257 : before[address]) << address;
    }
}

// Register values are plain digits, so a locale with a decimal comma and grouping changes
// neither the file written nor the values read.
TEST_F(SettingsFile, decimal_comma_locale_changes_nothing) {
    for (int address = 0; address < 256; ++address)
        sim.SetParam(address, static_cast<std::uint16_t>(address * 1009 % 65536));
    ASSERT_EQ(SaveSettings(sim.link, Path("c.zef")).error(), "");
    const auto inC = FileBytes(Path("c.zef"));

    const std::string previous = std::setlocale(LC_ALL, nullptr);
    if (!std::setlocale(LC_ALL, "ru_RU.UTF-8") && !std::setlocale(LC_ALL, "ru_RU.utf8"))
        GTEST_SKIP() << "the ru_RU.UTF-8 locale is not installed";
    const QLocale previousQt;
    QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
    ASSERT_EQ(std::localeconv()->decimal_point, std::string(","));

    const Status saved = SaveSettings(sim.link, Path("ru.zef"));
    sim.ports.sim->ClearFrames();
    const auto loaded = LoadSettings(sim.link, Path("ru.zef"));
    QLocale::setDefault(previousQt);
    std::setlocale(LC_ALL, previous.c_str());

    ASSERT_EQ(saved.error(), "");
    EXPECT_EQ(FileBytes(Path("ru.zef")), inC);
    ASSERT_TRUE(loaded);
    EXPECT_EQ(sim.Writes().size(), 31u);
    EXPECT_EQ(sim.Writes()[30], (SimLink::Write{73, 73 * 1009 % 65536}));
}

TEST(SettingsExtension, is_added_unless_the_name_already_ends_in_zef) {
    const std::pair<QString, QString> cases[] = {
        {R"(C:\data\car)", R"(C:\data\car.zef)"},
        {R"(C:\data\car.zef)", R"(C:\data\car.zef)"},
        {R"(C:\data\CAR.ZEF)", R"(C:\data\CAR.ZEF)"},
        {R"(C:\data\car.Zef)", R"(C:\data\car.Zef)"},
        {R"(C:\my.zefs\car)", R"(C:\my.zefs\car.zef)"},
        {"/home/fitter/car.zef.bak", "/home/fitter/car.zef.bak.zef"},
        {"/home/fitter/carzef", "/home/fitter/carzef.zef"},
        {"/home/fitter/golf.txt", "/home/fitter/golf.txt.zef"},
    };
    for (const auto& [chosen, saved] : cases)
        EXPECT_EQ(WithSettingsExtension(chosen), saved) << chosen.toStdString();
}

TEST(SettingsCaption, shows_the_file_name_without_its_folder) {
    const std::pair<QString, QString> cases[] = {
        {R"(D:\cars\golf.zef)", "ZEF-K7LX system (golf.zef)"},
        {"/home/fitter/cars/Жигули.zef", "ZEF-K7LX system (Жигули.zef)"},
        {"golf.zef", "ZEF-K7LX system (golf.zef)"},
    };
    for (const auto& [path, caption] : cases)
        EXPECT_EQ(CaptionWithFile(path), caption) << path.toStdString();
}

} // namespace
