// zef-screenshots OUTDIR: drives the window on the simulated controller through every page,
// dialog and chart state and saves what the screen shows. Run it on an X server (scripts/
// screenshots.sh starts one) so the pictures show the fonts and dialogs a desktop has.

#include "app/change_journal.h"
#include "app/dashboard.h"
#include "app/desktop.h"
#include "app/main_window.h"
#include "app/map_chart.h"
#include "app/map_editor.h"
#include "app/map_table.h"
#include "app/options.h"
#include "app/parameter_table.h"
#include "controls/ext_edit.h"
#include "datalog/channels.h"
#include "datalog/trend_window.h"
#include "dialogs/about_box.h"
#include "dialogs/ports_dialog.h"
#include "dialogs/prompts.h"
#include "dialogs/serial_dialog.h"
#include "dialogs/tuning_dialog.h"
#include "files/cp1251.h"
#include "files/disk_write.h"
#include "link/qt_serial_backend.h"
#include "session/controller_session.h"
#include "sim/sim_backend.h"
#include "support/warm_up_trend.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QDockWidget>
#include <QEventLoop>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QProcess>
#include <QScreen>
#include <QSettings>
#include <QStandardPaths>
#include <QStatusBar>
#include <QTabBar>
#include <QTabWidget>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolTip>

#include <cstdio>

using namespace zef;

namespace {

class Shooter {
public:
    explicit Shooter(QString folder) : m_folder(std::move(folder)) {}

    // Everything on screen, cut to the windows that are showing.
    void Shoot(const QString& name) {
        settle();
        QRect area;
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w->isVisible())
                area |= w->frameGeometry();
        area = area.adjusted(-2, -2, 2, 2) & QGuiApplication::primaryScreen()->geometry();
        const QPixmap shot = QGuiApplication::primaryScreen()->grabWindow(
            0, area.x(), area.y(), area.width(), area.height());
        const QString path = QDir(m_folder).filePath(name + ".png");
        if (!shot.save(path))
            std::fprintf(stderr, "could not save %s\n", qPrintable(path));
        else
            std::printf("%s\n", qPrintable(path));
    }

    // Shoots a modal dialog that `open` runs, then closes it.
    void ShootModal(const QString& name, const std::function<void()>& open) {
        QTimer::singleShot(700, [this, name] {
            Shoot(name);
            if (QWidget* modal = QApplication::activeModalWidget())
                modal->close();
        });
        open();
    }

    static void settle(int ms = 400) {
        for (int i = 0; i < ms / 50; ++i) {
            QCoreApplication::processEvents();
            QTest::qWait(50);
        }
    }

private:
    QString m_folder;
};

// The title the X server holds for a window, which is what a window manager shows.
QString titleOnServer(QWidget& w) {
    QProcess xprop;
    xprop.start("xprop", {"-id", QString::number(w.winId()), "_NET_WM_NAME"});
    xprop.waitForFinished(3000);
    return QString::fromUtf8(xprop.readAllStandardOutput()).trimmed();
}

void setParam(sim::Simulator& s, std::uint8_t a, std::uint16_t v) {
    s.WithModel([&](sim::ControllerModel& m) { m.SetParam(a, v); });
}

void pin(sim::Simulator& s, std::uint8_t a, std::optional<std::uint16_t> v) {
    s.WithModel([&](sim::ControllerModel& m) { m.PinLive(a, v); });
}

QTabWidget* inner(TForm1& form, const char* name) {
    return form.findChild<QTabWidget*>(name);
}

} // namespace

