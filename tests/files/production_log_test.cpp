#include "files/production_log.h"

#include <gtest/gtest.h>

using namespace zef;

namespace {

// A record as it lies on disk, built by hand rather than by the code under test.
QByteArray RawRecord(const QByteArray& serial, const QByteArray& separator, const QByteArray& date,
                     char lineEnd) {
    QByteArray raw;
    raw += char(serial.size()) + serial.leftJustified(24, '\0');
    raw += char(separator.size()) + separator.leftJustified(4, '\0');
    raw += char(date.size()) + date.leftJustified(8, '\0');
    raw += lineEnd;
    return raw;
}

ProtocolRecord FromRaw(const QByteArray& raw) {
    ProtocolRecord::Bytes bytes{};
    std::copy_n(raw.constData(), bytes.size(), reinterpret_cast<char*>(bytes.data()));
    return ProtocolRecord(bytes);
}

TEST(ProtocolRecordLayout, seed_record_is_forty_bytes_as_laid_out) {
    EXPECT_EQ(SeedRecord("01.01.00").ToByteArray(),
              QByteArray("\x18ZEF-K7LX SN 05.02 00113 \x04 ** \x08"
                         "01.01.00\r"));
}

TEST(ProtocolRecordLayout, fields_read_back_within_their_length) {
    const ProtocolRecord r = FromRaw(RawRecord("SHORT", "#", "1.2.26", '\n'));
    EXPECT_EQ(r.Serial(), "SHORT");
    EXPECT_EQ(r.Separator(), "#");
    EXPECT_EQ(r.Date(), "1.2.26");
    EXPECT_EQ(r.LineEnd(), '\n');
    // A damaged length byte reads no further than the field.
    QByteArray raw = RawRecord("ZEF-K7LX SN 05.02 00113 ", " ** ", "01.01.00", '\r');
    raw[0] = char(200);
    EXPECT_EQ(FromRaw(raw).Serial(), "ZEF-K7LX SN 05.02 00113 ");
}

TEST(NextRecord, counts_on_in_five_digits_and_keeps_the_rest_of_the_serial) {
    const std::pair<QByteArray, QByteArray> cases[] = {
        {"ZEF-K7LX SN 05.02 00113 ", "ZEF-K7LX SN 05.02 00114 "},
        {"ZEF-K7LX SN 05.02 00999 ", "ZEF-K7LX SN 05.02 01000 "},
        {"ZEF-K7LX SN 05.02 09999 ", "ZEF-K7LX SN 05.02 10000 "},
        {"ZEF-K7LX SN 05.02 99998 ", "ZEF-K7LX SN 05.02 99999 "},
        {"ABC-1234 XY 07.11 00041Z", "ABC-1234 XY 07.11 00042Z"},
        {"ZEF-K7LX SN 05.02 00000", "ZEF-K7LX SN 05.02 00001"}, // 23 characters stay 23
    };
    for (const auto& [last, next] : cases) {
        const auto r = NextRecord(FromRaw(RawRecord(last, " ** ", "01.01.00", '\r')), "07.12.26");
        ASSERT_TRUE(r) << last.toStdString() << ": " << r.error().toStdString();
        EXPECT_EQ(r->Serial(), next);
        EXPECT_EQ(r->Date(), "07.12.26");
    }
}

// Apart from the counter and the date, the new record is the last one byte for byte: separator,
// line end and the spare bytes after a short field.
TEST(NextRecord, carries_every_other_byte_over) {
    QByteArray last = RawRecord("ZEF-K7LX SN 05.02 00113 ", "##", "1.1.0", '\n');
    last[27 + 1] = 'X'; // spare bytes of the separator field
    last[27 + 2] = 'Y';
    const auto next = NextRecord(FromRaw(last), "07.12.26");
    ASSERT_TRUE(next);
    const QByteArray bytes = next->ToByteArray();
    for (int offset = 0; offset < 40; ++offset) {
        const bool counter = offset >= 19 && offset <= 23;
        const bool date = offset >= 30 && offset <= 38;
        if (!counter && !date) {
            EXPECT_EQ(bytes[offset], last[offset]) << offset;
        }
    }
    EXPECT_EQ(bytes.mid(19, 5), "00114");
    EXPECT_EQ(bytes.mid(30, 9), "\x08"
                                "07.12.26");
}

TEST(NextRecord, refuses_a_counter_that_is_not_five_digits_or_has_no_successor) {
    const std::pair<QByteArray, QString> cases[] = {
        {"ZEF-K7LX SN 05.02 00a12 ", "'00a12' is not a valid integer value"},
        {"ZEF-K7LX SN 05.02  0999 ", "' 0999' is not a valid integer value"},
        {"ZEF-K7LX SN 05.02 -0001 ", "'-0001' is not a valid integer value"},
        {"ZEF-K7LX SN 05.02 +1234 ", "'+1234' is not a valid integer value"},
        {"ZEF-K7LX SN 05.02 \xC0\xC1\xC2\xC3\xC4 ", "'АБВГД' is not a valid integer value"},
        {"ZEF-K7LX SN 05.02 99999 ", "Серийные номера закончились"},
        {"ZEF-K7LX SN 05.02 001", "нет счётчика"},
    };
    for (const auto& [last, error] : cases) {
        const auto r = NextRecord(FromRaw(RawRecord(last, " ** ", "01.01.00", '\r')), "07.12.26");
        ASSERT_FALSE(r) << last.toStdString();
        EXPECT_TRUE(r.error().contains(error)) << r.error().toStdString();
    }
}

} // namespace
