// The datalog file: its header, its numbers whatever the locale, a round trip through the
// reader, and the reader's refusal of files that are not whole datalogs.
#include "datalog/channels.h"
#include "datalog/datalog_csv.h"
#include "datalog/datalog_load.h"
#include "datalog/datalog_trend.h"

#include <QFile>
#include <QLocale>
#include <QTemporaryDir>
#include <QTimeZone>

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstring>
#include <map>

using namespace zef;

namespace {

const QDateTime kStart(QDate(2026, 12, 8), QTime(11, 22, 56, 123), QTimeZone(3 * 3600));

DatalogRow RowAt(int n) {
    DatalogRow row;
    row.time = kStart.addMSecs(350LL * n);
    row.seconds = 0.35 * n;
    for (const DatalogChannel& channel : DatalogChannels()) {
        const double step = std::pow(10.0, -channel.decimals);
        // Values on the channel's own resolution, some negative, flags 0 or 1.
        row.values.push_back(channel.flag ? (n % 2) : (n * 37 % 1001 - 300) * step);
    }
    return row;
}

// The line with its field at index replaced, or taken out when text is null.
QByteArray WithField(const QByteArray& line, int index, const char* text) {
    QList<QByteArray> fields = line.chopped(1).split(',');
    if (text)
        fields[index] = text;
    else
        fields.removeAt(index);
    return fields.join(',') + '\n';
}

QByteArray Bytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

TEST(DatalogCsv, header_names_each_column_with_its_unit) {
    const QByteArray header = DatalogHeaderLine();
    ASSERT_TRUE(header.endsWith('\n'));
    const QStringList columns = QString::fromUtf8(header.chopped(1)).split(',');
    ASSERT_EQ(columns.size(), 3 + static_cast<qsizetype>(DatalogChannels().size()));
    EXPECT_EQ(columns[0], "Время (ISO 8601)");
    EXPECT_EQ(columns[1], "С начала записи (с)");
    EXPECT_EQ(columns.back(), "Метка");
    const QStringList units = {"об/мин", "мс", "мс", "В", "%",   "%",
                               "В",      "В",  "°C", "В", "0/1", "0/1"};
    ASSERT_EQ(units.size() + 3, columns.size());
    for (qsizetype i = 0; i < units.size(); ++i)
        EXPECT_TRUE(columns[i + 2].endsWith(" (" + units[i] + ")")) << columns[i + 2].toStdString();
}

TEST(DatalogCsv, a_row_is_iso_time_seconds_and_values_with_a_point_in_any_locale) {
    // A decimal-comma locale for the C library and for Qt alike.
    const char* previous = std::setlocale(LC_NUMERIC, nullptr);
    const std::string saved = previous ? previous : "C";
    std::setlocale(LC_NUMERIC, "de_DE.UTF-8");
    QLocale::setDefault(QLocale(QLocale::German));
    DatalogRow row;
    row.time = kStart;
    row.seconds = 12.5;
    row.values = {850, 2.35, 2.4, 0.512, -2.5, 0.6, 0.6, 2.8, 65.3, 13.92, 0, 1};
    const QByteArray line = DatalogRowLine(row);
    QLocale::setDefault(QLocale::c());
    std::setlocale(LC_NUMERIC, saved.c_str());
    EXPECT_EQ(line, "2026-12-08T11:22:56.123+03:00,12.500,850,2.350,2.400,0.512,-2.5,0.6,0.600,"
                    "2.800,65.3,13.920,0,1,\n");
}

TEST(DatalogCsv, a_written_file_reads_back_row_for_row) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath("round.csv");
    DatalogWriter writer(path);
    ASSERT_TRUE(writer.Open()) << writer.Open().error().toStdString();
    std::vector<DatalogRow> written;
    for (int n = 0; n < 200; ++n) {
        written.push_back(RowAt(n));
        const Status appended = writer.Append(written.back());
        ASSERT_TRUE(appended) << appended.error().toStdString();
    }
    ASSERT_TRUE(writer.Close());
    EXPECT_EQ(writer.Rows(), 200);

    const auto read = ReadDatalogCsv(path);
    ASSERT_TRUE(read) << read.error().toStdString();
    ASSERT_EQ(read->size(), written.size());
    for (std::size_t r = 0; r < written.size(); ++r) {
        EXPECT_EQ((*read)[r].time, written[r].time) << r;
        EXPECT_NEAR((*read)[r].seconds, written[r].seconds, 5e-4) << r;
        ASSERT_EQ((*read)[r].values.size(), written[r].values.size()) << r;
        for (std::size_t c = 0; c < written[r].values.size(); ++c)
            EXPECT_NEAR((*read)[r].values[c], written[r].values[c], 1e-9) << r << ", " << c;
    }
    EXPECT_EQ(Bytes(path).count('\n'), 201);
}

