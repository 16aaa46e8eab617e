#include "registry/production_registry.h"

#include "files/cp1251.h"
#include "registry/migrations.h"
#include "registry/registry_records.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QSqlRecord>

#include <algorithm>

namespace zef {

ProductionRegistry::ProductionRegistry(const RegistryOptions& options)
    : m_name(options.url), m_badUrl{QString()}, m_workplace(options.workplace),
      m_schemaVersion(options.schemaVersion < 0 ? CurrentSchemaVersion() : options.schemaVersion),
      m_queue(options.queueFile) {
    auto url = ParseRegistryUrl(options.url);
    if (url)
        m_db = std::make_unique<RegistryDatabase>(*url);
    else
        m_badUrl = Failure{url.error()};
}

ProductionRegistry::~ProductionRegistry() = default;

Status ProductionRegistry::Ready() {
    if (!m_db)
        return m_badUrl;
    return m_db->Open(m_schemaVersion);
}

Failure ProductionRegistry::Abandon(const QString& error) {
    if (m_db && m_db->IsOpen()) {
        m_db->Rollback();
        m_db->Drop();
    }
    return Failure{error};
}

Status ProductionRegistry::Connect() {
    if (const Status ready = Ready(); !ready)
        return ready;
    return Flush();
}

Expected<int> ProductionRegistry::SchemaVersion() {
    if (const Status ready = Ready(); !ready)
        return Failure{ready.error()};
    return m_db->SchemaVersion();
}

Expected<ProtocolRecord> ProductionRegistry::TakeNumber(QByteArrayView controllerDate,
                                                        QByteArrayView today) {
    if (const Status ready = Ready(); !ready)
        return Failure{ready.error()};
    RegistryDatabase& db = *m_db;
    QSqlQuery query = db.Query();
    if (const Status begun = db.Begin(true); !begun)
        return Abandon(begun.error());
    if (const Status read = db.Exec(query, "SELECT last_record, records FROM counter WHERE id = 1" +
                                               db.ForUpdate());
        !read)
        return Abandon(read.error());
    if (!query.next())
        return Abandon(db.Fail(QStringLiteral("нет строки счётчика")).text);
    const QVariant lastBytes = query.value(0);
    qint64 seq = query.value(1).toLongLong();
    const QString now = StationNow().toString(Qt::ISODateWithMs);

    std::vector<SqlStatement> rest;
    ProtocolRecord last;
    if (lastBytes.isNull() || lastBytes.toByteArray().size() != ProtocolRecord::kSize) {
        // The first number of a registry begins its log as a new Protocol.lst would.
        last = SeedRecord(controllerDate);
        rest.push_back(LogRecordInsert({last, "seed", {}, m_workplace.station, seq++}));
    } else {
        last = RecordFromBytes(lastBytes.toByteArray());
    }
    auto next = NextRecord(last, today);
    if (!next)
        return Abandon(db.Fail(next.error()).text);
    rest.push_back(LogRecordInsert({*next, "issued", now, m_workplace.station, seq}));
    rest.push_back(
        EventInsert(NewEvent(m_workplace, SerialKey(next->Serial()), EventKind::Numbered)));
    rest.push_back({"UPDATE counter SET last_record = ?, records = ? WHERE id = 1",
                    {next->ToByteArray(), seq + 1}});
    if (const Status committed = db.CommitWith(query, rest); !committed)
        return Abandon(committed.error());
    return next;
}

Status ProductionRegistry::MarkSpent(const QByteArray& serial, const QString& reason) {
    if (const Status ready = Ready(); !ready)
        return ready;
    QSqlQuery query = m_db->Query();
    if (const Status marked =
            m_db->Exec(query, "UPDATE controllers SET state = 'spent', note = ? WHERE serial = ?",
                       {reason, SerialKey(serial)});
        !marked)
        return Abandon(marked.error());
    return Done{};
}

Status ProductionRegistry::WriteEvent(const RegistryEvent& event) {
    if (const Status ready = Ready(); !ready)
        return ready;
    QSqlQuery query = m_db->Query();
    if (const Status written = InsertEvent(*m_db, query, event); !written)
        return Abandon(written.error());
    return Done{};
}

Status ProductionRegistry::Flush() {
    Status last = Ready();
    if (!last)
        return last;
    m_queue.Drain([&](const RegistryEvent& event) {
        last = WriteEvent(event);
        return last.has_value();
    });
    return last;
}

void ProductionRegistry::Record(const RegistryEvent& event) {
    if (Flush() && WriteEvent(event))
        return;
    m_queue.Add(event);
}

Expected<std::vector<RegistryEvent>> ProductionRegistry::History(const QString& serial) {
    if (const Status ready = Ready(); !ready)
        return Failure{ready.error()};
    QSqlQuery query = m_db->Query();
    query.setForwardOnly(true);
    const QString columns =
        QStringLiteral("SELECT uid, serial, at, station, user_name, kind, "
                       "calibration, check_result, program_version FROM events ");
    bool isCounter = false;
    const int counter = serial.trimmed().toInt(&isCounter);
    const Status read =
        isCounter ? m_db->Exec(query,
                               columns + "WHERE serial IN (SELECT serial FROM controllers WHERE "
                                         "counter = ?) ORDER BY id",
                               {counter})
                  : m_db->Exec(query, columns + "WHERE serial = ? ORDER BY id", {serial.trimmed()});
    if (!read)
        return Abandon(read.error());
    std::vector<RegistryEvent> events;
    while (query.next()) {
        RegistryEvent event;
        event.uid = query.value(0).toString();
        event.serial = query.value(1).toString();
        event.at = StoredTime(query.value(2));
        event.station = query.value(3).toString();
        event.user = query.value(4).toString();
        event.kind = KindNamed(query.value(5).toString()).value_or(EventKind::Connected);
        event.calibration = CalibrationWords(query.value(6).toString());
        event.checkJson = query.value(7).toString();
        event.programVersion = query.value(8).toString();
        events.push_back(std::move(event));
    }
    // Events sent late from a queue come after later ones in the table: the station's time
    // tells their order.
    std::stable_sort(events.begin(), events.end(),
                     [](const RegistryEvent& a, const RegistryEvent& b) { return a.at < b.at; });
    return events;
}

Expected<RegistryStats> ProductionRegistry::Stats() {
    if (const Status ready = Ready(); !ready)
        return Failure{ready.error()};
    RegistryDatabase& db = *m_db;
    RegistryStats stats;
    QSqlQuery query = db.Query();
    const QString day = db.DayOf(QStringLiteral("numbered_at"));
    if (const Status read =
            db.Exec(query, QStringLiteral("SELECT %1 AS day, station, COUNT(*) FROM controllers "
                                          "WHERE state IN ('issued', 'imported') AND numbered_at "
                                          "IS NOT NULL GROUP BY %1, station ORDER BY 1, 2")
                               .arg(day));
        !read)
        return Abandon(read.error());
    while (query.next())
        stats.perDay.push_back(
            {query.value(0).toString(), query.value(1).toString(), query.value(2).toInt()});
    if (const Status read =
            db.Exec(query, "SELECT state, COUNT(*) FROM controllers GROUP BY state");
        !read)
        return Abandon(read.error());
    while (query.next()) {
        const QString state = query.value(0).toString();
        if (state == QStringLiteral("spent"))
            stats.spent += query.value(1).toInt();
        else if (state != QStringLiteral("seed"))
            stats.controllers += query.value(1).toInt();
    }
    if (const Status read =
            db.Exec(query, "SELECT check_result FROM events WHERE kind = 'checked'");
        !read)
        return Abandon(read.error());
    while (query.next()) {
        const bool pass =
            QJsonDocument::fromJson(query.value(0).toString().toUtf8()).object()["pass"].toBool();
        ++(pass ? stats.checksPassed : stats.checksFailed);
    }
    return stats;
}

} // namespace zef
