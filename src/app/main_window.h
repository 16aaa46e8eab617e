#pragma once

#include "app/monitor.h"
#include "controls/control_registry.h"
#include "datalog/trend_data.h"
#include "files/identity.h"
#include "files/recent_files.h"
#include "files/settings_file.h"
#include "link/link_supervisor.h"
#include "link/port_info.h"
#include "link/port_map.h"
#include "link/register_exchange.h"
#include "params/choices.h"
#include "params/reader.h"
#include "session/change_history.h"

#include <QMainWindow>
#include <QTimer>

#include <array>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QAction;
class QButtonGroup;
class QComboBox;
class QDockWidget;
class QGroupBox;
class QLabel;
class QMenu;
class QProgressDialog;
class QPushButton;
class QRadioButton;
class QSettings;
class QTabWidget;

namespace zef {

class ArchiveDialog;
class ArrowPair;
class CalibrationArchive;
class ChangeJournal;
class DatalogLoad;
class DatalogRecorder;
class LinkStatusBar;
class MapChart;
class MapEditor;
class MapTable;
class Dashboard;
class MonitorCycle;
class ParameterTable;
class MessageJournal;
class PortsDialog;
class Prompts;
class TExtText;
class TrendWindow;
class TSpinExtEdit;
struct EditRow;
struct ReadoutRow;

// The main window: the connection session, the calibration parameters, the live monitor and
// the map chart. Every device access goes through the one exchange it is given.
class TForm1 : public QMainWindow, public IdentityView {
    Q_OBJECT
public:
    static constexpr const char* kCaption = kPlainCaption;
    static constexpr int kMonitorIntervalMs = 350;

    // The production log lives in logFolder; `today` dates the numbering.
    TForm1(ControllerSession& session, Prompts& prompts, const QString& logFolder,
           DeviceIdentity::Today today = &QDate::currentDate, QWidget* parent = nullptr);
    ~TForm1() override;

    // The connection sequence for port 1 to 4, and its undoing.
    void ConnectToPort(int portNumber);
    void Close_COMClick();
    // One monitor tick.
    void Timer1Timer();

    [[nodiscard]] bool Connected() const { return m_connected; }

    // Whether the controller of the session still answers. While the link is lost the monitor
    // tick sends only a probe, and what the window shows of the controller is greyed.
    [[nodiscard]] const LinkSupervisor& Supervisor() const { return *m_supervisor; }
    // The status bar under the window's own area: the link's state and its figures.
    [[nodiscard]] LinkStatusBar& LinkStatus() const { return *m_linkStatus; }
    // Refreshes the figures now; the status bar does it once a second by itself.
    void RefreshLinkFigures();

    // Reads and shows the identity, numbering a blank controller. False when it ended with an
    // error, which has been shown.
    bool ReadIdentity();
    // The serial number dialog's OK: write the serial and today's date, then read them back.
    bool WriteSerialNumber(const QString& serial);

    // Commits the text the user typed into the focused edit and has not committed yet, while
    // the edit still shows, so that the value is written before whatever takes the user away
    // (another page, a menu, a service action, the end of the session or of the program)
    // hides or parks the edit.
    void CommitTypedValue();

    // The file menu.
    void LoadSettingsFromFile();
    void SaveSettingsToFile();
    // Loads a settings file named by the user, from the dialog or "Последние файлы".
    void LoadSettingsFrom(const QString& path);

    // "Файл → Последние файлы": newest first.
    void SetRecentFiles(const QStringList& files);
    [[nodiscard]] const QStringList& RecentFilesList() const { return m_recent.Files(); }
    [[nodiscard]] QMenu* RecentMenu() const { return m_recentMenu; }

    // Added to every message about the production log: which folder it is kept in, and why.
    void SetLogFolderNote(const QString& note) { m_logFolderNote = note; }
    // Numbers from the production registry rather than the log alone; nullptr: the log.
    void SetNumberSource(NumberSource* source) { m_identity.SetNumberSource(source); }

