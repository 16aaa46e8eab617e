// The status bar under the window's own area, and the look of disabled controls.

#include "app/main_window.h"
#include "app/status_bar.h"
#include "session/controller_session.h"
#include "support/scripted_prompts.h"
#include "support/sim_ports.h"
#include "support/window_fixture.h"

#include <QImage>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

using namespace zef;
using namespace std::chrono_literals;

namespace {

TEST(LinkTexts, state_names_the_port_and_the_device_behind_it) {
    struct Case {
        LinkState state;
        int port;
        std::string device;
        QString text;
    };
    const Case cases[] = {
        {LinkState::Closed, 0, "", "Нет подключения"},
        {LinkState::Live, 1, "/dev/ttyUSB0", "Подключено: COM1 (/dev/ttyUSB0)"},
        {LinkState::Live, 4, "simulator", "Подключено: COM4 (simulator)"},
        {LinkState::Live, 2, "/dev/serial/by-id/usb-FTDI_FT232R-if00-port0",
         "Подключено: COM2 (/dev/serial/by-id/usb-FTDI_FT232R-if00-port0)"},
        {LinkState::Lost, 1, "/dev/ttyUSB0", "Нет связи"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(LinkStateText(c.state, c.port, c.device), c.text) << c.text.toStdString();
}

TEST(LinkTexts, exchanges_per_second_count_from_zero_after_a_fresh_start) {
    struct Case {
        std::uint64_t before, now;
        double seconds, rate;
    };
    const Case cases[] = {
        {100, 131, 1.0, 31},
        {100, 162, 2.0, 31},
        {500, 20, 1.0, 20},
        {5, 9, 0.0, 0},
    };
    for (const auto& c : cases)
        EXPECT_DOUBLE_EQ(
            ExchangesPerSecond({.exchanges = c.before}, {.exchanges = c.now}, c.seconds), c.rate)
            << c.before << " " << c.now;
    EXPECT_EQ(
        LinkFiguresText(30.6, {.exchanges = 1, .failedExchanges = 7, .lateBytesDiscarded = 12}),
        "Обменов/с: 31   Неудачных: 7   Отброшено байт: 12");
}

class StatusBarWindow : public test::WindowFixture {
protected:
    void SetUp() override { WindowFixture::SetUp(); }
    QString state() const { return form.LinkStatus().StateLabel()->text(); }
};

TEST_F(StatusBarWindow, follows_the_session_and_adds_to_the_window_below_its_area) {
    EXPECT_EQ(form.centralWidget()->size(), QSize(610, 406));
    EXPECT_TRUE(form.statusBar()->isVisible());
    EXPECT_GE(form.statusBar()->geometry().top(), form.centralWidget()->geometry().bottom());
    EXPECT_EQ(state(), "Нет подключения");

    form.ConnectToPort(3); // nothing behind it
    EXPECT_EQ(state(), "Нет подключения");
    form.ConnectToPort(1);
    EXPECT_EQ(state(), "Подключено: COM1 (simulator)");
    EXPECT_NE(form.LinkStatus().StateLabel()->palette().color(QPalette::WindowText),
              QColor(Qt::red));
    // Refreshed by itself about once a second.
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            const QString t = form.LinkStatus().FiguresLabel()->text();
            return t.startsWith("Обменов/с: ") && !t.startsWith("Обменов/с: 0 ");
        },
        5000))
        << form.LinkStatus().FiguresLabel()->text().toStdString();
    form.Close_COMClick();
    EXPECT_EQ(state(), "Нет подключения");
    EXPECT_EQ(form.centralWidget()->size(), QSize(610, 406));
}

// Pixels of the button's text colour: bluish where blue is drawn, nothing of it when greyed.
int bluePixels(QWidget* w) {
    const QImage image = w->grab().toImage();
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            n += c.blue() > 150 && c.red() < 100 && c.green() < 100;
        }
    return n;
}

TEST_F(StatusBarWindow, disabled_buttons_look_disabled) {
    QPushButton* live = form.Connect_to_COM[0];
    QPushButton* dead = form.Close_COM;
    ASSERT_TRUE(live->isEnabled());
    ASSERT_FALSE(dead->isEnabled());
    EXPECT_EQ(live->palette().color(QPalette::Active, QPalette::ButtonText), QColor(Qt::blue));
    EXPECT_NE(dead->palette().color(QPalette::Disabled, QPalette::ButtonText), QColor(Qt::blue));
    EXPECT_GT(bluePixels(live), 10);
    EXPECT_EQ(bluePixels(dead), 0);

    form.ConnectToPort(1);
    EXPECT_EQ(bluePixels(live), 0);
    EXPECT_GT(bluePixels(dead), 10);
    form.Close_COMClick();
}

} // namespace
