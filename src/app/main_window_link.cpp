// The link as the fitter sees it: the status bar, a lost controller and its return.
//
// Once the controller stops answering, the window no longer shows what it last heard as if it
// were live: what it shows of the controller is greyed and takes no input, the monitor sends
// one probe a tick instead of a tick of exchanges that cannot succeed, and when an answer
// comes the window reads everything again, since the controller behind the cable may be
// another one by now.

#include "app/main_window.h"

#include "app/dashboard.h"
#include "app/map_chart.h"
#include "app/map_editor.h"
#include "app/monitor.h"
#include "app/status_bar.h"
#include "controls/ext_text.h"

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QStatusBar>

namespace zef {

namespace {

constexpr int kFiguresIntervalMs = 1000;
constexpr int kRecoveredMessageMs = 10000;

} // namespace

void TForm1::buildStatusBar() {
    m_linkStatus = new LinkStatusBar(*statusBar());
    m_supervisor = &m_session.Supervisor();
    // A tick on the line's thread may be the one that finds the link lost.
    m_supervisor->SetStateObserver([this](LinkState state) {
        m_session.Deliver(this, [this, state] {
            m_session.Hold();
            linkStateChanged(state);
        });
    });
    m_figuresTimer.setObjectName("LinkFiguresTimer");
    m_figuresTimer.setInterval(kFiguresIntervalMs);
    connect(&m_figuresTimer, &QTimer::timeout, this, &TForm1::RefreshLinkFigures);
}

void TForm1::RefreshLinkFigures() {
    m_session.Hold(); // the figures are the line's
    if (m_supervisor->State() == LinkState::Closed)
        m_linkStatus->ClearFigures();
    else
        m_linkStatus->ShowFigures(m_supervisor->SessionFigures());
}

void TForm1::showLinkState() {
    const LinkSupervisor& s = *m_supervisor;
    m_linkStatus->ShowState(s.State(), s.PortNumber(), s.DeviceName(), s.LostReason());
}

void TForm1::linkStateChanged(LinkState state) {
    showLinkState();
    showUndoState();
    if (m_dashboard)
        m_dashboard->ShowLinkState();
    switch (state) {
    case LinkState::Closed:
        m_figuresTimer.stop();
        m_linkStatus->ClearFigures();
        // What was greyed for a lost link is left as "Close COM" leaves it.
        StaticText2->setEnabled(true);
        StaticText3->setEnabled(true);
        m_chart->SetStale(false);
        break;
    case LinkState::Live:
        if (!m_figuresTimer.isActive()) {
            m_linkStatus->ShowFigures(m_supervisor->SessionFigures());
            m_figuresTimer.start();
        }
        break;
    case LinkState::Lost:
        showLinkLost();
        // Lost in the middle of a sequence (connection, read again, a file load), whose later
        // steps enable their controls again: greyed once more when it has ended.
        m_session.Later(this, [this] {
            if (m_supervisor->IsLost())
                showLinkLost();
        });
        break;
    }
    showMapTable();
}

void TForm1::showLinkLost() {
    // A message shown for a while must not stand beside the red state as if all were well.
    statusBar()->clearMessage();
    // Disabled is greyed in every style, and a disabled control neither queries nor writes.
    for (QWidget* control : m_registry.Components())
        control->setEnabled(false);
    for (auto* combo : m_choices)
        combo->setEnabled(false);
    for (QWidget* w : {static_cast<QWidget*>(RadioButton1), static_cast<QWidget*>(RadioButton2),
                       static_cast<QWidget*>(StaticText1), static_cast<QWidget*>(StaticText2),
                       static_cast<QWidget*>(StaticText3), static_cast<QWidget*>(StaticText4)})
        w->setEnabled(false);
    N2->setEnabled(false);
    N3->setEnabled(false);
    m_chart->SetStale(true);
    showMapTable();
    RefreshLinkFigures();
}

void TForm1::probeLink() {
    m_session.Hold(); // the supervisor's state is the line's
    if (m_supervisor->Probe())
        rereadController();
    else
        showLinkState(); // the reason may have changed: gone, or back but silent
}

void TForm1::rereadController() {
    m_rereading = true;
    StaticText2->setEnabled(true);
    StaticText3->setEnabled(true);
    m_chart->SetStale(false);
    showController();
    if (!m_supervisor->IsLost()) {
        // Shown as the controller holds it: a blank controller met here is not numbered
        // behind the fitter's back, it is numbered at the next connection.
        const IdentityReading identity = m_identity.ReadStored(*this);
        const auto before = m_serial;
        m_serial = identity.complete ? std::optional(identity.serial) : std::nullopt;
        // Another controller came back on the line: the changes were made on the one gone.
        if (m_serial != before)
            m_history.ForgetSteps();
    }
    if (!m_supervisor->IsLost())
        showOperatingCounter();
    m_rereading = false;
    if (m_supervisor->IsLost())
        return; // gone again on the way: greyed again, and the probes go on
    snapshotAtConnection();
    statusBar()->showMessage(QStringLiteral("Связь восстановлена"), kRecoveredMessageMs);
    RefreshLinkFigures();
}

void TForm1::showController() {
    N2->setEnabled(true);
    N3->setEnabled(true);
    StaticText1->setEnabled(true);
    StaticText4->setEnabled(true);
    for (auto* b : Connect_to_COM)
        b->setEnabled(false);
    Close_COM->setEnabled(true);
    RadioButton1->setEnabled(true);
    RadioButton2->setEnabled(true);

    m_map->LoadMap();
    m_registry.InitAll();
    if (m_oxygen == OxygenSensor::Absent)
        ReadOut("ExtText1")->setEnabled(false);
    for (auto* combo : m_choices)
        combo->setEnabled(true);
}

} // namespace zef
