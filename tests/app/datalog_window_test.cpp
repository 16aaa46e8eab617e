// "Журнал" on the window against the simulated controller with its engine running: the
// recording's file, its rows within the monitor tick or at a shorter period, no rows while the
// controller is silent, a clean end on "Close COM", and a disk that refuses the rows.
#include "app/main_window.h"
#include "app/map_chart.h"
#include "datalog/channels.h"
#include "datalog/datalog_csv.h"
#include "datalog/recorder.h"
#include "datalog/trend_plot.h"
#include "datalog/trend_window.h"
#include "files/disk_faults.h"
#include "files/identity.h"
#include "session/controller_session.h"
#include "support/scripted_prompts.h"
#include "support/sim_ports.h"

#include <QAction>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QScatterSeries>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

using namespace zef;
using namespace std::chrono_literals;

namespace {

// Set in the child process that records under a file-size limit: the file to record into.
constexpr char kChildFileVariable[] = "ZEF_DATALOG_CHILD_FILE";

class DatalogWindow : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        form.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    }
    void TearDown() override {
        if (form.Connected())
            form.Close_COMClick();
    }
    void connectCom1() {
        form.ConnectToPort(1);
        ASSERT_TRUE(form.Connected());
    }
    void startRecording(const QString& path) {
        prompts.files << path;
        ASSERT_TRUE(form.StartRecordingAction->isEnabled());
        form.StartRecordingAction->trigger();
        ASSERT_TRUE(form.Recording()) << prompts.messages.join("\n").toStdString();
    }
    // Waits for rows rather than for a time: a loaded machine ticks late, never early.
    [[nodiscard]] bool rowsWritten(qint64 count) {
        return QTest::qWaitFor(
            [&] { return form.Recorder() && form.Recorder()->Writer().Rows() >= count; }, 30000);
    }
    std::vector<DatalogRow> rowsOf(const QString& path) {
        const auto read = ReadDatalogCsv(path);
        EXPECT_TRUE(read) << read.error().toStdString();
        return read ? *read : std::vector<DatalogRow>{};
    }
    static double MedianInterval(const std::vector<DatalogRow>& rows) {
        std::vector<double> intervals;
        for (std::size_t i = 1; i < rows.size(); ++i)
            intervals.push_back(rows[i].seconds - rows[i - 1].seconds);
        std::sort(intervals.begin(), intervals.end());
        return intervals.empty() ? 0 : intervals[intervals.size() / 2];
    }

    QTemporaryDir dir;
    test::SimPorts ports;
    ControllerSession session{ports, Threading::Caller, 5ms};
    SerialChannel& channel = session.Channel();
    RegisterExchange& link = session.Link();
    test::ScriptedPrompts prompts;
    TForm1 form{session, prompts, dir.path(), [] { return QDate(2026, 12, 7); }};
};

TEST_F(DatalogWindow, the_menu_follows_the_session_and_the_recording) {
    EXPECT_FALSE(form.StartRecordingAction->isEnabled());
    EXPECT_FALSE(form.StopRecordingAction->isEnabled());
    connectCom1();
    EXPECT_TRUE(form.StartRecordingAction->isEnabled());
    EXPECT_FALSE(form.StopRecordingAction->isEnabled());
    startRecording(dir.filePath("menu.csv"));
    EXPECT_FALSE(form.StartRecordingAction->isEnabled());
    EXPECT_TRUE(form.StopRecordingAction->isEnabled());
    EXPECT_FALSE(form.findChild<QMenu*>("RecordingPeriod")->isEnabled());
    form.StopRecordingAction->trigger();
    EXPECT_FALSE(form.Recording());
    EXPECT_TRUE(form.StartRecordingAction->isEnabled());
    EXPECT_FALSE(form.StopRecordingAction->isEnabled());
    EXPECT_TRUE(prompts.messages.isEmpty()) << prompts.messages.join("\n").toStdString();
}

TEST_F(DatalogWindow, the_save_dialog_proposes_serial_and_time_in_the_documents_folder) {
    connectCom1();
    prompts.files << QString(); // cancelled: nothing recorded
    const QDateTime before = QDateTime::currentDateTime();
    form.StartRecordingAction->trigger();
    EXPECT_FALSE(form.Recording());
    ASSERT_EQ(prompts.proposals.size(), 1);
    const QString proposed = prompts.proposals.front();
    const QFileInfo info(proposed);
    EXPECT_EQ(QDir::cleanPath(info.absolutePath()),
              QDir::cleanPath(QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation)));
    // The simulated controller's serial number, made fit for a file name.
    const QString prefix = "ZEF-K7LX_SN_05.02_00123_";
    EXPECT_TRUE(info.fileName().startsWith(prefix)) << proposed.toStdString();
    EXPECT_TRUE(info.fileName().endsWith(".csv")) << proposed.toStdString();
    const QDateTime named =
        QDateTime::fromString(info.fileName().mid(prefix.size()).chopped(4), "yyyy-MM-dd_HH-mm-ss");
    ASSERT_TRUE(named.isValid()) << proposed.toStdString();
    EXPECT_LE(std::abs(named.secsTo(before)), 5);
}

