#include "app/map_chart.h"
#include "app/map_editor.h"
#include "app/monitor.h"
#include "session/controller_session.h"
#include "support/sim_ports.h"

#include <QLineSeries>
#include <QTest>
#include <gtest/gtest.h>

using namespace zef;
using namespace std::chrono_literals;

namespace {

class MapAndMonitor : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(channel.Open(1, 19200));
        chart.resize(420, 260);
        chart.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&chart));
        editor.SetReplyObserver([this](ParamValue speed, ParamValue ms) {
            replySpeed = speed;
            replyMs = ms;
        });
    }

    void setParam(std::uint8_t address, std::uint16_t value) {
        ports.sim->WithModel([&](sim::ControllerModel& m) { m.SetParam(address, value); });
    }
    std::uint16_t param(std::uint8_t address) {
        return ports.sim->WithModel([&](sim::ControllerModel& m) { return m.Param(address); });
    }
    void pin(std::uint8_t address, std::uint16_t value) {
        ports.sim->WithModel([&](sim::ControllerModel& m) { m.PinLive(address, value); });
    }
    std::vector<int> addresses() {
        std::vector<int> out;
        for (const auto& f : ports.sim->Frames())
            out.push_back(f[1]);
        return out;
    }
    std::vector<Frame> writes() {
        std::vector<Frame> out;
        for (const auto& f : ports.sim->Frames())
            if (f[0] == static_cast<std::uint8_t>(Command::WriteParam))
                out.push_back(f);
        return out;
    }

    test::SimPorts ports;
    ControllerSession session{ports, Threading::Caller, 5ms};
    SerialChannel& channel = session.Channel();
    RegisterExchange& link = session.Link();
    MapChart chart;
    MapEditor editor{link, chart};
    QString status;
    QObject receiver;
    MonitorCycle monitor{
        session, receiver, editor, {[this](const QString& s) { status = s; }, [] {}}};
    ParamValue replySpeed = -1, replyMs = -1;
};

TEST_F(MapAndMonitor, load_reads_eight_points_with_the_first_two_from_one_reply) {
    bool started = false;
    editor.SetLoadedObserver([&] { started = true; });
    editor.LoadMap();
    EXPECT_TRUE(started);
    ASSERT_EQ(chart.PointCount(), 8);
    EXPECT_EQ(addresses(), (std::vector<int>{7, 234, 238, 242, 246, 250, 254}));
    EXPECT_DOUBLE_EQ(chart.PointY(0), param(7) / 1000.0);
    EXPECT_DOUBLE_EQ(chart.PointY(1), param(7) / 1000.0);
    for (int i = 2; i <= 7; ++i)
        EXPECT_DOUBLE_EQ(chart.PointY(i), param(static_cast<std::uint8_t>(i + 6)) / 1000.0) << i;
    const double xs[] = {0, 500, 1000, 1500, 2000, 3000, 4000, 6000};
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(chart.Series1()->at(i).x(), xs[i]);
}

TEST_F(MapAndMonitor, arrows_respect_the_limits_in_whole_microseconds) {
    struct Case {
        bool raise;
        std::uint16_t stored;
        std::optional<std::uint16_t> written;
    };
    const Case cases[] = {
        {true, 7950, 8000},  {true, 8000, {}},  {true, 7960, {}},  {true, 3500, 3550},
        {false, 1050, 1000}, {false, 1000, {}}, {false, 1040, {}}, {false, 2000, 1950},
    };
    for (const auto& c : cases) {
        setParam(9, c.stored); // the 1500 rpm point, read back through live register 238
        editor.LoadMap();
        ports.sim->ClearFrames();
        if (c.raise)
            editor.RaiseMapPoint(3);
        else
            editor.LowerMapPoint(3);
        const auto w = writes();
        if (c.written) {
            ASSERT_EQ(w.size(), 1u) << c.stored;
            EXPECT_EQ(w[0], BuildRequest(Command::WriteParam, 9, *c.written)) << c.stored;
        } else {
            EXPECT_TRUE(w.empty()) << c.stored;
        }
        // The chart keeps the controller's value until the next refresh reads it back.
        EXPECT_DOUBLE_EQ(chart.PointY(3), c.stored / 1000.0);
    }
}

TEST_F(MapAndMonitor, point_500_is_parameter_seven_and_refresh_shows_the_new_value) {
    setParam(7, 2500);
    editor.LoadMap();
    editor.RaiseMapPoint(1);
    EXPECT_EQ(param(7), 2550);
    EXPECT_DOUBLE_EQ(chart.PointY(1), 2.5);
    editor.ShowRefreshed(ReadMapPoints(link));
    EXPECT_DOUBLE_EQ(chart.PointY(0), 2.55);
    EXPECT_DOUBLE_EQ(chart.PointY(1), 2.55);
}

TEST_F(MapAndMonitor, map_write_reply_sets_engine_speed_and_injection_time) {
    pin(162, 3000);
    pin(72, 4210);
    editor.LoadMap();
    editor.RaiseMapPoint(7);
    EXPECT_EQ(replySpeed, 3000);
    EXPECT_EQ(replyMs, 4.21L);
}

TEST_F(MapAndMonitor, arrows_on_an_empty_map_send_nothing) {
    for (int i = 1; i <= 7; ++i) {
        editor.RaiseMapPoint(i);
        editor.LowerMapPoint(i);
    }
    EXPECT_TRUE(ports.sim->Frames().empty());
    EXPECT_EQ(replySpeed, -1);
}

