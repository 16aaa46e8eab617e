#include "files/identity.h"

#include "files/cp1251.h"
#include "files/production_log.h"

#include <QDir>

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

int DeviceIdentity::WriteIdentityBytes(const QByteArray& serial, const QByteArray& date) {
    const QByteArray padded = serial.leftJustified(kSerialLength, ' ', true);
    int unanswered = 0;
    for (int i = 0; i < kSerialLength; ++i)
        unanswered += !m_link.Exchange(Command::WriteParam, kSerialRegister + i,
                                       static_cast<std::uint8_t>(padded[i]));
    for (int i = 0; i < kDateLength; ++i)
        unanswered += !m_link.Exchange(Command::WriteParam, kDateRegister + i,
                                       static_cast<std::uint8_t>(date.at(i)));
    return unanswered;
}

QString OperatingCounterText(std::uint16_t word) {
    return word == 0 ? QStringLiteral("0 ") : QString::number(word) + QStringLiteral("0000 ");
}

DeviceIdentity::StoredBytes DeviceIdentity::ReadBytes(IdentityView& view) {
    bool allAnswered = true;
    const auto readText = [&](std::uint8_t first, int length) {
        QByteArray text;
        for (int i = 0; i < length; ++i) {
            allAnswered &= m_link.Exchange(Command::ReadParam, first + i);
            text.append(static_cast<char>(m_link.ReplyLowByte()));
        }
        return text;
    };
    const QByteArray serial = readText(kSerialRegister, kSerialLength);
    view.ShowSerial(DecodeCp1251(serial));
    const QByteArray date = readText(kDateRegister, kDateLength);
    view.ShowDate(DecodeCp1251(date));
    view.Repaint();
    return {serial, date, allAnswered};
}

IdentityReading DeviceIdentity::ReadStored(IdentityView& view) {
    const StoredBytes stored = ReadBytes(view);
    return {DecodeCp1251(stored.serial), DecodeCp1251(stored.date), false, 0, stored.allAnswered};
}

Expected<IdentityReading> DeviceIdentity::ReadIdentity(IdentityView& view) {
    const auto [serial, date, allAnswered] = ReadBytes(view);
    IdentityReading reading{DecodeCp1251(serial), DecodeCp1251(date), false, 0, allAnswered};
    // A missed read repeats the character before it, and the blank serial has five zeros in a
    // row: only a serial read whole may be taken for blank.
    if (!allAnswered || serial != kBlankSerial)
        return reading;

    const QByteArray today = ReleaseDateText(m_today());
    const auto record =
        m_source ? m_source->Take(date, today) : AppendNextRecord(LogPath(), date, today);
    if (!record)
        return Failure{record.error()};
    const int unanswered = WriteIdentityBytes(record->Serial(), today);
    reading = {DecodeCp1251(record->Serial()), DecodeCp1251(record->Date()), true, unanswered,
               unanswered == 0};
    if (m_source && unanswered != 0)
        m_source->Spent(*record, UnansweredIdentityText(reading));
    view.ShowDate(reading.date);
    view.ShowSerial(reading.serial);
    return reading;
}

QString UnansweredIdentityText(const IdentityReading& reading) {
    if (reading.unansweredWrites == 0)
        return {};
    return QStringLiteral("Номер «%1» внесён в журнал, но контроллер не ответил на запись (%2 "
                          "из %3).\nПроверьте связь и запишите номер вручную.")
        .arg(reading.serial.trimmed())
        .arg(reading.unansweredWrites)
        .arg(kSerialLength + kDateLength);
}

} // namespace zef
