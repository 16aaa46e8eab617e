// What the trend window costs: an hour's recording at the monitor period put into the plots at
// once (a replay), and one live refresh with that hour behind it. Offscreen, without OpenGL.

#include "bench/benches.h"

#include "datalog/trend_window.h"
#include "support/warm_up_trend.h"

#include <QApplication>
#include <QPixmap>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

namespace zef::bench {

namespace {

using Clock = std::chrono::steady_clock;

double since(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

void PrintTrendView() {
    constexpr double kHour = 3600;
    constexpr double kPeriod = 0.35;
    constexpr int kRuns = 5;
    // A lost link in the middle, as a real hour may have.
    const auto hour = std::make_shared<const TrendData>(test::WarmUp(kHour, kPeriod, 1800, 1830));
    std::printf("trend window, offscreen: %zu rows x %zu channels (one hour at %.0f ms)\n",
                hour->Size(), hour->Channels().size(), kPeriod * 1e3);

    // The window as a fitter has it open, empty until the file arrives.
    TrendWindow window(std::make_shared<const TrendData>(test::WarmUpChannels()));
    window.show();
    for (int i = 0; i < 5; ++i)
        QCoreApplication::processEvents();

    // Into the window showing the same channels (a recording or another file before), and
    // into a window whose plots are made for it.
    const auto replay = [&](bool samePlots) {
        std::vector<double> loaded, painted;
        for (int i = 0; i < kRuns; ++i) {
            window.SetData(std::make_shared<const TrendData>(
                samePlots ? test::WarmUpChannels() : std::vector<TrendChannel>{{"-", ""}}));
            for (int pass = 0; pass < 3; ++pass)
                QCoreApplication::processEvents();
            const auto start = Clock::now();
            window.SetData(hour);
            loaded.push_back(since(start));
            // The plots laid out at their width, thinned again to it, then painted (grab()
            // paints now, as the screen would on the next frame).
            for (int pass = 0; pass < 3; ++pass)
                QCoreApplication::processEvents();
            const QPixmap picture = window.grab();
            painted.push_back(since(start));
        }
        std::printf("  replay of the hour into %s: %.1f ms into the plots, %.1f ms until laid "
                    "out and painted (median of %d; target under 1000 ms)\n",
                    samePlots ? "the open window" : "new plots", median(loaded) * 1e3,
                    median(painted) * 1e3, kRuns);
    };
    replay(true);
    replay(false);

    // Live: the same hour recorded so far, one more row, the last minute redrawn.
    auto growing = std::make_shared<TrendData>(test::WarmUp(kHour, kPeriod, 1800, 1830));
    window.SetData(growing);
    window.SetLive(true);
    QCoreApplication::processEvents();
    std::vector<double> refreshed, refreshedPainted;
    std::vector<double> row(growing->Channels().size(), 0);
    for (int i = 0; i < 20; ++i) {
        for (std::size_t c = 0; c < row.size(); ++c)
            row[c] = growing->Value(growing->Size() - 1, c);
        growing->Append(growing->Seconds(growing->Size() - 1) + kPeriod, row);
        const auto start = Clock::now();
        window.Refresh();
        refreshed.push_back(since(start));
        const QPixmap picture = window.grab();
        refreshedPainted.push_back(since(start));
    }
    std::printf("  live refresh with the hour behind it: %.2f ms into the plots, %.1f ms until "
                "painted (median of 20; the tick is 350 ms)\n",
                median(refreshed) * 1e3, median(refreshedPainted) * 1e3);
}

} // namespace zef::bench
