#include "cli_fixture.h"

#include "archive/compare.h"
#include "files/identity.h"
#include "files/production_log.h"
#include "files/settings_file.h"
#include "params/conversion.h"

#include <QDirIterator>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSet>

#include <algorithm>

namespace {

using zef::ExitStatus;
using zef::test::CliRun;
using zef::test::Contents;
using zef::test::Put;

constexpr std::uint8_t kSpeedLimit = 73;  // SpinExtEdit3: 1000 ... 6000 rpm
constexpr std::uint8_t kIdleVoltage = 20; // SpinExtEdit19: 0.0001 ... 5 V, in mV

QByteArray SettingsOf(const CliRun& run) {
    zef::SettingsValues values;
    for (const std::uint8_t a : zef::kSettingsRegisters)
        values.push_back(run.ports.Param(a));
    return zef::FormatSettings(values);
}

TEST(CliInfo, shows_the_identity_and_the_counter_the_controller_holds) {
    CliRun run;
    run.ports.SetParam(zef::kCounterRegister, 42);
    const auto result = run.Run({"info"});
    ASSERT_EQ(result.status, ExitStatus::Success) << result.error.toStdString();
    const std::string serial =
        run.ports.sim->WithModel([](zef::sim::ControllerModel& m) { return m.Serial(); });
    EXPECT_EQ(result.json["serial"].toString().toStdString() + " ", serial);
    EXPECT_EQ(result.json["counter"].toString(), "420000");
    EXPECT_TRUE(result.json["answers"].toBool());
    // Looking numbers nothing.
    EXPECT_EQ(run.Writes(), 0);
}

TEST(CliInfo, a_port_that_does_not_open_is_status_5_and_says_so) {
    CliRun run;
    struct Nothing final : zef::PortDirectory {
        std::unique_ptr<zef::SerialBackend> backendFor(int) override { return nullptr; }
    } nothing;
    run.environment.ports = &nothing;
    const auto result = run.Run({"info"});
    EXPECT_EQ(result.status, ExitStatus::PortUnavailable);
    EXPECT_TRUE(result.error.contains("simulator")) << result.error.toStdString();
    EXPECT_FALSE(result.json["answers"].toBool(true));
}

TEST(CliInfo, a_silent_controller_is_status_3_with_the_window_message) {
    CliRun run;
    run.ports.sim->SetFault({zef::sim::Fault::Silent});
    const auto result = run.Run({"info"});
    EXPECT_EQ(result.status, ExitStatus::NoLink);
    EXPECT_TRUE(result.error.startsWith("Нет прибора на simulator")) << result.error.toStdString();
}

TEST(CliPorts, lists_the_ports_it_is_given_and_needs_no_controller) {
    CliRun run;
    run.environment.portLines = [] { return QStringList{"/dev/ttyUSB0\tFT232R", "/dev/ttyS0"}; };
    const auto result = run.Run({"ports"});
    EXPECT_EQ(result.status, ExitStatus::Success);
    EXPECT_EQ(result.lines, (QStringList{"/dev/ttyUSB0\tFT232R", "/dev/ttyS0"}));
    EXPECT_EQ(result.json["ports"].toArray().size(), 2);
    EXPECT_TRUE(run.ports.sim->Frames().empty());
}

TEST(CliRead, lists_every_settings_register_with_the_word_it_holds) {
    CliRun run;
    run.ports.SetParam(kSpeedLimit, 4500);
    const auto result = run.Run({"read"});
    ASSERT_EQ(result.status, ExitStatus::Success) << result.error.toStdString();
    const QJsonArray parameters = result.json["parameters"].toArray();
    ASSERT_EQ(parameters.size(), qsizetype(zef::kSettingsRegisters.size()));
    QStringList names;
    for (qsizetype i = 0; i < parameters.size(); ++i) {
        const QJsonObject p = parameters[i].toObject();
        const auto address = zef::kSettingsRegisters[std::size_t(i)];
        EXPECT_EQ(p["address"].toInt(), address);
        EXPECT_EQ(p["word"].toInt(), run.ports.Param(address)) << address;
        names << p["name"].toString();
    }
    names.removeDuplicates();
    EXPECT_EQ(names.size(), parameters.size()) << "every parameter has a name of its own";
    EXPECT_TRUE(result.lines.contains("SpinExtEdit3\tОграничение об/мин\t4500 Об/мин\t4500"))
        << result.lines.join('\n').toStdString();
}

TEST(CliGet, finds_a_parameter_by_name_or_caption_in_any_case) {
    for (const char* name :
         {"SpinExtEdit3", "spinextedit3", "Ограничение об/мин", "ОГРАНИЧЕНИЕ ОБ/МИН"}) {
        CliRun run;
        run.ports.SetParam(kSpeedLimit, 5200);
        const auto result = run.Run({"get", QString::fromUtf8(name)});
        ASSERT_EQ(result.status, ExitStatus::Success) << name << result.error.toStdString();
        EXPECT_EQ(result.json["word"].toInt(), 5200) << name;
        EXPECT_EQ(result.json["value"].toString(), "5200 Об/мин") << name;
    }
    CliRun run;
    EXPECT_EQ(run.Run({"get", "NoSuchThing"}).status, ExitStatus::BadUsage);
}

struct SetCase {
    const char* why;
    QStringList arguments;
    ExitStatus status;
    std::uint8_t address;
    std::optional<std::uint16_t> holds; // none: left as it was
};

// The window's edit: its limits, its conversion and its rounding; a value beyond the limits is
// refused whole unless clamped to the nearest one.
TEST(CliSet, writes_within_the_limits_and_refuses_or_clamps_beyond_them) {
    const SetCase cases[] = {
        {"at the upper limit",
         {"set", "SpinExtEdit3=6000"},
         ExitStatus::Success,
         kSpeedLimit,
         6000},
        {"at the lower limit",
         {"set", "SpinExtEdit3=1000"},
         ExitStatus::Success,
         kSpeedLimit,
         1000},
        {"above the limit", {"set", "SpinExtEdit3=6001"}, ExitStatus::BadUsage, kSpeedLimit, {}},
        {"below the limit", {"set", "SpinExtEdit3=999"}, ExitStatus::BadUsage, kSpeedLimit, {}},
        {"clamped from above",
         {"set", "--clamp", "SpinExtEdit3=7000"},
         ExitStatus::Success,
         kSpeedLimit,
         6000},
        {"clamped from below",
         {"set", "--clamp", "SpinExtEdit3=10"},
         ExitStatus::Success,
         kSpeedLimit,
         1000},
        {"volts to millivolts, a comma as decimal mark",
         {"set", "SpinExtEdit19=1,25"},
         ExitStatus::Success,
         kIdleVoltage,
         1250},
        {"half a millivolt rounds to even, down",
         {"set", "SpinExtEdit19=0.0625"},
         ExitStatus::Success,
         kIdleVoltage,
         62},
        {"half a millivolt rounds to even, up",
         {"set", "SpinExtEdit19=0.1875"},
         ExitStatus::Success,
         kIdleVoltage,
         188},
        {"by caption",
         {"set", "Пороговое напряжение ХХ=2.5"},
         ExitStatus::Success,
         kIdleVoltage,
         2500},
        {"not a number", {"set", "SpinExtEdit19=much"}, ExitStatus::BadUsage, kIdleVoltage, {}},
        {"one bad value stops all",
         {"set", "SpinExtEdit19=1", "SpinExtEdit3=9000"},
         ExitStatus::BadUsage,
         kIdleVoltage,
         {}},
        {"a list item by its text", {"set", "ComboBox3=1"}, ExitStatus::Success, 0, 1},
        {"the oxygen sensor", {"set", "RadioButton1=нет"}, ExitStatus::Success, 15, 0},
        {"a map point is loaded, not set", {"set", "map500=3"}, ExitStatus::BadUsage, 7, {}},
    };
    for (const SetCase& c : cases) {
        CliRun run;
        const std::uint16_t before = run.ports.Param(c.address);
        const auto result = run.Run(c.arguments);
        EXPECT_EQ(result.status, c.status) << c.why << ": " << result.error.toStdString();
        EXPECT_EQ(run.ports.Param(c.address), c.holds.value_or(before)) << c.why;
        if (!c.holds) {
            EXPECT_EQ(run.Writes(), 0) << c.why;
            EXPECT_TRUE(result.error.contains("ничего не записано")) << c.why;
        } else {
            const QJsonObject p = result.json["parameters"].toArray().last().toObject();
            EXPECT_EQ(p["word"].toInt(), *c.holds) << c.why << " is read back";
            EXPECT_TRUE(p["holds"].toBool()) << c.why;
        }
    }
}

TEST(CliSave, writes_the_controller_s_settings_and_replaces_a_file_only_when_forced) {
    CliRun run;
    const QString path = run.File("golf.zef");
    auto result = run.Run({"save", run.File("golf")});
    ASSERT_EQ(result.status, ExitStatus::Success) << result.error.toStdString();
    EXPECT_EQ(Contents(path), SettingsOf(run));

    ASSERT_TRUE(Put(path, "old"));
    result = run.Run({"save", path});
    EXPECT_EQ(result.status, ExitStatus::FileError);
    EXPECT_TRUE(result.error.contains("Такой файл существует!")) << result.error.toStdString();
    EXPECT_EQ(Contents(path), "old");
    result = run.Run({"save", "--force", path});
    EXPECT_EQ(result.status, ExitStatus::Success);
    EXPECT_EQ(Contents(path), SettingsOf(run));
}

TEST(CliSave, a_folder_that_is_not_there_is_status_4_and_a_silent_controller_status_3) {
    CliRun run;
    EXPECT_EQ(run.Run({"save", run.File("missing/golf.zef")}).status, ExitStatus::FileError);
    run.ports.sim->SetFaultForAddress(kSpeedLimit, zef::sim::FaultPlan{zef::sim::Fault::Silent});
    const auto result = run.Run({"save", run.File("polo.zef")});
    EXPECT_EQ(result.status, ExitStatus::NoLink);
    const auto frames = run.ports.sim->Frames().size();
    EXPECT_EQ(run.Run({"save", ""}).status, ExitStatus::BadUsage);
    EXPECT_EQ(run.ports.sim->Frames().size(), frames); // nothing sent for it
    EXPECT_TRUE(result.error.contains("регистра 73")) << result.error.toStdString();
    EXPECT_FALSE(QFile::exists(run.File("polo.zef")));
}

TEST(CliLoad, writes_a_good_file_after_archiving_what_the_controller_held) {
    CliRun source;
    source.ports.SetParam(kSpeedLimit, 4200);
    ASSERT_EQ(source.Run({"save", source.File("golf.zef")}).status, ExitStatus::Success);

    CliRun run;
    const QByteArray before = SettingsOf(run);
    const auto result = run.Run({"load", source.File("golf.zef")});
    ASSERT_EQ(result.status, ExitStatus::Success) << result.error.toStdString();
    EXPECT_EQ(run.ports.Param(kSpeedLimit), 4200);
    EXPECT_EQ(SettingsOf(run), SettingsOf(source));
    // The overwritten state lies in the archive, in the settings-file format.
    const QString snapshot = result.json["snapshot"].toString();
    ASSERT_TRUE(snapshot.startsWith(run.data.path())) << snapshot.toStdString();
    EXPECT_EQ(Contents(snapshot), before);
}

TEST(CliLoad, a_bad_or_missing_file_writes_nothing_and_is_status_4) {
    CliRun run;
    ASSERT_TRUE(Put(run.File("bad.zef"), "1\r\n2\r\nabc\r\n"));
    auto result = run.Run({"load", run.File("bad.zef")});
    EXPECT_EQ(result.status, ExitStatus::FileError);
    EXPECT_TRUE(result.error.contains("В контроллер ничего не записано."))
        << result.error.toStdString();
    result = run.Run({"load", run.File("none.zef")});
    EXPECT_EQ(result.status, ExitStatus::FileError);
    EXPECT_TRUE(result.error.contains("Такого файла нет!"));
    EXPECT_EQ(run.Writes(), 0);
}

TEST(CliLoad, an_archive_that_cannot_be_written_stops_the_load_unless_forced) {
    CliRun source;
    ASSERT_EQ(source.Run({"save", source.File("golf.zef")}).status, ExitStatus::Success);
    CliRun run;
    // A file where the archive's folder would be.
    run.environment.dataFolder = run.File("archive");
    ASSERT_TRUE(Put(run.File("archive"), "not a folder"));
    auto result = run.Run({"load", source.File("golf.zef")});
    EXPECT_EQ(result.status, ExitStatus::FileError);
    EXPECT_TRUE(result.error.contains("не загружен")) << result.error.toStdString();
    EXPECT_TRUE(result.error.contains("--force")) << result.error.toStdString();
    EXPECT_EQ(run.Writes(), 0);
    result = run.Run({"load", "--force", source.File("golf.zef")});
    EXPECT_EQ(result.status, ExitStatus::Success) << result.error.toStdString();
    EXPECT_GT(run.Writes(), 0);
}

// The link, not the archive's disk, failed the copy: a retry is the answer, and --force, which
// would load over a calibration nobody copied, is not offered.
TEST(CliLoad, a_reply_missed_while_archiving_is_status_3_try_again_and_writes_nothing) {
    CliRun source;
    ASSERT_EQ(source.Run({"save", source.File("golf.zef")}).status, ExitStatus::Success);
    CliRun run;
    run.ports.sim->SetFaultForAddress(kSpeedLimit, zef::sim::FaultPlan{zef::sim::Fault::Silent});
    const auto result = run.Run({"load", source.File("golf.zef")});
    EXPECT_EQ(result.status, ExitStatus::NoLink) << result.error.toStdString();
    EXPECT_EQ(result.kind, zef::FailureKind::LinkLost);
    EXPECT_TRUE(result.error.contains("try again")) << result.error.toStdString();
    EXPECT_FALSE(result.error.contains("--force")) << result.error.toStdString();
    EXPECT_EQ(run.Writes(), 0);
}

TEST(CliDiff, equal_sides_are_status_0_and_a_difference_status_1) {
    CliRun run;
    ASSERT_EQ(run.Run({"save", run.File("a.zef")}).status, ExitStatus::Success);
    EXPECT_EQ(run.Run({"diff", run.File("a.zef"), "controller"}).status, ExitStatus::Success);
    EXPECT_EQ(run.Run({"diff", run.File("a.zef"), run.File("a.zef")}).status, ExitStatus::Success);

    ASSERT_EQ(run.Run({"set", "SpinExtEdit3=3000"}).status, ExitStatus::Success);
    const auto result = run.Run({"diff", run.File("a.zef"), "controller"});
    EXPECT_EQ(result.status, ExitStatus::Differs);
    EXPECT_EQ(result.json["differing"].toInt(), 1);
    const QJsonObject row = result.json["differences"].toArray()[0].toObject();
    EXPECT_EQ(row["name"].toString(), "SpinExtEdit3");
    EXPECT_EQ(row["right_word"].toInt(), 3000);
    EXPECT_EQ(run.Run({"diff", run.File("a.zef"), run.File("none.zef")}).status,
              ExitStatus::FileError);
}

TEST(CliNumber, numbers_a_blank_controller_once_and_leaves_a_numbered_one_alone) {
    CliRun run({.blankIdentity = true});
    auto result = run.Run({"number"});
    ASSERT_EQ(result.status, ExitStatus::Success) << result.error.toStdString();
    EXPECT_TRUE(result.json["numbered"].toBool());
    EXPECT_EQ(result.json["serial"].toString(), "ZEF-K7LX SN 05.02 00114");
    const QString log = QDir(run.logs.path()).filePath("Protocol.lst");
    EXPECT_EQ(Contents(log).size(), 2 * zef::ProtocolRecord::kSize);

    result = run.Run({"number"});
    ASSERT_EQ(result.status, ExitStatus::Success);
    EXPECT_FALSE(result.json["numbered"].toBool());
    EXPECT_EQ(result.json["serial"].toString(), "ZEF-K7LX SN 05.02 00114");
    EXPECT_EQ(Contents(log).size(), 2 * zef::ProtocolRecord::kSize) << "no second number";
}

TEST(CliNumber, a_log_folder_that_is_not_there_is_status_4_and_the_controller_stays_blank) {
    CliRun run({.blankIdentity = true});
    const auto result = run.Run({"number", "--log-dir", run.File("unmounted")});
    EXPECT_EQ(result.status, ExitStatus::FileError);
    EXPECT_TRUE(result.error.contains("unmounted")) << result.error.toStdString();
    EXPECT_EQ(run.Writes(), 0);
}

} // namespace

