#pragma once

// The registry's rows as the numbering, the events and the log's import and export write them.

#include "files/outcome.h"
#include "files/production_log.h"
#include "registry/registry_database.h"
#include "registry/registry_event.h"

#include <QByteArray>
#include <QDateTime>
#include <QVariant>

#include <optional>

namespace zef {

// A serial as the registry keys it: the text without the trailing space of the identity block.
[[nodiscard]] QString SerialKey(const QByteArray& serial);
// The five counter digits, or nothing when they are not digits.
[[nodiscard]] std::optional<int> SerialCounter(const QByteArray& serial);
[[nodiscard]] ProtocolRecord RecordFromBytes(const QByteArray& bytes);

// One record of the log as a row of controllers.
struct LogRow {
    ProtocolRecord record;
    QString state;     // seed, issued, imported
    QVariant numbered; // the station's time as ISO text; null when not known
    QString station;
    qint64 seq = 0; // its place in the log
};

[[nodiscard]] SqlStatement LogRecordInsert(const LogRow& row, bool ifNew = false);
[[nodiscard]] SqlStatement EventInsert(const RegistryEvent& event);

// Inserts the row; with `ifNew`, a serial the registry knows is left alone. Returns whether the
// row went in.
[[nodiscard]] Expected<bool> InsertLogRecord(RegistryDatabase& db, QSqlQuery& query,
                                             const LogRow& row, bool ifNew = false);
// An event sent twice (from a queue, after a lost reply) is stored once.
[[nodiscard]] Status InsertEvent(RegistryDatabase& db, QSqlQuery& query,
                                 const RegistryEvent& event);

// A time column: PostgreSQL gives a QDateTime, SQLite the ISO text written.
[[nodiscard]] QDateTime StoredTime(const QVariant& value);

} // namespace zef
