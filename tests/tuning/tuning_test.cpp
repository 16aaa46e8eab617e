// The map tuner against recordings made up here from a known true map: what it suggests, what
// it refuses to count, how sure it says it is, and the recordings it will not read.
#include "tuning/map_tuner.h"

#include "datalog/channels.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTimeZone>

#include <gtest/gtest.h>

#include <cmath>
#include <functional>

using namespace zef;

namespace {

constexpr MapMicros kStored = {2500, 2850, 3300, 3800, 4600, 5300, 6000};
constexpr std::array<double, kMapSize> kStoredMs = {2.5, 2.85, 3.3, 3.8, 4.6, 5.3, 6.0};
constexpr std::array<double, kMapSize> kTrue = {2.650, 2.710, 3.460, 3.700, 4.780, 5.100, 6.300};

double Interpolated(const std::array<double, kMapSize>& map, double rpm) {
    const Interpolation at = InterpolationAt(rpm);
    const auto j = static_cast<std::size_t>(at.segment);
    return at.lower * map[j] + (1 - at.lower) * map[j + 1];
}

using Change = std::function<void(DatalogRow&)>;

// A warm engine on its oxygen loop, held at each speed in turn and sampled as the recorder
// samples it; the correction is what the loop needs to reach the true map, plus noise.
class Recording {
public:
    explicit Recording(double noisePercent = 0.6) : m_noise(noisePercent) {}

    Recording& Hold(double rpm, double seconds, const Change& change = {}) {
        for (long n = std::lround(seconds / 0.35); n > 0; --n)
            m_rows.push_back(Row(rpm, change));
        return *this;
    }
    [[nodiscard]] const std::vector<DatalogRow>& Rows() const { return m_rows; }
    [[nodiscard]] TuningResult Tune() const { return TuneRows(m_rows, kStored); }

    static void Set(DatalogRow& row, std::string_view key, double value) {
        row.values[static_cast<std::size_t>(FindDatalogChannel(key) - DatalogChannels().data())] =
            value;
    }

private:
    double Noise() {
        m_state = m_state * 6364136223846793005ULL + 1442695040888963407ULL;
        return (static_cast<double>(m_state >> 11) / 9007199254740992.0 * 2 - 1) * m_noise;
    }
    DatalogRow Row(double rpm, const Change& change) {
        DatalogRow row;
        row.seconds = 0.35 * static_cast<double>(m_rows.size());
        row.time = QDateTime(QDate(2026, 12, 8), QTime(10, 0), QTimeZone(3 * 3600))
                       .addMSecs(std::llround(row.seconds * 1000));
        row.values.assign(DatalogChannels().size(), 0);
        const double speed = rpm + 10 * std::sin(row.seconds * 2.3);
        const double base = Interpolated(kStoredMs, speed);
        const double correction =
            std::round(((Interpolated(kTrue, speed) / base - 1) * 100 + Noise()) * 10) / 10;
        Set(row, "rpm", std::round(speed));
        Set(row, "base_injection_ms", base);
        Set(row, "injection_ms", MeasuredNeedMs(base, correction));
        Set(row, "oxygen_correction", correction);
        Set(row, "throttle_v", 0.6 + rpm / 2000);
        Set(row, "engine_temperature", 88);
        Set(row, "supply_v", 13.8);
        Set(row, "oxygen_feedback", 1);
        if (change)
            change(row);
        return row;
    }

