#pragma once

#include "dialogs/prompts.h"

#include <QString>

#include <cstdio>
#include <string>

namespace zef::bench {

// Answers no question and tells on standard error what the window would have shown.
class QuietPrompts final : public Prompts {
public:
    void Message(const QString& text, Kind) override {
        std::fprintf(stderr, "message: %s\n", qPrintable(text));
    }
    bool AskYesNo(const QString&, Kind) override { return false; }
    std::optional<QString> OpenFileName(const QString&) override { return std::nullopt; }
    std::optional<QString> SaveFileName(const QString&) override { return std::nullopt; }
};

// The connection sequence's wall time with and without the calibration archive's snapshot.
void PrintConnectionArchiveCost(double lineLimitSeconds);

// The datalog's cost in a tick, the fastest period the link sustains, and an hour's replay,
// against the simulator on the serial device given.
void PrintDatalogFigures(const std::string& device, double lineLimitSeconds);

// Opening a recording of `hours` at the link's fastest period: bytes a row and the window
// thread's longest stall, read off the window thread and, for comparison, on it.
void PrintLongRecordingOpen(double hours);

// The trend window with an hour's recording: replayed at once, and one live refresh.
void PrintTrendView();

// The connection sequence against its line time, the time from a lost cable to "Нет связи",
// and the share of the window thread held up while the link is lost.
void PrintLostLink(const QString& simulator, double lineLimitSeconds);

// The processor and the window thread's time taken by the dashboard and the parameter table
// while the monitor runs on the simulator paced like the line.
void PrintViewsLoad();

// zef-cli's commands and a station run, as processes, against their exchanges' line time.
void PrintCliTimes(const QString& cli, const QString& simulator, double lineLimitSeconds);

// Tuning the map from a ten-hour recording of the simulated drive, and a live row's cost.
void PrintTuningFigures();

// The production registry on SQLite and, given a server, PostgreSQL: a number's cost beyond
// its exchanges, four stations at once, and a controller's history of 1 000 events.
void PrintRegistryFigures(const QString& postgresUrl);

} // namespace zef::bench
