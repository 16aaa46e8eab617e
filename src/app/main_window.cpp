#include "app/main_window.h"

#include "app/map_chart.h"
#include "app/map_editor.h"
#include "app/map_table.h"
#include "app/monitor.h"
#include "controls/ext_edit.h"
#include "controls/ext_text.h"
#include "datalog/datalog_load.h"
#include "datalog/recorder.h"
#include "dialogs/prompts.h"

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>

namespace zef {

TForm1::TForm1(ControllerSession& session, Prompts& prompts, const QString& logFolder,
               DeviceIdentity::Today today, QWidget* parent)
    : QMainWindow(parent), m_session(session), m_link(session.Link()), m_prompts(prompts),
      m_identity(session.Link(), logFolder, std::move(today)) {
    setObjectName("Form1");
    setWindowTitle("ZEF-K7LX-system");
    buildLayout();
    bindParameters();

    m_map = std::make_unique<MapEditor>(m_link, *m_chart);
    m_map->SetLoadedObserver([this] { m_timer1.start(); });
    m_map->SetReplyObserver([this](ParamValue speed, ParamValue injectionMs) {
        ReadOut("ExtText2")->SetValue(speed);
        ReadOut("ExtText3")->SetValue(injectionMs);
        showMapTable();
    });
    m_map->SetShownObserver([this] { showMapTable(); });
    buildMapTable(findChild<QMenu*>("MapMenu"));
    m_monitor = std::make_unique<MonitorCycle>(
        m_session, *this, *m_map,
        MonitorCycle::Hooks{[this](const QString& text) { StaticText2->setText(text); },
                            [this] {
                                m_chart->CentreMarkerOn(m_chart->ValueToPixel(
                                    static_cast<double>(ReadOut("ExtText2")->Value()),
                                    static_cast<double>(ReadOut("ExtText3")->Value())));
                            }});
    m_monitor->SetAfterTick([this](std::optional<ReadRow> row) { showRow(std::move(row)); });

    // The window's timers are its own, so that none of them starts a sequence while the
    // window waits on the line in the middle of another.
    m_session.SetWindow(this);
    for (QTimer* timer : {&m_timer1, &m_recordTimer, &m_figuresTimer})
        timer->setParent(this);
    m_timer1.setObjectName("Timer1");
    m_timer1.setInterval(kMonitorIntervalMs);
    connect(&m_timer1, &QTimer::timeout, this, &TForm1::Timer1Timer);

    // Any write makes the controller differ from a file named in the caption. A write is made
    // on whichever thread has the line; the caption changes on the window's.
    m_link.SetWriteObserver([this] {
        QMetaObject::invokeMethod(
            this, [this] { setWindowTitle(kCaption); }, Qt::AutoConnection);
    });

    // Every change made to the controller, by any control, view or command, is learned from the
    // exchange itself.
    m_link.SetExchangeObserver([this](Command command, std::uint8_t address, std::uint16_t value,
                                      const std::optional<Reply>& reply) {
        m_history.Observe(command, address, value, reply);
    });

    for (int n = 1; n <= 4; ++n)
        connect(Connect_to_COM[n - 1], &QPushButton::clicked, this,
                [this, n] { ConnectToPort(n); });
    connect(Close_COM, &QPushButton::clicked, this, &TForm1::Close_COMClick);
    connect(this, &TForm1::N2Click, this, &TForm1::LoadSettingsFromFile);
    connect(this, &TForm1::N3Click, this, &TForm1::SaveSettingsToFile);
    // The service gestures; the tab strips are watched with the other ways out of an edit.
    StaticText1->installEventFilter(this);
    StaticText4->installEventFilter(this);
    watchWaysOutOfTheEdits();
    FormCreate();
}

TForm1::~TForm1() {
    // The session outlives the window.
    m_session.Hold();
    m_link.SetWriteObserver({});
    m_link.SetExchangeObserver({});
    m_supervisor->SetStateObserver({});
    m_session.SetWindow(nullptr);
    // Its reader posts to this window: it stops while the window is still whole.
    m_load.reset();
}

TSpinExtEdit* TForm1::SpinEdit(const QString& name) const {
    return findChild<TSpinExtEdit*>(name);
}

TExtText* TForm1::ReadOut(const QString& name) const {
    return findChild<TExtText*>(name);
}

void TForm1::FormCreate() {
    setWindowTitle(kCaption);
    Panel1->hide();
    Panel2->hide();
    N2->setEnabled(false);
    N3->setEnabled(false);
}

void TForm1::ConnectToPort(int portNumber) {
    switch (m_session.Connect(portNumber)) {
    case Handshake::PortFailed:
        m_prompts.Message(openFailureMessage(portNumber), Prompts::Kind::Warning);
        return;
    case Handshake::NoAnswer:
        m_prompts.Message(noControllerMessage(portNumber), Prompts::Kind::Warning);
        return;
    case Handshake::Connected:
        break;
    }
    // What was changed belongs to the controller it was changed on.
    m_history.Clear();
    m_connected = true;
    m_supervisor->Start(portNumber, ControllerSession::kBaud);
    // The connection is one burst; the words it read serve the archive's snapshot when
    // nothing stray came on the way, and the snapshot reads only the rest.
    KnownWords read;
    bool verified = false;
    {
        m_link.SetReadRecorder(&read);
        Burst burst(m_link);
        showController();
        // A production log that fails ends the sequence here; the session stays open.
        const bool identified = ReadIdentity();
        if (identified)
            showOperatingCounter();
        m_link.SetReadRecorder(nullptr);
        verified = burst.Verified();
        if (!identified)
            return showUndoState();
    }
    snapshotAtConnection(verified ? read : KnownWords{});
    m_session.Record(EventKind::Connected, m_serial);
    showUndoState();
}

void TForm1::showOperatingCounter() {
    // Shown only from its own answer: the word left in the reply record is another register's.
    if (const auto reply = m_link.Exchange(Command::ReadParam, kCounterRegister))
        StaticText4->setText(OperatingCounterText(reply->second));
}

void TForm1::Close_COMClick() {
    // Typed into an edit and not yet committed: written while the controller is still there.
    CommitTypedValue();
    StopRecording();
    setWindowTitle(kCaption);
    m_connected = false;
    N2->setEnabled(false);
    N3->setEnabled(false);
    m_chart->MoveMarkerHome();
    RadioButton1->setEnabled(false);
    RadioButton2->setEnabled(false);
    StaticText1->setText(" ");
    StaticText2->setText(QString());
    StaticText4->setText(QString());
    StaticText1->setEnabled(false);
    StaticText4->setEnabled(false);
    m_link.Channel().Close();
    m_supervisor->Stop();
    m_history.Clear();
    showUndoState();
    for (auto* b : Connect_to_COM)
        b->setEnabled(true);
    Close_COM->setEnabled(false);
    for (auto* combo : m_choices)
        combo->setEnabled(false);
    m_chart->ClearSeries();
    m_timer1.stop();
    m_monitor->Cancel();
    m_registry.PassAll();
    showMapTable();
}

// While the link is lost a tick is one probe; only a full tick reads the controller.
void TForm1::Timer1Timer() {
    if (m_monitor->Pending())
        return; // the last tick is still on the line
    if (m_supervisor->IsLost()) {
        probeLink();
        return;
    }
    m_monitor->Tick(rowReader());
}

} // namespace zef
