// Opening a long recording: the bytes each row keeps once open and at the peak, and the
// longest the window thread is held, for the reading off the window thread against the
// reading of the whole file on it. The file: the hours given at the link's fastest period,
// written as the recorder writes, a marker every hundred thousand rows.

#include "bench/benches.h"

#include "datalog/channels.h"
#include "datalog/datalog_load.h"
#include "datalog/datalog_trend.h"
#include "datalog/trend_window.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QPixmap>
#include <QTemporaryDir>
#include <QTimer>

#include <malloc.h>

#include <algorithm>
#include <chrono>
#include <cstdio>

namespace zef::bench {

namespace {

using Clock = std::chrono::steady_clock;

double HeapBytes() {
    const struct mallinfo2 info = mallinfo2();
    return double(info.uordblks + info.hblkhd);
}

// The longest the window thread went without handling an event, from a timer that asks every
// few milliseconds, and the highest heap seen meanwhile.
class StallWatch {
public:
    StallWatch() {
        m_timer.setInterval(2);
        QObject::connect(&m_timer, &QTimer::timeout, [this] { Look(); });
        m_since.start();
        m_timer.start();
    }
    void Look() {
        m_longest = std::max(m_longest, m_since.nsecsElapsed() / 1e9);
        m_peak = std::max(m_peak, HeapBytes());
        m_since.restart();
    }
    double Longest() const { return m_longest; }
    double Peak() const { return m_peak; }

private:
    QTimer m_timer;
    QElapsedTimer m_since;
    double m_longest = 0;
    double m_peak = 0;
};

bool WriteRecording(const QString& path, std::size_t rows, double period) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    QByteArray text = DatalogHeaderLine();
    const QDateTime start = QDateTime::currentDateTime();
    const auto channels = DatalogChannels();
    DatalogRow row;
    for (std::size_t i = 0; i < rows; ++i) {
        row.seconds = double(i) * period;
        row.time = start.addMSecs(qint64(row.seconds * 1000));
        row.values.clear();
        for (const DatalogChannel& c : channels)
            row.values.push_back(
                ChannelValue(c, static_cast<std::uint16_t>(c.address * 13 + i % 997)));
        row.mark = i % 100000 == 99999 ? QStringLiteral("Метка %1").arg(i / 100000 + 1) : QString();
        text += DatalogRowLine(row);
        if (text.size() > (8 << 20)) {
            if (file.write(text) != text.size())
                return false;
            text.clear();
        }
    }
    return file.write(text) == text.size() && file.flush();
}

} // namespace

void PrintLongRecordingOpen(double hours) {
    QTemporaryDir dir;
    const double period = std::chrono::duration<double>(FastestDatalogPeriod()).count();
    const auto rows = std::size_t(hours * 3600 / period);
    const QString path = dir.filePath("long.csv");
    if (!WriteRecording(path, rows, period)) {
        std::printf("long recording: not run, the file could not be written\n");
        return;
    }
    const double fileMb = double(QFileInfo(path).size()) / 1e6;
    std::printf("long recording: %.0f h at %.0f ms, %zu rows, %.0f MB\n", hours, period * 1e3, rows,
                fileMb);

    TrendWindow window(std::make_shared<const TrendData>(DatalogTrend(FastestDatalogPeriod())));
    window.show();
    for (int i = 0; i < 5; ++i)
        QCoreApplication::processEvents();

    // Off the window thread, as "Открыть запись..." reads it now.
    {
        const double before = HeapBytes();
        StallWatch watch;
        std::shared_ptr<TrendData> trend;
        int tellings = 0;
        bool finished = false;
        QObject receiver;
        const auto start = Clock::now();
        DatalogLoad load(
            path, &receiver, [&](double) { ++tellings; },
            [&](Expected<std::shared_ptr<TrendData>> loaded) {
                finished = true;
                if (loaded)
                    trend = *loaded;
                else
                    std::printf("long recording: refused: %s\n", qPrintable(loaded.error()));
            });
        while (!finished)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        const double readSeconds = std::chrono::duration<double>(Clock::now() - start).count();
        watch.Look();
        const double readingStall = watch.Longest();
        if (!trend)
            return;
        const double kept = (HeapBytes() - before) / double(trend->Size());
        const double peak = (watch.Peak() - before) / double(trend->Size());
        const auto shownStart = Clock::now();
        window.SetData(trend);
        for (int pass = 0; pass < 3; ++pass)
            QCoreApplication::processEvents();
        (void)window.grab();
        const double shown = std::chrono::duration<double>(Clock::now() - shownStart).count();
        std::printf("  off the window thread: read in %.2f s with %d progress events; %.0f B a "
                    "row kept (target <= 120), peak %.0f B a row; window thread held at most "
                    "%.0f ms while reading, then %.0f ms to show the trend (%zu markers)\n",
                    readSeconds, tellings, kept, peak, readingStall * 1e3, shown * 1e3,
                    trend->Marks().size());
        window.SetData(std::make_shared<const TrendData>(DatalogTrend(FastestDatalogPeriod())));
    }

    // The whole file read on the window thread into rows, then into trend data, as before.
    {
        const double before = HeapBytes();
        const auto start = Clock::now();
        auto read = ReadDatalogCsv(path);
        if (!read)
            return;
        const TrendData trend = DatalogTrend(*read);
        const double peak = (HeapBytes() - before) / double(trend.Size());
        const double held = std::chrono::duration<double>(Clock::now() - start).count();
        std::printf("  on the window thread, whole file to rows to trend data: held %.2f s, peak "
                    "%.0f B a row\n",
                    held, peak);
    }
}

} // namespace zef::bench
