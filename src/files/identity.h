#pragma once

#include "files/outcome.h"
#include "files/production_log.h"
#include "link/register_exchange.h"

#include <QByteArray>
#include <QDate>
#include <QString>

#include <cstdint>
#include <functional>

namespace zef {

// The identity block: one character per register, in the low byte, in the Windows Cyrillic
// code page.
inline constexpr std::uint8_t kSerialRegister = 36;
inline constexpr int kSerialLength = 24;
inline constexpr std::uint8_t kDateRegister = 60;
inline constexpr int kDateLength = 8;

// A controller fresh from manufacture; the trailing space is part of it.
inline constexpr char kBlankSerial[] = "ZEF-K7LX SN 05.02 00000 ";

// An identity is written with this byte in the serial's last position first and that
// position's own character last, so a write cut short anywhere leaves the byte behind: no
// mixture of two serial numbers can pass for a whole one. No key types it.
inline constexpr char kUnfinishedMarker = '\x7f';
inline constexpr char kUnfinishedNumberingText[] = "Нумерация не завершена";

// Whether serial (24 characters as read) is one whose writing was cut short.
[[nodiscard]] bool IsUnfinishedSerial(const QString& serial);

// "dd.MM.yy", whatever the locale: exactly the eight date registers, so none is left undefined
// and no year is cut to its century.
[[nodiscard]] QByteArray ReleaseDateText(QDate date);

// The operating counter as the window shows it: the controller counts in units of 10000
// cycles, so its word reads with four zeros added ("0 " when none).
inline constexpr std::uint8_t kCounterRegister = 35;
[[nodiscard]] QString OperatingCounterText(std::uint16_t word);

// What the window shows of the identity: the serial number (StaticText1) and the release date
// (StaticText3).
class IdentityView {
public:
    virtual ~IdentityView() = default;
    virtual void ShowSerial(const QString& serial) = 0;
    virtual void ShowDate(const QString& date) = 0;
    // Paints the two read-outs now, before a blank controller is numbered. It must not dispatch
    // user input or timers: a click could close the port, and a timer tick would put its own
    // exchanges in the middle of the numbering.
    virtual void Repaint() = 0;
};

struct IdentityReading {
    QString serial;
    QString date;
    bool numbered = false; // the controller was blank and got the next serial number
    // Of the 32 writes that gave it the number; the log holds the number all the same.
    int unansweredWrites = 0;
    // Every read was answered and every write too: the serial is the controller's own.
    bool complete = false;
    // The controller holds an identity whose writing was cut short; serial is what was read,
    // or after a numbering the number it was to get.
    bool unfinished = false;
};

// The serial number as it is shown: the words for an unfinished one.
[[nodiscard]] QString ShownSerial(const IdentityReading& reading);

// What the user is told when a serial number written by hand did not go in whole; the
// controller then shows an unfinished numbering until a serial is written again.
[[nodiscard]] QString SerialNotWrittenText(const QString& serial);

// What the user is told when a numbered controller left writes unanswered: the number is
// spent, and has to be written by hand. Empty when every write was answered.
[[nodiscard]] QString UnansweredIdentityText(const IdentityReading& reading);

// What the status bar says when a blank controller got its number whole at connection; empty
// for any other reading.
[[nodiscard]] QString NumberedStatusText(const IdentityReading& reading);

// Where a blank controller's number comes from when it is not the production log alone: the
// production registry. The number is committed there before the controller is written.
class NumberSource {
public:
    virtual ~NumberSource() = default;
    [[nodiscard]] virtual Expected<ProtocolRecord> Take(QByteArrayView controllerDate,
                                                        QByteArrayView today) = 0;
    // The controller did not take the number: it stays spent, and says why.
    virtual void Spent(const ProtocolRecord& record, const QString& reason) = 0;
};

// The controller's identity and the numbering of blank controllers from the production log in
// the given folder (the executable's folder in the program).
class DeviceIdentity {
public:
    using Today = std::function<QDate()>;

    DeviceIdentity(RegisterExchange& link, QString logFolder, Today today = &QDate::currentDate);

    [[nodiscard]] QString LogPath() const;

    // Numbers from `source` rather than the log in the folder; nullptr: the log again.
    void SetNumberSource(NumberSource* source) { m_source = source; }

    // Reads and shows the identity. A controller that answered all 32 reads with the blank
    // serial, or with an unfinished one, gets the next number (an unfinished number stays
    // spent in the log): the log record is on disk before the controller is written,
    // and a log that cannot be used leaves both log and controller as they were. Only the log
    // fails the reading; writes the controller left unanswered are counted in it.
    [[nodiscard]] Expected<IdentityReading> ReadIdentity(IdentityView& view);

    // Reads and shows the identity as the controller holds it and writes nothing, a blank
    // serial included: for a look at a controller without touching the production log, and for
    // looking again at a controller that may have been swapped meanwhile.
    [[nodiscard]] IdentityReading ReadStored(IdentityView& view);

    // Writes serial, padded with spaces or cut to 24 characters, and today's date. Characters
    // the code page cannot hold go as '?'. Returns how many of the 32 writes got no reply, or
    // -1 when all were answered and the registers read back hold something else.
    int WriteIdentity(const QString& serial);

private:
    // The identity's bytes as read: the numbering takes the controller's date over unchanged,
    // which a round trip through the code page would not do for every byte.
    struct StoredBytes {
        QByteArray serial;
        QByteArray date;
        bool allAnswered; // and the block's burst verified
        bool verified;    // no stray byte voided it
    };
    StoredBytes ReadBytes(IdentityView& view);
    int WriteIdentityBytes(const QByteArray& serial, const QByteArray& date);

    RegisterExchange& m_link;
    QString m_logFolder;
    Today m_today;
    NumberSource* m_source = nullptr;
};

} // namespace zef