TEST_F(MapAndMonitor, one_tick_reads_status_correction_map_and_closing_register) {
    struct Case {
        std::uint16_t r76, r77, r182, r186;
        std::vector<int> frames;
        QString status;
    };
    const std::vector<int> map = {7, 234, 238, 242, 246, 250, 254};
    auto with = [&](std::vector<int> head, int tail) {
        head.insert(head.end(), map.begin(), map.end());
        head.push_back(tail);
        return head;
    };
    const Case cases[] = {
        {0x80, 0x02, 1030, 1077, with({76, 77}, 180), "=== РЕЖИМ УСТАНОВКИ ==="},
        {0x80, 0x00, 1030, 1077, with({76, 77}, 180), "=== РЕЖИМ УСТАНОВКИ ==="},
        {0x7F, 0x02, 1030, 1077, with({76, 77, 186}, 226), "Датчик кислорода 5.30 %"},
        {0x7F, 0xFD, 999, 1077, with({76, 77, 182}, 226), "Ручная подстройка  -2.50 %"},
        {0x00, 0x00, 0, 1077, with({76, 77, 182}, 226), "Ручная подстройка  -102.40 %"},
        {0x100, 0x02, 0, 1024, with({76, 77, 186}, 226), "Датчик кислорода 0.00 %"},
    };
    editor.LoadMap();
    for (const auto& c : cases) {
        pin(76, c.r76);
        pin(77, c.r77);
        pin(182, c.r182);
        pin(186, c.r186);
        ports.sim->ClearFrames();
        monitor.Tick();
        EXPECT_EQ(addresses(), c.frames) << c.status.toStdString();
        EXPECT_EQ(status, c.status);
    }
}

TEST_F(MapAndMonitor, silent_controller_makes_the_whole_tick_and_shows_nothing_it_did_not_hear) {
    editor.LoadMap();
    pin(76, 0);
    pin(77, 2);
    pin(186, 1077);
    pin(226, 1100); // the closing read leaves this word behind
    monitor.Tick();
    std::vector<double> points;
    for (int i = 0; i < 8; ++i)
        points.push_back(chart.PointY(i));
    ASSERT_EQ(status, "Датчик кислорода 5.30 %");
    ports.sim->SetFault({sim::Fault::Silent, 0, {}});
    ports.sim->ClearFrames();
    status.clear();
    monitor.Tick();
    EXPECT_EQ(ports.sim->Frames().size(), 11u);
    // The word of register 226 is still in the reply record: neither the map nor the status
    // line is made from it.
    for (int i = 0; i < 8; ++i)
        EXPECT_DOUBLE_EQ(chart.PointY(i), points[static_cast<std::size_t>(i)]) << i;
    EXPECT_TRUE(status.isEmpty()) << status.toStdString();
}

TEST_F(MapAndMonitor, values_map_onto_the_plot_area_and_the_marker_centres_on_them) {
    const QRectF plot = chart.chart()->plotArea();
    const QPointF origin = chart.ValueToPixel(0, 0);
    const QPointF corner = chart.ValueToPixel(6000, 8);
    EXPECT_NEAR(origin.x(), plot.left(), 1.0);
    EXPECT_NEAR(origin.y(), plot.bottom(), 1.0);
    EXPECT_NEAR(corner.x(), plot.right(), 1.0);
    EXPECT_NEAR(corner.y(), plot.top(), 1.0);

    const QPointF target = chart.ValueToPixel(3000, 4);
    EXPECT_NEAR(target.x(), (plot.left() + plot.right()) / 2, 1.0);
    EXPECT_NEAR(target.y(), (plot.top() + plot.bottom()) / 2, 1.0);
    chart.CentreMarkerOn(target);
    const QRect m = chart.Marker()->geometry();
    EXPECT_NEAR(m.left() + MapChart::kMarkerSize / 2.0, target.x(), 1.0);
    EXPECT_NEAR(m.top() + MapChart::kMarkerSize / 2.0, target.y(), 1.0);

    // Beyond the axes the marker is placed beyond them, not clamped.
    chart.CentreMarkerOn(chart.ValueToPixel(7000, 9));
    EXPECT_GT(chart.Marker()->geometry().left(), plot.right());
    EXPECT_LT(chart.Marker()->geometry().top(), plot.top());
    chart.MoveMarkerHome();
    EXPECT_EQ(chart.Marker()->pos(), MapChart::kMarkerHome);
}

} // namespace

#include "app/arrow_pair.h"

#include <QElapsedTimer>
#include <QToolButton>

namespace {

// A held arrow repeats its click after 400 ms and then every 100 ms, on a real event loop. The
// lower bounds are the point; the upper ones leave room for a loaded machine.
TEST(ArrowPair, held_arrow_repeats_after_400_then_every_100_ms) {
    zef::ArrowPair pair("Set1500");
    pair.resize(20, 30);
    pair.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&pair));
    std::vector<qint64> clicks;
    QElapsedTimer clock;
    QObject::connect(&pair, &zef::ArrowPair::UpClick, [&] { clicks.push_back(clock.elapsed()); });
    int downs = 0;
    QObject::connect(&pair, &zef::ArrowPair::DownClick, [&] { ++downs; });

    clock.start();
    QTest::mousePress(pair.Up(), Qt::LeftButton);
    QTest::qWait(1000);
    QTest::mouseRelease(pair.Up(), Qt::LeftButton);
    // Repeats near 400, 500 ... 900 ms, and the release click.
    ASSERT_GE(clicks.size(), 2u);
    ASSERT_LE(clicks.size(), 8u);
    EXPECT_GE(clicks.front(), 375); // Qt's coarse timers may fire 5 % early
    for (std::size_t i = 1; i + 1 < clicks.size(); ++i)
        EXPECT_GE(clicks[i] - clicks[i - 1], 90) << i;
    EXPECT_EQ(downs, 0);

    QTest::mouseClick(pair.Down(), Qt::LeftButton);
    EXPECT_EQ(downs, 1);
}

} // namespace