int main(int argc, char** argv) {
    zef::IgnoreFileSizeSignal(); // a file-size limit fails the write, not the program
    SetApplicationIdentity();
    // Qt's file dialog keeps its own state in the user's settings; not the real user's here.
    QStandardPaths::setTestModeEnabled(true);
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fputs("usage: zef-screenshots OUTDIR\n", stderr);
        return 2;
    }
    QDir().mkpath(argv[1]);
    Shooter shots(QString::fromLocal8Bit(argv[1]));
    if (!SetUpDesktopApplication(app))
        std::fputs("Qt's Russian translations are missing\n", stderr);

    QTemporaryDir scratch;
    QSettings settings(QDir(scratch.path()).filePath("settings.ini"), QSettings::IniFormat);
    auto simulator = std::make_shared<sim::Simulator>(sim::Simulator::Options{.lineTiming = true});
    PortMap map;
    map.Map(1, std::string(PortMap::kSimulator));
    MappedPortDirectory ports(map,
                              [simulator] { return std::make_unique<sim::SimBackend>(simulator); });
    ControllerSession session(ports);
    QtPrompts prompts(nullptr, &settings);
    TForm1 form(session, prompts, scratch.path());
    prompts.SetParent(&form);
    TForm2 serialDialog(
        {.currentSerial = [&form] { return form.StaticText1->text(); },
         .writeSerial = [&form](const QString& serial) { return form.WriteSerialNumber(serial); },
         .acceptsCharacter = [](QChar c) { return IsCp1251Representable(QString(c)); }},
        QString::fromLatin1(ReleaseDateText(QDate::currentDate())), &form);
    TForm3 about(&form);
    form.move(0, 0);
    form.show();
    (void)QTest::qWaitForWindowExposed(&form);

    shots.Shoot("01-idle");
    form.ConnectToPort(1);
    Shooter::settle(1500);
    shots.Shoot("02-engine-parameters");
    auto* engine = inner(form, "PageControl2");
    engine->setCurrentIndex(1);
    shots.Shoot("03-engine-throttle");
    engine->setCurrentIndex(2);
    shots.Shoot("04-engine-crankshaft");
    form.PageControl1->setCurrentIndex(1);
    shots.Shoot("05-temperature-sensor");

    // The widest texts the read-outs can be asked to show: every live word at its maximum.
    for (std::uint8_t a : {162, 164, 166, 178, 192, 196, 198, 72})
        pin(*simulator, a, 0xFFFF);
    Shooter::settle(1500);
    shots.Shoot("06-temperature-sensor-widest-values");
    form.PageControl1->setCurrentIndex(0);
    engine->setCurrentIndex(0);
    Shooter::settle(1200);
    shots.Shoot("07-engine-parameters-widest-values");
    engine->setCurrentIndex(1);
    Shooter::settle(1200);
    shots.Shoot("08-engine-throttle-widest-values");
    for (std::uint8_t a : {162, 164, 166, 178, 192, 196, 198, 72})
        pin(*simulator, a, std::nullopt);
    engine->setCurrentIndex(0);

    // The map: points moved by the arrows, one at the top of the scale, one at the bottom.
    setParam(*simulator, 13, 7950);
    setParam(*simulator, 7, 1050);
    Shooter::settle(800);
    form.Map().RaiseMapPoint(7);
    form.Map().LowerMapPoint(1);
    for (int i = 0; i < 4; ++i) {
        form.Map().RaiseMapPoint(4);
        Shooter::settle(400);
    }
    Shooter::settle(800);
    shots.Shoot("09-map-after-moves");

    // The service panels, with the window enlarged to show them.
    form.PageControl1MouseDown(Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier,
                               Qt::RightButton);
    const QSize normal = form.size();
    form.resize(800, 560);
    Shooter::settle(1200);
    shots.Shoot("10-service-panels");
    form.resize(normal);

    // The link lost (the controller silent) and back: the status bar says which.
    simulator->SetFault({sim::Fault::Silent, 0, {}});
    Shooter::settle(2000);
    shots.Shoot("26-link-lost");
    simulator->SetFault({});
    Shooter::settle(2500);
    shots.Shoot("27-link-back");

    form.Close_COMClick();
    Shooter::settle(800);
    shots.Shoot("11-after-close-com");

    form.ConnectToPort(1);
    Shooter::settle(600);
    serialDialog.move(200, 164);
    serialDialog.show();
    shots.Shoot("12-serial-number-dialog");
    serialDialog.hide();
    about.show();
    shots.Shoot("13-about-box");
    about.hide();

    // Qt's own dialogs, in the window's language.
    QDir(scratch.path()).mkpath("cars");
    QFile golf(QDir(scratch.path()).filePath("cars/golf.zef"));
    (void)golf.open(QIODevice::WriteOnly);
    golf.close();
    settings.setValue(QtPrompts::FolderKey("open", "Установки ZEF (*.zef)"),
                      QDir(scratch.path()).filePath("cars"));
    settings.setValue(QtPrompts::FolderKey("save", "Установки ZEF (*.zef)"),
                      QDir(scratch.path()).filePath("cars"));
    shots.ShootModal("14-open-dialog",
                     [&] { (void)prompts.OpenFileName("Установки ZEF (*.zef)"); });
    shots.ShootModal("15-save-dialog",
                     [&] { (void)prompts.SaveFileName("Установки ZEF (*.zef)"); });
    shots.ShootModal("16-no-such-file", [&] {
        form.LoadSettingsFrom(QDir(scratch.path()).filePath("cars/missing.zef"));
    });
    shots.ShootModal("17-replace-question", [&] {
        (void)prompts.AskYesNo("Такой файл существует! Заменить?", Prompts::Kind::Confirmation);
    });

    // A save names the file in the caption and in the recent files.
    form.SetRecentFiles({QDir(scratch.path()).filePath("cars/passat.zef"),
                         QDir(scratch.path()).filePath("cars/golf.zef")});
    QMenu* file = form.findChild<QMenu*>("N1");
    file->popup(form.mapToGlobal(form.menuBar()->geometry().bottomLeft()));
    Shooter::settle(300);
    form.RecentMenu()->popup(
        file->geometry().topRight() +
        QPoint(0, file->actionGeometry(form.RecentMenu()->menuAction()).top()));
    shots.Shoot("18-file-menu");
    form.RecentMenu()->close();
    file->close();

    const QPoint tip = form.SpinEdit("SpinExtEdit9")->mapToGlobal(QPoint(20, 18));
    QToolTip::showText(tip, form.SpinEdit("SpinExtEdit9")->toolTip(), &form);
    shots.Shoot("19-tooltip");
    QToolTip::hideText();

    // "Порты..." as a laptop with one USB adapter shows it, and a port that is not there.
    form.SetPortSetup({.map = &ports.Map(), .settings = &settings, .list = [] {
                           return std::vector<PortInfo>{
                               {.device = "/dev/ttyS0", .description = "ttyS0"},
                               {.device = "/dev/ttyUSB0",
                                .description = "FT232R USB UART",
                                .manufacturer = "FTDI",
                                .serialNumber = "A50285BI",
                                .vendorId = 0x0403,
                                .productId = 0x6001,
                                .stableNames = {"/dev/serial/by-id/"
                                                "usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0"}}};
                       }});
    if (PortsDialog* portsDialog = form.ShowPortsDialog()) {
        portsDialog->move(20, 40);
        portsDialog->Table()->selectRow(1);
        portsDialog->UseSelectedFor(2);
        shots.Shoot("20-ports-dialog");
        portsDialog->reject();
    }
    form.Close_COMClick();
    ports.Map().Map(2, "/dev/ttyUSB7");
    shots.ShootModal("21-port-not-opened", [&] { form.ConnectToPort(2); });
    // Six minutes of a warm-up with a lost link in the middle, the cursor on the sensor's
    // switching, as a replayed recording shows it.
    {
        auto warmUp = std::make_shared<TrendData>(test::WarmUp(360, 0.35, 200, 215));
        warmUp->SetStart(QDateTime(QDate(2026, 3, 14), QTime(8, 12, 5)));
        TrendWindow trend(warmUp);
        for (std::size_t channel : {1, 5, 6, 7, 10})
            trend.SetChannelShown(channel, false);
        form.hide();
        trend.move(0, 0);
        trend.show();
        Shooter::settle(600);
        trend.SetCursorTime(150.4);
        shots.Shoot("22-trend");
        trend.ZoomTo(185, 235);
        trend.SetCursorTime(208);
        shots.Shoot("23-trend-zoomed-on-a-gap");
        trend.close();
        form.show();
        Shooter::settle(300);
    }

    // "Журнал": a recording on the simulated engine through its first throttle blip, the menu
    // while it runs, then the file replayed into the trend window.
    {
        // The ports' shots above left the session closed; a recording needs a controller.
        form.ConnectToPort(1);
        Shooter::settle(800);
        const QString recording = QDir(scratch.path()).filePath("ZEF-K7LX_SN_05.02_00123.csv");
        form.StartRecordingTo(recording);
        // Two markers on the way, as a fitter sets them with M at what he wants to find again.
        for (const int wait : {5000, 5000}) {
            Shooter::settle(wait);
            form.MarkAction->trigger();
        }
        Shooter::settle(4000);
        QMenu* log = form.findChild<QMenu*>("DatalogMenu");
        log->popup(
            form.mapToGlobal(form.menuBar()->actionGeometry(log->menuAction()).bottomLeft()));
        shots.Shoot("24-recording");
        log->close();
        form.StopRecording();
        {
            // The file is read off the window thread: its end comes as a signal.
            QEventLoop opened;
            QObject::connect(&form, &TForm1::recordingOpened, &opened, &QEventLoop::quit);
            if (form.OpenRecordingFrom(recording))
                opened.exec();
        }
        form.Trend()->move(0, 0);
        Shooter::settle(800);
        form.Trend()->SetCursorTime(10.5);
        shots.Shoot("25-trend-replayed");
        form.Trend()->close();
        form.RecordingOnMapAction->setChecked(true);
        Shooter::settle(500);
        shots.Shoot("36-recording-on-map");
        form.RecordingOnMapAction->setChecked(false);
        Shooter::settle(300);
    }

    // "Карта → Подбор по записи...": a drive of the simulated engine whose true map is a few per
    // cent off the stored one, warm-up and two passes of its cycle, the suggestion dashed on
    // the chart.
    {
        sim::ControllerModel engine;
        engine.SetTrueMap(sim::ControllerModel::DefaultTrueMapMs());
        std::vector<DatalogRow> rows;
        for (double t = 0; t < 170 + 2 * sim::ControllerModel::DriveCycleSeconds(); t += 0.35) {
            DatalogRow row{{}, t, {}, {}};
            for (const DatalogChannel& channel : DatalogChannels())
                row.values.push_back(ChannelValue(channel, engine.Live(channel.address, t)));
            rows.push_back(row);
        }
        TuningDialog::Hooks hooks;
        hooks.write = [](const MapMicros&, const MapMicros&) { return std::optional<MapWrite>(); };
        hooks.showSuggested = [&form](const std::vector<QPointF>& curve) {
            form.Chart1()->SetSuggested(curve);
        };
        // The map as stored, not as the arrows' shots above left it.
        for (const MapPoint& point : kMapPoints)
            setParam(*simulator, point.parameter, engine.Param(point.parameter));
        Shooter::settle(800);
        TuningDialog tuning(*ReadMap(session.Link()), prompts, hooks, &form);
        tuning.AddRows(rows);
        tuning.show();
        Shooter::settle(300);
        // Beside the chart, over the parameter pages, and above the window's status line, which
        // the picture shows whole.
        const QRect screen = QGuiApplication::primaryScreen()->geometry();
        const int statusTop = form.statusBar()->mapToGlobal(QPoint(0, 0)).y();
        tuning.move(screen.right() - tuning.frameGeometry().width(),
                    std::max(0, statusTop - 2 - tuning.frameGeometry().height()));
        Shooter::settle(800);
        shots.Shoot("28-map-tuning");
    }

    // "Карта → Таблица карты": the map as numbers under the chart, two points selected to move
    // together, the operating point's cell marked.
    {
        form.findChild<QAction*>("MapTableAction")->trigger();
        Shooter::settle(1200);
        QTableWidget* cells = form.MapNumbers()->Table();
        cells->item(0, 2)->setSelected(true);
        cells->item(0, 3)->setSelected(true);
        shots.Shoot("34-map-table");
        form.MapTableDock()->hide();
        Shooter::settle(600);
    }

    // "Вид": the table of every parameter and the dashboard, with the link up and then lost.
    {
        const auto place = [](QWidget* view, QPoint at, QSize size) {
            view->resize(size);
            view->move(at);
        };
        form.hide();
        ParameterTable* table = form.ShowParameterTable();
        place(table, {0, 0}, {1000, 740});
        shots.Shoot("29-all-parameters");
        table->hide();
        Dashboard* dashboard = form.ShowDashboard();
        place(dashboard, {0, 0}, {1000, 600});
        Shooter::settle(2000);
        shots.Shoot("30-dashboard");
        dashboard->SetNight(true);
        Shooter::settle(1200);
        shots.Shoot("31-dashboard-night");
        dashboard->SetNight(false);
        simulator->SetFault({sim::Fault::Silent, 0, {}});
        Shooter::settle(2000);
        shots.Shoot("32-dashboard-link-lost");
        dashboard->hide();
        table->show();
        (void)table->Reload();
        shots.Shoot("33-all-parameters-link-lost");
        table->hide();
        simulator->SetFault({});
        Shooter::settle(2500);
        form.show();
    }

    // "Правка → Журнал изменений": an edit and a map step, the step undone.
    {
        form.SpinEdit("SpinExtEdit9")->StepDown();
        form.Map().RaiseMapPoint(3);
        (void)form.UndoChange();
        Shooter::settle(600);
        QWidget* journal = form.ShowChangeJournal();
        journal->move(0, 0);
        Shooter::settle(600);
        shots.Shoot("35-change-journal");
        journal->hide();
    }

    // The caption with a file name, as the X server holds it.
    form.setWindowTitle(CaptionWithFile(QDir(scratch.path()).filePath("cars/golf.zef")));
    Shooter::settle(300);
    std::printf("window title: %s\n", qPrintable(titleOnServer(form)));
    serialDialog.show();
    Shooter::settle(300);
    std::printf("dialog title: %s\n", qPrintable(titleOnServer(serialDialog)));
    serialDialog.hide();
    about.show();
    Shooter::settle(300);
    std::printf("about title: %s\n", qPrintable(titleOnServer(about)));
    return 0;
}
