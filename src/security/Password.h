#pragma once
// The password dialog of the Security menu: set a user or master password,
// unlock the drive, or remove the password.  The main window sets
// PasswordMode (the ATA command: 0xF1, 0xF2 or 0xF6) before showing it.
#include <QDialog>
#include <cstdint>

class QGroupBox;
class QLineEdit;
class QPushButton;
class RadioGroup;

class TfrmPassword : public QDialog {
    Q_OBJECT
public:
    explicit TfrmPassword(QWidget* owner = nullptr);

    // Set before the dialog is shown.  Another value leaves the caption of
    // the design, and OK only refreshes the password panel.
    uint8_t PasswordMode = 0;

    QGroupBox* gbPwd;
    QLineEdit* ePwd;
    RadioGroup* rgbPwdType;
    RadioGroup* rgbPwdLevel;
    QPushButton* bbOK;
    QPushButton* bbCancel;
    QPushButton* bbHelp;

    // The mode's caption and form: unlocking and removing choose no level,
    // and the window is then 173 pixels high (more when its fonts need it).
    // Runs when the dialog is shown.
    void FormActivate();
    // OK is enabled exactly when the trimmed text is not empty.
    void ePwdChange();
    // Sends the command, tells its result, identifies the drive again for
    // the password panel, and closes the dialog.
    void bbOKClick();
    void bbHelpClick();

protected:
    void showEvent(QShowEvent* e) override;
};

// The main menu's command: the dialog in `mode`, modal, owned by `owner`,
// destroyed when it closes.
void ShowPasswordDialog(QWidget* owner, uint8_t mode);
