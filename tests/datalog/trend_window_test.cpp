#include "datalog/trend_plot.h"
#include "datalog/trend_window.h"

#include "support/clipped_text.h"

#include <QApplication>
#include <QCheckBox>
#include <QLineSeries>
#include <QMouseEvent>
#include <QPushButton>
#include <QTest>
#include <QValueAxis>
#include <QWheelEvent>

#include <gtest/gtest.h>

#include <cmath>

using namespace zef;

namespace {

constexpr double kPeriod = 0.35;

std::vector<TrendChannel> threeChannels() {
    return {{"Обороты", "об/мин"}, {"Лямбда-зонд", "В"}, {"Температура", "°C"}};
}

// Rows every 350 ms from `from` to `to` seconds: speed 1000 + t, oxygen voltage switching
// each row, temperature t / 10.
void appendRows(TrendData& data, double from, double to) {
    for (int i = 0;; ++i) {
        const double t = from + i * kPeriod;
        if (t > to + 1e-9)
            break;
        const double row[] = {1000 + t, i % 2 ? 0.8 : 0.1, t / 10};
        data.Append(t, row);
    }
}

class TrendWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        data = std::make_shared<TrendData>(threeChannels());
        window = std::make_unique<TrendWindow>(data);
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
        settle();
    }

    static void settle() {
        for (int i = 0; i < 3; ++i)
            QCoreApplication::processEvents();
    }

    std::pair<double, double> axisRange(std::size_t channel) const {
        const QValueAxis* axis = window->Plot(channel)->TimeAxis();
        return {axis->min(), axis->max()};
    }

    static void send(QWidget* to, QEvent::Type type, QPointF at, Qt::MouseButton button,
                     Qt::MouseButtons held) {
        QMouseEvent event(type, at, to->mapToGlobal(at), button, held, Qt::NoModifier);
        QApplication::sendEvent(to, &event);
    }

    std::shared_ptr<TrendData> data;
    std::unique_ptr<TrendWindow> window;
};

TEST_F(TrendWindowTest, a_replayed_recording_is_shown_whole_on_every_plot) {
    appendRows(*data, 0, 200);
    window->SetData(data);
    settle();
    const auto [first, last] = window->TimeRange();
    EXPECT_DOUBLE_EQ(first, 0);
    EXPECT_DOUBLE_EQ(last, data->Seconds(data->Size() - 1));
    for (std::size_t c = 0; c < 3; ++c) {
        EXPECT_EQ(axisRange(c), window->TimeRange());
        ASSERT_EQ(window->Plot(c)->Pieces().size(), 1u);
    }
    EXPECT_FALSE(window->PauseButton()->isEnabled());
    // Each plot has its own scale: speed around 1000, the oxygen voltage within 0 ... 1 V.
    EXPECT_GT(window->Plot(0)->ValueAxis()->min(), 900);
    EXPECT_LT(window->Plot(1)->ValueAxis()->max(), 1.5);
    EXPECT_GE(window->Plot(1)->ValueAxis()->max(), 0.8);
    EXPECT_LE(window->Plot(1)->ValueAxis()->min(), 0.1);
}

TEST_F(TrendWindowTest, an_hour_is_thinned_to_the_plot_width_with_its_extremes) {
    appendRows(*data, 0, 3600);
    window->SetData(data);
    settle();
    TrendPlot* plot = window->Plot(1);
    const QLineSeries* series = plot->Pieces().at(0);
    EXPECT_LE(series->count(), 4 * plot->PlotWidth() + 2);
    EXPECT_LT(series->count(), qsizetype(data->Size()) / 2);
    double low = 10, high = -10;
    for (const QPointF& p : series->points()) {
        low = std::min(low, p.y());
        high = std::max(high, p.y());
    }
    EXPECT_EQ(low, 0.1);
    EXPECT_EQ(high, 0.8);
}

TEST_F(TrendWindowTest, live_the_axis_keeps_the_last_minute) {
    window->SetLive(true);
    appendRows(*data, 0, 20);
    window->Refresh();
    // Less than a minute recorded: the minute from the start, filling from the left.
    EXPECT_EQ(window->TimeRange(), std::pair(0.0, 60.0));
    appendRows(*data, 20 + kPeriod, 100);
    window->Refresh();
    const double last = data->Seconds(data->Size() - 1);
    EXPECT_EQ(window->TimeRange(), std::pair(last - 60, last));
    EXPECT_EQ(axisRange(0), window->TimeRange());
    EXPECT_EQ(axisRange(2), window->TimeRange());
    // Only the minute is drawn (and one sample beyond its start).
    const QLineSeries* speed = window->Plot(0)->Pieces().at(0);
    EXPECT_GE(speed->at(1).x(), last - 60);
    EXPECT_EQ(speed->at(speed->count() - 1).x(), last);
}

