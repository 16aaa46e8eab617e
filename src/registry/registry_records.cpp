#include "registry/registry_records.h"

#include "files/cp1251.h"

#include <algorithm>

namespace zef {

QString SerialKey(const QByteArray& serial) {
    QString text = DecodeCp1251(serial);
    while (!text.isEmpty() && text.back().isSpace())
        text.chop(1);
    return text;
}

std::optional<int> SerialCounter(const QByteArray& serial) {
    const QByteArray digits = serial.mid(18, 5);
    if (digits.size() != 5 ||
        !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return std::nullopt;
    return digits.toInt();
}

ProtocolRecord RecordFromBytes(const QByteArray& bytes) {
    ProtocolRecord::Bytes raw{};
    std::copy_n(bytes.constData(), std::min<qsizetype>(bytes.size(), ProtocolRecord::kSize),
                reinterpret_cast<char*>(raw.data()));
    return ProtocolRecord(raw);
}

SqlStatement LogRecordInsert(const LogRow& row, bool ifNew) {
    const QByteArray serial = row.record.Serial();
    const auto counter = SerialCounter(serial);
    return {QStringLiteral("INSERT INTO controllers (serial, counter, model, release_date, "
                           "numbered_at, station, state, log_seq, log_record) "
                           "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)") +
                (ifNew ? QStringLiteral(" ON CONFLICT (serial) DO NOTHING") : QString()),
            {SerialKey(serial), counter ? QVariant(*counter) : QVariant(),
             DecodeCp1251(serial.left(8)).trimmed(), DecodeCp1251(row.record.Date()), row.numbered,
             row.station, row.state, row.seq, row.record.ToByteArray()}};
}

SqlStatement EventInsert(const RegistryEvent& event) {
    return {QStringLiteral(
                "INSERT INTO events (uid, serial, at, station, user_name, kind, calibration, "
                "check_result, program_version) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?) "
                "ON CONFLICT (uid) DO NOTHING"),
            {event.uid, event.serial, event.at.toString(Qt::ISODateWithMs), event.station,
             event.user, QString::fromUtf8(KindRow(event.kind).name),
             event.calibration.empty() ? QVariant() : CalibrationText(event.calibration),
             event.checkJson.isEmpty() ? QVariant() : event.checkJson, event.programVersion}};
}

Expected<bool> InsertLogRecord(RegistryDatabase& db, QSqlQuery& query, const LogRow& row,
                               bool ifNew) {
    if (const Status done = db.Exec(query, LogRecordInsert(row, ifNew)); !done)
        return Failure{done.error()};
    return !ifNew || query.numRowsAffected() == 1;
}

Status InsertEvent(RegistryDatabase& db, QSqlQuery& query, const RegistryEvent& event) {
    return db.Exec(query, EventInsert(event));
}

QDateTime StoredTime(const QVariant& value) {
    if (value.metaType().id() == QMetaType::QDateTime) {
        const QDateTime local = value.toDateTime().toLocalTime();
        return local.toOffsetFromUtc(local.offsetFromUtc());
    }
    return QDateTime::fromString(value.toString(), Qt::ISODateWithMs);
}

} // namespace zef
