#include "datalog/recorder.h"

#include "archive/snapshot_archive.h"
#include "datalog/channels.h"

namespace zef {

QString DefaultDatalogName(const std::optional<QString>& serial, const QDateTime& now) {
    return SerialFolderName(serial.value_or(QString())) + QChar('_') +
           now.toString(QStringLiteral("yyyy-MM-dd_HH-mm-ss")) + QStringLiteral(".csv");
}

DatalogRecorder::DatalogRecorder(const QString& path, WallClock wall)
    : m_wall(std::move(wall)), m_writer(path) {}

Status DatalogRecorder::Open() {
    m_started = m_wall();
    m_start = Clock::now();
    return m_writer.Open();
}

Expected<std::optional<DatalogRow>> DatalogRecorder::Record(RegisterExchange& link) {
    // The row is dated at the start of its burst, when its first register was asked for.
    const QDateTime time = m_wall();
    const auto since = std::chrono::duration<double>(Clock::now() - m_start);
    auto values = ReadDatalogRow(link);
    if (!values) {
        // Rows already written still reach the disk in time while the link is silent.
        if (Status synced = m_writer.SyncIfDue(); !synced)
            return Failure{synced.error()};
        return std::optional<DatalogRow>{};
    }
    DatalogRow row{time, since.count(), std::move(*values)};
    if (Status written = m_writer.Append(row); !written)
        return Failure{written.error()};
    return std::optional<DatalogRow>(std::move(row));
}

Status DatalogRecorder::Close() {
    return m_writer.Close();
}

} // namespace zef
