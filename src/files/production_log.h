#pragma once

#include "files/outcome.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <array>
#include <chrono>
#include <cstdint>

namespace zef {

inline constexpr char kProductionLogName[] = "Protocol.lst";
inline constexpr char kSeedSerial[] = "ZEF-K7LX SN 05.02 00113 ";
inline constexpr char kRecordSeparator[] = " ** ";
inline constexpr std::uint8_t kRecordLineEnd = 13;

// One 40-byte record of the production log, kept as its bytes: a new record is the last one
// carried over, so whatever the fields' spare bytes and the separator hold goes with it.
// Each text field is a length byte followed by a fixed area of its capacity.
class ProtocolRecord {
public:
    static constexpr qsizetype kSize = 40;
    static constexpr qsizetype kSerialCapacity = 24;
    static constexpr qsizetype kSeparatorCapacity = 4;
    static constexpr qsizetype kDateCapacity = 8;
    using Bytes = std::array<std::uint8_t, kSize>;

    ProtocolRecord() = default;
    explicit ProtocolRecord(const Bytes& bytes) : m_bytes(bytes) {}
    ProtocolRecord(QByteArrayView serial, QByteArrayView separator, QByteArrayView date,
                   std::uint8_t lineEnd);

    [[nodiscard]] QByteArray Serial() const { return Field(kSerialAt, kSerialCapacity); }
    [[nodiscard]] QByteArray Separator() const { return Field(kSeparatorAt, kSeparatorCapacity); }
    [[nodiscard]] QByteArray Date() const { return Field(kDateAt, kDateCapacity); }
    [[nodiscard]] std::uint8_t LineEnd() const { return m_bytes[kLineEndAt]; }

    // Texts longer than the field's capacity are cut to it.
    void SetSerial(QByteArrayView text) { SetField(kSerialAt, kSerialCapacity, text); }
    void SetSeparator(QByteArrayView text) { SetField(kSeparatorAt, kSeparatorCapacity, text); }
    void SetDate(QByteArrayView text) { SetField(kDateAt, kDateCapacity, text); }
    void SetLineEnd(std::uint8_t byte) { m_bytes[kLineEndAt] = byte; }

    [[nodiscard]] const Bytes& RawBytes() const { return m_bytes; }
    [[nodiscard]] QByteArray ToByteArray() const;
    bool operator==(const ProtocolRecord&) const = default;

private:
    static constexpr qsizetype kSerialAt = 0;
    static constexpr qsizetype kSeparatorAt = 25;
    static constexpr qsizetype kDateAt = 30;
    static constexpr qsizetype kLineEndAt = 39;

    [[nodiscard]] QByteArray Field(qsizetype at, qsizetype capacity) const;
    void SetField(qsizetype at, qsizetype capacity, QByteArrayView text);

    Bytes m_bytes{};
};

// The first record of a new log, so that the first controller numbered gets 00114.
[[nodiscard]] ProtocolRecord SeedRecord(QByteArrayView controllerDate);

// The record after `last`: its counter (serial positions 19 to 23) plus one, today's date, all
// else carried over. The counter must be five decimal digits and there is none after 99999;
// the blank 00000 never comes round again.
[[nodiscard]] Expected<ProtocolRecord> NextRecord(const ProtocolRecord& last, QByteArrayView today);

// How long numbering waits for another workstation to finish with the log.
inline constexpr std::chrono::milliseconds kLogLockPatience{10'000};

// Appends the next record to the log at logPath and returns it. The log is created with the
// seed record when there is none. From reading the last record until the new one is on disk
// the log is locked against every other process, on this machine or another one sharing the
// folder. On failure the log is as it was.
[[nodiscard]] Expected<ProtocolRecord>
AppendNextRecord(const QString& logPath, QByteArrayView controllerDate, QByteArrayView today,
                 std::chrono::milliseconds patience = kLogLockPatience);

// The record AppendNextRecord would append now, from a look at the log without its lock: for a
// dry run, which writes nothing, not even a new log's seed.
[[nodiscard]] Expected<ProtocolRecord>
PeekNextRecord(const QString& logPath, QByteArrayView controllerDate, QByteArrayView today);

// Appends a record numbered elsewhere (by the production registry), under the same lock and
// with the same seed for a new log, so that stations reading the log see every number.
[[nodiscard]] Status AppendRecord(const QString& logPath, const ProtocolRecord& record,
                                  QByteArrayView controllerDate,
                                  std::chrono::milliseconds patience = kLogLockPatience);

} // namespace zef
