#pragma once
// The settings dialog ("Параметры", F12 of the main window): every user
// setting of Voran.ini.  The rules (what is read with which default, what is
// written in which order) are plain functions; the dialog only shows them.
#include <QDialog>
#include <functional>

class IniFile;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QPushButton;
class QSpinBox;
class RadioGroup;

namespace settings {

// The limits of the three spin edits.
struct Limits {
    int min;
    int max;
};
inline constexpr Limits kTimeOutLimits{1, 200};    // s
inline constexpr Limits kMonitorLimits{10, 500};   // ms
inline constexpr Limits kLineLimits{1, 5};         // graph line width

// What the dialog edits, with the dialog's own defaults (the time-outs here
// are 5 s and 25 ms, not start-up's 10 s and 35 ms).
struct Values {
    bool slaveEnabled = false;  // "Port"/"SlaveEnabled"
    bool savePort = true;       // "Port"/"SavePort"
    bool saveDevice = false;    // "Port"/"SaveDevice"
    bool autoDetect = false;    // "Port"/"AutoDetect"
    int timeOut = 5;            // "TimeOut"/"TimeOut"
    int monitorPeriod = 25;     // "TimeOut"/"MonitorPeriod"
    int rawFormat = 1;          // "SMART"/"RawFormat": 0 HEX, 1 DEC
    bool stopError = true;      // "StressTest"/"StopError"
    int command = 1;            // "StressTest"/"Command": 0 Seek, 1 Verify
    int adres = 1;              // "StressTest"/"Adres": 0 range bounds, 1 random
    int line = 2;               // "Scan"/"Line"

    bool operator==(const Values&) const = default;
};

// Every key as the dialog shows it: missing keys and texts that are not
// numbers give the defaults above; the spin edits' values are brought into
// their limits, and the item indexes to the nearest item.  No file (null):
// the defaults.
Values Load(const IniFile* ini);

// What OK applies besides the file.
struct Effects {
    std::function<void()> reinitLibrary;           // after "TimeOut" is written
    std::function<void(int)> setMonitorPeriod;     // after "MonitorPeriod" is written
};

// Writes every key, changed or not, in this order: the four port options,
// "TimeOut", (reinitLibrary), "MonitorPeriod", (setMonitorPeriod),
// "RawFormat", "StopError", "Command", "Adres", "Line".  A write the file
// system refuses raises IniWriteError; the keys after it are not written
// and the effects after it do not happen.  Each write leaves the file whole.
void Store(IniFile& ini, const Values& v, const Effects& effects);

// The effects of the running program: the command layer initialised again
// with the connection's own values (its time-out is the one read at start),
// and the new period given to the register monitor of the main window.
Effects ProgramEffects();

}  // namespace settings

// Opens the settings dialog for the main menu (F12): modal, owned by
// `owner`, destroyed when it closes.
void ShowSettings(QWidget* owner);

class TfrmSettings : public QDialog {
    Q_OBJECT
public:
    explicit TfrmSettings(QWidget* owner = nullptr);

    // ---- components ------------------------------------------------------
    QGroupBox* gbDefaultPort;
    QCheckBox* chbSlaveEnabled;
    QCheckBox* chbSavePort;
    QCheckBox* chbSaveDevice;
    QCheckBox* chbAutoDetect;
    QGroupBox* gbTimeout;
    QSpinBox* speTimeOut;
    QSpinBox* speMonitor;
    RadioGroup* rgbSMART;
    QGroupBox* gbSeekTest;
    QComboBox* cbCommand;
    QComboBox* cbAdres;
    QCheckBox* chbSeekError;
    QGroupBox* gbScan;
    QSpinBox* speLine;
    QPushButton* bbOk;
    QPushButton* bbCancel;

    // What OK applies besides the file (tests replace it).
    settings::Effects Effects;

    // ---- handlers --------------------------------------------------------
    void FormCreate();
    void bbOkClick();

    // The controls as values, and back.
    settings::Values ControlValues() const;
    void SetControlValues(const settings::Values& v);

private:
    void BuildUi();
};