TEST(DatalogName, a_controller_without_a_serial_number_records_as_blank) {
    const QDateTime at(QDate(2026, 12, 8), QTime(9, 5, 7));
    EXPECT_EQ(DefaultDatalogName(std::nullopt, at), "blank_2026-12-08_09-05-07.csv");
    EXPECT_EQ(DefaultDatalogName(QString::fromLatin1(kBlankSerial), at),
              "blank_2026-12-08_09-05-07.csv");
    EXPECT_EQ(DefaultDatalogName(QString("AB/CD 7"), at), "AB_CD_7_2026-12-08_09-05-07.csv");
}

TEST_F(DatalogWindow, rows_come_with_each_monitor_tick_in_one_burst_and_end_whole_on_close_com) {
    connectCom1();
    // Pinned registers make the columns exact: the window writes what the controller sent.
    ports.sim->WithModel([](sim::ControllerModel& m) {
        m.PinLive(162, 2345);
        m.PinLive(198, 3433);
        m.PinLive(186, 1077);
    });
    const QString path = dir.filePath("ticks.csv");
    startRecording(path);
    ports.sim->ClearFrames();
    QElapsedTimer elapsed;
    elapsed.start();
    ASSERT_TRUE(rowsWritten(5));
    const double seconds = elapsed.elapsed() / 1000.0;
    const auto frames = ports.sim->Frames();
    form.Close_COMClick();
    EXPECT_FALSE(form.Recording());
    EXPECT_FALSE(form.StopRecordingAction->isEnabled());
    EXPECT_TRUE(prompts.messages.isEmpty()) << prompts.messages.join("\n").toStdString();

    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    EXPECT_TRUE(bytes.startsWith(DatalogHeaderLine()));
    EXPECT_TRUE(bytes.endsWith('\n'));
    const auto rows = rowsOf(path);
    // One row a tick; the machine may be slow, never faster than the tick.
    EXPECT_GE(rows.size(), 3u);
    EXPECT_LE(static_cast<double>(rows.size()), seconds / 0.35 + 2);
    EXPECT_GE(MedianInterval(rows), 0.3);
    for (const DatalogRow& row : rows) {
        EXPECT_EQ(row.values[0], 2345);
        EXPECT_NEAR(row.values[8], 70.3, 1e-9);
        EXPECT_NEAR(row.values[4], 5.3, 1e-9);
    }
    ASSERT_TRUE(form.RecordedTrend());
    EXPECT_EQ(form.RecordedTrend()->Size(), rows.size());

    // The tick's own exchanges are as they were; the row's burst follows its closing read.
    std::size_t bursts = 0;
    const auto channels = DatalogChannels();
    for (std::size_t i = 0; i < frames.size(); ++i) {
        if (frames[i][1] != 226)
            continue;
        ASSERT_GE(i, 10u);
        EXPECT_EQ(frames[i - 10][1], 76) << i;
        if (i + channels.size() >= frames.size())
            break;
        for (std::size_t c = 0; c < channels.size(); ++c)
            EXPECT_EQ(frames[i + 1 + c][1], channels[c].address) << "after the tick at " << i;
        ++bursts;
    }
    EXPECT_GE(bursts + 1, rows.size());
}

TEST_F(DatalogWindow, a_shorter_period_reads_rows_between_the_ticks) {
    connectCom1();
    form.SetRecordingPeriod(100ms);
    EXPECT_EQ(form.RecordingPeriod(), 100ms);
    const QString path = dir.filePath("fast.csv");
    startRecording(path);
    ASSERT_TRUE(rowsWritten(10));
    form.StopRecordingAction->trigger();
    const auto rows = rowsOf(path);
    EXPECT_GE(rows.size(), 10u);
    // Rows at 100 ms, with room for a loaded machine; at the tick's period they would be 350.
    EXPECT_LT(MedianInterval(rows), 0.25);
    EXPECT_GE(MedianInterval(rows), 0.09);

    // Below the line's limit is the line's limit.
    form.SetRecordingPeriod(1ms);
    EXPECT_EQ(form.RecordingPeriod(), TForm1::FastestRecordingPeriod());
}

