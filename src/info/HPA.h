#pragma once
// The host protected area dialog ("HPA", ATA → HPA): reads the drive's native
// maximum address and sets a new maximum address between 0 and it.
#include <QDialog>
#include <QString>
#include <cstdint>
#include <functional>

class Int64SpinBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QWidget;

namespace hpa {

// The new maximum as the rules of the field leave it: below 0 it becomes 0,
// above the native maximum the native maximum; `beep` when it was changed.
struct FieldValue {
    int64_t value = 0;
    bool beep = false;
};
FieldValue CorrectedValue(int64_t typed, int64_t nativeMax);

// "HPA - " + model + " - " + the value / 2048 (a half to the even
// neighbour) with digit groups + " MB".
QString Caption(const QString& model, int64_t value);

// OK may be pressed.
inline bool OkEnabled(int64_t value, int64_t nativeMax) { return value >= 0 && value <= nativeMax; }

}  // namespace hpa

class TfrmHPA : public QDialog {
    Q_OBJECT
public:
    using IdentifyFn = std::function<int32_t(uint8_t* buffer512)>;

    // Identifies the drive (through `identify`, IdentifyDevice when empty)
    // and reads its native maximum; on a failure says so and leaves
    // ShowAllowed at 0.
    explicit TfrmHPA(QWidget* owner = nullptr, IdentifyFn identify = {});

    QWidget* Panel1;
    QLabel* Label1;
    QLineEdit* eMaxLBA;
    QLabel* Label2;
    Int64SpinBox* speNewMaxLBA;
    QPushButton* bbOK;
    QPushButton* bbCancel;
    QPushButton* bbHelp;

    // Non-zero when the dialog may be shown.
    uint8_t ShowAllowed = 0;
    int64_t NativeMaxAddress = 0;
    uint8_t Lba48 = 0;

    // The field's text changed (typed or stepped).
    void speNewMaxLBAChange();
    void bbOKClick();
    void bbHelpClick();

private:
    void FormCreate(const IdentifyFn& identify);

    QString m_model;
};

// The main menu's command: creates the dialog with `owner` as owner, shows it
// modally when it may be shown, and destroys it.
void ShowHpa(QWidget* owner);
