#pragma once
// The stress test window ("Стресс-тест"): an endless series of seeks or
// one-sector verifies, alternately at the two ends of a range or at random
// LBAs inside it, timed one by one, with the drive's temperature watched
// through SMART and plotted.  The run loops on the UI thread and lets
// pending events run after every command (UiLoopGuard).
#include <QString>
#include <cstdint>
#include <random>

#include "common/LongRun.h"
#include "hw/AtaDefs.h"
#include "surface/SeekTestRules.h"

class QChart;
class QChartView;
class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QLineSeries;
class QPushButton;
class QTimer;
class QValueAxis;
class Int64SpinBox;
class RadioGroup;
class UiLoopGuard;

// Opens the stress test for the main menu (F6): modal, owned by `owner`,
// destroyed when it closes.  Returns when the window has closed.
void ShowSeekTest(QWidget* owner);

class TfrmSeekTest : public LongRunForm {
    Q_OBJECT
public:
    explicit TfrmSeekTest(QWidget* owner = nullptr);
    ~TfrmSeekTest() override;  // FormDestroy

    // ---- components ------------------------------------------------------
    QGroupBox* gbDiapazon;
    Int64SpinBox* speLBA1;  // start LBA
    Int64SpinBox* speLBA2;  // end LBA
    RadioGroup* rgbKind;     // " Адресация "
    RadioGroup* rgbCommand;  // " Тип проверки  "
    QGroupBox* GroupBox2;    // " Результаты "
    QLineEdit* mTemperature;
    QLineEdit* mTime;
    QLineEdit* mMinTime;
    QLineEdit* mAvgTime;
    QLineEdit* mMaxTime;
    QLineEdit* mError;
    QLabel* lError;
    QCheckBox* chbCheckTemp;
    QChartView* GrafView;
    QChart* Graf;
    QLineSeries* Series1;
    QValueAxis* AxisX;  // chart sample number
    QValueAxis* AxisY;  // degrees
    QPushButton* bbStart;
    QPushButton* bbStop;
    QPushButton* bbClose;
    QPushButton* bbHelp;
    QTimer* Timer;

    // ---- handlers --------------------------------------------------------
    // Starts a run and returns when it has ended (Stop, Esc, a failure
    // with stop on error, the window or the application going away).
    void bbStartClick();
    void bbStopClick();
    void bbHelpClick();
    void rgbCommandClick();
    void chbCheckTempClick();
    void TimerTimer();

    // ---- state -----------------------------------------------------------
    bool Identified() const { return m_identified; }
    const stress::StressDrive& Drive() const { return m_drive; }
    const stress::TimeStats& Stats() const { return m_stats; }
    bool StopOnError() const { return m_stopOnError; }
    bool SmartUsable() const { return m_smartUsable; }
    bool SmartSwitchedOnHere() const { return m_smartSwitchedOn; }
    int ChartSampleNumber() const { return m_sample; }
    int ElapsedSeconds() const { return m_elapsed; }
    // The error label and box have turned red (after the first failure).
    bool ErrorShownRed() const { return m_errorRed; }
    stress::Command CommandChoice() const;
    stress::Addressing AddressingChoice() const;

signals:
    // After every command of a run, before pending events run: its target
    // and result (microseconds, or negative when it failed).
    void CommandDone(qint64 lba, int result);

protected:
    void StopRun() override;

private:
    void BuildUi();
    void FormCreate();
    void RunTest(UiLoopGuard& loop);
    void TestLoop(UiLoopGuard& loop, stress::Command command);
    QString ReadTemperature();
    void ShowTimes();
    void ShowErrorCount();
    void AddChartPoint(int x, int degrees);
    void ClearChart();
    void FitAxes();
    void SetInputsEnabled(bool on);

    stress::StressDrive m_drive;
    bool m_identified = false;
    bool m_stopOnError = true;
    bool m_smartUsable = false;
    bool m_smartSwitchedOn = false;
    ata::SmartData m_smartData{};
    std::mt19937_64 m_random;

    int64_t m_startLba = 0;
    int64_t m_endLba = 0;
    stress::TimeStats m_stats;
    bool m_commandsAllowed = true;
    bool m_failedStop = false;  // the run was stopped by a failed command
    bool m_errorRed = false;
    int m_elapsed = 0;
    uint8_t m_ticks = 0;

    int m_sample = 0;  // X of the next temperature point
    bool m_axesAutomatic = false;
    double m_highestX = 0;
    double m_highestY = 0;
};
