// Takes one snapshot of a simulated controller into the archive under DATA_DIR, as a connection
// does, so that a test can run it in a process of its own under a file-size limit. Prints the
// failure text to the standard error and exits with 1 when nothing was stored. With COUNT,
// TIME and BASE: COUNT snapshots of different values, all at that local time, as another
// workstation archiving the same controller in the same second would.
#include "archive/snapshot_archive.h"
#include "files/sim_link.h"

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    if (argc != 2 && argc != 5) {
        std::fprintf(stderr, "usage: %s DATA_DIR [COUNT TIME BASE]\n", argv[0]);
        return 2;
    }
    zef::test::SimLink sim;
    if (!sim.opened)
        return 3;
    const QDateTime time = QDateTime::fromString(QString::fromLatin1(argv[argc - 2]), Qt::ISODate);
    const zef::CalibrationArchive archive(QString::fromLocal8Bit(argv[1]), [&] {
        return argc == 2 ? QDateTime::currentDateTime() : time;
    });
    const QString serial = QString::fromStdString(sim.Serial());
    for (int i = 0; i < (argc == 2 ? 1 : std::atoi(argv[2])); ++i) {
        if (argc == 5)
            sim.SetParam(0, static_cast<std::uint16_t>(std::atoi(argv[4]) + i));
        const auto stored =
            zef::TakeSnapshot(sim.link, archive, serial, zef::SnapshotReason::Connect);
        if (!stored) {
            std::fprintf(stderr, "%s\n", qPrintable(stored.error()));
            return 1;
        }
    }
    return 0;
}
