#pragma once
// The surface scan window ("Проверка поверхности"): the range dialog, the
// worker's controls, thirteen class counters, the map, the speed graph, the
// report and its saving.
#include <QPointer>
#include <QStringList>
#include <array>
#include <cstdint>
#include <functional>
#include <optional>

#include "common/LongRun.h"
#include "common/ReportSave.h"
#include "surface/ScanMap.h"
#include "surface/ScanRules.h"
#include "surface/ScanSink.h"

class QAction;
class QChart;
class QChartView;
class QLabel;
class QLineEdit;
class QLineSeries;
class QListView;
class QMenu;
class QProgressBar;
class QPushButton;
class QStatusBar;
class QTabWidget;
class QTimer;
class QValueAxis;
class ScanMapView;
class TScanThread;
class TfrmScanParam;
class ReportListModel;

// Opens the scan window for the main menu (F4): modal, owned by `owner`,
// destroyed when it closes.  Returns when the window has closed.
void ShowScanWindow(QWidget* owner);

class TfrmScan : public LongRunForm, public ScanSink {
    Q_OBJECT
public:
    explicit TfrmScan(QWidget* owner = nullptr);
    ~TfrmScan() override;

    // ---- components ------------------------------------------------------
    QProgressBar* Counter;
    QPushButton* bbStart;  // "Config"
    QPushButton* bbStop;
    QPushButton* bbPause;
    QPushButton* bbClose;
    QPushButton* BitBtn1;  // "Help"
    QPushButton* bbSave;
    QWidget* CounterPanel;
    std::array<QLineEdit*, scan::kClassCount> CounterEdits{};
    QTabWidget* PageControl;
    QWidget* tshMap;
    QWidget* tshGraf;
    QWidget* tshReport;
    ScanMapView* Grid;
    QChartView* GrafView;
    QChart* Graf;
    QLineSeries* Series1;
    QValueAxis* AxisX;
    QValueAxis* AxisY;
    QListView* lbError;
    QStatusBar* StatusBar;
    std::array<QLabel*, 6> Panels{};
    QTimer* Timer;
    QMenu* ppmAction;
    QAction* miHome;
    QAction* miEnd;
    QAction* mi10Up;
    QAction* mi10Down;
    QAction* mi50ms;
    QAction* miUnc;
    QAction* miError;

    enum Tab { kMapTab = 0, kGraphTab = 1, kReportTab = 2 };

    // ---- handlers --------------------------------------------------------
    void bbStartClick();
    void bbStopClick();
    void bbPauseClick();
    void BitBtn1Click();
    void bbSaveClick();
    void TimerTimer();
    void PageControlChange(int index);
    void GridSelectCell(int64_t row, int col);
    void miHomeClick();
    void miEndClick();
    void mi10UpClick();
    void mi10DownClick();
    void mi50msClick();
    void miUncClick();
    void miErrorClick();
    void UpdateFindItems();

    // ---- the worker's steps (ScanSink) -------------------------------------
    void ScanStarted(const ScanStart& s) override;
    void ShowBlock(const ScanBlock& b) override;
    void AddPoint(const ScanPoint& p) override;
    void ScanFinished(const ScanEnd& e) override;
    void EndOfRun(const ScanEnd& e) override;

    // Brings the counters, progress, panel 0, report and map on screen; the
    // worker's steps only record, and this runs a few dozen times a second
    // while a run goes on (and at once at its end or pause).
    void RefreshView();

    // ---- state -----------------------------------------------------------
    // Running(): a run (paused or stopping included) is going on.
    QString StatusPanel(int i) const;
    QStringList ReportLines() const { return m_report; }
    const scan::ScanMap& Map() const { return m_map; }
    const scan::Tally& ClassCounters() const { return m_counts; }
    QString CounterText(scan::BlockClass c) const;
    int64_t StartLBAValue() const { return m_startLba; }
    int64_t StopLBAValue() const { return m_stopLba; }
    int64_t MaxLBA() const { return m_maxLba; }
    int64_t ShownLBA() const { return m_shownLba; }
    bool Lba48() const { return m_lba48; }
    float MsPerLBA() const { return m_msPerLba; }
    void SetMsPerLBA(float v) { m_msPerLba = v; }
    int RunPage() const { return m_runPage; }
    TScanThread* Worker() const;
    int ProgressPosition() const;  // 0 .. kProgressSteps
    static constexpr int kProgressSteps = 10000;

    // ---- dialogs (tests replace them) ---------------------------------------
    // Shows the range dialog; true on OK.
    std::function<bool(TfrmScanParam&)> RangeDialog;
    // Asks for the report's file name; empty when cancelled.
    ReportFileDialog SaveDialog;

protected:
    // Starts the worker of a run (tests may intervene first).
    virtual void StartWorker(TScanThread* worker);

    // "Stop": the timer stops, the tabs come back, the worker is told.
    void StopRun() override;
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    static constexpr int kRefreshMs = 40;  // the display follows a run this often
    int m_statusWidth = 0;  // what the status panels need
    void BuildUi();
    void FormCreate();
    bool FormKeyDown(QKeyEvent* e);
    void RunScan();
    void SetTabsEnabled(bool on);
    void ScheduleRefresh();
    void ShowCounters();
    void Navigate(void (scan::ScanMap::*move)());
    void FindNext(scan::ScanMap::Find what);
    void SetPanel(int i, const QString& text);

    // Window state.
    bool m_lba48 = false;
    QString m_driveModel;     // 40 characters as identify gives them
    QString m_driveSerial;    // 20
    QString m_driveFirmware;  // 8
    int64_t m_startLba = 0;
    int64_t m_stopLba = 0;
    int64_t m_lastStartLba = 0;
    int64_t m_lastStopLba = 0;
    int64_t m_maxLba = 0;
    int64_t m_shownLba = 0;
    scan::Tally m_counts;
    std::array<int64_t, scan::kClassCount> m_countsShown{};
    uint32_t m_startTick = 0;
    uint32_t m_pausedTicks = 0;
    uint32_t m_pauseTick = 0;
    float m_msPerLba = 0;
    int m_runPage = kGraphTab;
    QPointer<TScanThread> m_worker;
    // The worker of the run until its end, also after a stop request (only
    // so that a window destroyed mid-run can detach from it).
    QPointer<TScanThread> m_runWorker;

    // Report, map and graph data.
    QStringList m_report;
    ReportListModel* m_reportModel;
    scan::ScanMap m_map;
    std::optional<double> m_minSpeed;
    std::optional<double> m_maxSpeed;

    // Deferred display of the per-block changes.
    QTimer* m_refresh;
    bool m_blockShown = false;
    bool m_mapFollow = false;
};
