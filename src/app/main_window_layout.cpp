// Where everything sits: a 618 x 452 window with the button row on top, the read-out groups
// under it, the map chart on the left and the parameter tabs on the right. The service panels
// lie outside the default client area and come into view only when shown and the window is
// enlarged.

#include "app/main_window.h"

#include "app/arrow_pair.h"
#include "app/map_chart.h"
#include "app/map_editor.h"
#include "app/map_tuning.h"
#include "app/menu_keys.h"
#include "app/status_bar.h"
#include "controls/ext_edit.h"
#include "controls/ext_text.h"
#include "dialogs/form_font.h"
#include "dialogs/prompts.h"
#include "params/catalogue.h"

#include <QAction>
#include <QButtonGroup>
#include <QChart>
#include <QComboBox>
#include <QFrame>
#include <QGroupBox>
#include <QKeySequence>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QStatusBar>
#include <QStyle>
#include <QStyleOptionGroupBox>
#include <QTabBar>
#include <QTabWidget>

namespace zef {

namespace {

constexpr QSize kClientSize{610, 406};
constexpr int kEditHeight = 21;

QGroupBox* group(const QString& title, QWidget* parent, QRect bounds, const QString& name = {}) {
    auto* box = new QGroupBox(title, parent);
    box->setGeometry(bounds);
    if (!name.isEmpty())
        box->setObjectName(name);
    return box;
}

QLabel* label(const QString& text, QWidget* parent, QRect bounds) {
    auto* l = new QLabel(text, parent);
    l->setGeometry(bounds);
    return l;
}

QLabel* staticText(const QString& name, const QString& text, QWidget* parent, QRect bounds,
                   Qt::Alignment alignment) {
    auto* l = new QLabel(text, parent);
    // They show what the controller sends, which is never markup.
    l->setTextFormat(Qt::PlainText);
    l->setObjectName(name);
    l->setGeometry(bounds);
    l->setAlignment(alignment);
    l->setFrameShape(QFrame::Panel);
    l->setFrameShadow(QFrame::Sunken);
    return l;
}

const EditRow& edit(std::string_view name) {
    return *FindEdit(name);
}
const ReadoutRow& readout(std::string_view name) {
    return *FindReadout(name);
}

QWidget* page(QTabWidget* tabs, std::string_view caption, const QString& name) {
    auto* w = new QWidget;
    w->setObjectName(name);
    tabs->addTab(w, ToQString(caption));
    return w;
}

} // namespace

void TForm1::buildLayout() {
    auto* client = new QWidget(this);
    client->setObjectName("ClientArea");
    client->setMinimumSize(kClientSize);
    setCentralWidget(client);
    // Before anything puts a widget in it: a message never cut inside a word.
    setStatusBar(new WholeWordStatusBar(this));

    setFont(FormFont());
    // Blue only while enabled: a disabled control keeps the style's disabled colour, so that a
    // button that does nothing looks it.
    QPalette blue = palette();
    for (const auto group : {QPalette::Active, QPalette::Inactive}) {
        blue.setColor(group, QPalette::WindowText, Qt::blue);
        blue.setColor(group, QPalette::Text, Qt::blue);
        blue.setColor(group, QPalette::ButtonText, Qt::blue);
    }
    setPalette(blue);

    buildMenu();
    buildButtonRow(client);
    buildReadoutGroups(client);
    buildMapGroup(client);
    buildParameterTabs(client);
    buildServicePanels(client);
    buildStatusBar();
    // The status bar adds to the window rather than taking from the client area.
    resize(kClientSize.width(), kClientSize.height() + menuBar()->sizeHint().height() +
                                    statusBar()->sizeHint().height());
}

void TForm1::buildMenu() {
    QMenu* file = menuBar()->addMenu("&Файл");
    file->setObjectName("N1");
    new MenuKeys(*this, *file);
    N2 = file->addAction("&Загрузить из файла");
    N2->setShortcut(QKeySequence::Open);
    N3 = file->addAction("&Сохранить в файле");
    N3->setShortcut(QKeySequence::Save);
    m_recentMenu = file->addMenu("Последние &файлы");
    m_recentMenu->setObjectName("RecentFiles");
    addArchiveActions(file);
    addPortsAction(file);
    file->addSeparator();
    N7 = file->addAction("&Выход");
    N7->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    addEditMenu();
    addDatalogMenu();
    QMenu* map = menuBar()->addMenu("&Карта");
    map->setObjectName("MapMenu");
    QAction* tune = map->addAction("&Подбор по записи...");
    tune->setObjectName("MapTuning");
    connect(tune, &QAction::triggered, this, [this] { ShowMapTuning(*this); });
    addViewMenu();
    QMenu* help = menuBar()->addMenu("&?");
    help->setObjectName("N4");
    N5 = help->addAction("Помощь");
    N5->setVisible(false);
    QAction* service = help->addAction("&Сервисные функции");
    service->setObjectName("ServiceFunctions");
    connect(service, &QAction::triggered, this,
            [this] { m_prompts.Message(ServiceFunctionsText()); });
    N6 = help->addAction("&О программе");
    N2->setObjectName("N2");
    N3->setObjectName("N3");
    N5->setObjectName("N5");
    N6->setObjectName("N6");
    N7->setObjectName("N7");
    connect(N2, &QAction::triggered, this, &TForm1::N2Click);
    connect(N3, &QAction::triggered, this, &TForm1::N3Click);
    connect(N6, &QAction::triggered, this, &TForm1::N6Click);
    connect(N7, &QAction::triggered, this, &QWidget::close);
    // A recent file is loaded like one chosen in the dialog, so only while connected.
    connect(N2, &QAction::enabledChanged, m_recentMenu->menuAction(), &QAction::setEnabled);
    fillRecentMenu();
}

void TForm1::buildButtonRow(QWidget* client) {
    for (int n = 1; n <= 4; ++n) {
        // Alt and the port's digit, as the buttons read from left to right.
        auto* b = new QPushButton(QString("Connect to COM&%1").arg(n), client);
        b->setObjectName(QString("Connect_to_COM%1").arg(n));
        b->setGeometry(4 + (n - 1) * 101, 4, 97, 25);
        Connect_to_COM[n - 1] = b;
    }
    Close_COM = new QPushButton("&Close COM", client);
    Close_COM->setObjectName("Close_COM");
    Close_COM->setGeometry(509, 4, 97, 25);
    Close_COM->setEnabled(false);
}

void TForm1::buildReadoutGroups(QWidget* client) {
    auto* speed = group("Обороты коленвала", client, {4, 32, 130, 46}, "GroupBox4");
    makeReadOut(readout("ExtText2"), speed, {6, 18, 118, kEditHeight});

    // The two words of the caption stand over their read-outs: the spaces between them are as
    // wide as the font makes them, so the date goes where its word begins.
    const QString dateWord = "Дата выпуска";
    const QString serialWord = "Серийный номер" + QString(37, ' ');
    auto* identity = group(serialWord + dateWord, client, {138, 32, 330, 46}, "GroupBox11");
    QStyleOptionGroupBox title;
    title.initFrom(identity);
    title.text = identity->title();
    title.subControls = QStyle::SC_GroupBoxLabel;
    const int dateAt =
        identity->style()
            ->subControlRect(QStyle::CC_GroupBox, &title, QStyle::SC_GroupBoxLabel, identity)
            .left() +
        identity->fontMetrics().horizontalAdvance(serialWord) - 2;
    StaticText1 = staticText("StaticText1", " ", identity, {6, 18, dateAt - 12, kEditHeight},
                             Qt::AlignLeft | Qt::AlignVCenter);
    StaticText3 = staticText("StaticText3", " ", identity,
                             {dateAt, 18, identity->width() - dateAt - 6, kEditHeight},
                             Qt::AlignLeft | Qt::AlignVCenter);
    QFont mono("Courier New");
    mono.setStyleHint(QFont::Monospace);
    mono.setPointSize(9);
    StaticText1->setFont(mono);
    StaticText3->setFont(mono);
    StaticText1->setEnabled(false);

    auto* counter = group("Наработка (циклы)", client, {472, 32, 134, 46}, "GroupBox19");
    StaticText4 = staticText("StaticText4", " ", counter, {6, 18, 122, kEditHeight},
                             Qt::AlignRight | Qt::AlignVCenter);
    StaticText4->setEnabled(false);

    auto* status = group("Текущий % подстройки", client, {4, 80, 380, 40}, "GroupBox6");
    StaticText2 = new QLabel("Подстройка", status);
    StaticText2->setObjectName("StaticText2");
    StaticText2->setTextFormat(Qt::PlainText);
    StaticText2->setGeometry(6, 16, 368, 20);
    StaticText2->setAlignment(Qt::AlignCenter);
    QFont courier("Courier New");
    courier.setStyleHint(QFont::Monospace);
    courier.setBold(true);
    courier.setPointSize(10);
    StaticText2->setFont(courier);
}

void TForm1::buildMapGroup(QWidget* client) {
    auto* box =
        group("Время открытого состояния инжектора", client, {4, 122, 380, 280}, "GroupBox1");
    makeReadOut(readout("ExtText4"), box, {8, 16, 176, kEditHeight});
    makeReadOut(readout("ExtText3"), box, {196, 16, 176, kEditHeight});
    m_chart = new MapChart(box);
    m_chart->setGeometry(4, 40, 372, 196);

    // Each pair sits under its point of the speed axis, wherever the chart puts the axis.
    static constexpr const char* kNames[] = {"Set500",  "Set1000", "Set1500", "Set2000",
                                             "Set3000", "Set4000", "Set6000"};
    for (int i = 0; i < 7; ++i) {
        auto* pair = new ArrowPair(kNames[i], box);
        pair->resize(16, 36);
        const int index = i + 1;
        connect(pair, &ArrowPair::UpClick, this, [this, index] { m_map->RaiseMapPoint(index); });
        connect(pair, &ArrowPair::DownClick, this, [this, index] { m_map->LowerMapPoint(index); });
        m_arrows.push_back(pair);
    }
    // Queued: while the chart lays itself out, the view's mapping lags behind the plot area.
    connect(m_chart->chart(), &QChart::plotAreaChanged, this, &TForm1::placeArrowPairs,
            Qt::QueuedConnection);
    placeArrowPairs();
}

void TForm1::placeArrowPairs() {
    static constexpr int kSpeeds[] = {500, 1000, 1500, 2000, 3000, 4000, 6000};
    for (std::size_t i = 0; i < m_arrows.size(); ++i) {
        const QPointF at = m_chart->ValueToPixel(kSpeeds[i], 0);
        const int x = m_chart->x() + qRound(at.x()) - m_arrows[i]->width() / 2;
        m_arrows[i]->move(x, m_chart->geometry().bottom() + 3);
    }
}

void TForm1::buildParameterTabs(QWidget* client) {
    PageControl1 = new QTabWidget(client);
    PageControl1->setObjectName("PageControl1");
    PageControl1->setGeometry(388, 80, 218, 322);

    auto* engineTabs = new QTabWidget;
    engineTabs->setObjectName("PageControl2");
    // Three inner tabs share the narrow column without scroll arrows.
    engineTabs->tabBar()->setFont(FormFont(7));
    PageControl1->addTab(engineTabs, ToQString(kEngineTab));
    auto* sensorTabs = new QTabWidget;
    sensorTabs->setObjectName("PageControl3");
    PageControl1->addTab(sensorTabs, ToQString(kSensorTab));

    constexpr int w = 204; // group width on a page
    constexpr QRect field{8, 15, 188, kEditHeight};

    // "Параметры"
    QWidget* params = page(engineTabs, kParametersPage, "TabSheet1");
    makeSpinEdit(edit("SpinExtEdit9"), group("Количество катушек зажигания", params, {2, 0, w, 40}),
                 field);
    makeSpinEdit(edit("SpinExtEdit2"), group("Количество цилиндров", params, {2, 40, w, 40}),
                 field);
    m_choices.resize(4);
    m_choices[2] =
        makeChoice("ComboBox3", group("Запуск двигателя", params, {2, 80, w, 40}), field);
    m_choices[0] =
        makeChoice("ComboBox1", group("Тип клапана бензина", params, {2, 120, w, 40}), field);
    m_choices[1] =
        makeChoice("ComboBox2", group("Тип клапана паровой фазы", params, {2, 160, w, 40}), field);
    auto* oxygen = group(ToQString(kOxygenSensor.place.group), params, {2, 200, w, 64});
    RadioButton1 = new QRadioButton(ToQString(kOxygenSensor.present.caption), oxygen);
    RadioButton1->setObjectName("RadioButton1");
    RadioButton1->setGeometry(10, 16, 70, 18);
    RadioButton2 = new QRadioButton(ToQString(kOxygenSensor.absent.caption), oxygen);
    RadioButton2->setObjectName("RadioButton2");
    RadioButton2->setGeometry(96, 16, 70, 18);
    m_oxygenButtons = new QButtonGroup(this);
    m_oxygenButtons->addButton(RadioButton1);
    m_oxygenButtons->addButton(RadioButton2);
    m_oxygenButtons->setExclusive(false); // nothing is selected before the first read
    RadioButton1->setEnabled(false);
    RadioButton2->setEnabled(false);
    makeReadOut(readout("ExtText1"), oxygen, {4, 36, 196, kEditHeight});

    // "Др. засл."
    QWidget* throttle = page(engineTabs, kThrottlePage, "TabSheet2");
    makeSpinEdit(edit("SpinExtEdit19"), group("Пороговое напряжение ХХ", throttle, {2, 0, w, 40}),
                 field);
    auto* acceleration = group("Обогащение при  разгоне", throttle, {2, 40, w, 40});
    makeSpinEdit(edit("SpinExtEdit20"), acceleration, field);
    buildHiddenAccelerationGroup(acceleration, "SpinExtEdit12", "SpinExtEdit13");

    auto* pickup = group("Подхват", throttle, {2, 80, w, 96});
    label("Обогащение при подхвате", pickup, {8, 16, 188, 14});
    makeSpinEdit(edit("SpinExtEdit24"), pickup, {8, 30, 188, kEditHeight});
    label("Обороты включения ПХХ", pickup, {8, 53, 188, 14});
    makeSpinEdit(edit("SpinExtEdit18"), pickup, {8, 67, 188, kEditHeight});
    auto* tps = group("Датчик положения др. заслонки", throttle, {2, 176, w, 66});
    m_choices[3] = makeChoice("ComboBox4", tps, field);
    makeReadOut(readout("ExtText5"), tps, {4, 40, 196, kEditHeight});

    // "Коленвал"
    QWidget* crank = page(engineTabs, kCrankshaftPage, "TabSheet3");
    auto* limit = group("Ограничение об/мин", crank, {2, 0, w, 40});
    makeSpinEdit(edit("SpinExtEdit3"), limit, field);
    buildHiddenAccelerationGroup(limit, "SpinExtEdit4", "SpinExtEdit5");

    // "Термо датчик" / "Двигателя"
    QWidget* sensor = page(sensorTabs, kEngineSensorPage, "TabSheet4");
    m_startModeGroup = group(ToQString(kStartModeDesignCaption), sensor, {2, 0, w, 40},
                             ToQString(kStartModeGroup));
    makeSpinEdit(edit("SpinExtEdit22"), m_startModeGroup, field);
    auto* adjust = group("Юстировка датчика температуры", sensor, {2, 40, w, 120});
    label("Напряжение при\nхолодном двиг.", adjust, {6, 17, 104, 28});
    makeSpinEdit(edit("SpinExtEdit16"), adjust, {118, 20, 80, kEditHeight});
    label("Напряжение при\nгорячем двиг.", adjust, {6, 52, 104, 28});
    makeSpinEdit(edit("SpinExtEdit17"), adjust, {118, 55, 80, kEditHeight});
    label("Текущее напряжение", adjust, {6, 92, 110, 16});
    makeReadOut(readout("ExtText8"), adjust, {118, 90, 80, kEditHeight});
    auto* temperature = group("Текущая температура двигателя", sensor, {2, 160, w, 44});
    makeReadOut(readout("ExtText9"), temperature, {8, 16, 188, kEditHeight});
}

// A "Разгон" group that is never seen: it lies below its parent's bottom edge, and nothing moves
// it. Its enrichment edit still reads its register with every initialisation.
void TForm1::buildHiddenAccelerationGroup(QWidget* parent, std::string_view enrichment,
                                          std::string_view cycles) {
    auto* hidden = group("Разгон", parent, {4, parent->height() + 4, 176, 70});
    label("Обогащение", hidden, {4, 16, 80, 16});
    makeSpinEdit(edit(enrichment), hidden, {84, 14, 88, kEditHeight});
    label("Колич. циклов", hidden, {4, 42, 80, 16});
    makeSpinEdit(edit(cycles), hidden, {84, 40, 88, kEditHeight});
}

void TForm1::buildServicePanels(QWidget* client) {
    Panel1 = new QFrame(client);
    Panel1->setObjectName("Panel1");
    Panel1->setGeometry(612, 1, 181, 404);
    QPalette red = Panel1->palette();
    red.setColor(QPalette::WindowText, Qt::red);
    Panel1->setPalette(red);

    auto* heading = label(ToQString(kServicePanelLabel), Panel1, {8, 4, 165, 18});
    QFont bold = heading->font();
    bold.setBold(true);
    heading->setFont(bold);
    auto* line = new QFrame(Panel1);
    line->setGeometry(8, 22, 100, 2);
    line->setFrameShape(QFrame::HLine);
    line->setStyleSheet("color: red; background: red;");

    auto* supply = group("Напряжение питания", Panel1, {4, 30, 173, 44});
    makeReadOut(readout("ExtText6"), supply, {6, 16, 160, kEditHeight});
    auto* reference = group("Опорное напряжение", Panel1, {4, 78, 173, 44});
    makeSpinEdit(edit("SpinExtEdit1"), reference, {6, 16, 160, kEditHeight});
    auto* hysteresis = group("Гистерезис датчика кислорода", Panel1, {4, 126, 173, 44});
    makeSpinEdit(edit("SpinExtEdit10"), hysteresis, {6, 16, 78, kEditHeight});
    makeSpinEdit(edit("SpinExtEdit11"), hysteresis, {89, 16, 78, kEditHeight});

    Panel2 = new QFrame(client);
    Panel2->setObjectName("Panel2");
    Panel2->setGeometry(4, 408, 789, 121);
    static_cast<QFrame*>(Panel2)->setFrameShape(QFrame::StyledPanel);
}

} // namespace zef
