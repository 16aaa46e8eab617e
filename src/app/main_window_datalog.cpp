// The window's face of the datalog: "Журнал" with the recording of the engine to CSV.

#include "app/main_window.h"

#include "app/dashboard.h"

#include "datalog/channels.h"
#include "datalog/datalog_trend.h"
#include "datalog/recorder.h"
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
        trend.SetData(m_recordedTrend);
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
    const auto rows = ReadDatalogCsv(path);
    if (!rows) {
        m_prompts.Message(rows.error(), Prompts::Kind::Error);
        return false;
    }
    TrendWindow& trend = trendWindow();
    trend.SetData(std::make_shared<const TrendData>(DatalogTrend(*rows)));
    trend.SetLive(false);
    trend.setWindowTitle(QStringLiteral("Тренд: %1").arg(QFileInfo(path).fileName()));
    trend.show();
    trend.raise();
    return true;
}

} // namespace zef
