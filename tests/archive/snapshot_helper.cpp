// Takes one snapshot of a simulated controller into the archive under DATA_DIR, as a connection
// does, so that a test can run it in a process of its own under a file-size limit. Prints the
// failure text to the standard error and exits with 1 when nothing was stored.
#include "archive/snapshot_archive.h"
#include "files/sim_link.h"

#include <cstdio>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s DATA_DIR\n", argv[0]);
        return 2;
    }
    zef::test::SimLink sim;
    if (!sim.opened)
        return 3;
    const zef::CalibrationArchive archive(QString::fromLocal8Bit(argv[1]));
    const auto stored = zef::TakeSnapshot(sim.link, archive, QString::fromStdString(sim.Serial()),
                                          zef::SnapshotReason::Connect);
    if (!stored) {
        std::fprintf(stderr, "%s\n", qPrintable(stored.error()));
        return 1;
    }
    return 0;
}