TEST_F(DatalogWindow, a_silent_controller_gives_no_rows_and_leaves_a_gap) {
    connectCom1();
    const QString path = dir.filePath("silent.csv");
    startRecording(path);
    ASSERT_TRUE(rowsWritten(3));
    ports.sim->SetFault({sim::Fault::Silent});
    ASSERT_TRUE(QTest::qWaitFor([&] { return form.Supervisor().IsLost(); }, 15000));
    const qint64 before = form.Recorder()->Writer().Rows();
    ports.sim->SetFault({});
    ASSERT_TRUE(rowsWritten(before + 3));
    form.StopRecordingAction->trigger();
    EXPECT_TRUE(prompts.messages.isEmpty()) << prompts.messages.join("\n").toStdString();
    const auto rows = rowsOf(path);
    ASSERT_GE(rows.size(), 3u);
    double widest = 0;
    for (std::size_t i = 1; i < rows.size(); ++i)
        widest = std::max(widest, rows[i].seconds - rows[i - 1].seconds);
    EXPECT_GE(widest, 2 * 0.35) << "no tick's row missing";
    // Every row is whole and real: an engine near idle or in a blip, never a stale zero.
    for (const DatalogRow& row : rows) {
        EXPECT_GT(row.values[0], 700);
        EXPECT_GT(row.values[9], 13);
    }
    ASSERT_TRUE(form.RecordedTrend());
    std::size_t gaps = 0;
    for (std::size_t r = 1; r < form.RecordedTrend()->Size(); ++r)
        gaps += form.RecordedTrend()->GapBefore(r) ? 1 : 0;
    EXPECT_GE(gaps, 1u);
}

TEST_F(DatalogWindow, a_file_that_cannot_be_created_is_said_and_nothing_records) {
    connectCom1();
    prompts.files << dir.filePath("no/such/folder/log.csv");
    form.StartRecordingAction->trigger();
    EXPECT_FALSE(form.Recording());
    ASSERT_EQ(prompts.messages.size(), 1);
    EXPECT_TRUE(prompts.messages.front().contains(QString::fromLocal8Bit(std::strerror(ENOENT))))
        << prompts.messages.front().toStdString();
    EXPECT_TRUE(form.StartRecordingAction->isEnabled());
}

TEST_F(DatalogWindow, an_existing_file_is_replaced_only_when_the_user_says_so) {
    connectCom1();
    const QString path = dir.filePath("old.csv");
    {
        QFile old(path);
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        ASSERT_EQ(old.write("old"), 3);
    }
    prompts.files << path;
    prompts.answers.push_back(false);
    form.StartRecordingAction->trigger();
    EXPECT_FALSE(form.Recording());
    EXPECT_EQ(prompts.questions.size(), 1);
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), "old");
}

// Runs only in the child process that the next test starts under a file-size limit.
TEST_F(DatalogWindow, child_records_until_the_disk_refuses) {
    const QString path = qEnvironmentVariable(kChildFileVariable);
    if (path.isEmpty())
        GTEST_SKIP() << "runs in a child process under a file-size limit";
    connectCom1();
    startRecording(path);
    QElapsedTimer waited;
    waited.start();
    while (form.Recording() && waited.elapsed() < 20000)
        QTest::qWait(50);
    ASSERT_FALSE(form.Recording()) << "still recording after 20 s";
    ASSERT_EQ(prompts.messages.size(), 1);
    std::fprintf(stderr, "%s\n", qPrintable(prompts.messages.front()));
    EXPECT_FALSE(form.StopRecordingAction->isEnabled());
    EXPECT_TRUE(form.StartRecordingAction->isEnabled());
    EXPECT_TRUE(form.Connected()) << "the session goes on";
}

TEST(DatalogWindowFaults, a_full_disk_stops_the_recording_with_its_reason_and_whole_rows) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath("limited.csv");
    qputenv(kChildFileVariable, path.toLocal8Bit());
    // The header and a few rows.
    const rlim_t limit = static_cast<rlim_t>(DatalogHeaderLine().size() + 450);
    const auto child = test::RunUnderFileSizeLimit(
        QCoreApplication::applicationFilePath(),
        {"--gtest_filter=DatalogWindow.child_records_until_the_disk_refuses"}, limit);
    qunsetenv(kChildFileVariable);
    ASSERT_TRUE(child.finished);
    const std::string output = child.errorOutput.toStdString();
    EXPECT_EQ(child.exitCode, 0) << output;
    EXPECT_TRUE(child.errorOutput.contains("Запись журнала остановлена")) << output;
    EXPECT_TRUE(child.errorOutput.contains(std::strerror(EFBIG))) << output;
    const auto read = ReadDatalogCsv(path);
    ASSERT_TRUE(read) << read.error().toStdString();
    EXPECT_GE(read->size(), 2u);
    EXPECT_TRUE(child.errorOutput.contains(QStringLiteral("Строк в файле: %1").arg(read->size())))
        << output;
}

} // namespace