TEST_F(TrendWindowTest, a_closed_window_catches_up_when_shown_again) {
    window->SetLive(true);
    appendRows(*data, 0, 100);
    window->Refresh();
    window->hide();
    appendRows(*data, 100 + kPeriod, 200);
    window->Refresh();
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    settle();
    const double last = data->Seconds(data->Size() - 1);
    EXPECT_EQ(axisRange(0), std::pair(last - 60, last));
}

TEST_F(TrendWindowTest, pause_stops_the_axis_while_rows_keep_coming) {
    window->SetLive(true);
    appendRows(*data, 0, 100);
    window->Refresh();
    const auto before = window->TimeRange();
    window->PauseButton()->click();
    ASSERT_TRUE(window->IsPaused());
    const std::size_t rows = data->Size();
    appendRows(*data, 100 + kPeriod, 130);
    window->Refresh();
    EXPECT_GT(data->Size(), rows);
    EXPECT_EQ(window->TimeRange(), before);
    EXPECT_EQ(axisRange(1), before);

    window->PauseButton()->click();
    const double last = data->Seconds(data->Size() - 1);
    EXPECT_EQ(window->TimeRange(), std::pair(last - 60, last));
}

TEST_F(TrendWindowTest, the_end_of_the_recording_shows_it_whole_and_unpauses) {
    window->SetLive(true);
    appendRows(*data, 0, 100);
    window->SetPaused(true);
    window->SetLive(false);
    EXPECT_FALSE(window->IsPaused());
    EXPECT_EQ(window->TimeRange().first, 0);
    EXPECT_FALSE(window->PauseButton()->isEnabled());
}

TEST_F(TrendWindowTest, a_drag_zooms_the_time_of_every_plot_and_a_double_click_resets) {
    appendRows(*data, 0, 100);
    window->SetData(data);
    settle();
    TrendPlot* plot = window->Plot(0);
    QWidget* surface = plot->viewport();
    const QPointF from = plot->ViewPointAt(20), to = plot->ViewPointAt(40);
    send(surface, QEvent::MouseButtonPress, from, Qt::LeftButton, Qt::LeftButton);
    send(surface, QEvent::MouseMove, to, Qt::NoButton, Qt::LeftButton);
    send(surface, QEvent::MouseButtonRelease, to, Qt::LeftButton, Qt::NoButton);
    ASSERT_TRUE(window->IsZoomed());
    const auto [a, b] = window->TimeRange();
    // A pixel is about a tenth of a second here.
    EXPECT_NEAR(a, 20, 0.5);
    EXPECT_NEAR(b, 40, 0.5);
    EXPECT_EQ(axisRange(2), window->TimeRange());
    EXPECT_TRUE(window->ResetButton()->isEnabled());

    send(surface, QEvent::MouseButtonDblClick, to, Qt::LeftButton, Qt::LeftButton);
    EXPECT_FALSE(window->IsZoomed());
    EXPECT_EQ(window->TimeRange(), std::pair(0.0, data->Seconds(data->Size() - 1)));
    EXPECT_FALSE(window->ResetButton()->isEnabled());
}

TEST_F(TrendWindowTest, a_click_without_a_drag_does_not_zoom) {
    appendRows(*data, 0, 100);
    window->SetData(data);
    settle();
    QWidget* surface = window->Plot(0)->viewport();
    const QPointF at = window->Plot(0)->ViewPointAt(50);
    send(surface, QEvent::MouseButtonPress, at, Qt::LeftButton, Qt::LeftButton);
    send(surface, QEvent::MouseButtonRelease, at + QPointF(2, 0), Qt::LeftButton, Qt::NoButton);
    EXPECT_FALSE(window->IsZoomed());
}

