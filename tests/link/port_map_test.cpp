#include "link/port_map.h"

#include <gtest/gtest.h>

using namespace zef;

TEST(PortMap, numbers_keep_their_meaning_and_can_be_remapped) {
    PortMap map;
    EXPECT_EQ(map.Target(1), PortMap::DefaultDevice(1));
    EXPECT_EQ(PortMap::DefaultDevice(4), "/dev/ttyS3");
    EXPECT_FALSE(map.Target(0));
    EXPECT_FALSE(map.Target(5));

    struct Case {
        const char* option;
        bool accepted;
        int port;
        const char* target;
    };
    const Case cases[] = {
        {"2=/dev/ttyUSB0", true, 2, "/dev/ttyUSB0"},
        {"1=simulator", true, 1, "simulator"},
        {"4=/dev/pts/7", true, 4, "/dev/pts/7"},
        {"5=/dev/ttyUSB0", false, 0, nullptr},
        {"0=/dev/ttyUSB0", false, 0, nullptr},
        {"3=", false, 0, nullptr},
        {"=/dev/x", false, 0, nullptr},
        {"x=/dev/x", false, 0, nullptr},
        {"2/dev/x", false, 0, nullptr},
        {"12=/dev/x", false, 0, nullptr},
    };
    for (const auto& c : cases) {
        PortMap m;
        EXPECT_EQ(m.MapFromOption(c.option), c.accepted) << c.option;
        if (c.accepted) {
            EXPECT_EQ(m.Target(c.port), c.target) << c.option;
        }
    }
    map.Map(1, std::string(PortMap::kSimulator));
    EXPECT_TRUE(map.IsSimulator(1));
    EXPECT_FALSE(map.IsSimulator(2));
}
