// What the datalog costs: the wall time a recorded row adds to a monitor tick against the line
// time of its exchanges, the fastest period the link sustains for a row, and the time to read
// back an hour's recording into trend data. Against zef-sim on a pseudo-terminal with the
// timing of a 19200 baud 8N2 line, through the real serial port code.

#include "bench/benches.h"
#include "bench/device_link.h"

#include "app/map_chart.h"
#include "app/map_editor.h"
#include "app/monitor.h"
#include "datalog/channels.h"
#include "datalog/datalog_trend.h"
#include "datalog/recorder.h"
#include "datalog/trend_window.h"
#include "link/qt_serial_backend.h"
#include "session/tick.h"

#include <QCoreApplication>
#include <QPixmap>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

namespace zef::bench {

namespace {

using Clock = std::chrono::steady_clock;

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

// Each tick's wall time, with a row recorded at its end or without.
std::vector<double> TickSeconds(ControllerSession& session, MapEditor& editor, MapChart& chart,
                                DatalogRecorder* recorder, int ticks) {
    QObject receiver;
    MonitorCycle monitor(
        session, receiver, editor,
        {[](const QString&) {}, [&] { chart.CentreMarkerOn(chart.ValueToPixel(850, 2.5)); }});
    monitor.SetAfterTick([&](std::optional<ReadRow> row) {
        if (recorder && row && !recorder->Write(std::move(*row)))
            std::fprintf(stderr, "the benchmark's datalog failed\n");
    });
    std::vector<double> seconds;
    for (int i = 0; i < ticks; ++i) {
        const auto start = Clock::now();
        monitor.Tick(recorder ? recorder->RowReader() : MonitorCycle::RowReader{});
        seconds.push_back(std::chrono::duration<double>(Clock::now() - start).count());
    }
    return seconds;
}

} // namespace

void PrintDatalogFigures(const std::string& device, double lineLimitSeconds) {
    DeviceLink line(device);
    SerialChannel& channel = line.channel;
    RegisterExchange& link = line.link;
    QTemporaryDir dir;
    if (!channel.Open(1, 19200) || !dir.isValid()) {
        std::printf("datalog: not run, the simulator's port did not open\n");
        return;
    }
    const double channels = static_cast<double>(DatalogChannels().size());
    const double rowLine = channels * lineLimitSeconds;
    MapChart chart;
    chart.resize(420, 260);
    MapEditor editor(link, chart);
    editor.LoadMap();

    constexpr int kTicks = 60;
    DatalogRecorder recorder(dir.filePath("ticks.csv"));
    if (!recorder.Open()) {
        std::printf("datalog: not run, the file did not open\n");
        return;
    }
    // Alternating runs, so that a busy moment of the machine falls on both alike.
    std::vector<double> plain, recording;
    for (int round = 0; round < 3; ++round) {
        for (double s : TickSeconds(line.session, editor, chart, nullptr, kTicks / 3))
            plain.push_back(s);
        for (double s : TickSeconds(line.session, editor, chart, &recorder, kTicks / 3))
            recording.push_back(s);
    }
    const double extra = Median(recording) - Median(plain);
    std::printf("datalog row in the monitor tick: tick %.1f ms without, %.1f ms with a row "
                "(medians of %d); the row adds %.1f ms = %.2f x the line time of its %.0f "
                "exchanges (%.1f ms; target <= 1.1 x)\n",
                Median(plain) * 1e3, Median(recording) * 1e3, kTicks, extra * 1e3, extra / rowLine,
                channels, rowLine * 1e3);
    // What one exchange costs on this machine beyond the line, for telling the row's share
    // apart from the link's.
    std::printf("  an exchange of the row %.2f ms against %.2f ms of the tick's own 11 (%.2f x)\n",
                extra * 1e3 / channels, Median(plain) * 1e3 / 11,
                (extra / channels) / (Median(plain) / 11));

    // Rows back to back, each read and written as the recording timer does at its shortest
    // period: what the link sustains.
    constexpr int kRows = 200;
    DatalogRecorder fast(dir.filePath("fast.csv"));
    if (!fast.Open()) {
        std::printf("datalog: not run, the file did not open\n");
        return;
    }
    int answered = 0;
    const auto start = Clock::now();
    for (int i = 0; i < kRows; ++i) {
        const auto row = fast.Record(link);
        answered += row && *row ? 1 : 0;
    }
    const double rowSeconds = std::chrono::duration<double>(Clock::now() - start).count() / kRows;
    (void)fast.Close();
    // The same reads without the file, for what the link alone gives on this machine.
    const auto bare = Clock::now();
    for (int i = 0; i < kRows; ++i)
        (void)ReadDatalogRow(link);
    const double bareSeconds = std::chrono::duration<double>(Clock::now() - bare).count() / kRows;
    std::printf("fastest recording period: %.1f ms a row (%d of %d rows whole) against the line "
                "limit of %.1f ms for %.0f channels = %.1f %% of the line limit (target >= 90 "
                "%%); the menu offers %lld ms\n",
                rowSeconds * 1e3, answered, kRows, rowLine * 1e3, channels,
                100.0 * rowLine / rowSeconds,
                static_cast<long long>(
                    KeptDatalogPeriod(MonitorLineShare(std::chrono::milliseconds(350))).count()));
    std::printf("  the reads alone, without the file: %.1f ms a row = %.1f %% of the line limit\n",
                bareSeconds * 1e3, 100.0 * rowLine / bareSeconds);

    // An hour at the tick's period, written by the program's own writer from the simulated
    // engine's rows, then read back.
    const int hourRows = static_cast<int>(3600 / 0.350);
    const QString hourPath = dir.filePath("hour.csv");
    {
        DatalogWriter writer(hourPath);
        if (!writer.Open()) {
            std::printf("datalog: not run, the file did not open\n");
            return;
        }
        std::vector<double> values;
        const QDateTime t0 = QDateTime::currentDateTime();
        for (int i = 0; i < hourRows; ++i) {
            DatalogRow row{t0.addMSecs(350LL * i), 0.35 * i, {}, {}};
            for (const DatalogChannel& c : DatalogChannels())
                row.values.push_back(
                    ChannelValue(c, static_cast<std::uint16_t>(c.address * 13 + i % 997)));
            if (!writer.Append(row)) {
                std::printf("datalog: not run, the hour's file could not be written\n");
                return;
            }
        }
        (void)writer.Close();
    }
    const auto readStart = Clock::now();
    const auto rows = ReadDatalogCsv(hourPath);
    const double readSeconds = std::chrono::duration<double>(Clock::now() - readStart).count();
    if (!rows) {
        std::printf("datalog: the hour's file did not read: %s\n", qPrintable(rows.error()));
        return;
    }
    const auto trendStart = Clock::now();
    const TrendData trend = DatalogTrend(*rows);
    const double trendSeconds = std::chrono::duration<double>(Clock::now() - trendStart).count();
    // The whole replay as "Открыть запись..." makes it: the file read, its trend data, and the
    // trend window laid out and painted with it (grab() paints now, as the screen would).
    TrendWindow window(
        std::make_shared<const TrendData>(DatalogTrend(std::chrono::milliseconds(350))));
    window.show();
    for (int i = 0; i < 5; ++i)
        QCoreApplication::processEvents();
    const auto replayStart = Clock::now();
    const auto replayed = ReadDatalogCsv(hourPath);
    window.SetData(std::make_shared<const TrendData>(DatalogTrend(*replayed)));
    for (int pass = 0; pass < 3; ++pass)
        QCoreApplication::processEvents();
    const QPixmap painted = window.grab();
    const double replaySeconds = std::chrono::duration<double>(Clock::now() - replayStart).count();
    std::printf("replay of one hour at 350 ms (%zu rows, %.1f MB): read %.0f ms, into trend data "
                "%.0f ms; file to a painted trend window %.0f ms (target < 1 s; offscreen)\n",
                trend.Size(), static_cast<double>(QFileInfo(hourPath).size()) / 1e6,
                readSeconds * 1e3, trendSeconds * 1e3, replaySeconds * 1e3);
}

} // namespace zef::bench
