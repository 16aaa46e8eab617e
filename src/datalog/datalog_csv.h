#pragma once

#include "files/disk_write.h"
#include "files/outcome.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <span>
#include <thread>
#include <vector>

namespace zef {

// One row of a datalog: when it was read, seconds since the recording started, and one value
// per channel of DatalogChannels().
struct DatalogRow {
    QDateTime time;
    double seconds = 0;
    std::vector<double> values;
    // A marker the fitter set at this row, or empty.
    QString mark;
};

// The CSV columns: the time, the seconds since the start, every channel, each named with its
// unit, and last the markers' texts. The markers' column came later than the others: a file
// without it reads as one without markers, and a program that reads the columns by name or by
// place finds every other column where it always was.
[[nodiscard]] QStringList DatalogColumns();
// The header line and one row line, "\n"-terminated UTF-8, comma-separated, "." as the decimal
// mark whatever the locale.
[[nodiscard]] QByteArray DatalogHeaderLine();
[[nodiscard]] QByteArray DatalogRowLine(const DatalogRow& row);
// ISO 8601 with milliseconds and the offset from UTC: "2026-12-08T11:22:56.123+03:00".
[[nodiscard]] QString DatalogTimeText(const QDateTime& time);

// Reads a datalog the program wrote, or any CSV with the same header. A file with anything
// wrong in it (another header, a row with a column too few or too many, text where a number
// belongs, a last line cut short) is refused as a whole, with the line that is wrong: a
// partial recording shown as if whole would mislead more than none.
[[nodiscard]] Expected<std::vector<DatalogRow>> ParseDatalogCsv(QByteArrayView bytes,
                                                                const QString& path);

// The same reading a line at a time, for a file too long to hold whole beside its rows.
class DatalogCsvReader {
public:
    explicit DatalogCsvReader(QString path) : m_path(std::move(path)) {}

    // One line without its "\n"; `terminated` when one followed it. True when the line filled
    // `row` (whose buffers are reused), false for the header or a blank last line.
    [[nodiscard]] Expected<bool> Line(QByteArrayView line, bool terminated, DatalogRow& row);
    // After the last line: whether there was a header at all.
    [[nodiscard]] Status Finish() const;

private:
    // Rows of one minute differ only in their seconds: those are read here and the rest once a
    // minute, since a whole parse consults the system's time zone files each time.
    [[nodiscard]] QDateTime timeOf(QByteArrayView text);

    QString m_path;
    QByteArray m_minuteText; // "yyyy-MM-ddTHH:mm:" of the last whole parse
    QByteArray m_zoneText;   // what followed its milliseconds: the offset, or nothing
    QDateTime m_minute;      // that minute's start
    qsizetype m_lineNumber = 0;
    std::size_t m_columns = 0;
    bool m_rowSeen = false;
    double m_lastSeconds = 0;
    QByteArray m_scratch;
};
[[nodiscard]] Expected<std::vector<DatalogRow>> ReadDatalogCsv(const QString& path);

// Writes a datalog row by row. Each row goes to the system as it comes, so a crash of the
// program loses nothing written; a thread of the writer's own puts the rows on the disk itself
// within a second, so the wait for the disk never holds up the line. A row the disk refuses is
// taken back whole, so the file always ends with a whole row.
class DatalogWriter {
public:
    // Creates (or empties) the file; Open() reports whether that and the header worked.
    explicit DatalogWriter(const QString& path,
                           AppendedFile::Creation creation = AppendedFile::Creation::Replace);
    ~DatalogWriter();
    DatalogWriter(const DatalogWriter&) = delete;
    DatalogWriter& operator=(const DatalogWriter&) = delete;

    [[nodiscard]] Status Open();
    // Also reports a failure of the disk found since the last row.
    [[nodiscard]] Status Append(const DatalogRow& row);
    // A failure of the disk found since the last row, between rows.
    [[nodiscard]] Status Check() const;
    // The last rows to the disk, and the file closed; afterwards every call fails.
    [[nodiscard]] Status Close();

    [[nodiscard]] const QString& Path() const { return m_path; }
    [[nodiscard]] qint64 Rows() const { return m_rows; }
    [[nodiscard]] qint64 Bytes() const { return m_file.Size(); }

    // Rows are put on the disk once they have waited this long, and the syncing thread looks
    // every kSyncLook: no row waits a second.
    static constexpr std::chrono::milliseconds kSyncAfter{500};
    static constexpr std::chrono::milliseconds kSyncLook{100};

private:
    using Clock = std::chrono::steady_clock;
    [[nodiscard]] Failure WriteFailure(int error) const;
    void Written();
    void SyncLoop();
    void StopSyncing();

    QString m_path;
    AppendedFile m_file;
    qint64 m_rows = 0;

    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_stop = false;
    bool m_unsynced = false;
    Clock::time_point m_unsyncedSince{};
    int m_syncError = 0; // the first failed sync's errno
    std::thread m_syncer;
};

} // namespace zef