namespace {

TEST_F(DatalogWindow, the_trend_follows_the_recording_live) {
    connectCom1();
    form.TrendAction->trigger();
    ASSERT_NE(form.Trend(), nullptr);
    EXPECT_TRUE(form.Trend()->isVisible());
    startRecording(dir.filePath("live.csv"));
    EXPECT_TRUE(form.Trend()->IsLive());
    // Plots redrawn with every row take their time on a loaded machine: wait for rows, not for
    // a time.
    EXPECT_TRUE(QTest::qWaitFor([&] { return form.RecordedTrend()->Size() >= 2; }, 15000));
    EXPECT_EQ(&form.Trend()->Data(), form.RecordedTrend().get());
    EXPECT_GE(form.Trend()->Data().Size(), 2u);
    form.Close_COMClick();
    EXPECT_FALSE(form.Trend()->IsLive());
}

TEST_F(DatalogWindow, a_recording_replays_into_the_trend_without_a_controller) {
    // Recorded on the simulator first, then opened with the port closed.
    connectCom1();
    const QString path = dir.filePath("replay.csv");
    startRecording(path);
    ASSERT_TRUE(rowsWritten(3));
    form.Close_COMClick();
    const auto written = rowsOf(path);
    ASSERT_GE(written.size(), 2u);

    ASSERT_FALSE(form.Connected());
    EXPECT_TRUE(form.OpenRecordingAction->isEnabled());
    prompts.files << path;
    QSignalSpy opened(&form, &TForm1::recordingOpened);
    form.OpenRecordingAction->trigger();
    ASSERT_TRUE(opened.wait());
    EXPECT_TRUE(opened.front().front().toBool());
    EXPECT_TRUE(prompts.messages.isEmpty()) << prompts.messages.join("\n").toStdString();
    ASSERT_NE(form.Trend(), nullptr);
    EXPECT_TRUE(form.Trend()->isVisible());
    EXPECT_FALSE(form.Trend()->IsLive());
    const TrendData& shown = form.Trend()->Data();
    ASSERT_EQ(shown.Size(), written.size());
    ASSERT_EQ(shown.Channels().size(), DatalogChannels().size());
    for (std::size_t r = 0; r < written.size(); ++r)
        for (std::size_t c = 0; c < DatalogChannels().size(); ++c)
            EXPECT_EQ(shown.Value(r, c), written[r].values[c]) << r << ", " << c;
    // And the live recording is one menu item away.
    form.TrendAction->trigger();
    EXPECT_EQ(&form.Trend()->Data(), form.RecordedTrend().get());
}

TEST_F(DatalogWindow, a_malformed_recording_is_refused_with_its_line_and_nothing_shown) {
    const QString path = dir.filePath("bad.csv");
    {
        QFile bad(path);
        ASSERT_TRUE(bad.open(QIODevice::WriteOnly));
        bad.write(DatalogHeaderLine() + "2026-12-08T10:00:00.000+00:00,0.000,850,x\n");
    }
    prompts.files << path;
    QSignalSpy opened(&form, &TForm1::recordingOpened);
    form.OpenRecordingAction->trigger();
    ASSERT_TRUE(opened.wait());
    EXPECT_FALSE(opened.front().front().toBool());
    ASSERT_EQ(prompts.messages.size(), 1);
    EXPECT_TRUE(prompts.messages.front().contains("строка 2:"))
        << prompts.messages.front().toStdString();
    EXPECT_TRUE(form.Trend() == nullptr || !form.Trend()->isVisible());
}

// The fitter's markers: "M" while recording marks the next row in the file, in the trend's list
// and on its plots; the file opened again lists the same; the recording's points go on the map
// and off it again.
TEST_F(DatalogWindow, markers_reach_the_file_the_trend_and_come_back_with_it) {
    connectCom1();
    const QString path = dir.filePath("marks.csv");
    startRecording(path);
    form.TrendAction->trigger();
    const auto marksAre = [&](std::size_t n) {
        return QTest::qWaitFor([&] { return form.RecordedTrend()->Marks().size() == n; }, 15000);
    };
    EXPECT_TRUE(form.MarkAction->isEnabled());
    form.MarkAction->trigger();
    ASSERT_TRUE(marksAre(1));
    ASSERT_TRUE(form.MarkRecording("подъём, 3-я"));
    ASSERT_TRUE(marksAre(2));
    const auto recorded = form.RecordedTrend()->Marks();
    EXPECT_EQ(form.Trend()->MarkList()->count(), 2);
    EXPECT_FALSE(form.Trend()->Plot(0)->MarkXs().empty());

    auto* chart = form.findChild<MapChart*>();
    ASSERT_NE(chart, nullptr);
    form.SetRecordingOnMap(true);
    ASSERT_NE(chart->RecordingPoints(), nullptr);
    EXPECT_GT(chart->RecordingPoints()->count(), 0);

    form.StopRecording();
    EXPECT_FALSE(form.MarkAction->isEnabled());
    QSignalSpy opened(&form, &TForm1::recordingOpened);
    ASSERT_TRUE(form.OpenRecordingFrom(path));
    ASSERT_TRUE(opened.wait());
    const auto& replayed = form.Trend()->Data().Marks();
    ASSERT_EQ(replayed.size(), 2u);
    for (std::size_t i = 0; i < 2; ++i) {
        EXPECT_NEAR(replayed[i].seconds, recorded[i].seconds, 5e-4) << i;
        EXPECT_EQ(replayed[i].text, recorded[i].text) << i;
    }
    EXPECT_EQ(replayed[0].text, "Метка 1");
    // Under the lowest plot's seconds, the clock time of each tick.
    const QStringList clock = form.Trend()->Plot(DatalogChannels().size() - 1)->ClockLabels();
    ASSERT_FALSE(clock.isEmpty());
    for (qsizetype i = 0; i < clock.size(); ++i) {
        const bool time = QTime::fromString(clock[i], "HH:mm:ss.zzz").isValid() ||
                          QTime::fromString(clock[i], "HH:mm:ss").isValid();
        EXPECT_TRUE(time) << clock[i].toStdString();
        EXPECT_TRUE(i == 0 || clock[i - 1] < clock[i]) << clock[i].toStdString();
    }
    // Beside each shown channel the figures of the stretch shown; a hidden one has none.
    const auto [shownFrom, shownTo] = form.Trend()->TimeRange();
    const auto speed = form.Trend()->Data().Figures(0, shownFrom, shownTo);
    ASSERT_TRUE(speed);
    EXPECT_EQ(form.Trend()->Figure(0, 0).toDouble(), std::round(speed->min));
    EXPECT_EQ(form.Trend()->Figure(0, 1).toDouble(), std::round(speed->max));
    form.Trend()->SetChannelShown(0, false);
    EXPECT_TRUE(form.Trend()->Figure(0, 2).isEmpty());
    form.Trend()->SetChannelShown(0, true);
    form.Trend()->GoToMark(1);
    const auto [from, to] = form.Trend()->TimeRange();
    EXPECT_NEAR((from + to) / 2, replayed[1].seconds, 1e-6);
    form.SetRecordingOnMap(false);
    EXPECT_EQ(chart->RecordingPoints()->count(), 0);
}

// A cancelled opening shows nothing and says nothing, whatever the reading had done by then.
TEST_F(DatalogWindow, a_cancelled_opening_leaves_the_trend_as_it_was) {
    const QString path = dir.filePath("long.csv");
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(DatalogHeaderLine());
        const QDateTime start = QDateTime::currentDateTime();
        for (int i = 0; i < 5000; ++i)
            file.write(DatalogRowLine({start.addMSecs(100LL * i),
                                       0.1 * i,
                                       std::vector<double>(DatalogChannels().size(), 0),
                                       {}}));
    }
    QSignalSpy opened(&form, &TForm1::recordingOpened);
    ASSERT_TRUE(form.OpenRecordingFrom(path));
    EXPECT_TRUE(form.Opening());
    form.CancelOpening();
    EXPECT_FALSE(form.Opening());
    ASSERT_EQ(opened.size(), 1);
    EXPECT_FALSE(opened.front().front().toBool());
    // The reader has stopped: whatever it had posted is handled now, and ignored.
    QCoreApplication::processEvents();
    EXPECT_EQ(opened.size(), 1);
    EXPECT_TRUE(form.Trend() == nullptr || !form.Trend()->isVisible());
    EXPECT_TRUE(prompts.messages.isEmpty()) << prompts.messages.join("\n").toStdString();
}

} // namespace
