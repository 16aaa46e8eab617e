// zef-cli station: the whole end-of-line cycle in one connection, and dry runs that write
// nothing.

#include "cli_fixture.h"

#include "files/identity.h"
#include "files/production_log.h"
#include "link/register_exchange.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <set>

namespace {

using zef::ExitStatus;
using zef::test::CliRun;
using zef::test::Contents;
using zef::test::Put;

constexpr std::uint8_t kSpeedLimit = 73; // SpinExtEdit3: 1000 ... 6000 rpm

// A model's calibration (the simulator's own with another speed limit) and limits naming it.
struct StationFiles {
    StationFiles() {
        CliRun source;
        EXPECT_EQ(source.Run({"save", Path("golf.zef")}).status, ExitStatus::Success);
        QByteArray settings = Contents(Path("golf.zef"));
        EXPECT_TRUE(settings.endsWith("6000\r\n"));
        settings.chop(6);
        EXPECT_TRUE(Put(Path("golf.zef"), settings + "5500\r\n"));
        EXPECT_TRUE(Put(Path("limits.json"), R"({"calibration": "golf.zef", "checks": [
            {"channel": "supply_v", "min": 12, "max": 15},
            {"parameter": "SpinExtEdit3", "min": 5500, "max": 5500},
            {"calibration": "golf.zef"},
            {"serial": "not blank"}]})"));
    }
    [[nodiscard]] QString Path(const QString& name) const {
        return QDir(dir.path()).filePath(name);
    }

    QTemporaryDir dir, log;
};

// The serial's 24 registers and the date's 8 follow each other.
bool IsIdentityRegister(std::uint8_t address) {
    return address >= zef::kSerialRegister && address < zef::kDateRegister + zef::kDateLength;
}

// A line of blank controllers through one station: each numbered in turn from the one log,
// calibrated and checked, with its identity read once (32 reads) and once more only as the
// read-back of the number written into it.
TEST(CliStation,
     five_blank_controllers_get_distinct_numbers_their_calibration_and_one_identity_read) {
    StationFiles files;
    std::set<QString> serials;
    for (int n = 0; n < 5; ++n) {
        CliRun run({.blankIdentity = true});
        run.environment.logFolder = [&](const std::optional<QString>&) {
            return zef::LogFolder{files.log.path(), zef::LogFolderSource::Named};
        };
        const auto result = run.Run({"station", files.Path("limits.json")});
        ASSERT_EQ(result.status, ExitStatus::Success) << n << ": " << result.error.toStdString();
        const QString expected =
            QStringLiteral("ZEF-K7LX SN 05.02 %1").arg(114 + n, 5, 10, QChar('0'));
        EXPECT_EQ(result.json["serial"].toString(), expected);
        serials.insert(result.json["serial"].toString());
        EXPECT_TRUE(result.json["pass"].toBool());
        EXPECT_TRUE(result.json["load"]["differing"].toArray().isEmpty());
        EXPECT_EQ(run.ports.Param(kSpeedLimit), 5500);

        int identityReads = 0, identityWrites = 0, lastIdentityRead = -1, firstLoadWrite = -1;
        const auto frames = run.ports.sim->Frames();
        for (int i = 0; i < static_cast<int>(frames.size()); ++i) {
            const auto& f = frames[static_cast<std::size_t>(i)];
            const bool write = f[0] == static_cast<std::uint8_t>(zef::Command::WriteParam);
            const bool read = f[0] == static_cast<std::uint8_t>(zef::Command::ReadParam);
            if (!IsIdentityRegister(f[1])) {
                if (write && firstLoadWrite < 0)
                    firstLoadWrite = i;
                continue;
            }
            identityReads += read;
            identityWrites += write;
            if (read)
                lastIdentityRead = i;
        }
        EXPECT_EQ(identityReads, 2 * (zef::kSerialLength + zef::kDateLength)) << n;
        EXPECT_EQ(identityWrites, zef::kSerialLength + zef::kDateLength + 1) << n;
        // The archive, the registry and the serial check take the identity already read.
        ASSERT_GT(firstLoadWrite, 0) << n;
        EXPECT_LT(lastIdentityRead, firstLoadWrite) << n;
    }
    EXPECT_EQ(serials.size(), 5u);
    EXPECT_EQ(Contents(QDir(files.log.path()).filePath("Protocol.lst")).size(),
              6 * zef::ProtocolRecord::kSize);
}

