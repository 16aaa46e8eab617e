#include "app/dashboard.h"
#include "app/main_window.h"
#include "app/map_chart.h"
#include "app/map_editor.h"
#include "app/map_table.h"
#include "app/parameter_table.h"
#include "app/status_bar.h"
#include "archive/snapshot_archive.h"
#include "controls/ext_text.h"
#include "params/choices.h"

#include <QComboBox>
#include <QDockWidget>
#include <QMenu>
#include <QMenuBar>
#include <QStyle>

#include <algorithm>

namespace zef {

namespace {

// A view is a window of its own that stays above the main one and closes with it.
template <class View> View* Raise(View* view) {
    view->show();
    view->raise();
    view->activateWindow();
    return view;
}

} // namespace

void TForm1::addViewMenu() {
    QMenu* view = menuBar()->addMenu("&Вид");
    view->setObjectName("ViewMenu");
    QAction* dashboard = view->addAction("&Приборы");
    dashboard->setObjectName("DashboardAction");
    connect(dashboard, &QAction::triggered, this, [this] { ShowDashboard(); });
    QAction* parameters = view->addAction("&Все параметры");
    parameters->setObjectName("ParameterTableAction");
    connect(parameters, &QAction::triggered, this, [this] { ShowParameterTable(); });
    QAction* journal = view->addAction("Журнал &сообщений");
    journal->setObjectName("MessageJournalAction");
    connect(journal, &QAction::triggered, this, [this] { ShowMessageJournal(); });
}

void TForm1::buildMapTable(QMenu* map) {
    m_mapTable = new MapTable(*m_map, m_prompts);
    m_mapTable->SetHistory(&m_history);
    m_mapTableDock = new QDockWidget(QStringLiteral("Таблица карты"), this);
    m_mapTableDock->setObjectName("MapTableDock");
    m_mapTableDock->setWidget(m_mapTable);
    m_mapTableDock->setAllowedAreas(Qt::BottomDockWidgetArea);
    m_mapTableDock->setFeatures(QDockWidget::DockWidgetClosable);
    addDockWidget(Qt::BottomDockWidgetArea, m_mapTableDock);
    m_mapTableDock->hide();
    QAction* toggle = m_mapTableDock->toggleViewAction();
    toggle->setText(QStringLiteral("&Таблица карты"));
    toggle->setObjectName("MapTableAction");
    map->addAction(toggle);
    // The window grows by the table when it comes; when it goes the room goes with it, once
    // the window's layout has let go of the table's least size.
    connect(m_mapTableDock, &QDockWidget::visibilityChanged, this, [this](bool shown) {
        if (shown || !isVisible() || isMaximized() || isFullScreen())
            return;
        const int separator = style()->pixelMetric(QStyle::PM_DockWidgetSeparatorExtent);
        const int without = height() - m_mapTableDock->height() - separator;
        QMetaObject::invokeMethod(
            this,
            [this, without] { resize(width(), std::max(without, minimumSizeHint().height())); },
            Qt::QueuedConnection);
    });
}

void TForm1::showMapTable() {
    if (!m_mapTable)
        return;
    // Written only while the controller answers and the chart shows what it holds.
    const bool writable = m_connected && m_map->Loaded() && !m_chart->Stale();
    m_mapTable->Show(writable, ReadOut("ExtText2")->Value());
}

ParameterTable* TForm1::ShowParameterTable() {
    CommitTypedValue();
    if (!m_parameterTable) {
        m_parameterTable = new ParameterTable(m_link, *m_supervisor, m_prompts, this);
        m_parameterTable->setWindowFlag(Qt::Window);
        // A list picked in the table shows the same item in the window, which raises no write.
        connect(m_parameterTable, &ParameterTable::Written, this, [this](std::uint8_t address) {
            const auto word = m_parameterTable->Word(address);
            for (const ChoiceRow& row : ChoiceRows()) {
                auto* combo = findChild<QComboBox*>(ToQString(row.control));
                if (row.address != address || !word || !combo)
                    continue;
                const auto item = ItemFromWord(row, *word);
                combo->setCurrentIndex(item.value_or(-1));
                if (row.control == kStartModeControl)
                    setStartModeCaption(item);
            }
        });
    }
    // The controller connected now, whose serial number may have changed since.
    ParameterTable::SnapshotList snapshots;
    if (m_archive)
        snapshots = [this] {
            return m_archive && m_serial ? m_archive->List(*m_serial) : std::vector<Snapshot>{};
        };
    m_parameterTable->SetSnapshots(std::move(snapshots));
    (void)m_parameterTable->Reload();
    return Raise(m_parameterTable);
}

MessageJournal* TForm1::ShowMessageJournal() {
    if (!m_messageJournal) {
        m_messageJournal =
            new MessageJournal(static_cast<const WholeWordStatusBar&>(*statusBar()), this);
        m_messageJournal->setWindowFlag(Qt::Window);
    }
    return Raise(m_messageJournal);
}

Dashboard* TForm1::ShowDashboard() {
    if (!m_dashboard) {
        m_dashboard = new Dashboard(m_link, *m_supervisor, m_ports.settings, this);
        m_dashboard->setWindowFlag(Qt::Window);
    }
    m_dashboard->ShowLinkState();
    return Raise(m_dashboard);
}

} // namespace zef