    // The calibration archive: a snapshot at every connection and before every load. Without
    // one (nullptr) none is taken.
    void SetArchive(const CalibrationArchive* archive) { m_archive = archive; }
    [[nodiscard]] const CalibrationArchive* Archive() const { return m_archive; }
    // Loads a settings file into the controller, archiving first the state it overwrites, and
    // shows what the controller then holds: the load command and a restore.
    // `kind`: a restore from the archive is recorded as one.
    bool LoadCalibration(const QString& path, EventKind kind = EventKind::Loaded);
    void CompareWithFile();
    void CompareTwoFiles();
    void ShowCalibrationArchive();
    // What stands behind the buttons: the mapping the exchange's ports follow, the settings it
    // is remembered in and the system's port list. Without a mapping "Порты..." is off.
    struct PortSetup {
        PortMap* map = nullptr;
        QSettings* settings = nullptr;
        std::function<std::vector<PortInfo>()> list;
    };
    void SetPortSetup(PortSetup setup);
    // "Файл → Порты...": opens the dialog, which applies and remembers the choice on OK.
    PortsDialog* ShowPortsDialog();
    // Puts the chosen devices behind the buttons (an empty text: the default) and remembers
    // those that changed; false when the settings could not be written, which has been shown.
    bool ApplyPortChoice(const std::array<QString, 4>& before,
                         const std::array<QString, 4>& chosen);
    // "Журнал": a recording of the engine to CSV while connected. Rows are read with the monitor
    // tick, or by a timer of their own when the period is shorter than the tick.
    void StartRecording();
    // Starts recording into the file at path, replacing it; false when it could not be
    // created, which has been said.
    bool StartRecordingTo(const QString& path);
    void StopRecording();
    [[nodiscard]] bool Recording() const { return m_recorder != nullptr; }
    [[nodiscard]] const DatalogRecorder* Recorder() const { return m_recorder.get(); }
    void SetRecordingPeriod(std::chrono::milliseconds period);
    [[nodiscard]] std::chrono::milliseconds RecordingPeriod() const { return m_recordPeriod; }
    // The periods the menu offers, the tick's first and the line's limit last.
    [[nodiscard]] static std::vector<std::chrono::milliseconds> RecordingPeriods();
    // The fastest period a recording is offered.
    [[nodiscard]] static std::chrono::milliseconds FastestRecordingPeriod();
    // What the recording has read so far, or the last recording after it ended; null before
    // the first.
    [[nodiscard]] std::shared_ptr<const TrendData> RecordedTrend() const { return m_recordedTrend; }
    // "Тренд": the trend window with the recording (live while it runs).
    void ShowTrend();
    // "Открыть запись...": a recording from a file into the trend window, with or without a
    // controller. The file is read off the window thread with its progress shown, and
    // recordingOpened() tells how it ended; a refused file's message has been shown. False when
    // nothing was started (no file chosen).
    bool OpenRecording();
    bool OpenRecordingFrom(const QString& path);
    // The opening under way stops; the trend window keeps what it showed.
    void CancelOpening();
    [[nodiscard]] bool Opening() const { return m_load != nullptr; }
    // "Журнал → Метка" (M): a marker on the recording's next row; an empty text gives the
    // marker its number. False when nothing records.
    bool MarkRecording(const QString& text = {});
    // Whether the recording's (engine speed, current injection time) points show on the map.
    void SetRecordingOnMap(bool shown);
    // The trend window once opened, else null.
    [[nodiscard]] TrendWindow* Trend() const { return m_trendWindow; }
    // "Вид → Все параметры": the table of every register, read afresh each time it is opened.
    ParameterTable* ShowParameterTable();
    // "Вид → Приборы": refreshed with every monitor tick while it shows.
    Dashboard* ShowDashboard();
    // "Вид → Журнал сообщений": the status bar's messages, each whole and with its time.
    MessageJournal* ShowMessageJournal();

    // "Правка": the last change this session made to the controller written back, or again,
    // through the window's own exchange and read back; the controls then show what the
    // controller holds. False when nothing was written or the controller did not take it
    // (which has been said); the step then stays where it was.
    bool UndoChange();
    bool RedoChange();
    // "Правка → Журнал изменений".
    ChangeJournal* ShowChangeJournal();
    [[nodiscard]] const ChangeHistory& History() const { return m_history; }
    [[nodiscard]] ChangeHistory& History() { return m_history; }

    // The serial number read whole at the last identity read.
    [[nodiscard]] const std::optional<QString>& SerialNumber() const { return m_serial; }
    [[nodiscard]] ControllerSession& Session() const { return m_session; }

    // IdentityView
    void ShowSerial(const QString& serial) override;
    void ShowDate(const QString& date) override;
    void Repaint() override;

    // Controls by the names the window gives them.
    template <class T> [[nodiscard]] T* Control(const QString& name) const {
        return findChild<T*>(name);
    }
    [[nodiscard]] TSpinExtEdit* SpinEdit(const QString& name) const;
    [[nodiscard]] TExtText* ReadOut(const QString& name) const;

