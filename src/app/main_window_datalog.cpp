// The window's face of the datalog: "Журнал" with the recording of the engine to CSV.

#include "app/main_window.h"

#include "app/dashboard.h"
#include "app/map_chart.h"

#include "datalog/channels.h"
#include "datalog/datalog_load.h"
#include "datalog/datalog_trend.h"
#include "datalog/recorder.h"
#include "datalog/trend_thinning.h"
#include "datalog/trend_window.h"
#include "dialogs/prompts.h"
#include "files/settings_file.h"

#include <QAction>
#include <QActionGroup>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QProgressDialog>
#include <QStandardPaths>
#include <QStatusBar>

namespace zef {

namespace {

const QString kDatalogFilter = QStringLiteral("Журнал двигателя (*.csv)");

QString WithCsvExtension(const QString& path) {
    return QFileInfo(path).suffix().isEmpty() ? path + QStringLiteral(".csv") : path;
}

QString PeriodText(std::chrono::milliseconds period) {
    if (period == std::chrono::milliseconds(TForm1::kMonitorIntervalMs))
        return QStringLiteral("%1 мс, с тактом монитора").arg(period.count());
    if (period == TForm1::FastestRecordingPeriod())
        return QStringLiteral("%1 мс, предел линии").arg(period.count());
    return QStringLiteral("%1 мс").arg(period.count());
}

QString EmptyTrendText() {
    return QStringLiteral("Записи нет. Подключитесь к контроллеру и начните запись: «Журнал» → "
                          "«Начать запись...», или откройте сохранённую запись: «Журнал» → "
                          "«Открыть запись...».");
}

std::size_t ChannelIndex(std::string_view key) {
    return std::size_t(FindDatalogChannel(key) - DatalogChannels().data());
}

// A dot of the map's recording points is this many pixels of the plot across.
constexpr double kPointPixels = 3;

} // namespace

std::chrono::milliseconds TForm1::FastestRecordingPeriod() {
    // Only a period the line keeps beside the monitor and the read-outs is offered.
    return KeptDatalogPeriod(MonitorLineShare(std::chrono::milliseconds(kMonitorIntervalMs)));
}

std::vector<std::chrono::milliseconds> TForm1::RecordingPeriods() {
    using std::chrono::milliseconds;
    std::vector<milliseconds> periods{milliseconds(kMonitorIntervalMs)};
    for (milliseconds faster : {milliseconds(200), milliseconds(100)})
        if (faster > FastestRecordingPeriod())
            periods.push_back(faster);
    periods.push_back(FastestRecordingPeriod());
    return periods;
}

void TForm1::addDatalogMenu() {
    QMenu* log = menuBar()->addMenu("&Журнал");
    log->setObjectName("DatalogMenu");
    StartRecordingAction = log->addAction("&Начать запись...");
    StartRecordingAction->setObjectName("StartRecording");
    StopRecordingAction = log->addAction("&Остановить запись");
    StopRecordingAction->setObjectName("StopRecording");
    m_periodMenu = log->addMenu("&Период записи");
    m_periodMenu->setObjectName("RecordingPeriod");
    auto* periods = new QActionGroup(m_periodMenu);
    for (const auto period : RecordingPeriods()) {
        QAction* choice = m_periodMenu->addAction(PeriodText(period));
        choice->setCheckable(true);
        choice->setChecked(period == m_recordPeriod);
        choice->setData(static_cast<qlonglong>(period.count()));
        periods->addAction(choice);
        connect(choice, &QAction::triggered, this, [this, period] { SetRecordingPeriod(period); });
    }
    log->addSeparator();
    TrendAction = log->addAction("&Тренд");
    TrendAction->setObjectName("Trend");
    OpenRecordingAction = log->addAction("Открыть &запись...");
    OpenRecordingAction->setObjectName("OpenRecording");
    connect(StartRecordingAction, &QAction::triggered, this, &TForm1::StartRecording);
    connect(StopRecordingAction, &QAction::triggered, this, &TForm1::StopRecording);
    connect(TrendAction, &QAction::triggered, this, &TForm1::ShowTrend);
    connect(OpenRecordingAction, &QAction::triggered, this, [this] { (void)OpenRecording(); });
    log->addSeparator();
    MarkAction = log->addAction("Поставить &метку");
    MarkAction->setObjectName("Mark");
    MarkAction->setShortcut(QKeySequence(Qt::Key_M));
    MarkTextAction = log->addAction("Метка с т&екстом...");
    MarkTextAction->setObjectName("MarkWithText");
    MarkTextAction->setShortcut(QKeySequence(Qt::SHIFT | Qt::Key_M));
    // Also while the trend window has the keyboard: the fitter watches it while driving.
    for (QAction* mark : {MarkAction, MarkTextAction})
        mark->setShortcutContext(Qt::ApplicationShortcut);
    RecordingOnMapAction = log->addAction("Точки записи на &карте");
    RecordingOnMapAction->setObjectName("RecordingOnMap");
    RecordingOnMapAction->setCheckable(true);
    RecordingOnMapAction->setToolTip("Обороты и текущее время впрыска каждой строки записи, "
                                     "показанной в тренде, точками под картой");
    connect(MarkAction, &QAction::triggered, this, [this] { (void)MarkRecording(); });
    connect(MarkTextAction, &QAction::triggered, this, [this] {
        if (!m_recorder)
            return;
        const QString proposed = m_recorder->NextMarkText();
        if (const auto text = m_prompts.AskText(QStringLiteral("Текст метки:"), proposed))
            (void)MarkRecording(*text);
    });
    connect(RecordingOnMapAction, &QAction::toggled, this, &TForm1::SetRecordingOnMap);
    // Recording needs the controller: it is there exactly when loading a file is.
    connect(N2, &QAction::enabledChanged, this, [this] { showRecordingState(); });

    m_recordTimer.setObjectName("RecordTimer");
    m_recordTimer.setSingleShot(true); // each row sets the next one's time
    connect(&m_recordTimer, &QTimer::timeout, this, &TForm1::recordRow);
    m_recordingLabel = new QLabel(this);
    m_recordingLabel->setObjectName("RecordingLabel");
    m_recordingLabel->setTextFormat(Qt::PlainText);
    statusBar()->addPermanentWidget(m_recordingLabel);
    showRecordingState();
}

void TForm1::showRecordingState() {
    const bool recording = Recording();
    StartRecordingAction->setEnabled(N2->isEnabled() && !recording);
    StopRecordingAction->setEnabled(recording);
    // One file, one period.
    m_periodMenu->setEnabled(!recording);
    MarkAction->setEnabled(recording);
    MarkTextAction->setEnabled(recording);
    m_recordingLabel->setVisible(recording);
    // The status bar also carries the link's state and figures: the file's name, too long to
    // share the line with them, goes to the tooltip.
    if (recording) {
        m_recordingLabel->setText(
            QStringLiteral("● Запись: строк %1").arg(m_recorder->Writer().Rows()));
        m_recordingLabel->setToolTip(QDir::toNativeSeparators(m_recorder->Writer().Path()));
    }
}

void TForm1::SetRecordingPeriod(std::chrono::milliseconds period) {
    if (Recording())
        return;
    m_recordPeriod = std::max(period, FastestRecordingPeriod());
    for (QAction* choice : m_periodMenu->actions())
        choice->setChecked(choice->data().toLongLong() == m_recordPeriod.count());
}

void TForm1::StartRecording() {
    if (!m_connected || Recording())
        return;
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    const QString proposed =
        QDir(documents).filePath(DefaultDatalogName(m_serial, QDateTime::currentDateTime()));
    const auto chosen = m_prompts.SaveFileNameAs(kDatalogFilter, proposed);
    if (!chosen)
        return;
    const QString path = WithCsvExtension(*chosen);
    if (QFileInfo::exists(path) &&
        !m_prompts.AskYesNo(QString::fromUtf8(kReplaceFileQuestion), Prompts::Kind::Confirmation))
        return;
    (void)StartRecordingTo(path);
}

bool TForm1::StartRecordingTo(const QString& path) {
    if (!m_connected || Recording())
        return false;
    auto recorder = std::make_unique<DatalogRecorder>(path);
    if (const Status opened = recorder->Open(); !opened) {
        m_prompts.Message(opened.error(), Prompts::Kind::Error);
        return false;
    }
    m_recorder = std::move(recorder);
    m_recordedTrend = std::make_shared<TrendData>(DatalogTrend(m_recordPeriod));
    m_recordedTrend->SetStart(m_recorder->Started());
    m_shownTrend = m_recordedTrend;
    m_mapPointsGeneration = 0;
    showRecordingOnMap();
    if (m_trendWindow) {
        m_trendWindow->SetData(m_recordedTrend);
        m_trendWindow->SetLive(true);
        m_trendWindow->setWindowTitle(QStringLiteral("Тренд"));
    }
    if (m_recordPeriod < std::chrono::milliseconds(kMonitorIntervalMs))
        m_recordTimer.start(m_recordPeriod);
    showRecordingState();
    return true;
}

void TForm1::recordRow() {
    if (!m_recorder)
        return;
    // A stopped monitor (a settings file being loaded, the session ending) reads no rows, and
    // a lost link none either: the file shows the gap rather than rows that were never read.
    if (!m_timer1.isActive() || m_supervisor->IsLost()) {
        m_recordTimer.start(m_recordPeriod);
        return;
    }
    // The next row is due a period after this one began, however long it waited on the line
    // behind a tick: the rows keep the period offered, neither slower nor in bursts.
    const auto started = std::chrono::steady_clock::now();
    m_session.Post<ReadRow>(this, m_recorder->RowReader(), [this, started](ReadRow row) {
        showRow(std::move(row));
        if (!m_recorder || m_recordPeriod >= std::chrono::milliseconds(kMonitorIntervalMs))
            return;
        const auto spent = std::chrono::duration_cast<std::chrono::milliseconds>(
            std::chrono::steady_clock::now() - started);
        m_recordTimer.start(std::max(std::chrono::milliseconds(0), m_recordPeriod - spent));
    });
}

MonitorCycle::RowReader TForm1::rowReader() const {
    const bool recordsWithTick =
        m_recorder && m_recordPeriod >= std::chrono::milliseconds(kMonitorIntervalMs);
    if (recordsWithTick)
        return m_recorder->RowReader();
    if (m_dashboard && m_dashboard->isVisible())
        return [](RegisterExchange& link) { return ReadRow{{}, 0, ReadDatalogRow(link)}; };
    return {};
}

void TForm1::showRow(std::optional<ReadRow> read) {
    if (!read)
        return;
    if (m_dashboard && m_dashboard->isVisible())
        (void)m_dashboard->ShowReading(read->values);
    // A row read for the gauges alone has no time; a recording begun since does not take it.
    if (!m_recorder || !read->time.isValid())
        return;
    const auto recorded = m_recorder->Write(std::move(*read));
    if (!recorded) {
        endRecording(recorded.error());
        return;
    }
    if (*recorded) {
        AppendToTrend(*m_recordedTrend, **recorded);
        if (m_trendWindow && m_trendWindow->isVisible() &&
            &m_trendWindow->Data() == m_recordedTrend.get())
            m_trendWindow->Refresh();
        if (m_shownTrend == m_recordedTrend)
            showRecordingOnMap();
        showRecordingState();
    }
}

void TForm1::StopRecording() {
    if (!m_recorder)
        return;
    const Status closed = m_recorder->Close();
    if (!closed) {
        endRecording(closed.error());
        return;
    }
    showStatus(QStringLiteral("Запись остановлена: «%1», строк %2.")
                   .arg(QDir::toNativeSeparators(m_recorder->Writer().Path()))
                   .arg(m_recorder->Writer().Rows()));
    m_recorder.reset();
    m_recordTimer.stop();
    showRecordingState();
    if (m_trendWindow)
        m_trendWindow->SetLive(false);
}

void TForm1::endRecording(const QString& failure) {
    m_recorder.reset();
    m_recordTimer.stop();
    showRecordingState();
    if (m_trendWindow)
        m_trendWindow->SetLive(false);
    m_prompts.Message(failure, Prompts::Kind::Error);
}

TrendWindow& TForm1::trendWindow() {
    if (!m_trendWindow) {
        auto empty = std::make_shared<const TrendData>(DatalogTrend(m_recordPeriod));
        m_trendWindow = new TrendWindow(m_recordedTrend ? m_recordedTrend : empty, this);
        m_trendWindow->setObjectName("TrendWindow");
        m_trendWindow->SetLive(Recording());
    }
    return *m_trendWindow;
}

void TForm1::ShowTrend() {
    TrendWindow& trend = trendWindow();
    // Back to the recording from a file that was looked at.
    if (m_recordedTrend && &trend.Data() != m_recordedTrend.get()) {
        CancelOpening();
        trend.SetData(m_recordedTrend);
        m_shownTrend = m_recordedTrend;
        m_mapPointsGeneration = 0;
        showRecordingOnMap();
        trend.SetLive(Recording());
        trend.setWindowTitle(QStringLiteral("Тренд"));
    }
    // Nothing recorded, nothing opened, nothing to record from: a dozen empty plots would
    // only puzzle; the way to something worth plotting is said instead.
    const bool nothing = !m_connected && !m_recordedTrend && trend.Data().Empty();
    trend.SetNote(nothing ? EmptyTrendText() : QString());
    trend.show();
    trend.raise();
    trend.activateWindow();
}

bool TForm1::OpenRecording() {
    CommitTypedValue();
    const auto chosen = m_prompts.OpenFileName(kDatalogFilter);
    return chosen && OpenRecordingFrom(*chosen);
}

bool TForm1::OpenRecordingFrom(const QString& path) {
    CancelOpening();
    // A dialog of its own: the trend window goes on showing what it showed until the file is
    // whole (and a refused file shows nothing), and the fitter goes on working meanwhile.
    m_loadProgress = new QProgressDialog(
        QStringLiteral("Открывается запись «%1»...").arg(QFileInfo(path).fileName()),
        QStringLiteral("Отменить"), 0, 100, this);
    m_loadProgress->setObjectName("OpeningProgress");
    m_loadProgress->setWindowTitle(QStringLiteral("Открыть запись"));
    m_loadProgress->setWindowModality(Qt::NonModal);
    m_loadProgress->setAutoClose(false);
    m_loadProgress->setAutoReset(false);
    m_loadProgress->setMinimumDuration(300);
    m_loadProgress->setValue(0);
    connect(m_loadProgress, &QProgressDialog::canceled, this, &TForm1::CancelOpening);
    m_load = std::make_unique<DatalogLoad>(
        path, this, [this](double share) { loadProgress(share); },
        [this, path](Expected<std::shared_ptr<TrendData>> loaded) {
            loadFinished(path, std::move(loaded));
        });
    return true;
}

void TForm1::loadProgress(double share) {
    if (m_loadProgress)
        m_loadProgress->setValue(int(share * 100));
}

void TForm1::CancelOpening() {
    if (!m_load)
        return;
    m_load.reset();
    if (m_loadProgress) {
        m_loadProgress->deleteLater();
        m_loadProgress = nullptr;
    }
    emit recordingOpened(false);
}

void TForm1::loadFinished(const QString& path, Expected<std::shared_ptr<TrendData>> loaded) {
    m_load.reset();
    if (m_loadProgress) {
        m_loadProgress->deleteLater();
        m_loadProgress = nullptr;
    }
    if (!loaded) {
        m_prompts.Message(loaded.error(), Prompts::Kind::Error);
        emit recordingOpened(false);
        return;
    }
    TrendWindow& trend = trendWindow();
    m_shownTrend = *loaded;
    trend.SetData(m_shownTrend);
    trend.SetLive(false);
    trend.setWindowTitle(QStringLiteral("Тренд: %1").arg(QFileInfo(path).fileName()));
    trend.show();
    trend.raise();
    m_mapPointsGeneration = 0;
    showRecordingOnMap();
    emit recordingOpened(true);
}

bool TForm1::MarkRecording(const QString& text) {
    if (!m_recorder)
        return false;
    m_recorder->Mark(text);
    showStatus(QStringLiteral("Метка «%1» ставится на строку записи %2.")
                   .arg(text.trimmed().isEmpty()
                            ? QStringLiteral("Метка %1").arg(m_recorder->Marks())
                            : text.trimmed())
                   .arg(m_recorder->Writer().Rows() + 1));
    return true;
}

void TForm1::SetRecordingOnMap(bool shown) {
    if (RecordingOnMapAction->isChecked() != shown) {
        RecordingOnMapAction->setChecked(shown); // comes back here through toggled
        return;
    }
    m_mapPointsGeneration = 0;
    showRecordingOnMap();
}

void TForm1::showRecordingOnMap() {
    if (!RecordingOnMapAction->isChecked() || !m_shownTrend) {
        if (m_chart->RecordingPoints())
            m_chart->SetRecordingPoints({});
        return;
    }
    // A live recording adds a row at a time: the dots are thinned anew only when the rows
    // since the last time could have filled a new cell, every few seconds at most.
    constexpr std::size_t kRowsBetween = 16;
    const std::size_t generation = m_shownTrend->Generation() + 1;
    if (m_mapPointsGeneration != 0 && generation < m_mapPointsGeneration + kRowsBetween &&
        generation >= m_mapPointsGeneration)
        return;
    m_mapPointsGeneration = generation;
    const QSizeF plot = m_chart->PlotSize();
    m_chart->SetRecordingPoints(ThinScatter(*m_shownTrend, ChannelIndex("rpm"),
                                            ChannelIndex("injection_ms"), m_chart->ValueArea(),
                                            std::max(1, int(plot.width() / kPointPixels)),
                                            std::max(1, int(plot.height() / kPointPixels))));
}

} // namespace zef
