#pragma once
// The defect scope window ("Дефектоскоп", the hidden F5 of the main window):
// the layout of a second surface test whose test is not carried out.  It
// identifies the drive, refuses one locked at the maximum security level,
// offers the drive's range and the test's options, and "Start" only resets
// its status texts.  Every other control is shown and edited, nothing more.
#include <QString>
#include <array>
#include <cstdint>

#include "common/LongRun.h"

namespace ata {
struct IdentifyBlock;
}

class Int64SpinBox;
class QChart;
class QChartView;
class QCheckBox;
class QGroupBox;
class QLabel;
class QLineSeries;
class QListWidget;
class QProgressBar;
class QPushButton;
class QSpinBox;
class QStatusBar;
class QTimer;
class RadioGroup;

namespace defect {

// Security status word (identify word 128): supported, enabled and at the
// maximum level (bits 0, 1 and 8).
bool MaximumLevel(uint16_t word128);

// What the window takes from the identify data.
struct ScopeDrive {
    bool refused = false;  // a password at the maximum level
    QString model;         // the 40 characters as identify gives them, untrimmed
    QString caption;       // "Дефектоскоп: " + the model trimmed
    bool lba48 = false;
    int64_t maxLba = -1;   // the highest LBA: capacity - 1
};
// `lba48` is kept when word 83 does not say (0x0000 or 0xFFFF).
ScopeDrive FromIdentify(const ata::IdentifyBlock& id, bool lba48);

}  // namespace defect

// Opens the window for the main menu (F5): modal, owned by `owner`, and
// destroyed when it closes; a refused drive's window is never shown.
void ShowDefectScope(QWidget* owner);

class TfrmDefectoscop : public LongRunForm {
    Q_OBJECT
public:
    explicit TfrmDefectoscop(QWidget* owner = nullptr);

    // ---- components ------------------------------------------------------
    QWidget* pGraf;
    QProgressBar* Counter;
    QChartView* GrafView;
    QChart* Graf;
    QLineSeries* Series1;
    QWidget* pSettings;
    QGroupBox* gbDiapazon;
    Int64SpinBox* speStartLBA;
    Int64SpinBox* speStopLBA;
    RadioGroup* rgbDirect;
    RadioGroup* rgbKesh;
    QGroupBox* gbUnStable;
    QSpinBox* speTimeOut;
    QCheckBox* chbWriteSector;
    QGroupBox* gbReport;
    QListWidget* lbError;
    QPushButton* bbSave;
    QPushButton* bbPause;
    QPushButton* bbHelp;
    QPushButton* bbStart;
    QPushButton* bbStop;
    QPushButton* bbClose;
    QStatusBar* StatusBar;
    std::array<QLabel*, 4> Panels{};
    QTimer* Timer;

    // ---- handlers --------------------------------------------------------
    void bbStartClick();

    // ---- state -----------------------------------------------------------
    // False when the drive was refused: the window is closed at once and
    // never shown.
    bool ShowAllowed() const { return m_showAllowed; }
    bool Lba48() const { return m_lba48; }
    int64_t MaxLBA() const { return m_maxLba; }
    QString StatusPanel(int i) const;

private:
    void BuildUi();
    void FormCreate();

    bool m_showAllowed = true;
    bool m_lba48 = false;
    int64_t m_maxLba = 0;
};