    [[nodiscard]] MapChart* Chart1() const { return m_chart; }
    [[nodiscard]] MapEditor& Map() const { return *m_map; }
    // "Карта → Таблица карты": the map's points as numbers, docked under the window's own area,
    // so that the window keeps its layout; hidden until asked for.
    [[nodiscard]] MapTable* MapNumbers() const { return m_mapTable; }
    [[nodiscard]] QDockWidget* MapTableDock() const { return m_mapTableDock; }
    [[nodiscard]] QTimer& Timer1() { return m_timer1; }
    [[nodiscard]] const ControlRegistry& Registry() const { return m_registry; }
    [[nodiscard]] RegisterExchange& Link() const { return m_link; }
    [[nodiscard]] Prompts& Ask() const { return m_prompts; }
    [[nodiscard]] OxygenSensor OxygenSelection() const { return m_oxygen; }

    QLabel* StaticText1 = nullptr; // serial number
    QLabel* StaticText2 = nullptr; // status line
    QLabel* StaticText3 = nullptr; // release date
    QLabel* StaticText4 = nullptr; // operating counter
    QPushButton* Close_COM = nullptr;
    QPushButton* Connect_to_COM[4] = {};
    QWidget* Panel1 = nullptr;
    QWidget* Panel2 = nullptr;
    QTabWidget* PageControl1 = nullptr;
    QAction* N2 = nullptr; // load settings
    QAction* N3 = nullptr; // save settings
    QAction* N5 = nullptr; // help, never shown
    QAction* N6 = nullptr; // about
    QAction* N7 = nullptr; // quit
    QAction* CompareWithFileAction = nullptr;
    QAction* CompareFilesAction = nullptr;
    QAction* ArchiveAction = nullptr;
    QAction* PortsAction = nullptr;
    QAction* StartRecordingAction = nullptr;
    QAction* StopRecordingAction = nullptr;
    QAction* TrendAction = nullptr;
    QAction* OpenRecordingAction = nullptr;
    QAction* UndoAction = nullptr;
    QAction* RedoAction = nullptr;
    QAction* MarkAction = nullptr;
    QAction* MarkTextAction = nullptr;
    QAction* RecordingOnMapAction = nullptr;

    // "? → Сервисные функции": what the service gestures open, and where.
    [[nodiscard]] static QString ServiceFunctionsText();
    // The service gestures.
    void StaticText4MouseDown(Qt::KeyboardModifiers modifiers, Qt::MouseButtons buttons);
    void PageControl1MouseDown(Qt::KeyboardModifiers modifiers, Qt::MouseButtons buttons);

signals:
    // The serial number dialog is asked for (the gesture on StaticText1).
    void StaticText1MouseDown();
    void N2Click();
    void N3Click();
    void N6Click();
    // A settings file was loaded or saved; the list is the new "Последние файлы".
    void RecentFilesChanged(const QStringList& files);
    // An opening of a recording ended: shown in the trend window, or refused (said) or cancelled.
    void recordingOpened(bool shown);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void watchWaysOutOfTheEdits();
    [[nodiscard]] static bool LeavesTheEdit(QObject* watched, QEvent* event);
    void FormCreate();
    void buildLayout();
    void buildMenu();
    void buildButtonRow(QWidget* client);
    void buildReadoutGroups(QWidget* client);
    void buildMapGroup(QWidget* client);
    void buildParameterTabs(QWidget* client);
    void buildServicePanels(QWidget* client);
    void buildHiddenAccelerationGroup(QWidget* parent, std::string_view enrichment,
                                      std::string_view cycles);
    void placeArrowPairs();
    void buildMapTable(QMenu* map);
    // The map table as the chart and the link stand now, its operating point from ExtText2.
    void showMapTable();

    void bindParameters();
    TSpinExtEdit* makeSpinEdit(const EditRow& row, QWidget* parent, QRect bounds);
    TExtText* makeReadOut(const ReadoutRow& row, QWidget* parent, QRect bounds);
    QComboBox* makeChoice(std::string_view control, QWidget* parent, QRect bounds);
    void applyChoiceReadings(const struct ChoiceReadings& readings);
    void followOxygenFlag(bool succeeded, std::uint16_t word);
    void selectOxygen(OxygenSensor selection);
    void oxygenClicked(OxygenSensor selection);
    void setStartModeCaption(std::optional<int> item);
    void showOperatingCounter();
    // Steps 5 to 12 of the connection sequence: the connected controls and everything they read.
    void showController();

