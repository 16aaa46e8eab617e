#include "cli/cli_options.h"
#include "cli/cli_session.h"

#include <gtest/gtest.h>

namespace {

using zef::CliOptions;

QStringList Line(std::initializer_list<const char*> words) {
    QStringList line{"zef-cli"};
    for (const char* w : words)
        line << QString::fromUtf8(w);
    return line;
}

struct BadLine {
    const char* why;
    std::initializer_list<const char*> words;
};

// Every one of these is refused before any port is touched, and exits with status 2.
TEST(CliOptions, bad_usage_is_refused_with_status_2) {
    const BadLine cases[] = {
        {"no command", {"--simulator"}},
        {"unknown command", {"--simulator", "reboot"}},
        {"unknown option", {"--simulator", "--fast", "info"}},
        {"get without a name", {"--simulator", "get"}},
        {"get with two names", {"--simulator", "get", "a", "b"}},
        {"set without a value", {"--simulator", "set"}},
        {"diff with one side", {"diff", "a.zef"}},
        {"check without limits", {"--simulator", "check"}},
        {"--clamp outside set", {"--simulator", "--clamp", "get", "SpinExtEdit3"}},
        {"--log-dir outside number", {"--simulator", "--log-dir", "/tmp", "info"}},
        {"--report outside check", {"--simulator", "--report", "r.json", "info"}},
        {"--port and --simulator", {"--port", "/dev/ttyUSB0", "--simulator", "info"}},
        {"--blank without --simulator", {"--blank", "info"}},
        {"--period of zero", {"--simulator", "monitor", "--period", "0"}},
        {"--count not a number", {"--simulator", "monitor", "--count", "many"}},
        {"--port without a device", {"--port", "", "info"}},
    };
    for (const BadLine& c : cases) {
        const CliOptions options = CliOptions::Parse(Line(c.words));
        EXPECT_FALSE(options.error.isEmpty()) << c.why;
        zef::CliEnvironment nothing;
        QString out, err;
        QTextStream o(&out), e(&err);
        EXPECT_EQ(zef::RunCli(options, nothing, o, e), 2) << c.why;
        EXPECT_TRUE(out.isEmpty()) << c.why;
        EXPECT_TRUE(err.contains("Usage: zef-cli")) << c.why << ": " << err.toStdString();
    }
}

TEST(CliOptions, command_options_may_stand_before_or_after_the_command) {
    const CliOptions before = CliOptions::Parse(
        Line({"--port", "COM2", "--json", "--clamp", "set", "SpinExtEdit3=6000", "ComboBox3=1"}));
    ASSERT_TRUE(before.error.isEmpty()) << before.error.toStdString();
    EXPECT_EQ(before.command->name, "set");
    EXPECT_EQ(before.port, "COM2");
    EXPECT_TRUE(before.json);
    EXPECT_TRUE(before.clamp);
    EXPECT_EQ(before.arguments, (QStringList{"SpinExtEdit3=6000", "ComboBox3=1"}));

    const CliOptions after =
        CliOptions::Parse(Line({"--simulator", "monitor", "--count", "3", "--period", "100"}));
    ASSERT_TRUE(after.error.isEmpty()) << after.error.toStdString();
    EXPECT_EQ(after.count, 3);
    EXPECT_EQ(after.periodMs, 100);
}

TEST(CliOptions, help_lists_every_command_and_exit_status) {
    const QString usage = CliOptions::Usage();
    for (const zef::CommandRow& row : zef::CommandRows())
        EXPECT_TRUE(usage.contains("  " + QString::fromUtf8(row.name))) << row.name;
    for (const char* status : {"  0  success", "  1  a difference", "  2  bad usage",
                               "  3  the controller did not answer", "  4  a file",
                               "  5  the port is unavailable", "  6  the production registry"})
        EXPECT_TRUE(usage.contains(status)) << status;
    // Each kind a script may meet is named beside its status.
    for (const zef::FailureKind kind : zef::kFailureKinds)
        EXPECT_TRUE(usage.contains(QString::fromUtf8(zef::KindText(kind)))) << zef::KindText(kind);
}

} // namespace
