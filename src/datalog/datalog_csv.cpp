#include "datalog/datalog_csv.h"

#include "datalog/channels.h"

#include <QDir>
#include <QFile>

#include <charconv>
#include <cmath>

namespace zef {

namespace {

const QString kTimeColumn = QStringLiteral("Время (ISO 8601)");
const QString kSecondsColumn = QStringLiteral("С начала записи (с)");
const QString kMarkColumn = QStringLiteral("Метка");
constexpr int kSecondsDecimals = 3;
constexpr int kTimeColumns = 2;

QString Shown(const QString& path) {
    return QDir::toNativeSeparators(path);
}

Failure Refused(const QString& path, qsizetype line, const QString& what) {
    return Failure{QStringLiteral("Запись «%1» не открыта: строка %2: %3")
                       .arg(Shown(path))
                       .arg(line)
                       .arg(what)};
}

// A field as a spreadsheet may have saved it: in double quotes, with doubled quotes inside.
QByteArrayView Unquoted(QByteArrayView field, QByteArray& scratch) {
    if (field.size() < 2 || !field.startsWith('"') || !field.endsWith('"'))
        return field;
    scratch = field.sliced(1, field.size() - 2).toByteArray();
    scratch.replace("\"\"", "\"");
    return scratch;
}

// Commas inside double quotes belong to the field: a marker's text may hold one.
std::vector<QByteArrayView> SplitFields(QByteArrayView line) {
    std::vector<QByteArrayView> fields;
    qsizetype start = 0;
    bool quoted = false;
    for (qsizetype i = 0; i <= line.size(); ++i) {
        if (i < line.size() && line[i] == '"')
            quoted = !quoted;
        else if (i == line.size() || (line[i] == ',' && !quoted)) {
            fields.push_back(line.sliced(start, i - start));
            start = i + 1;
        }
    }
    return fields;
}

std::optional<double> Number(QByteArrayView text) {
    double value = 0;
    const char* end = text.data() + text.size();
    const auto [at, error] = std::from_chars(text.data(), end, value);
    if (error != std::errc() || at != end || !std::isfinite(value))
        return std::nullopt;
    return value;
}

QString HeaderProblem(const std::vector<QByteArrayView>& fields) {
    QStringList expected = DatalogColumns();
    QStringList found;
    QByteArray scratch;
    for (QByteArrayView field : fields)
        found << QString::fromUtf8(Unquoted(field, scratch)).trimmed();
    // Recorded before there were markers.
    if (found.size() == expected.size() - 1)
        expected.removeLast();
    for (qsizetype i = 0; i < expected.size(); ++i) {
        if (i < found.size() && found[i] == expected[i])
            continue;
        if (!found.contains(expected[i]))
            return QStringLiteral("нет столбца «%1».").arg(expected[i]);
        return QStringLiteral("столбец «%1» стоит не на своём месте (%2-м).")
            .arg(expected[i])
            .arg(i + 1);
    }
    if (found.size() > expected.size())
        return QStringLiteral("лишний столбец «%1».").arg(found[expected.size()]);
    return {};
}

} // namespace

QStringList DatalogColumns() {
    QStringList columns{kTimeColumn, kSecondsColumn};
    for (const DatalogChannel& channel : DatalogChannels())
        columns << channel.column;
    columns << kMarkColumn;
    return columns;
}

QByteArray DatalogHeaderLine() {
    return DatalogColumns().join(QChar(',')).toUtf8() + '\n';
}

QString DatalogTimeText(const QDateTime& time) {
    // With its offset, so a recording made in summer reads the same in winter.
    return time.toOffsetFromUtc(time.offsetFromUtc()).toString(Qt::ISODateWithMs);
}

QByteArray DatalogRowLine(const DatalogRow& row) {
    const auto channels = DatalogChannels();
    QByteArray line = DatalogTimeText(row.time).toLatin1();
    line += ',';
    // QByteArray::number writes "." whatever the locale.
    line += QByteArray::number(row.seconds, 'f', kSecondsDecimals);
    for (std::size_t i = 0; i < channels.size(); ++i) {
        line += ',';
        const double value = i < row.values.size() ? row.values[i] : 0;
        line += QByteArray::number(value, 'f', channels[i].decimals);
    }
    line += ',';
    if (!row.mark.isEmpty()) {
        // Quoted, so a comma in the text stays in it; a line break would end the row.
        QString text = row.mark;
        text.replace(QChar('"'), QStringLiteral("\"\"")).replace(QChar('\n'), QChar(' '));
        text.remove(QChar('\r'));
        line += '"' + text.toUtf8() + '"';
    }
    line += '\n';
    return line;
}

Expected<bool> DatalogCsvReader::Line(QByteArrayView line, bool terminated, DatalogRow& row) {
    const auto channels = DatalogChannels();
    ++m_lineNumber;
    if (m_lineNumber == 1 && line.startsWith("\xEF\xBB\xBF"))
        line = line.sliced(3);
    if (line.endsWith('\r'))
        line.chop(1);
    const auto fields = SplitFields(line);
    if (m_lineNumber == 1) {
        if (const QString problem = HeaderProblem(fields); !problem.isEmpty())
            return Refused(m_path, m_lineNumber, problem);
        m_columns = fields.size();
        return false;
    }
    if (line.isEmpty() && !terminated)
        return false;
    if (fields.size() != m_columns) {
        const QString what = QStringLiteral("%1 полей вместо %2").arg(fields.size()).arg(m_columns);
        return Refused(m_path, m_lineNumber,
                       what + (fields.size() < m_columns && !terminated
                                   ? QStringLiteral(": строка оборвана.")
                                   : QStringLiteral(".")));
    }
    const QByteArrayView timeText = Unquoted(fields[0], m_scratch);
    row.time = timeOf(timeText);
    if (!row.time.isValid())
        return Refused(m_path, m_lineNumber,
                       QStringLiteral("«%1» не время ISO 8601.").arg(QString::fromUtf8(timeText)));
    const auto seconds = Number(fields[1]);
    if (!seconds)
        return Refused(m_path, m_lineNumber,
                       QStringLiteral("в столбце «%1» «%2» не число.")
                           .arg(kSecondsColumn, QString::fromUtf8(fields[1])));
    if (m_rowSeen && *seconds < m_lastSeconds)
        return Refused(
            m_path, m_lineNumber,
            QStringLiteral("время назад: %1 с после %2 с в строке выше.")
                .arg(fields[1].toByteArray(), QByteArray::number(m_lastSeconds, 'f', 3)));
    row.seconds = *seconds;
    row.values.clear();
    row.values.reserve(channels.size());
    for (std::size_t i = 0; i < channels.size(); ++i) {
        const QByteArrayView text = fields[kTimeColumns + i];
        const auto value = Number(text);
        if (!value)
            return Refused(m_path, m_lineNumber,
                           QStringLiteral("в столбце «%1» «%2» не число.")
                               .arg(channels[i].column, QString::fromUtf8(text)));
        if (channels[i].flag && *value != 0 && *value != 1)
            return Refused(m_path, m_lineNumber,
                           QStringLiteral("в столбце «%1» «%2», а бывает только 0 или 1.")
                               .arg(channels[i].column, QString::fromUtf8(text)));
        row.values.push_back(*value);
    }
    row.mark.clear();
    if (fields.size() > kTimeColumns + channels.size())
        row.mark = QString::fromUtf8(Unquoted(fields.back(), m_scratch)).trimmed();
    m_rowSeen = true;
    m_lastSeconds = *seconds;
    return true;
}

QDateTime DatalogCsvReader::timeOf(QByteArrayView text) {
    constexpr qsizetype kMinute = 17;   // "2026-12-08T11:22:"
    constexpr qsizetype kFraction = 23; // "2026-12-08T11:22:56.123"
    const auto digit = [&text](qsizetype i) {
        return text[i] >= '0' && text[i] <= '9' ? int(text[i] - '0') : -1;
    };
    // Seconds, a point and three digits of milliseconds, then an offset or nothing.
    const bool fixed = text.size() >= kFraction && text[kMinute - 1] == ':' && text[19] == '.' &&
                       digit(17) >= 0 && digit(18) >= 0 && digit(20) >= 0 && digit(21) >= 0 &&
                       digit(22) >= 0 &&
                       (text.size() == kFraction || text[kFraction] == '+' ||
                        text[kFraction] == '-' || text[kFraction] == 'Z');
    const int seconds = fixed ? digit(17) * 10 + digit(18) : 60;
    if (m_minute.isValid() && seconds < 60 && text.first(kMinute) == m_minuteText &&
        text.sliced(kFraction) == m_zoneText)
        return m_minute.addMSecs(seconds * 1000 + digit(20) * 100 + digit(21) * 10 + digit(22));
    const QDateTime time = QDateTime::fromString(QString::fromLatin1(text), Qt::ISODateWithMs);
    m_minute = {};
    if (time.isValid() && seconds < 60) {
        m_minuteText = text.first(kMinute).toByteArray();
        m_zoneText = text.sliced(kFraction).toByteArray();
        m_minute = time.addMSecs(-(seconds * 1000 + time.time().msec()));
    }
    return time;
}

Status DatalogCsvReader::Finish() const {
    if (m_lineNumber == 0)
        return Refused(m_path, 1, QStringLiteral("файл пуст, нет заголовка."));
    return Done{};
}

Expected<std::vector<DatalogRow>> ParseDatalogCsv(QByteArrayView bytes, const QString& path) {
    DatalogCsvReader reader(path);
    std::vector<DatalogRow> rows;
    DatalogRow row;
    qsizetype start = 0;
    while (start < bytes.size()) {
        qsizetype end = bytes.indexOf('\n', start);
        const bool terminated = end >= 0;
        if (!terminated)
            end = bytes.size();
        const auto filled = reader.Line(bytes.sliced(start, end - start), terminated, row);
        start = end + 1;
        if (!filled)
            return Failure{filled.error()};
        if (*filled)
            rows.push_back(row);
    }
    if (Status finished = reader.Finish(); !finished)
        return Failure{finished.error()};
    return rows;
}

Expected<std::vector<DatalogRow>> ReadDatalogCsv(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return Failure{
            QStringLiteral("Запись «%1» не открыта:\n%2").arg(Shown(path), file.errorString())};
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return Failure{
            QStringLiteral("Запись «%1» не прочитана:\n%2").arg(Shown(path), file.errorString())};
    return ParseDatalogCsv(bytes, path);
}

DatalogWriter::DatalogWriter(const QString& path, AppendedFile::Creation creation)
    : m_path(path), m_file(path, creation) {}

DatalogWriter::~DatalogWriter() {
    StopSyncing();
}

Failure DatalogWriter::WriteFailure(int error) const {
    return Failure{QStringLiteral("Запись журнала остановлена: не удалось записать файл «%1»:\n%2\n"
                                  "Строк в файле: %3, все целые.")
                       .arg(Shown(m_path), DiskWriteReason(error))
                       .arg(m_rows)};
}

Status DatalogWriter::Open() {
    if (const int error = m_file.OpenError(); error != 0)
        return Failure{QStringLiteral("Не удалось создать файл журнала «%1»:\n%2")
                           .arg(Shown(m_path), DiskWriteReason(error))};
    if (const int error = m_file.Append(DatalogHeaderLine()); error != 0)
        return WriteFailure(error);
    Written();
    if (!m_syncer.joinable())
        m_syncer = std::thread([this] { SyncLoop(); });
    return Done{};
}

void DatalogWriter::Written() {
    std::lock_guard lock(m_mutex);
    if (!m_unsynced) {
        m_unsynced = true;
        m_unsyncedSince = Clock::now();
    }
}

Status DatalogWriter::Append(const DatalogRow& row) {
    if (Status checked = Check(); !checked)
        return checked;
    if (const int error = m_file.Append(DatalogRowLine(row)); error != 0)
        return WriteFailure(error);
    ++m_rows;
    Written();
    return Done{};
}

Status DatalogWriter::Check() const {
    std::lock_guard lock(m_mutex);
    if (m_syncError != 0)
        return WriteFailure(m_syncError);
    return Done{};
}

void DatalogWriter::SyncLoop() {
    std::unique_lock lock(m_mutex);
    while (!m_stop) {
        m_wake.wait_for(lock, kSyncLook);
        if (m_stop || !m_unsynced || m_syncError != 0 ||
            Clock::now() - m_unsyncedSince < kSyncAfter)
            continue;
        m_unsynced = false;
        // Rows go on being written while the disk takes its time.
        lock.unlock();
        const int error = m_file.Sync();
        lock.lock();
        if (error != 0)
            m_syncError = error;
    }
}

void DatalogWriter::StopSyncing() {
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_wake.notify_all();
    if (m_syncer.joinable())
        m_syncer.join();
}

Status DatalogWriter::Close() {
    StopSyncing();
    if (Status checked = Check(); !checked) {
        (void)m_file.Close();
        return checked;
    }
    if (const int error = m_file.Close(); error != 0)
        return WriteFailure(error);
    return Done{};
}

} // namespace zef