// A dry run tells what would be written and writes nothing: no frame with command 3, no log, no
// archived copy, no registry.
TEST(CliStation, a_dry_run_sends_no_write_and_leaves_log_archive_and_registry_untouched) {
    StationFiles files;
    const struct {
        QStringList arguments;
        bool registry;
        QJsonValue nextSerial;
    } cases[] = {
        {{"number", "--dry-run"}, false, "ZEF-K7LX SN 05.02 00114"},
        {{"load", "--dry-run", files.Path("golf.zef")}, false, QJsonValue::Undefined},
        {{"station", "--dry-run", files.Path("limits.json")}, false, "ZEF-K7LX SN 05.02 00114"},
        {{"station", "--dry-run", files.Path("limits.json")}, true, QJsonValue::Null},
    };
    for (const auto& c : cases) {
        const std::string what = c.arguments.join(' ').toStdString();
        CliRun run({.blankIdentity = true});
        const QString registry = run.File("registry.sqlite");
        if (c.registry)
            run.environment.registryUrl = "sqlite:" + registry;
        const auto result = run.Run(c.arguments);
        ASSERT_EQ(result.status, ExitStatus::Success) << what << ": " << result.error.toStdString();
        EXPECT_EQ(run.Writes(), 0) << what;
        EXPECT_FALSE(run.ports.sim->Frames().empty()) << what;
        EXPECT_FALSE(QFileInfo::exists(QDir(run.logs.path()).filePath("Protocol.lst"))) << what;
        EXPECT_TRUE(QDir(run.data.path()).isEmpty()) << what;
        EXPECT_FALSE(QFileInfo::exists(registry)) << what;
        const QJsonObject number =
            c.arguments[0] == "station" ? result.json["number"].toObject() : result.json;
        EXPECT_EQ(number["next_serial"], c.nextSerial) << what;
        const QJsonObject load =
            c.arguments[0] == "station" ? result.json["load"].toObject() : result.json;
        if (c.arguments[0] != "number") {
            EXPECT_EQ(load["changing"].toInt(), 1) << what << ": only the speed limit differs";
        }
    }
}

// What stops a station before or during the cycle, with the status and kind a script tells it by.
TEST(CliStation, a_silent_controller_or_limits_without_calibration_stop_the_cycle_with_their_kind) {
    StationFiles files;
    ASSERT_TRUE(Put(files.Path("nocal.json"), R"({"checks": [{"serial": "not blank"}]})"));
    const struct {
        const char* why;
        const char* limits;
        std::optional<zef::sim::FaultPlan> fault;
        ExitStatus status;
        zef::FailureKind kind;
    } cases[] = {
        {"silent", "limits.json", zef::sim::FaultPlan{zef::sim::Fault::Silent}, ExitStatus::NoLink,
         zef::FailureKind::NoAnswer},
        {"no calibration named", "nocal.json", std::nullopt, ExitStatus::BadUsage,
         zef::FailureKind::Usage},
    };
    for (const auto& c : cases) {
        CliRun run({.blankIdentity = true});
        if (c.fault)
            run.ports.sim->SetFault(*c.fault);
        const auto result = run.Run({"station", "--json", files.Path(c.limits)});
        EXPECT_EQ(result.status, c.status) << c.why;
        EXPECT_EQ(result.kind, c.kind) << c.why;
        EXPECT_EQ(run.Writes(), 0) << c.why;
        EXPECT_FALSE(QFileInfo::exists(QDir(run.logs.path()).filePath("Protocol.lst"))) << c.why;
    }
}

} // namespace