namespace {

// One missed reply on a loaded host: retried by default, fatal only when a script asks for no
// retry; a timeout sets how long the controller gets.
TEST(CliLink, a_missed_reply_is_retried_as_often_as_asked) {
    const struct {
        QStringList options;
        ExitStatus status;
    } cases[] = {
        {{}, ExitStatus::Success},
        {{"--retries", "0"}, ExitStatus::NoLink},
        {{"--retries", "2", "--timeout", "200"}, ExitStatus::Success},
    };
    for (const auto& c : cases) {
        CliRun run;
        run.ports.sim->InjectOnce(zef::sim::FaultPlan{zef::sim::Fault::Silent});
        const auto result = run.Run(c.options + QStringList{"get", "SpinExtEdit3"});
        EXPECT_EQ(result.status, c.status) << c.options.join(' ').toStdString();
    }
    CliRun run;
    (void)run.Run({"--timeout", "200", "info"});
    EXPECT_EQ(run.environment.step, std::chrono::milliseconds(50));
}

} // namespace

namespace {

// Every command's JSON holds to the published schema, on success and on failure alike.
TEST(CliJson, every_command_prints_the_schema_its_status_and_a_kind_on_failure) {
    CliRun run;
    ASSERT_EQ(run.Run({"save", run.File("a.zef")}).status, ExitStatus::Success);
    ASSERT_TRUE(Put(run.File("limits.json"), R"({"checks": [{"serial": "not blank"}]})"));
    ASSERT_TRUE(Put(run.File("station.json"),
                    R"({"calibration": "a.zef", "checks": [{"serial": "not blank"}]})"));
    run.environment.defaultRegistryUrl = "sqlite:" + run.File("registry.sqlite");
    const QList<QStringList> commands = {
        {"ports"},
        {"info"},
        {"read"},
        {"get", "SpinExtEdit3"},
        {"set", "SpinExtEdit3=5000"},
        {"save", run.File("a.zef")}, // exists: a failure
        {"load", run.File("a.zef")},
        {"diff", run.File("a.zef"), "controller"},
        {"number"},
        {"monitor", "--count", "1"},
        {"check", run.File("limits.json")},
        {"station", run.File("station.json")},
        {"tune", run.File("none.csv")}, // a failure
        {"registry", "stats"},
        {"history", "00114"},
        {"reboot"}, // a usage error
    };
    QSet<QString> covered;
    for (const QStringList& arguments : commands) {
        const auto options = zef::CliOptions::Parse(QStringList{"zef-cli", "--json"} + arguments);
        QString out, err;
        QTextStream outStream(&out), errStream(&err);
        const int status = zef::RunCli(options, run.environment, outStream, errStream);
        run.environment.live = nullptr; // the streams go with this round
        const std::string why = arguments.join(' ').toStdString() + ": " + out.toStdString();
        // A monitor's samples first, one object each; the command's own object last.
        const QStringList lines = out.split('\n', Qt::SkipEmptyParts);
        ASSERT_FALSE(lines.isEmpty()) << why;
        for (const QString& line : lines)
            EXPECT_EQ(QJsonDocument::fromJson(line.toUtf8()).object()["schema"].toInt(), 1) << why;
        const QJsonObject json = QJsonDocument::fromJson(lines.last().toUtf8()).object();
        EXPECT_EQ(json["status"].toInt(-1), status) << why;
        if (options.command) {
            EXPECT_EQ(json["command"].toString(), arguments[0]) << why;
            covered.insert(arguments[0]);
        }
        if (status >= 2) {
            const QString kind = json["error"].toObject()["kind"].toString();
            EXPECT_TRUE(std::any_of(zef::kFailureKinds.begin(), zef::kFailureKinds.end(),
                                    [&](zef::FailureKind k) {
                                        return QString::fromUtf8(zef::KindText(k)) == kind &&
                                               zef::Code(zef::StatusOf(k)) == status;
                                    }))
                << why;
        } else {
            EXPECT_FALSE(json.contains("error")) << why;
        }
    }
    for (const zef::CommandRow& row : zef::CommandRows())
        EXPECT_TRUE(covered.contains(QString::fromUtf8(row.name))) << row.name;
}

} // namespace
