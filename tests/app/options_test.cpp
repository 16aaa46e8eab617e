#include "app/options.h"

#include <gtest/gtest.h>

using namespace zef;

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
        {{"zef-service", "--com=2=/dev/pts/4", "--simulator"}, true, "simulator", "/dev/pts/4", false},
        // The simulator takes COM1; a later mapping of COM1 wins.
        {{"zef-service", "--simulator", "--com", "1=/dev/ttyUSB1"}, true, "/dev/ttyUSB1", s1, false},
        {{"zef-service", "--com"}, false, s0, s1, false},
        {{"zef-service", "--com", "5=/dev/x"}, false, s0, s1, false},
        {{"zef-service", "--com", "/dev/x"}, false, s0, s1, false},
        {{"zef-service", "--verbose"}, false, s0, s1, false},
    };
    for (const auto& c : cases) {
        const auto o = AppOptions::Parse(c.args);
        const auto joined = c.args.join(' ').toStdString();
        EXPECT_EQ(o.error.isEmpty(), c.ok) << joined;
        if (!c.ok)
            continue;
        EXPECT_EQ(o.ports.Target(1), c.com1) << joined;
        EXPECT_EQ(o.ports.Target(2), c.com2) << joined;
        EXPECT_EQ(o.simulatorBlankIdentity, c.blank) << joined;
    }
    EXPECT_TRUE(AppOptions::Parse({"x", "--help"}).help);
    EXPECT_TRUE(AppOptions::Usage().contains("--com N=DEVICE"));
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
