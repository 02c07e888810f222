#pragma once
// The port and device selection dialog: every channel of every PCI storage
// controller, channels added by hand, master or slave, and the per-port lock
// between running copies of the program.
#include <QDialog>
#include <functional>
#include <memory>
#include <vector>

#include "select/PciScan.h"

class QGroupBox;
class QPushButton;
class QTableWidget;
class PortLock;
class RadioGroup;
class TfrmAddPort;

// The lock file name of a port text: the port as four upper-case digits when
// the text is hexadecimal ("1f0" and "01F0" are the same port), else the
// text itself.
QString PortLockKey(const QString& portText);

class TfrmSelectPort : public QDialog {
    Q_OBJECT
public:
    explicit TfrmSelectPort(QWidget* owner = nullptr);
    ~TfrmSelectPort() override;

    QGroupBox* gbEnabledPort;
    QTableWidget* Grid;
    RadioGroup* rgbDevice;
    QPushButton* bbAddPort;
    QPushButton* bbCancel;
    QPushButton* bbOk;

    bool GridEmpty = true;
    bool CanClose = false;
    bool FirstStart = false;

    void FormCreate();
    void bbOkClick();
    void bbCancelClick();
    bool FormCloseQuery() const { return CanClose; }
    void GridDblClick();
    void bbAddPortClick();

    // The row the user chose and its cells.
    int SelectedRow() const;
    QString Cell(int column, int row) const;
    int DeviceIndex() const;
    const std::vector<ChannelRow>& ScannedRows() const { return m_scanned; }

    // The lock of the confirmed port.  Null when the port is the one this
    // process already holds (it stays in Ctx().PortMutex) or before OK.  The
    // caller moves it into Ctx().PortMutex once the connection is made, so
    // the previous port stays marked until then.
    std::unique_ptr<PortLock> TakePortLock();

    // How the manual entry dialog is run (exec() unless a test drives it).
    std::function<int(TfrmAddPort&)> runAddPort;

protected:
    void closeEvent(QCloseEvent* event) override;
    void reject() override;  // Esc: the cancel button
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void AddGridRow(const QString& name, const QString& base, const QString& control);

    std::vector<ChannelRow> m_scanned;
    std::unique_ptr<PortLock> m_newLock;
};
