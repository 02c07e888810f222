#pragma once
// Manual entry of a controller channel: name, command block base and control
// block base (hexadecimal).
#include <QDialog>

class QLineEdit;
class QPushButton;

// Checks a port address typed by hand: hexadecimal text of 0001 to FFFF.
// Returns the refusal text, empty when the text is fine.
QString CheckManualPortText(const QString& text);

class TfrmAddPort : public QDialog {
    Q_OBJECT
public:
    explicit TfrmAddPort(QWidget* owner = nullptr);

    QLineEdit* ePortName;
    QLineEdit* eBaseAdr;
    QLineEdit* eAltAdr;
    QPushButton* bbOk;
    QPushButton* bbCancel;

    // OK is possible exactly when all three fields, trimmed, have text.
    void ePortNameChange();
    // The character filter of both address fields: Backspace, Enter and the
    // hexadecimal digits; anything else is dropped with a beep.  Returns
    // true when the key was dropped.
    bool eAltAdrKeyPress(QChar key);
    void bbOkClick();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};
