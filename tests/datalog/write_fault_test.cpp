// A recording whose file may not grow past a limit, in a process of its own: it stops with the
// system's reason, and what it wrote before is a readable datalog of whole rows.
#include "datalog/datalog_csv.h"
#include "files/disk_faults.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstring>

using namespace zef;

namespace {

constexpr int kRows = 40;
// Longer than any row the simulated engine gives.
constexpr qint64 kLongestRow = 160;

TEST(DatalogWriteFaults, a_recording_past_the_file_size_limit_stops_with_whole_rows) {
    const qint64 header = DatalogHeaderLine().size();
    struct Case {
        const char* name;
        rlim_t limit;
    };
    const Case cases[] = {
        {"not even the header", 0},
        {"half the header", static_cast<rlim_t>(header / 2)},
        {"the header and a byte", static_cast<rlim_t>(header + 1)},
        {"a row and a half", static_cast<rlim_t>(header + 150)},
        {"several rows and a part", static_cast<rlim_t>(header + 1000)},
    };
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath("log.csv");
    for (const Case& c : cases) {
        QFile::remove(path);
        const auto child =
            test::RunUnderFileSizeLimit(ZEF_RECORD_HELPER, {path, QString::number(kRows)}, c.limit);
        ASSERT_TRUE(child.finished) << c.name;
        const std::string output = child.errorOutput.toStdString();
        EXPECT_EQ(child.exitCode, 1) << c.name << ": " << output;
        EXPECT_TRUE(child.errorOutput.contains(path)) << c.name << ": " << output;
        EXPECT_TRUE(child.errorOutput.contains(std::strerror(EFBIG))) << c.name << ": " << output;

        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << c.name;
        const QByteArray bytes = file.readAll();
        EXPECT_LE(bytes.size(), static_cast<qint64>(c.limit)) << c.name;
        if (static_cast<qint64>(c.limit) < header) {
            // No header, so nothing at all: a part of one would be no datalog.
            EXPECT_TRUE(bytes.isEmpty()) << c.name;
            continue;
        }
        EXPECT_TRUE(bytes.endsWith('\n')) << c.name;
        const auto read = ReadDatalogCsv(path);
        ASSERT_TRUE(read) << c.name << ": " << read.error().toStdString();
        // Stopped by the limit, not before it: the next row would not have fitted.
        EXPECT_GT(bytes.size() + kLongestRow, static_cast<qint64>(c.limit)) << c.name;
        EXPECT_LT(read->size(), static_cast<std::size_t>(kRows)) << c.name;
        EXPECT_TRUE(child.errorOutput.contains(
            QStringLiteral("Строк в файле: %1, все целые.").arg(read->size())))
            << c.name << ": " << output;
        EXPECT_TRUE(child.errorOutput.contains("Запись журнала остановлена"))
            << c.name << ": " << output;
    }
}

TEST(DatalogWriteFaults, a_limit_with_room_for_every_row_records_them_all) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath("log.csv");
    const auto child = test::RunUnderFileSizeLimit(
        ZEF_RECORD_HELPER, {path, QString::number(kRows)},
        static_cast<rlim_t>(DatalogHeaderLine().size() + kRows * kLongestRow));
    ASSERT_TRUE(child.finished);
    EXPECT_EQ(child.exitCode, 0) << child.errorOutput.toStdString();
    const auto read = ReadDatalogCsv(path);
    ASSERT_TRUE(read) << read.error().toStdString();
    EXPECT_EQ(read->size(), static_cast<std::size_t>(kRows));
}

} // namespace
