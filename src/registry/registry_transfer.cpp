// Protocol.lst into the registry and back out of it.

#include "files/cp1251.h"
#include "registry/production_registry.h"
#include "registry/registry_records.h"

#include <QDate>
#include <QUuid>

namespace zef {

namespace {

// The log's date is the numbering station's short date, cut to 8 characters; a "dd.MM.yy"
// date is read, any other is kept as text only.
QVariant ImportedTime(const QByteArray& date) {
    QDate day = QDate::fromString(QString::fromLatin1(date), QStringLiteral("dd.MM.yy"));
    if (!day.isValid())
        return {};
    if (day.year() < 1970)
        day = day.addYears(100);
    return day.startOfDay()
        .toOffsetFromUtc(day.startOfDay().offsetFromUtc())
        .toString(Qt::ISODateWithMs);
}

// The same record imported twice makes the same event, which the registry keeps once.
QString ImportUid(const QString& serial) {
    return QUuid::createUuidV5(QUuid(), QStringLiteral("Protocol.lst:") + serial)
        .toString(QUuid::WithoutBraces);
}

bool Later(const ProtocolRecord& a, const std::optional<ProtocolRecord>& b) {
    if (!b)
        return true;
    return SerialCounter(a.Serial()).value_or(-1) >= SerialCounter(b->Serial()).value_or(-1);
}

} // namespace

Expected<ImportSummary> ProductionRegistry::ImportProtocolLog(const QByteArray& bytes) {
    if (const Status ready = Ready(); !ready)
        return Failure{ready.error()};
    RegistryDatabase& db = *m_db;
    ImportSummary summary;
    summary.records = static_cast<int>(bytes.size() / ProtocolRecord::kSize);
    if (const Status begun = db.Begin(true); !begun)
        return Abandon(begun.error());
    QSqlQuery query = db.Query();
    if (const Status read = db.Exec(query, "SELECT last_record, records FROM counter WHERE id = 1" +
                                               db.ForUpdate());
        !read)
        return Abandon(read.error());
    if (!query.next())
        return Abandon(db.Fail(QStringLiteral("нет строки счётчика")).text);
    std::optional<ProtocolRecord> last;
    if (const QByteArray stored = query.value(0).toByteArray();
        stored.size() == ProtocolRecord::kSize)
        last = RecordFromBytes(stored);
    qint64 seq = query.value(1).toLongLong();

    QSqlQuery events = db.Query();
    for (int i = 0; i < summary.records; ++i) {
        const ProtocolRecord record =
            RecordFromBytes(bytes.mid(qsizetype(i) * ProtocolRecord::kSize, ProtocolRecord::kSize));
        const bool seed = i == 0 && record.Serial() == QByteArrayView(kSeedSerial);
        const QVariant at = ImportedTime(record.Date());
        const auto added = InsertLogRecord(
            db, query,
            {record, seed ? "seed" : "imported", seed ? QVariant() : at, m_workplace.station, seq},
            true);
        if (!added)
            return Abandon(added.error());
        if (Later(record, last))
            last = record;
        if (!*added)
            continue;
        ++seq;
        if (seed)
            continue;
        ++summary.added;
        RegistryEvent event =
            NewEvent(m_workplace, SerialKey(record.Serial()), EventKind::Numbered);
        event.uid = ImportUid(event.serial);
        if (at.isValid())
            event.at = QDateTime::fromString(at.toString(), Qt::ISODateWithMs);
        if (const Status noted = InsertEvent(db, events, event); !noted)
            return Abandon(noted.error());
    }
    if (last) {
        summary.last = SerialKey(last->Serial());
        if (const Status moved =
                db.Exec(query, "UPDATE counter SET last_record = ?, records = ? WHERE id = 1",
                        {last->ToByteArray(), seq});
            !moved)
            return Abandon(moved.error());
    }
    if (const Status committed = db.Commit(); !committed)
        return Abandon(committed.error());
    return summary;
}

Expected<QByteArray> ProductionRegistry::ExportProtocolLog() {
    if (const Status ready = Ready(); !ready)
        return Failure{ready.error()};
    QSqlQuery query = m_db->Query();
    query.setForwardOnly(true);
    if (const Status read = m_db->Exec(
            query, "SELECT log_record, serial, release_date FROM controllers ORDER BY log_seq");
        !read)
        return Abandon(read.error());
    QByteArray log;
    while (query.next()) {
        const QByteArray stored = query.value(0).toByteArray();
        if (stored.size() == ProtocolRecord::kSize) {
            log += stored;
            continue;
        }
        // A row from before the log's own bytes were kept: the record as a station writes it.
        log +=
            ProtocolRecord(EncodeCp1251(query.value(1).toString()).leftJustified(24, ' ', true),
                           kRecordSeparator, query.value(2).toString().toLatin1(), kRecordLineEnd)
                .ToByteArray();
    }
    return log;
}

} // namespace zef
