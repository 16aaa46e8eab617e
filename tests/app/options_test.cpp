#include "app/options.h"

#include <QProcess>
#include <QProcessEnvironment>
#include <gtest/gtest.h>

using namespace zef;

namespace {

TEST(AppOptions, command_line_maps_ports_or_says_what_is_wrong) {
    struct Case {
        QStringList args;
        bool ok;
        std::string com1, com2;
        bool blank;
    };
    const std::string s0 = PortMap::DefaultDevice(1), s1 = PortMap::DefaultDevice(2);
    const Case cases[] = {
        {{"zef-service"}, true, s0, s1, false},
        {{"zef-service", "--simulator"}, true, "simulator", s1, false},
        {{"zef-service", "--simulator-blank"}, true, "simulator", s1, true},
        {{"zef-service", "--com", "2=/dev/ttyUSB0"}, true, s0, "/dev/ttyUSB0", false},
        {{"zef-service", "--com=2=/dev/pts/4", "--simulator"},
         true,
         "simulator",
         "/dev/pts/4",
         false},
        // Options apply in the order given: a later mapping of COM1 wins over the simulator,
        // and the other way round.
        {{"zef-service", "--simulator", "--com", "1=/dev/ttyUSB1"},
         true,
         "/dev/ttyUSB1",
         s1,
         false},
        {{"zef-service", "--com", "1=/dev/ttyUSB1", "--simulator"}, true, "simulator", s1, false},
        {{"zef-service", "--com", "1=/dev/a", "--com", "2=/dev/b", "--com", "1=/dev/c"},
         true,
         "/dev/c",
         "/dev/b",
         false},
        {{"zef-service", "--com"}, false, s0, s1, false},
        {{"zef-service", "--com", "5=/dev/x"}, false, s0, s1, false},
        {{"zef-service", "--com", "/dev/x"}, false, s0, s1, false},
        {{"zef-service", "--verbose"}, false, s0, s1, false},
        {{"zef-service", "stray"}, false, s0, s1, false},
    };
    for (const auto& c : cases) {
        const auto o = AppOptions::Parse(c.args);
        const auto joined = c.args.join(' ').toStdString();
        EXPECT_EQ(o.error.isEmpty(), c.ok) << joined << ": " << o.error.toStdString();
        if (!c.ok)
            continue;
        EXPECT_EQ(o.ports.Target(1), c.com1) << joined;
        EXPECT_EQ(o.ports.Target(2), c.com2) << joined;
        EXPECT_EQ(o.simulatorBlankIdentity, c.blank) << joined;
    }
}

TEST(AppOptions, data_dir_names_the_archive_folder_or_is_refused_without_one) {
    const struct {
        QStringList args;
        QString dataDir; // empty: refused
    } cases[] = {
        {{"zef-service", "--data-dir", "/tmp/zef data"}, "/tmp/zef data"},
        {{"zef-service", "--simulator", "--data-dir=/srv/zef"}, "/srv/zef"},
        {{"zef-service", "--data-dir"}, ""},
        {{"zef-service", "--data-dir="}, ""},
    };
    for (const auto& c : cases) {
        const auto o = AppOptions::Parse(c.args);
        EXPECT_EQ(o.error.isEmpty(), !c.dataDir.isEmpty()) << c.args.join(' ').toStdString();
        EXPECT_EQ(o.dataDir, c.dataDir) << c.args.join(' ').toStdString();
    }
    EXPECT_TRUE(AppOptions::Parse({"zef-service"}).dataDir.isEmpty());
}

TEST(AppOptions, log_dir_is_taken_as_given_and_an_empty_one_means_forget) {
    struct Case {
        QStringList args;
        std::optional<QString> logDir;
    };
    const Case cases[] = {
        {{"zef-service"}, std::nullopt},
        {{"zef-service", "--log-dir", "/mnt/line/log"}, "/mnt/line/log"},
        {{"zef-service", "--log-dir=/srv/a b"}, "/srv/a b"},
        {{"zef-service", "--log-dir="}, ""},
        {{"zef-service", "--log-dir", "/a", "--log-dir", "/b"}, "/b"},
    };
    for (const auto& c : cases) {
        const auto o = AppOptions::Parse(c.args);
        EXPECT_TRUE(o.error.isEmpty()) << o.error.toStdString();
        EXPECT_EQ(o.logDir, c.logDir) << c.args.join(' ').toStdString();
    }
    EXPECT_FALSE(AppOptions::Parse({"zef-service", "--log-dir"}).error.isEmpty());
}

TEST(AppOptions, help_and_version_are_recognised_in_every_spelling) {
    struct Case {
        QStringList args;
        bool help, version;
    };
    const Case cases[] = {
        {{"x", "--help"}, true, false},
        {{"x", "-h"}, true, false},
        {{"x", "--help-all"}, true, false},
        {{"x", "--version"}, false, true},
        {{"x", "-v"}, false, true},
        // Asked for with a mistake on the same line, help is still given.
        {{"x", "--bogus", "--help"}, true, false},
    };
    for (const auto& c : cases) {
        const auto o = AppOptions::Parse(c.args);
        EXPECT_EQ(o.help, c.help) << c.args.join(' ').toStdString();
        EXPECT_EQ(o.version, c.version) << c.args.join(' ').toStdString();
    }
    const QString usage = AppOptions::Usage();
    EXPECT_TRUE(usage.startsWith("Usage: zef-service [options]\n")) << usage.toStdString();
    for (const char* option : {"--com <N=DEVICE>", "--simulator", "--simulator-blank",
                               "--log-dir <DIR>", "--list-ports", "--help", "--version"})
        EXPECT_TRUE(usage.contains(option)) << option;
}

// The toolkit's own options reach the program only before the application object has taken
// them out; until then they must not be reported as mistakes.
TEST(AppOptions, toolkit_options_are_told_apart_from_mistakes) {
    struct Case {
        QStringList args;
        bool onlyToolkit;
    };
    const Case cases[] = {
        {{"x", "-platform", "offscreen"}, true},
        {{"x", "-display", ":1", "--simulator"}, true},
        {{"x", "-style=fusion", "-reverse"}, true},
        {{"x", "-platform", "offscreen", "--bogus"}, false},
        {{"x", "--com", "9=/dev/x"}, false}, // parsed fine, the value is wrong
        {{"x", "--com"}, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(AppOptions::OnlyToolkitOptionsUnknown(c.args), c.onlyToolkit)
            << c.args.join(' ').toStdString();
}

// zef-service itself, with no display to open: help, version and a wrong option are answered
// on the terminal and the program ends, where the window toolkit would abort.
TEST(ProgramCommandLine, answers_without_a_display) {
    struct Case {
        QStringList args;
        QString platform; // QT_QPA_PLATFORM; empty: unset
        int exitCode;
        const char* stdoutHas;
        const char* stderrHas;
    };
    const Case cases[] = {
        {{"--help"}, {}, 0, "--log-dir <DIR>", ""},
        {{"--help"}, "xcb", 0, "Usage: zef-service [options]", ""},
        {{"--version"}, {}, 0, "zef-service " ZEF_VERSION, ""},
        {{"-v"}, "xcb", 0, "zef-service " ZEF_VERSION, ""},
        // Whatever ports the machine has, the list comes without a display.
        {{"--list-ports"}, {}, 0, "", ""},
        {{"--list-ports"}, "xcb", 0, "", ""},
        {{"--bogus"}, "xcb", 2, "", "Unknown option 'bogus'"},
        {{"--com", "7=/dev/x"}, "xcb", 2, "", "N from 1 to 4"},
    };
    for (const auto& c : cases) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove("DISPLAY");
        env.remove("WAYLAND_DISPLAY");
        env.remove("QT_QPA_PLATFORM");
        if (!c.platform.isEmpty())
            env.insert("QT_QPA_PLATFORM", c.platform);
        QProcess program;
        program.setProcessEnvironment(env);
        program.start(ZEF_SERVICE_PATH, c.args);
        ASSERT_TRUE(program.waitForFinished(20000)) << c.args.join(' ').toStdString();
        const QString out = QString::fromUtf8(program.readAllStandardOutput());
        const QString err = QString::fromUtf8(program.readAllStandardError());
        const auto what = c.args.join(' ').toStdString() + "\nstdout: " + out.toStdString() +
                          "\nstderr: " + err.toStdString();
        EXPECT_EQ(program.exitStatus(), QProcess::NormalExit) << what;
        EXPECT_EQ(program.exitCode(), c.exitCode) << what;
        EXPECT_TRUE(out.contains(c.stdoutHas)) << what;
        EXPECT_TRUE(err.contains(c.stderrHas)) << what;
    }
}

} // namespace
