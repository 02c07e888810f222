#pragma once
// What the drive erase and the soft-bad creation windows share: a pass over
// a range of sectors run on the UI thread, its gauge, the current LBA, the
// remaining-time box fed by a one-second timer, and the buttons "Config",
// "Stop", "Close" and help.
#include <QString>
#include <cstdint>
#include <functional>

#include "common/LongRun.h"

namespace ata {
struct IdentifyBlock;
}

class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QTimer;

class TSectorPassForm : public LongRunForm {
    Q_OBJECT
public:
    QProgressBar* CounterLBA;
    QLabel* Label1;
    QLineEdit* eCurLBA;
    QLabel* Label15;
    QLineEdit* ElapsedBox;  // eElapsedTime or mElapsedTime
    QPushButton* bbStart;
    QPushButton* bbStop;
    QPushButton* bbClose;
    QPushButton* bbHelp;
    QTimer* Timer;

    // IDENTIFY DEVICE as the window sends it when "Config" is pressed (a
    // test may stand in for the drive's answer).
    std::function<int32_t(uint8_t* buffer512)> IdentifyCommand;

    // The one-second tick: the remaining time of the pass in ElapsedBox.
    void TimerTimer();
    void bbHelpClick();

    int64_t StartLBA() const { return m_startLba; }
    int64_t EndLBA() const { return m_endLba; }
    int64_t CurrentLBA() const { return m_currentLba; }
    static constexpr int kGaugeSteps = 10000;

protected:
    TSectorPassForm(QWidget* owner, const char* elapsedName, const QString& helpText, int helpContext);

    // IdentifyCommand into `id`; a failure is said ("Ошибка идентификации
    // устройства!") and false returned.
    bool IdentifyDrive(ata::IdentifyBlock& id);

    // A pass over [start, end) begins: the gauge at 0, nothing done yet.
    void BeginPass(int64_t start, int64_t end);
    // `current` is done up to (not including) itself: gauge and text.
    void ShowCurrent(int64_t current);
    // The clock of the remaining time starts; the timer runs.
    void StartClock();

private:
    int m_helpContext;
    int64_t m_startLba = 0;
    int64_t m_endLba = 0;
    int64_t m_currentLba = 0;
    uint32_t m_startTick = 0;
    // Smoothed milliseconds per sector, kept from pass to pass.
    float m_msPerSector = 0;
};