TEST_F(TrendWindowTest, the_wheel_zooms_around_the_time_under_the_mouse) {
    appendRows(*data, 0, 100);
    window->SetData(data);
    settle();
    TrendPlot* plot = window->Plot(1);
    const QPointF at = plot->ViewPointAt(30);
    const double span = window->TimeRange().second - window->TimeRange().first;
    QWheelEvent wheel(at, plot->viewport()->mapToGlobal(at), QPoint(), QPoint(0, 120), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(plot->viewport(), &wheel);
    const auto [a, b] = window->TimeRange();
    EXPECT_NEAR(b - a, span * 0.8, 1e-6);
    // The time under the mouse stays under it.
    EXPECT_NEAR(plot->TimeAt(at), 30, 0.3);

    // Zooming out never shows more than the recording.
    for (int i = 0; i < 10; ++i)
        window->ZoomAt(30, 2);
    EXPECT_NEAR(window->TimeRange().first, 0, 1e-9);
    EXPECT_NEAR(window->TimeRange().second, data->Seconds(data->Size() - 1), 1e-9);
    window->ResetButton()->click();
    EXPECT_FALSE(window->IsZoomed());
}

TEST_F(TrendWindowTest, a_zoom_while_live_holds_still_until_reset) {
    window->SetLive(true);
    appendRows(*data, 0, 100);
    window->Refresh();
    window->ZoomTo(70, 80);
    appendRows(*data, 100 + kPeriod, 150);
    window->Refresh();
    EXPECT_EQ(window->TimeRange(), std::pair(70.0, 80.0));
    window->ResetZoom();
    const double last = data->Seconds(data->Size() - 1);
    EXPECT_EQ(window->TimeRange(), std::pair(last - 60, last));
}

TEST_F(TrendWindowTest, a_zoom_narrower_than_a_second_is_widened_around_its_middle) {
    appendRows(*data, 0, 100);
    window->SetData(data);
    window->ZoomTo(50.2, 50.0);
    EXPECT_EQ(window->TimeRange(), std::pair(49.6, 50.6));
}

TEST_F(TrendWindowTest, the_cursor_reads_every_shown_channel_at_the_nearest_sample) {
    appendRows(*data, 0, 100);
    window->SetData(data);
    settle();
    // Row 100 is at 35 s: speed 1035, oxygen 0.1 V (even row), temperature 3.5 °C.
    window->SetCursorTime(35.1);
    EXPECT_EQ(window->Reading(0), "1035 об/мин");
    EXPECT_EQ(window->Reading(1), "0.10 В");
    EXPECT_EQ(window->Reading(2), "3.50 °C");
    EXPECT_EQ(window->Plot(0)->Reading(), "1035 об/мин");
    EXPECT_TRUE(window->CursorTimeText().startsWith("Курсор: 35.10 с"));
    for (std::size_t c = 0; c < 3; ++c)
        EXPECT_TRUE(window->Plot(c)->CursorVisible());
    EXPECT_NEAR(window->Plot(0)->CursorX(), window->Plot(2)->CursorX(), 0.5);

    window->SetChannelShown(1, false);
    EXPECT_EQ(window->Reading(1), "");
    EXPECT_EQ(window->Reading(0), "1035 об/мин");
}

TEST_F(TrendWindowTest, the_mouse_over_a_plot_moves_the_cursor_and_leaving_removes_it) {
    appendRows(*data, 0, 100);
    window->SetData(data);
    settle();
    TrendPlot* plot = window->Plot(2);
    send(plot->viewport(), QEvent::MouseMove, plot->ViewPointAt(60), Qt::NoButton, Qt::NoButton);
    ASSERT_TRUE(window->CursorTime().has_value());
    EXPECT_NEAR(*window->CursorTime(), 60, 0.3);
    EXPECT_NEAR(window->Plot(0)->CursorX(), plot->ViewPointAt(60).x(), 1.0);
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(plot, &leave);
    EXPECT_FALSE(window->CursorTime().has_value());
    EXPECT_EQ(window->Reading(0), "");
    EXPECT_FALSE(plot->CursorVisible());
}

TEST_F(TrendWindowTest, a_lost_link_is_a_gap_in_every_plot_and_reads_nothing) {
    appendRows(*data, 0, 30);
    appendRows(*data, 45, 80); // 15 s without rows
    window->SetData(data);
    settle();
    for (std::size_t c = 0; c < 3; ++c) {
        const auto pieces = window->Plot(c)->Pieces();
        ASSERT_EQ(pieces.size(), 2u) << c;
        EXPECT_LE(pieces[0]->at(pieces[0]->count() - 1).x(), 30 + 1e-9);
        EXPECT_GE(pieces[1]->at(0).x(), 45 - 1e-9);
    }
    window->SetCursorTime(37);
    EXPECT_TRUE(window->CursorTimeText().startsWith("Курсор: 37.00 с"));
    for (std::size_t c = 0; c < 3; ++c)
        EXPECT_EQ(window->Reading(c), "") << c;
    window->SetCursorTime(45.1);
    EXPECT_EQ(window->Reading(2), "4.50 °C");
}

TEST_F(TrendWindowTest, unticking_a_channel_hides_its_plot_and_ticking_brings_it_back) {
    appendRows(*data, 0, 100);
    window->SetData(data);
    settle();
    window->ChannelBox(0)->click();
    settle();
    EXPECT_FALSE(window->IsChannelShown(0));
    EXPECT_FALSE(window->Plot(0)->isVisible());
    EXPECT_TRUE(window->Plot(1)->isVisible());

    // While hidden the plot is not redrawn; shown again it has the data of now.
    appendRows(*data, 100 + kPeriod, 150);
    window->Refresh();
    window->ChannelBox(0)->click();
    settle();
    EXPECT_TRUE(window->Plot(0)->isVisible());
    const QLineSeries* speed = window->Plot(0)->Pieces().at(0);
    EXPECT_EQ(speed->at(speed->count() - 1).x(), data->Seconds(data->Size() - 1));
}

TEST_F(TrendWindowTest, the_channel_choice_carries_over_to_the_next_recording) {
    window->SetChannelShown(1, false);
    auto next = std::make_shared<TrendData>(
        std::vector<TrendChannel>{{"Температура", "°C"}, {"Лямбда-зонд", "В"}});
    appendRows(*next, 0, 10);
    window->SetData(next);
    settle();
    EXPECT_TRUE(window->IsChannelShown(0));
    EXPECT_FALSE(window->IsChannelShown(1));
    EXPECT_FALSE(window->Plot(1)->isVisible());
    EXPECT_EQ(window->Plot(2), nullptr);
}

TEST_F(TrendWindowTest, a_file_with_the_same_channels_is_drawn_on_the_open_plots) {
    appendRows(*data, 0, 100);
    window->SetData(data);
    window->ZoomTo(10, 20);
    TrendPlot* before = window->Plot(0);
    auto file = std::make_shared<TrendData>(threeChannels());
    appendRows(*file, 500, 530);
    window->SetData(file);
    settle();
    EXPECT_EQ(window->Plot(0), before);
    EXPECT_FALSE(window->IsZoomed());
    EXPECT_EQ(axisRange(0), std::pair(500.0, file->Seconds(file->Size() - 1)));
    EXPECT_GE(window->Plot(0)->Pieces().at(0)->at(0).x(), 500);
}

TEST_F(TrendWindowTest, only_the_lowest_shown_plot_labels_the_time) {
    appendRows(*data, 0, 100);
    window->SetData(data);
    settle();
    EXPECT_FALSE(window->Plot(0)->TimeAxis()->labelsVisible());
    EXPECT_TRUE(window->Plot(2)->TimeAxis()->labelsVisible());
    window->SetChannelShown(2, false);
    EXPECT_TRUE(window->Plot(1)->TimeAxis()->labelsVisible());
}

TEST(TrendWindowTexts, every_caption_and_reading_fits_with_the_recorded_channels) {
    std::vector<TrendChannel> channels{{"Обороты двигателя", "об/мин"},
                                       {"Время впрыска базовое", "мс"},
                                       {"Время впрыска текущее", "мс"},
                                       {"Напряжение лямбда-зонда", "В"},
                                       {"Коррекция по лямбда-зонду", "%"},
                                       {"Ручная коррекция", "%"},
                                       {"Напряжение дросселя", "В"},
                                       {"Напряжение датчика температуры", "В"},
                                       {"Температура двигателя", "°C"},
                                       {"Напряжение питания", "В"},
                                       {"Режим настройки", ""},
                                       {"Коррекция по лямбда-зонду вкл.", ""}};
    auto data = std::make_shared<TrendData>(channels);
    data->SetStart(QDateTime(QDate(2026, 1, 2), QTime(23, 59, 58)));
    for (int i = 0; i < 400; ++i) {
        std::vector<double> row(channels.size(), -8888.88);
        data->Append(i * kPeriod, row);
    }
    TrendWindow window(data);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    window.SetCursorTime(99999.99);
    window.SetCursorTime(100);
    QCoreApplication::processEvents();
    EXPECT_EQ(window.Reading(0), "-8889 об/мин");
    test::ClippedTexts walk;
    walk.Walk(&window);
    // The cursor's time, the state and both buttons.
    EXPECT_GE(walk.Checked(), 4);
    EXPECT_EQ(window.Plot(0)->Reading(), "-8889 об/мин");
    for (std::size_t c = 0; c < channels.size(); ++c)
        EXPECT_TRUE(window.Plot(c)->HeaderFits()) << window.Plot(c)->Reading().toStdString();
    // The walk passes check boxes by: each channel's name must fit its box whole.
    for (std::size_t c = 0; c < channels.size(); ++c) {
        const QCheckBox* box = window.ChannelBox(c);
        EXPECT_GE(box->width(), box->sizeHint().width()) << box->text().toStdString();
    }
    std::string faults;
    for (const auto& f : walk.Faults())
        faults += "\n  " + f;
    EXPECT_TRUE(faults.empty()) << faults;
}

} // namespace
