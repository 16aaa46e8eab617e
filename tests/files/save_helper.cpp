// Saves a simulated controller's settings to a file, as the save command does, so that a test
// can run the save in a process of its own under a file-size limit. Prints the failure text to
// the standard error and exits with 1 when the save fails.
#include "files/settings_file.h"
#include "sim_link.h"

#include <cstdio>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FILE\n", argv[0]);
        return 2;
    }
    zef::test::SimLink sim;
    if (!sim.opened)
        return 3;
    // Four digits a line: 31 lines of six bytes, 186 in all.
    for (int address = 0; address < 256; ++address)
        sim.SetParam(address, static_cast<std::uint16_t>(1000 + address));
    const zef::Status saved = zef::SaveSettings(sim.link, QString::fromLocal8Bit(argv[1]));
    if (!saved) {
        std::fprintf(stderr, "%s\n", qPrintable(saved.error()));
        return 1;
    }
    return 0;
}
