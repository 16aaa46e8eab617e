#pragma once

#include "datalog/datalog_csv.h"
#include "link/register_exchange.h"

#include <QDateTime>
#include <QString>

#include <chrono>
#include <functional>
#include <optional>
#include <vector>

namespace zef {

// The file name a recording is offered under: "<serial number>_<yyyy-MM-dd_HH-mm-ss>.csv",
// "blank" for a controller without a serial number, with the serial made safe for a file name
// as the calibration archive makes its folder names.
[[nodiscard]] QString DefaultDatalogName(const std::optional<QString>& serial,
                                         const QDateTime& now);

// A row as read on the line: dated at the start of its burst, when its first register was asked
// for; no values when a read went unanswered.
struct ReadRow {
    QDateTime time;
    double seconds = 0; // since the recording began
    std::optional<std::vector<double>> values;
    // Which recording's reader read it: a row still on the line when its recording ended
    // belongs to no later one.
    std::chrono::steady_clock::time_point begun{};
};

using RowSource = std::function<std::optional<std::vector<double>>(RegisterExchange&)>;

// Reads a row with `read` and dates it at the start of its burst, by the wall clock and by the
// seconds since `start`, so that the two never drift apart.
[[nodiscard]] std::function<ReadRow(RegisterExchange&)>
StampedRowReader(std::function<QDateTime()> wall, std::chrono::steady_clock::time_point start,
                 RowSource read);

// One recording: reads a row over the exchange whenever asked and appends it to the file.
class DatalogRecorder {
public:
    using WallClock = std::function<QDateTime()>;

    // Creates the file; Open() reports whether that and its header worked.
    explicit DatalogRecorder(const QString& path, WallClock wall = &QDateTime::currentDateTime,
                             AppendedFile::Creation creation = AppendedFile::Creation::Replace);
    [[nodiscard]] Status Open();

    // Reads one row and writes it. The row written, or nothing when a read went unanswered (the
    // gap stays in the file as missing rows); a Failure when the file refused the row, which
    // ends the recording.
    [[nodiscard]] Expected<std::optional<DatalogRow>> Record(RegisterExchange& link);

    // What reads a row, made to run where the line is (another thread, perhaps): it keeps
    // copies of what it needs and nothing of the recorder, which may be gone by the time the
    // row is written.
    [[nodiscard]] std::function<ReadRow(RegisterExchange&)> RowReader(RowSource read = {}) const;
    // Writes a row RowReader() read; the same outcomes as Record().
    [[nodiscard]] Expected<std::optional<DatalogRow>> Write(ReadRow read);
    // A marker on the next row written, with its text; a second one before that row replaces
    // the first. The text a marker gets when the fitter gives none: "Метка N".
    void Mark(const QString& text);
    [[nodiscard]] QString NextMarkText() const;
    [[nodiscard]] int Marks() const { return m_marks; }

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
    QString m_pendingMark;
    int m_marks = 0;
};

} // namespace zef
