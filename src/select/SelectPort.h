#pragma once
// The port and device selection dialog: every channel of every PCI storage
// controller, then every drive of the kernel's pass-through (DriveRows.h),
// channels added by hand, master or slave, and the per-port lock between
// running copies of the program (one name per channel or drive).
#include <QDialog>
#include <functional>
#include <memory>
#include <vector>

#include "select/DriveRows.h"
#include "select/PciScan.h"

class QGroupBox;
class QPushButton;
class QTableWidget;
class PortLock;
class RadioGroup;
class TfrmAddPort;

namespace ata {
class Transport;
}

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
    // The pass-through drive of a grid row; null for a channel's row.
    const DriveRow* DriveRowAt(int row) const;

    // The opened drive of a confirmed pass-through row (null otherwise, or
    // once taken): the caller connects the ATA layer to it.
    std::shared_ptr<ata::Transport> TakeDriveTransport() { return std::move(m_drive); }

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
    void AddGridRow(const QString& name, const QString& base, const QString& control, int driveIndex = -1);
    // Master/Slave does not apply to a pass-through drive: the group is off
    // on such a row, and as configured on the others.
    void UpdateDeviceGroup();

    std::vector<ChannelRow> m_scanned;
    std::vector<DriveRow> m_drives;
    bool m_deviceGroupEnabled = true;
    std::unique_ptr<PortLock> m_newLock;
    std::shared_ptr<ata::Transport> m_drive;
};
