#pragma once
// The identify report window (F2 of the main window).
#include <QDialog>
#include <cstdint>

#include "info/IdentifyReport.h"

class QPlainTextEdit;
class QPushButton;

class TfrmPasport : public QDialog {
    Q_OBJECT
public:
    // Identifies the drive and fills the report; on failure shows the
    // program's message and leaves ShowAllowed at 0.
    explicit TfrmPasport(QWidget* owner = nullptr);

    QPlainTextEdit* Memo = nullptr;
    QPushButton* bbOK = nullptr;
    QPushButton* bbHelp = nullptr;

    // Non-zero when the identify succeeded and the window is worth showing.
    uint8_t ShowAllowed = 0;

    // What the identify and the decode gave.
    const info::DriveIdentify& Identify() const { return m_identify; }

    void bbHelpClick();

private:
    void FormCreate();

    info::DriveIdentify m_identify;
};

// Writes the report's values to panels 2 to 5 of the main window.
void ShowIdentifyStatus(const info::IdentifyReport& report);

// The main menu's command: creates the report with `owner` as its owner,
// shows it modally when the identify succeeded, and destroys it.
void ShowPasport(QWidget* owner);
