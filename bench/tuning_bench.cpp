// What tuning the map costs: a ten-hour recording of the simulated engine tuned at once, how
// that grows with the rows, and what one row adds to the live table on the window thread.

#include "bench/benches.h"

#include "datalog/channels.h"
#include "datalog/datalog_trend.h"
#include "dialogs/tuning_dialog.h"
#include "sim/controller_model.h"
#include "tuning/map_tuner.h"

#include <QCoreApplication>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <vector>

namespace zef::bench {

namespace {

using Clock = std::chrono::steady_clock;

double Since(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// The recorder's rows of the driven engine, every 350 ms from a cold start.
std::vector<DatalogRow> Drive(const sim::ControllerModel& engine, std::size_t count) {
    std::vector<DatalogRow> rows(count);
    const auto channels = DatalogChannels();
    for (std::size_t r = 0; r < count; ++r) {
        const double t = 0.35 * static_cast<double>(r);
        rows[r].seconds = t;
        rows[r].values.reserve(channels.size());
        for (const DatalogChannel& channel : channels)
            rows[r].values.push_back(ChannelValue(channel, engine.Live(channel.address, t)));
    }
    return rows;
}

} // namespace

void PrintTuningFigures() {
    sim::ControllerModel engine;
    const auto truth = sim::ControllerModel::DefaultTrueMapMs();
    engine.SetTrueMap(truth);
    MapMicros current{};
    for (std::size_t i = 0; i < kMapSize; ++i)
        current[i] = engine.Param(kMapPoints[i].parameter);

    constexpr std::size_t kRows = 100'000;
    const auto rows = Drive(engine, kRows);
    std::printf("map tuning: %zu rows of the simulated drive (%.1f h at 350 ms)\n", rows.size(),
                static_cast<double>(rows.size()) * 0.35 / 3600);

    TuningResult result;
    for (std::size_t count : {kRows / 4, kRows / 2, kRows}) {
        std::vector<double> seconds;
        const std::span<const DatalogRow> part(rows.data(), count);
        for (int run = 0; run < 5; ++run) {
            const auto start = Clock::now();
            result = TuneRows(part, current);
            seconds.push_back(Since(start));
        }
        std::printf("  %6zu rows tuned in %.3f s, %.2f us a row (median of 5; target for "
                    "100000 rows: 0.3 s)\n",
                    count, Median(seconds), Median(seconds) / static_cast<double>(count) * 1e6);
    }

    double fitWorst = 0, averageWorst = 0;
    for (std::size_t i = 0; i < kMapSize; ++i) {
        fitWorst = std::max(fitWorst, std::abs(result.points[i].fittedMs - truth[i]));
        averageWorst = std::max(averageWorst, std::abs(result.points[i].averagedMs - truth[i]));
    }
    std::printf("  against the true map: the fit off by %.4f ms at worst, per-point averaging "
                "by %.4f ms\n",
                fitWorst, averageWorst);
    std::printf("  injection_ms against base x (1 + correction/100) over %d accepted rows: "
                "mean %+.3f %%, largest %.3f %%\n",
                result.formula.samples, result.formula.meanPercent, result.formula.maxAbsPercent);

    // The window's cost of one live row: into the tuner, the result, the table and the curve.
    {
        MapTuner tuner(current);
        std::vector<double> seconds;
        for (std::size_t r = 0; r < kRows; ++r) {
            const auto start = Clock::now();
            tuner.Add(TuningRowFrom(rows[r]));
            if (r + 2000 >= kRows) {
                (void)tuner.Result();
                seconds.push_back(Since(start));
            }
        }
        std::printf("  live, core: a row added and the result taken after %zu rows: %.3f ms "
                    "(median; target 1 ms)\n",
                    kRows, Median(seconds) * 1e3);
    }
    {
        QuietPrompts prompts;
        TuningDialog dialog(current, prompts, {});
        auto trend = std::make_shared<TrendData>(DatalogTrend(std::chrono::milliseconds(350)));
        dialog.Follow(trend);
        dialog.show();
        QCoreApplication::processEvents();
        for (std::size_t r = 0; r + 500 < kRows; ++r)
            AppendToTrend(*trend, rows[r]);
        dialog.TakeNewRows();
        std::vector<double> seconds;
        for (std::size_t r = kRows - 500; r < kRows; ++r) {
            AppendToTrend(*trend, rows[r]);
            const auto start = Clock::now();
            dialog.TakeNewRows();
            seconds.push_back(Since(start));
        }
        std::printf("  live, window: a row into the open dialog's table after %zu rows: %.3f ms "
                    "(median, largest %.3f ms; target 1 ms)\n",
                    kRows, Median(seconds) * 1e3,
                    *std::max_element(seconds.begin(), seconds.end()) * 1e3);
    }
}

} // namespace zef::bench