TEST(DatalogCsv, a_spreadsheet_copy_with_quotes_crlf_and_a_byte_order_mark_reads) {
    QByteArray header = DatalogHeaderLine();
    header.chop(1);
    QByteArray quoted = "\xEF\xBB\xBF\"" + header.replace(",", "\",\"") + "\"\r\n";
    for (int n = 0; n < 3; ++n)
        quoted += DatalogRowLine(RowAt(n)).chopped(1) + "\r\n";
    // A last line without its line end, as some editors save it, is whole all the same.
    quoted += DatalogRowLine(RowAt(3)).chopped(1);
    const auto read = ParseDatalogCsv(quoted, "copy.csv");
    ASSERT_TRUE(read) << read.error().toStdString();
    ASSERT_EQ(read->size(), 4u);
    EXPECT_NEAR(read->back().values[0], RowAt(3).values[0], 1e-9);
}

TEST(DatalogCsv, a_malformed_file_is_refused_naming_its_line) {
    const QByteArray header = DatalogHeaderLine();
    const QByteArray one = DatalogRowLine(RowAt(1));
    const QByteArray two = DatalogRowLine(RowAt(2));
    QByteArray noSpeed = header;
    noSpeed.replace("Обороты (об/мин),", "");
    QByteArray swapped = header;
    swapped.replace("Время впрыска исходное (мс),Время впрыска текущее (мс)",
                    "Время впрыска текущее (мс),Время впрыска исходное (мс)");
    struct Case {
        const char* name;
        QByteArray bytes;
        const char* where;
        const char* what;
    };
    const Case cases[] = {
        {"empty file", "", "строка 1", "нет заголовка"},
        {"a missing column", noSpeed + one, "строка 1", "нет столбца «Обороты (об/мин)»"},
        {"columns swapped", swapped + one, "строка 1",
         "«Время впрыска исходное (мс)» стоит не на своём месте"},
        {"a column too many", header.chopped(1) + ",Лишний (В)\n" + one, "строка 1",
         "лишний столбец «Лишний (В)»"},
        {"text in a number", header + one + WithField(two, 2, "8x0"), "строка 3",
         "в столбце «Обороты (об/мин)» «8x0» не число"},
        {"a decimal comma", header + one + WithField(two, 1, "0,7"), "строка 3",
         "16 полей вместо 15"},
        {"an empty value", header + WithField(one, 5, ""), "строка 2", "не число"},
        {"a truncated last line", header + one + two.left(two.size() / 2), "строка 3",
         "строка оборвана"},
        {"a row a field short", header + WithField(one, 13, nullptr) + two, "строка 2",
         "14 полей вместо 15."},
        {"a flag of 2", header + one.chopped(3) + "2,\n", "строка 2", "только 0 или 1"},
        {"no time", header + QByteArray(one).replace("2026-12-08T", "вчера ") + two, "строка 2",
         "не время ISO 8601"},
        {"time running back", header + two + one, "строка 3", "время назад"},
        {"not a number at all", header + WithField(one, 1, "nan"), "строка 2", "не число"},
        {"a value too large", header + WithField(one, 3, "1e999"), "строка 2", "не число"},
    };
    for (const Case& c : cases) {
        const auto read = ParseDatalogCsv(c.bytes, "/tmp/bad.csv");
        ASSERT_FALSE(read) << c.name;
        const QString error = read.error();
        EXPECT_TRUE(error.contains("/tmp/bad.csv")) << c.name << ": " << error.toStdString();
        EXPECT_TRUE(error.contains("не открыта")) << c.name << ": " << error.toStdString();
        EXPECT_TRUE(error.contains(QString::fromUtf8(c.where) + ":"))
            << c.name << ": " << error.toStdString();
        EXPECT_TRUE(error.contains(QString::fromUtf8(c.what)))
            << c.name << ": " << error.toStdString();
    }
}

TEST(DatalogCsv, a_file_that_cannot_be_read_says_why) {
    const auto read = ReadDatalogCsv("/nonexistent/folder/log.csv");
    ASSERT_FALSE(read);
    EXPECT_TRUE(read.error().contains("/nonexistent/folder/log.csv")) << read.error().toStdString();
}

TEST(DatalogCsv, a_folder_that_cannot_be_written_is_refused_at_the_start) {
    DatalogWriter writer("/nonexistent/folder/log.csv");
    const Status opened = writer.Open();
    ASSERT_FALSE(opened);
    EXPECT_TRUE(opened.error().contains("/nonexistent/folder/log.csv"))
        << opened.error().toStdString();
    EXPECT_TRUE(opened.error().contains(QString::fromLocal8Bit(std::strerror(ENOENT))))
        << opened.error().toStdString();
}

