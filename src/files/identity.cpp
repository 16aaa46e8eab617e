#include "files/identity.h"

#include "files/cp1251.h"
#include "files/production_log.h"

#include <QDir>

#include <algorithm>

namespace zef {

QByteArray ReleaseDateText(QDate date) {
    return QString::asprintf("%02d.%02d.%02d", date.day(), date.month(), date.year() % 100)
        .toLatin1();
}

DeviceIdentity::DeviceIdentity(RegisterExchange& link, QString logFolder, Today today)
    : m_link(link), m_logFolder(std::move(logFolder)), m_today(std::move(today)) {}

QString DeviceIdentity::LogPath() const {
    return QDir(m_logFolder).filePath(QString::fromLatin1(kProductionLogName));
}

int DeviceIdentity::WriteIdentity(const QString& serial) {
    return WriteIdentityBytes(EncodeCp1251(serial), ReleaseDateText(m_today()));
}

bool IsUnfinishedSerial(const QString& serial) {
    return serial.size() == kSerialLength &&
           serial.back() == QChar(static_cast<char16_t>(kUnfinishedMarker));
}

QString ShownSerial(const IdentityReading& reading) {
    return reading.unfinished ? QString::fromUtf8(kUnfinishedNumberingText) : reading.serial;
}

int DeviceIdentity::WriteIdentityBytes(const QByteArray& serial, const QByteArray& date) {
    const QByteArray padded = serial.leftJustified(kSerialLength, ' ', true);
    const QByteArray wanted = padded + date.leftJustified(kDateLength, ' ', true);
    constexpr int kLast = kSerialLength - 1;
    const auto registerOf = [](int i) {
        return static_cast<std::uint8_t>(i < kSerialLength ? kSerialRegister + i
                                                           : kDateRegister + i - kSerialLength);
    };
    const auto write = [&](int i, char c) {
        return m_link.Exchange(Command::WriteParam, registerOf(i), static_cast<std::uint8_t>(c))
            .has_value();
    };
    int unanswered = !write(kLast, kUnfinishedMarker);
    for (int i = 0; i < wanted.size(); ++i)
        if (i != kLast)
            unanswered += !write(i, wanted[i]);
    // Only a write of which every other part was answered may take the marker away.
    if (unanswered > 0)
        return unanswered;
    if (!write(kLast, wanted[kLast]))
        return 1;
    for (int i = 0; i < wanted.size(); ++i)
        if (const auto reply = m_link.Exchange(Command::ReadParam, registerOf(i));
            !reply || ReplyLowByte(*reply) != static_cast<std::uint8_t>(wanted[i]))
            return -1;
    return 0;
}

QString OperatingCounterText(std::uint16_t word) {
    return word == 0 ? QStringLiteral("0 ") : QString::number(word) + QStringLiteral("0000 ");
}

DeviceIdentity::StoredBytes DeviceIdentity::ReadBytes(IdentityView& view) {
    const auto readOnce = [this] {
        Burst burst(m_link);
        bool allAnswered = true;
        const auto readText = [&](std::uint8_t first, int length) {
            QByteArray text;
            for (int i = 0; i < length; ++i) {
                const auto reply = m_link.Exchange(Command::ReadParam, first + i);
                allAnswered &= reply.has_value();
                // An unanswered character shows as a space, never as another register's byte.
                text.append(reply ? static_cast<char>(ReplyLowByte(*reply)) : ' ');
            }
            return text;
        };
        const QByteArray serial = readText(kSerialRegister, kSerialLength);
        const QByteArray date = readText(kDateRegister, kDateLength);
        const bool verified = burst.Verified();
        return StoredBytes{serial, date, allAnswered && verified, verified};
    };
    // Stray bytes void the whole block: read once more before giving up on it.
    StoredBytes stored = readOnce();
    for (int attempt = 1; attempt < m_link.Attempts() && !stored.verified; ++attempt)
        stored = readOnce();
    if (stored.verified) {
        const QString shown = DecodeCp1251(stored.serial);
        view.ShowSerial(stored.allAnswered && IsUnfinishedSerial(shown)
                            ? QString::fromUtf8(kUnfinishedNumberingText)
                            : shown);
        view.ShowDate(DecodeCp1251(stored.date));
    }
    view.Repaint();
    return stored;
}

IdentityReading DeviceIdentity::ReadStored(IdentityView& view) {
    const StoredBytes stored = ReadBytes(view);
    IdentityReading reading{DecodeCp1251(stored.serial), DecodeCp1251(stored.date), false, 0,
                            stored.allAnswered};
    reading.unfinished = stored.allAnswered && IsUnfinishedSerial(reading.serial);
    reading.complete &= !reading.unfinished;
    return reading;
}

Expected<IdentityReading> DeviceIdentity::ReadIdentity(IdentityView& view) {
    const StoredBytes stored = ReadBytes(view);
    const QByteArray& serial = stored.serial;
    const QByteArray& date = stored.date;
    const bool allAnswered = stored.allAnswered;
    IdentityReading reading{DecodeCp1251(serial), DecodeCp1251(date), false, 0, allAnswered};
    // A missed read repeats the character before it, and the blank serial has five zeros in a
    // row: only a serial read whole may be taken for blank.
    const bool unfinished = allAnswered && IsUnfinishedSerial(reading.serial);
    if (!allAnswered || (serial != kBlankSerial && !unfinished))
        return reading;

    const QByteArray today = ReleaseDateText(m_today());
    const auto record =
        m_source ? m_source->Take(date, today) : AppendNextRecord(LogPath(), date, today);
    if (!record)
        return Failure{record.error()};
    const int unanswered = WriteIdentityBytes(record->Serial(), today);
    reading = {DecodeCp1251(record->Serial()), DecodeCp1251(record->Date()), true,
               std::max(unanswered, 0), unanswered == 0};
    reading.unfinished = unanswered != 0;
    if (m_source && unanswered != 0)
        m_source->Spent(*record, UnansweredIdentityText(reading));
    view.ShowDate(reading.date);
    view.ShowSerial(ShownSerial(reading));
    return reading;
}

QString SerialNotWrittenText(const QString& serial) {
    return QStringLiteral("Серийный номер «%1» записан не полностью: контроллер не ответил или "
                          "держит не то, что записано.\nПроверьте связь и запишите номер снова.")
        .arg(serial.trimmed());
}

QString NumberedStatusText(const IdentityReading& reading) {
    if (!reading.numbered || reading.unfinished)
        return {};
    return QStringLiteral("Контроллер пронумерован: %1").arg(reading.serial.trimmed());
}

QString UnansweredIdentityText(const IdentityReading& reading) {
    if (!reading.numbered || !reading.unfinished)
        return {};
    const QString what = reading.unansweredWrites > 0
                             ? QStringLiteral("контроллер не ответил на запись (%1 из %2)")
                                   .arg(reading.unansweredWrites)
                                   .arg(kSerialLength + kDateLength)
                             : QStringLiteral("контроллер держит не то, что записано");
    return QStringLiteral("%1: номер «%2» внесён в журнал, но %3.\nПроверьте связь и "
                          "присвойте номер снова: будет выдан следующий, этот останется "
                          "пропущенным.")
        .arg(QString::fromUtf8(kUnfinishedNumberingText), reading.serial.trimmed(), what);
}

} // namespace zef
