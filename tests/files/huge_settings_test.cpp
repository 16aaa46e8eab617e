// A file picked by mistake may be huge: the load reads as far as the 31 values reach and no
// further, and a line no settings file has ends it with an error naming the line.
#include "files/settings_file.h"
#include "sim_link.h"

#include <QElapsedTimer>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/resource.h>

using namespace zef;
using test::SimLink;

namespace {

constexpr qint64 kHuge = 3LL << 30; // past what a 32-bit size holds

QByteArray Repeat(const QByteArray& line, int times) {
    QByteArray text;
    for (int i = 0; i < times; ++i)
        text += line;
    return text;
}

long PeakMemoryKb() {
    struct rusage usage {};
    ::getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

class HugeSettings : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(sim.opened);
        ASSERT_TRUE(dir.isValid());
    }
    QString Path(const QString& name) const { return dir.filePath(name); }

    // head, then zero bytes up to size: a sparse file, cheap on disk however large.
    void WriteSparse(const QString& path, const QByteArray& head, qint64 size) {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        ASSERT_EQ(file.write(head), head.size());
        ASSERT_TRUE(file.resize(size));
    }

    SimLink sim;
    QTemporaryDir dir;
};

// Reading a whole file of gigabytes would take that much memory or end in bad_alloc; the load
// must neither take the time nor the memory.
TEST_F(HugeSettings, sparse_gigabytes_are_refused_or_read_only_up_to_the_values) {
    struct Case {
        const char* name;
        QByteArray head;
        const char* error; // empty: loads its 31 values
    };
    const Case cases[] = {
        {"nothing but zero bytes", "", "Строка 1 длиннее 4096 байт"},
        {"a value, then zero bytes on its line", "5", "Строка 1 длиннее 4096 байт"},
        {"three values, then zero bytes", "1\r\n2\r\n3\r\n", "Строка 4 длиннее 4096 байт"},
        {"31 values, then zero bytes", Repeat("9\r\n", 31), ""},
    };
    for (const auto& c : cases) {
        WriteSparse(Path("huge.zef"), c.head, kHuge);
        sim.ports.sim->ClearFrames();
        const long memoryBefore = PeakMemoryKb();
        QElapsedTimer timer;
        timer.start();

        const auto loaded = LoadSettings(sim.link, Path("huge.zef"));

        // Loose bounds: only reading the file whole comes anywhere near them.
        EXPECT_LT(timer.elapsed(), 20'000) << c.name;
        EXPECT_LT(PeakMemoryKb() - memoryBefore, 256 * 1024) << c.name;
        if (*c.error == '\0') {
            ASSERT_TRUE(loaded) << c.name << ": " << loaded.error().toStdString();
            EXPECT_EQ(loaded->written, 31) << c.name;
            EXPECT_EQ(sim.Writes().size(), 31u) << c.name;
        } else {
            ASSERT_FALSE(loaded) << c.name;
            EXPECT_TRUE(loaded.error().contains(QString::fromUtf8(c.error)))
                << c.name << ": " << loaded.error().toStdString();
            EXPECT_TRUE(loaded.error().contains("ничего не записано")) << c.name;
            EXPECT_TRUE(sim.Writes().empty()) << c.name;
        }
    }
}

TEST_F(HugeSettings, a_line_past_the_longest_is_refused_by_its_number) {
    const QByteArray megabytes(8 << 20, '1');
    struct Case {
        const char* name;
        QByteArray text;
        const char* error; // empty: loads
        std::vector<SimLink::Write> writes;
    };
    const QByteArray longest = "7" + QByteArray(kLongestSettingsLine - 1, ' ');
    const Case cases[] = {
        {"a first line of megabytes of digits", megabytes + "\r\n", "Строка 1 длиннее", {}},
        {"megabytes of blanks before a value",
         QByteArray(8 << 20, ' ') + "5\r\n",
         "Строка 1 длиннее",
         {}},
        {"megabytes of text after a value",
         "5 " + QByteArray(8 << 20, 'x') + "\r\n6\r\n",
         "Строка 1 длиннее",
         {}},
        {"the third line", "1\r\n2\r\n" + megabytes, "Строка 3 длиннее", {}},
        {"the longest line there may be", longest + "\r\n" + longest, "", {{0, 7}, {3, 7}}},
        {"one byte longer", "1\r\n" + longest + " \r\n", "Строка 2 длиннее", {}},
        // Lines of the longest length count their line ends once, wherever a block ends.
        {"line ends across reading blocks",
         Repeat(longest + "\r\n", 3) + "x\r\n",
         "Строка 4: «x»",
         {}},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(test::WriteFile(Path("long.zef"), c.text));
        sim.ports.sim->ClearFrames();
        const auto loaded = LoadSettings(sim.link, Path("long.zef"));
        if (*c.error == '\0') {
            ASSERT_TRUE(loaded) << c.name << ": " << loaded.error().toStdString();
        } else {
            ASSERT_FALSE(loaded) << c.name;
            EXPECT_TRUE(loaded.error().contains(QString::fromUtf8(c.error)))
                << c.name << ": " << loaded.error().toStdString();
        }
        EXPECT_EQ(sim.Writes(), c.writes) << c.name;
    }
}

} // namespace
