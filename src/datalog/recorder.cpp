#include "datalog/recorder.h"

#include "archive/snapshot_archive.h"
#include "datalog/channels.h"

namespace zef {

QString DefaultDatalogName(const std::optional<QString>& serial, const QDateTime& now) {
    return SerialFolderName(serial.value_or(QString())) + QChar('_') +
           now.toString(QStringLiteral("yyyy-MM-dd_HH-mm-ss")) + QStringLiteral(".csv");
}

std::function<ReadRow(RegisterExchange&)>
StampedRowReader(std::function<QDateTime()> wall, std::chrono::steady_clock::time_point start,
                 RowSource read) {
    return [wall = std::move(wall), start, read = std::move(read)](RegisterExchange& link) {
        const auto now = std::chrono::steady_clock::now();
        ReadRow row{wall(), std::chrono::duration<double>(now - start).count(), {}, start};
        row.values = read ? read(link) : ReadDatalogRow(link);
        return row;
    };
}

DatalogRecorder::DatalogRecorder(const QString& path, WallClock wall,
                                 AppendedFile::Creation creation)
    : m_wall(std::move(wall)), m_writer(path, creation) {}

Status DatalogRecorder::Open() {
    m_started = m_wall();
    m_start = Clock::now();
    return m_writer.Open();
}

Expected<std::optional<DatalogRow>> DatalogRecorder::Record(RegisterExchange& link) {
    return Write(RowReader()(link));
}

std::function<ReadRow(RegisterExchange&)> DatalogRecorder::RowReader(RowSource read) const {
    return StampedRowReader(m_wall, m_start, std::move(read));
}

Expected<std::optional<DatalogRow>> DatalogRecorder::Write(ReadRow read) {
    if (read.begun != m_start)
        return std::optional<DatalogRow>{};
    if (!read.values) {
        // The disk may have failed the rows already written while the link is silent.
        if (Status checked = m_writer.Check(); !checked)
            return Failure{checked.error()};
        return std::optional<DatalogRow>{};
    }
    DatalogRow row{read.time, read.seconds, std::move(*read.values), m_pendingMark};
    if (Status written = m_writer.Append(row); !written)
        return Failure{written.error()};
    m_pendingMark.clear();
    return std::optional<DatalogRow>(std::move(row));
}

void DatalogRecorder::Mark(const QString& text) {
    const QString trimmed = text.trimmed();
    if (m_pendingMark.isEmpty())
        ++m_marks;
    m_pendingMark = trimmed.isEmpty() ? QStringLiteral("Метка %1").arg(m_marks) : trimmed;
}

QString DatalogRecorder::NextMarkText() const {
    return QStringLiteral("Метка %1").arg(m_pendingMark.isEmpty() ? m_marks + 1 : m_marks);
}

Status DatalogRecorder::Close() {
    return m_writer.Close();
}

} // namespace zef
