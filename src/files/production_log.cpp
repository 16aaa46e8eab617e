#include "files/production_log.h"

#include "files/cp1251.h"
#include "files/disk_write.h"
#include "files/file_lock.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <unistd.h>

#include <cerrno>

#include <algorithm>
#include <functional>

namespace zef {

namespace {

// Serial positions 19 to 23, counted from 1, are at the same offsets of the serial text.
constexpr qsizetype kCounterAt = 18;
constexpr qsizetype kCounterDigits = 5;
constexpr int kLastCounter = 99999;

QString Shown(const QString& path) {
    return QDir::toNativeSeparators(path);
}

// The seed goes into a file of its own that then takes the log's name only if the name is still
// free: a log is never seen empty, and of two workstations seeding at once one seed wins whole.
// The seed file is made like any new file, with the umask's permissions, so that every account
// of the workstation can number controllers.
Status CreateSeededLog(const QString& logPath, QByteArrayView controllerDate) {
    const auto failure = [&](int error) {
        return Failure{QStringLiteral("Не удалось создать журнал «%1»:\n%2")
                           .arg(Shown(logPath), DiskWriteReason(error))};
    };
    SiblingTemporaryFile seed(logPath);
    if (seed.OpenError() != 0)
        return failure(seed.OpenError());
    if (const int error = seed.WriteAndClose(SeedRecord(controllerDate).ToByteArray()); error != 0)
        return failure(error);
    // A hard link takes the name only if it is free, atomically on every file system that has
    // them; a rename that checks first and then replaces would let a late seed wipe the records
    // another workstation has just appended. The temporary name goes when `seed` does.
    const QByteArray to = QFile::encodeName(logPath);
    if (::link(seed.NativePath().constData(), to.constData()) == 0)
        return Done{};
    const int linkError = errno;
    if (linkError == EEXIST)
        return Done{}; // another workstation seeded it first; number after its seed
    // No hard links here: Qt's rename refuses to replace where the system lets it.
    if (QFile::rename(QFile::decodeName(seed.NativePath()), logPath)) {
        seed.Release();
        return Done{};
    }
    if (QFileInfo::exists(logPath))
        return Done{};
    return failure(linkError);
}

} // namespace

ProtocolRecord::ProtocolRecord(QByteArrayView serial, QByteArrayView separator, QByteArrayView date,
                               std::uint8_t lineEnd) {
    SetSerial(serial);
    SetSeparator(separator);
    SetDate(date);
    SetLineEnd(lineEnd);
}

QByteArray ProtocolRecord::Field(qsizetype at, qsizetype capacity) const {
    const qsizetype length = std::min<qsizetype>(m_bytes[at], capacity);
    return QByteArray(reinterpret_cast<const char*>(m_bytes.data()) + at + 1, length);
}

void ProtocolRecord::SetField(qsizetype at, qsizetype capacity, QByteArrayView text) {
    const qsizetype length = std::min(text.size(), capacity);
    m_bytes[at] = static_cast<std::uint8_t>(length);
    std::copy_n(text.data(), length, reinterpret_cast<char*>(m_bytes.data()) + at + 1);
}

QByteArray ProtocolRecord::ToByteArray() const {
    return QByteArray(reinterpret_cast<const char*>(m_bytes.data()), kSize);
}

ProtocolRecord SeedRecord(QByteArrayView controllerDate) {
    return ProtocolRecord(kSeedSerial, kRecordSeparator, controllerDate, kRecordLineEnd);
}

Expected<ProtocolRecord> NextRecord(const ProtocolRecord& last, QByteArrayView today) {
    QByteArray serial = last.Serial();
    if (serial.size() < kCounterAt + kCounterDigits)
        return Failure{QStringLiteral("Последняя запись журнала повреждена: в серийном номере "
                                      "«%1» нет счётчика.")
                           .arg(DecodeCp1251(serial))};
    const QByteArray digits = serial.mid(kCounterAt, kCounterDigits);
    int counter = 0;
    for (const char c : digits) {
        if (c < '0' || c > '9')
            return Failure{
                QStringLiteral("'%1' is not a valid integer value").arg(DecodeCp1251(digits))};
        counter = counter * 10 + (c - '0');
    }
    if (counter >= kLastCounter)
        return Failure{QStringLiteral("Серийные номера закончились: в журнале уже выдан номер "
                                      "%1, следующего нет.\nКонтроллер не пронумерован.")
                           .arg(DecodeCp1251(serial).trimmed())};
    serial.replace(kCounterAt, kCounterDigits,
                   QByteArray::number(counter + 1).rightJustified(kCounterDigits, '0'));
    ProtocolRecord next = last;
    next.SetSerial(serial);
    next.SetDate(today);
    return next;
}

namespace {

// Appends the record that `make` builds from the log's last one.
Expected<ProtocolRecord>
AppendAfterLast(const QString& logPath, QByteArrayView controllerDate,
                std::chrono::milliseconds patience,
                const std::function<Expected<ProtocolRecord>(const ProtocolRecord&)>& make) {
    if (!QFileInfo::exists(logPath)) {
        if (const Status created = CreateSeededLog(logPath, controllerDate); !created)
            return Failure{created.error()};
    }

    QFile log(logPath);
    if (!log.open(QIODevice::ReadWrite | QIODevice::ExistingOnly | QIODevice::Unbuffered))
        return Failure{QStringLiteral("Не удалось открыть журнал «%1» для записи:\n%2")
                           .arg(Shown(logPath), log.errorString())};
    const ExclusiveFileLock lock(log.handle(), patience);
    if (!lock.IsHeld())
        return Failure{
            QStringLiteral("Журнал «%1» недоступен: %2.").arg(Shown(logPath), lock.Error())};

    // A partial record at the end is left over from an interrupted write; the new record goes
    // over it, right after the last whole one.
    const qint64 size = log.size();
    const qint64 whole = size / ProtocolRecord::kSize;
    if (whole == 0)
        return Failure{QStringLiteral("В журнале «%1» нет ни одной целой записи (размер %2 байт).")
                           .arg(Shown(logPath))
                           .arg(size)};
    ProtocolRecord::Bytes raw{};
    if (!log.seek((whole - 1) * ProtocolRecord::kSize) ||
        log.read(reinterpret_cast<char*>(raw.data()), ProtocolRecord::kSize) !=
            ProtocolRecord::kSize)
        return Failure{QStringLiteral("Не удалось прочитать журнал «%1»:\n%2")
                           .arg(Shown(logPath), log.errorString())};

    auto next = make(ProtocolRecord(raw));
    if (!next)
        return next;

    const QByteArray bytes = next->ToByteArray();
    const qint64 end = whole * ProtocolRecord::kSize;
    // The partial record the new one goes over, to put back if the new one does not fit.
    const QByteArray tail = log.read(size - end);
    int error = WriteFully(log.handle(), bytes, end);
    if (error == 0)
        error = SyncToDisk(log.handle());
    if (error != 0) {
        // What a full disk let through must not pass for a record. Putting the old bytes back
        // needs no new space: they fit where they were.
        (void)::ftruncate(log.handle(), static_cast<off_t>(size));
        (void)WriteFully(log.handle(), tail, end);
        (void)SyncToDisk(log.handle());
        return Failure{QStringLiteral("Не удалось записать журнал «%1»:\n%2\n"
                                      "Журнал не изменён, контроллер не пронумерован.")
                           .arg(Shown(logPath), DiskWriteReason(error))};
    }
    return next;
}

} // namespace

Expected<ProtocolRecord> AppendNextRecord(const QString& logPath, QByteArrayView controllerDate,
                                          QByteArrayView today,
                                          std::chrono::milliseconds patience) {
    return AppendAfterLast(logPath, controllerDate, patience,
                           [&](const ProtocolRecord& last) { return NextRecord(last, today); });
}

Expected<ProtocolRecord> PeekNextRecord(const QString& logPath, QByteArrayView controllerDate,
                                        QByteArrayView today) {
    QFile log(logPath);
    if (!log.exists())
        return NextRecord(SeedRecord(controllerDate), today);
    if (!log.open(QIODevice::ReadOnly))
        return Failure{QStringLiteral("Не удалось открыть журнал «%1»:\n%2")
                           .arg(Shown(logPath), log.errorString())};
    const qint64 whole = log.size() / ProtocolRecord::kSize;
    ProtocolRecord::Bytes raw{};
    if (whole == 0 || !log.seek((whole - 1) * ProtocolRecord::kSize) ||
        log.read(reinterpret_cast<char*>(raw.data()), ProtocolRecord::kSize) !=
            ProtocolRecord::kSize)
        return Failure{
            QStringLiteral("В журнале «%1» нет ни одной целой записи.").arg(Shown(logPath))};
    return NextRecord(ProtocolRecord(raw), today);
}

Status AppendRecord(const QString& logPath, const ProtocolRecord& record,
                    QByteArrayView controllerDate, std::chrono::milliseconds patience) {
    const auto appended = AppendAfterLast(logPath, controllerDate, patience,
                                          [&](const ProtocolRecord&) { return record; });
    if (!appended)
        return Failure{appended.error()};
    return Done{};
}

} // namespace zef