    void buildStatusBar();
    void linkStateChanged(LinkState state);
    void showLinkState();
    void showLinkLost();
    void probeLink();
    // The controller answers again, maybe another one: everything the connection reads, read
    // again, with nothing written.
    void rereadController();
    void rememberFile(const QString& path);
    void fillRecentMenu();

    void addArchiveActions(QMenu* file);
    void addPortsAction(QMenu* file);
    void showPortTooltips();
    [[nodiscard]] QString openFailureMessage(int portNumber) const;
    [[nodiscard]] QString noControllerMessage(int portNumber) const;
    void addDatalogMenu();
    // "Вид": the views of the session, each a window of its own.
    void addViewMenu();
    void addEditMenu();
    // Writes the words of the last step back (or those of the last step undone, again).
    bool replayStep(bool back);
    // Undo and redo only while a controller answers and there is something to do.
    void showUndoState();
    // The one place a datalog row is read: at the end of a monitor tick, or from the recording
    // timer at a shorter period. Nothing is read while the monitor is stopped.
    void recordRow();
    void endRecording(const QString& failure);
    void showRecordingState();
    TrendWindow& trendWindow();
    void showRecordingOnMap();
    void loadProgress(double share);
    void loadFinished(const QString& path, Expected<std::shared_ptr<TrendData>> loaded);
    // Reads what `read` does not hold yet.
    void snapshotAtConnection(const KnownWords& read = {});
    void showStatus(const QString& text);
    void openControllerComparison(const QString& path, const QString& name, QWidget* parent,
                                  std::function<void()> afterWrite = {});
    void refreshArchive(ArchiveDialog* dialog);

    ControllerSession& m_session;
    RegisterExchange& m_link;
    Prompts& m_prompts;
    ControlRegistry m_registry;
    QTimer m_timer1;
    bool m_connected = false;
    OxygenSensor m_oxygen = OxygenSensor::Unselected;
    DeviceIdentity m_identity;

    MapChart* m_chart = nullptr;
    std::unique_ptr<MapEditor> m_map;
    std::unique_ptr<MonitorCycle> m_monitor;
    std::vector<ArrowPair*> m_arrows;
    MapTable* m_mapTable = nullptr;
    QDockWidget* m_mapTableDock = nullptr;
    QGroupBox* m_startModeGroup = nullptr;
    QButtonGroup* m_oxygenButtons = nullptr;
    QRadioButton* RadioButton1 = nullptr;
    QRadioButton* RadioButton2 = nullptr;
    std::vector<QComboBox*> m_choices; // ComboBox1 to ComboBox4
    QMenu* m_recentMenu = nullptr;
    RecentFiles m_recent;
    QString m_logFolderNote;

    std::unique_ptr<DatalogRecorder> m_recorder;
    std::chrono::milliseconds m_recordPeriod{kMonitorIntervalMs};
    QTimer m_recordTimer;
    std::shared_ptr<TrendData> m_recordedTrend;
    TrendWindow* m_trendWindow = nullptr; // a window of its own, owned as this one's child
    std::unique_ptr<DatalogLoad> m_load;
    QProgressDialog* m_loadProgress = nullptr;
    // The recording last shown in the trend window, for its points on the map.
    std::shared_ptr<const TrendData> m_shownTrend;
    std::size_t m_mapPointsGeneration = 0;
    ParameterTable* m_parameterTable = nullptr; // likewise
    Dashboard* m_dashboard = nullptr;           // likewise
    MessageJournal* m_messageJournal = nullptr; // likewise
    ChangeJournal* m_changeJournal = nullptr;   // likewise
    ChangeHistory m_history;
    // What the monitor read for the datalog and the gauges, shown and written.
    void showRow(std::optional<ReadRow> row);
    void showReadout(const ReadoutQuery& query, ParamValue& value);
    [[nodiscard]] MonitorCycle::RowReader rowReader() const;
    QMenu* m_periodMenu = nullptr;
    QLabel* m_recordingLabel = nullptr;
    LinkSupervisor* m_supervisor = nullptr; // the session's
    LinkStatusBar* m_linkStatus = nullptr;
    QTimer m_figuresTimer;
    // The controller is read again after a lost link: its reads are shown, nothing goes back.
    bool m_rereading = false;

    const CalibrationArchive* m_archive = nullptr;
    PortSetup m_ports;
    std::optional<QString> m_serial;
    // A blank controller got its number at this connection: the status bar says so with
    // whatever it shows next at the connection.
    QString m_numberedNote;
};

} // namespace zef
