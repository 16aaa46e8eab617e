// Numbers blank simulated controllers against the production log in a folder, as one workstation
// would, and prints the serial each controller ended up with. Several of these run at once in
// the concurrent numbering test.
#include "files/identity.h"
#include "sim_link.h"

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s FOLDER COUNT\n", argv[0]);
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    const int count = std::atoi(argv[2]);
    zef::test::SimLink sim({.blankIdentity = true});
    if (!sim.opened)
        return 3;
    zef::DeviceIdentity identity(sim.link, folder, [] { return QDate(2026, 12, 7); });
    zef::test::SilentView view;
    for (int i = 0; i < count; ++i) {
        sim.ports.sim->WithModel([](zef::sim::ControllerModel& m) {
            m.SetIdentity(zef::kBlankSerial, "01.01.00");
            return 0;
        });
        const auto reading = identity.ReadIdentity(view);
        if (!reading || !reading->numbered) {
            std::fprintf(stderr, "%s\n", qPrintable(reading.error()));
            return 1;
        }
        std::printf("%s\n", sim.Serial().c_str());
        std::fflush(stdout);
    }
    return 0;
}