    double m_noise;
    std::uint64_t m_state = 0x5EED;
    std::vector<DatalogRow> m_rows;
};

Recording EveryPoint(double noise = 0.6) {
    Recording r(noise);
    for (double rpm : {850, 1000, 700, 1500, 2000, 2500, 3000, 4000, 5000, 6000, 1250})
        r.Hold(rpm, 40);
    return r;
}

TEST(MapTuner, suggestions_stay_within_a_step_of_the_true_map_where_sure) {
    struct Case {
        const char* name;
        Recording recording;
        std::vector<std::size_t> unvisited;
    };
    // Once in a while the sensor sticks far rich: a stretch the fit must not follow.
    const Change stuck = [](DatalogRow& row) { Recording::Set(row, "oxygen_correction", 22); };
    std::vector<Case> cases = {
        {"every point", EveryPoint(), {}},
        {"town only",
         Recording().Hold(850, 60).Hold(1000, 40).Hold(1500, 40).Hold(2000, 40),
         {4, 5, 6}},
        {"a stuck sensor for a while",
         EveryPoint().Hold(1500, 4).Hold(1500, 6, stuck).Hold(3000, 40).Hold(3000, 6, stuck),
         {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const TuningResult result = c.recording.Tune();
        int high = 0;
        for (std::size_t i = 0; i < kMapSize; ++i) {
            SCOPED_TRACE(kMapPoints[i].speed);
            const PointTuning& point = result.points[i];
            const bool unvisited =
                std::find(c.unvisited.begin(), c.unvisited.end(), i) != c.unvisited.end();
            if (unvisited) {
                EXPECT_EQ(point.confidence, Confidence::None);
                EXPECT_EQ(point.suggestedMicros, kStored[i]);
                continue;
            }
            EXPECT_NE(point.confidence, Confidence::None);
            if (point.confidence == Confidence::High) {
                ++high;
                EXPECT_LE(std::abs(point.suggestedMicros - kTrue[i] * 1000), kMapStepMicros);
                EXPECT_EQ(point.suggestedMicros % kMapStepMicros, 0);
            }
        }
        EXPECT_EQ(high, static_cast<int>(kMapSize - c.unvisited.size()));
    }
}

// On a drive that idles at 850 rpm the 500 rpm point is seen only through samples that also
// carry the 1000 rpm point's error: averaging hands it that error, the fit separates the two.
TEST(MapTuner, fit_separates_neighbours_that_averaging_blurs) {
    const TuningResult result = Recording().Hold(850, 120).Hold(1000, 60).Tune();
    const PointTuning& idle = result.points[0];
    EXPECT_LE(std::abs(idle.fittedMs - kTrue[0]), 0.025);
    EXPECT_GE(std::abs(idle.averagedMs - kTrue[0]), 0.1);
}

TEST(MapTuner, rejected_samples_are_counted_by_reason_and_left_out) {
    struct Case {
        const char* name;
        Change change;
        Rejection expected;
    };
    auto set = [](std::string_view key, double value) {
        return [key, value](DatalogRow& row) {
            Recording::Set(row, key, value);
            // What the fit would be pulled by, were the sample counted.
            Recording::Set(row, "oxygen_correction", 14);
        };
    };
    int swing = 0;
    const std::vector<Case> cases = {
        {"cold", set("engine_temperature", 55), Rejection::Cold},
        {"setup mode", set("setup_mode", 1), Rejection::SetupMode},
        {"manual correction",
         [&](DatalogRow& row) {
             set("oxygen_feedback", 0)(row);
             Recording::Set(row, "manual_correction", 3);
         },
         Rejection::ManualCorrection},
        {"feedback off", set("oxygen_feedback", 0), Rejection::FeedbackOff},
        {"low supply", set("supply_v", 9.8), Rejection::Supply},
        {"accelerating",
         [&](DatalogRow& row) {
             set("rpm", (++swing % 2) ? 1900 : 1500)(row);
             Recording::Set(row, "throttle_v", (swing % 2) ? 2.1 : 1.4);
         },
         Rejection::NotSteady},
    };
    constexpr int kChanged = 20;
    const TuningResult clean = Recording().Hold(1500, 30).Hold(1500, 7).Hold(1500, 30).Tune();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const TuningResult result =
            Recording().Hold(1500, 30).Hold(1500, 7, c.change).Hold(1500, 30).Tune();
        for (const RejectionRow& row : Rejections()) {
            const int extra = result.Rejected(row.rejection) - clean.Rejected(row.rejection);
            if (row.rejection != c.expected)
                EXPECT_EQ(extra, 0) << row.key;
            else if (c.expected == Rejection::NotSteady)
                EXPECT_GE(extra, kChanged) << row.key; // and the window after it
            else
                EXPECT_EQ(extra, kChanged) << row.key;
        }
        EXPECT_EQ(result.points[2].suggestedMicros, clean.points[2].suggestedMicros);
    }
}

TEST(MapTuner, confidence_falls_with_spread_and_few_samples) {
    struct Case {
        double seconds;
        double noisePercent;
        Confidence expected;
    };
    const Case cases[] = {
        {60, 0.5, Confidence::High}, {60, 4, Confidence::High},   {60, 8, Confidence::Medium},
        {60, 16, Confidence::Low},   {4.5, 0.5, Confidence::Low}, {2.5, 0.5, Confidence::None},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.seconds << " s, noise " << c.noisePercent << " %");
        const TuningResult result = Recording(c.noisePercent).Hold(1500, c.seconds).Tune();
        EXPECT_EQ(result.points[2].confidence, c.expected)
            << "spread " << result.points[2].spreadMs << " weight " << result.points[2].weight;
    }
}

// No point moves by more than the pass allows, nor leaves the map's limits, however far the
// recording says it should go.
TEST(MapTuner, a_pass_moves_a_point_at_most_fifteen_per_cent) {
    const TuningResult result =
        Recording()
            .Hold(1500, 40, [](DatalogRow& row) { Recording::Set(row, "oxygen_correction", 24.0); })
            .Tune();
    EXPECT_EQ(result.points[2].suggestedMicros, 3750); // 3300 + 15 %, down to the step
}

TEST(MapTuner, a_recording_the_replay_refuses_is_refused_with_its_line) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const auto rows = Recording().Hold(1500, 3).Rows();
    struct Case {
        const char* name;
        std::function<QByteArray(QByteArray header, QList<QByteArray> lines)> text;
        const char* line;
    };
    const Case cases[] = {
        {"a column short on line 5",
         [](QByteArray header, QList<QByteArray> lines) {
             lines[3] = lines[3].left(lines[3].lastIndexOf(',')) + '\n';
             return header + lines.join();
         },
         "строка 5"},
        {"another program's file",
         [](QByteArray, QList<QByteArray> lines) { return "time,rpm,afr\n" + lines.join(); },
         "строка 1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QList<QByteArray> lines;
        for (const DatalogRow& row : rows)
            lines << DatalogRowLine(row);
        const QString path = dir.filePath("drive.csv");
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(c.text(DatalogHeaderLine(), lines));
        file.close();
        const auto tuned = TuneRecording(path, kStored);
        ASSERT_FALSE(tuned);
        EXPECT_EQ(tuned.error(), ReadDatalogCsv(path).error());
        EXPECT_TRUE(tuned.error().contains(c.line)) << tuned.error().toStdString();
    }
}

} // namespace
