#pragma once
// The security erase window: erases the whole drive with its own SECURITY
// ERASE UNIT.  For the erase it sets the user password "KRENT", prepares and
// starts the erase, polls the drive on the UI thread until it is ready
// again, shows the elapsed and the estimated remaining time, and removes
// the password again when the run does not end in a completed erase.
#include <QString>
#include <cstdint>

#include "common/LongRun.h"

class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTimer;
class RadioGroup;

class TfrmSecurityErase : public LongRunForm {
    Q_OBJECT
public:
    // Identifies the drive; when that fails the window says so and only
    // Close and Help can be used.
    explicit TfrmSecurityErase(QWidget* owner = nullptr);
    // Identifies the drive again for the main window's password panel.
    ~TfrmSecurityErase() override;

    // ---- components ------------------------------------------------------
    RadioGroup* rgbEraseType;  // 0 normal, 1 enhanced (only when the drive reports it)
    QGroupBox* gbTime;
    QLabel* Label1;
    QLineEdit* mTime;          // elapsed
    QLabel* Label2;
    QLineEdit* mElapsedTime;   // estimated remaining
    QPushButton* bbStart;
    QPushButton* bbStop;
    QPushButton* bbClose;
    QPushButton* bbHelp;
    QTimer* Timer;

    // ---- handlers --------------------------------------------------------
    void rgbEraseTypeClick();
    // Runs the whole erase: returns when it has ended (or, after an
    // unexpected error, with the window still running until Stop).
    void bbStartClick();
    void TimerTimer();
    void bbHelpClick();

    // ---- state -----------------------------------------------------------
    int32_t NormalEraseSeconds() const { return m_normalSeconds; }
    int32_t EnhancedEraseSeconds() const { return m_enhancedSeconds; }
    int32_t RemainingSeconds() const { return m_remainingSeconds; }
    int32_t ElapsedSeconds() const { return m_elapsedSeconds; }
    bool EraseRunning() const { return m_eraseRunning; }
    bool PasswordSet() const { return m_passwordSet; }

signals:
    // The drive took SECURITY ERASE UNIT; the polling begins.
    void EraseStarted();

protected:
    bool ConfirmStop() override;
    void StopRun() override;

private:
    void BuildUi();
    void FormCreate();
    void RunErase(UiLoopGuard& loop);
    // Ends the sequence on `text`: the window's error of this run.
    void Fail(QStringView text);
    void FinishErase();
    void RemovePassword();
    // Lets events run for `ms` milliseconds; false when the loop must end.
    bool Wait(UiLoopGuard& loop, int ms);

    QString m_model;
    bool m_identified = false;
    bool m_enhancedSupported = false;
    int32_t m_normalSeconds = 0;
    int32_t m_enhancedSeconds = 0;
    int32_t m_remainingSeconds = 0;
    int32_t m_elapsedSeconds = 0;
    bool m_eraseRunning = false;  // the sequence is in progress
    bool m_passwordSet = false;   // "KRENT" is on the drive, as far as the window knows
    bool m_eraseFailed = false;
    bool m_completed = false;     // the drive reported the erase finished
    bool m_polling = false;       // bbStartClick is on the stack: it ends a stopped run itself
    bool m_driveErasing = false;  // the drive took the erase and was not seen to end it
    QString m_errorText;
};

// The main menu's command: the window, modal, owned by `owner`, destroyed
// when it closes.
void ShowSecurityErase(QWidget* owner);
