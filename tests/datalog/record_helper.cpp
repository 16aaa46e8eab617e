// Records rows from a simulated controller into a file, as the window's recording does, so a
// test can run it in a process of its own under a file-size limit. Prints the failure text to
// the standard error and exits with 1 when the recording stops on a failed write.
#include "datalog/recorder.h"
#include "files/sim_link.h"

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s FILE ROWS\n", argv[0]);
        return 2;
    }
    zef::test::SimLink sim;
    if (!sim.opened)
        return 3;
    zef::DatalogRecorder recorder(QString::fromLocal8Bit(argv[1]));
    if (const zef::Status opened = recorder.Open(); !opened) {
        std::fprintf(stderr, "%s\n", qPrintable(opened.error()));
        return 1;
    }
    const int rows = std::atoi(argv[2]);
    for (int n = 0; n < rows; ++n) {
        const auto recorded = recorder.Record(sim.link);
        if (!recorded) {
            std::fprintf(stderr, "%s\n", qPrintable(recorded.error()));
            return 1;
        }
        if (!*recorded)
            return 4; // the simulator did not answer: not what this helper is for
    }
    if (const zef::Status closed = recorder.Close(); !closed) {
        std::fprintf(stderr, "%s\n", qPrintable(closed.error()));
        return 1;
    }
    return 0;
}
