#pragma once

#include "datalog/datalog_csv.h"
#include "link/register_exchange.h"

#include <QDateTime>
#include <QString>

#include <chrono>
#include <functional>
#include <optional>

namespace zef {

// The file name a recording is offered under: "<serial number>_<yyyy-MM-dd_HH-mm-ss>.csv",
// "blank" for a controller without a serial number, with the serial made safe for a file name
// as the calibration archive makes its folder names.
[[nodiscard]] QString DefaultDatalogName(const std::optional<QString>& serial,
                                         const QDateTime& now);

// One recording: reads a row over the exchange whenever asked and appends it to the file.
class DatalogRecorder {
public:
    using WallClock = std::function<QDateTime()>;

    // Creates the file; Open() reports whether that and its header worked.
    explicit DatalogRecorder(const QString& path, WallClock wall = &QDateTime::currentDateTime);
    [[nodiscard]] Status Open();

    // Reads one row and writes it. The row written, or nothing when a read went unanswered (the
    // gap stays in the file as missing rows); a Failure when the file refused the row, which
    // ends the recording.
    [[nodiscard]] Expected<std::optional<DatalogRow>> Record(RegisterExchange& link);
    // Ends the recording with the last rows on the disk.
    [[nodiscard]] Status Close();

    [[nodiscard]] const DatalogWriter& Writer() const { return m_writer; }
    [[nodiscard]] const QDateTime& Started() const { return m_started; }

private:
    using Clock = std::chrono::steady_clock;

    WallClock m_wall;
    DatalogWriter m_writer;
    QDateTime m_started;
    Clock::time_point m_start{};
};

} // namespace zef