TEST(DatalogCsv, full_device_stops_at_the_first_write_with_its_reason) {
    // /dev/full takes the open and refuses every byte, like a disk with no room left.
    DatalogWriter writer("/dev/full");
    const Status opened = writer.Open();
    ASSERT_FALSE(opened);
    EXPECT_TRUE(opened.error().contains(QString::fromLocal8Bit(std::strerror(ENOSPC))))
        << opened.error().toStdString();
}

} // namespace

namespace {

TEST(DatalogTrend, a_written_file_replays_into_the_trend_series) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath("replay.csv");
    DatalogWriter writer(path);
    ASSERT_TRUE(writer.Open());
    std::vector<DatalogRow> written;
    for (int n = 0; n < 120; ++n) {
        // A lost link between rows 50 and 60: ten periods without a row.
        if (n >= 50 && n < 60)
            continue;
        written.push_back(RowAt(n));
        ASSERT_TRUE(writer.Append(written.back()));
    }
    ASSERT_TRUE(writer.Close());

    const auto read = ReadDatalogCsv(path);
    ASSERT_TRUE(read) << read.error().toStdString();
    const TrendData trend = DatalogTrend(*read);
    const auto channels = DatalogChannels();
    ASSERT_EQ(trend.Channels().size(), channels.size());
    for (std::size_t c = 0; c < channels.size(); ++c) {
        EXPECT_EQ(trend.Channels()[c].name, channels[c].name);
        EXPECT_EQ(trend.Channels()[c].unit, channels[c].unit);
    }
    ASSERT_EQ(trend.Size(), written.size());
    for (std::size_t r = 0; r < written.size(); ++r) {
        EXPECT_NEAR(trend.Seconds(r), written[r].seconds, 5e-4) << r;
        for (std::size_t c = 0; c < channels.size(); ++c)
            EXPECT_NEAR(trend.Value(r, c), written[r].values[c], 1e-9) << r << ", " << c;
    }
    EXPECT_EQ(trend.Start(), kStart);
    // The gap shows where the rows are missing, and only there.
    for (std::size_t r = 1; r < trend.Size(); ++r)
        EXPECT_EQ(trend.GapBefore(r), r == 50) << r;
}

} // namespace

namespace {

// Markers come back with their rows' times and their texts, whole, from the reader of whole
// files and from the one that reads a block at a time; a file from before the markers' column
// reads as one without markers.
TEST(DatalogMarks, survive_a_round_trip_through_the_file) {
    struct Case {
        const char* name;
        std::map<int, QString> marks; // row -> text
        bool beforeMarks;             // the header and rows without the markers' column
    };
    const Case cases[] = {
        {"no markers", {}, false},
        {"one", {{5, "Метка 1"}}, false},
        {"first, last and texts with commas and quotes",
         {{0, "старт"}, {7, "подъём, 3-я \"передача\""}, {199, "Метка 3"}},
         false},
        {"a file from before the markers", {}, true},
    };
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    for (const Case& c : cases) {
        QByteArray bytes = DatalogHeaderLine();
        std::vector<DatalogRow> written;
        for (int n = 0; n < 200; ++n) {
            written.push_back(RowAt(n));
            if (c.marks.count(n))
                written.back().mark = c.marks.at(n);
            bytes += DatalogRowLine(written.back());
        }
        if (c.beforeMarks)
            bytes.replace(",Метка\n", "\n").replace(",\n", "\n");
        const QString path = dir.filePath(QString("%1.csv").arg(c.name));
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        file.close();

        const auto rows = ReadDatalogCsv(path);
        ASSERT_TRUE(rows) << c.name << ": " << rows.error().toStdString();
        ASSERT_EQ(rows->size(), written.size()) << c.name;
        std::atomic<bool> cancelled{false};
        const auto loaded = ReadDatalogTrend(path, cancelled);
        ASSERT_TRUE(loaded && *loaded)
            << c.name << ": " << (loaded ? loaded->error().toStdString() : "cancelled");
        const TrendData& trend = ***loaded;
        ASSERT_EQ(trend.Size(), written.size()) << c.name;
        EXPECT_EQ(trend.Start(), kStart) << c.name;
        EXPECT_NEAR(trend.Value(199, 2), written[199].values[2], 1e-9) << c.name;

        using Marks = std::vector<std::pair<int, QString>>;
        Marks read;
        for (std::size_t r = 0; r < rows->size(); ++r)
            if (!(*rows)[r].mark.isEmpty())
                read.emplace_back(int(r), (*rows)[r].mark);
        ASSERT_EQ(read, Marks(c.marks.begin(), c.marks.end())) << c.name;
        ASSERT_EQ(trend.Marks().size(), c.marks.size()) << c.name;
        std::size_t i = 0;
        for (const auto& [row, text] : c.marks) {
            EXPECT_NEAR(trend.Marks()[i].seconds, written[std::size_t(row)].seconds, 5e-4);
            EXPECT_EQ(trend.Marks()[i].text, text) << c.name;
            ++i;
        }
    }
}

} // namespace
