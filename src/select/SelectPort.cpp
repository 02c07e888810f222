#include "select/SelectPort.h"

#include <QCloseEvent>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include "common/DriveContext.h"
#include "common/Format.h"
#include "common/PortLock.h"
#include "common/Services.h"
#include "common/WindowPlace.h"
#include "hw/PortIo.h"
#include "hw/Transport.h"
#include "select/AddPort.h"
#include "select/KernelDriver.h"
#include "select/RadioGroup.h"

namespace {
const QString kPort = QStringLiteral("Port");

bool IniBool(const QString& key, bool def)
{
    return Ctx().IniFile ? Ctx().IniFile->ReadBool(kPort, key, def) : def;
}
}  // namespace

QString PortLockKey(const QString& portText)
{
    uint32_t v = 0;
    if (ParseHexText(portText, v))
        return HexText(v, 4);
    return portText;
}

TfrmSelectPort::TfrmSelectPort(QWidget* owner) : QDialog(owner)
{
    setObjectName(QStringLiteral("frmSelectPort"));
    setWindowTitle(QStringLiteral("Выберите порт"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);

    gbEnabledPort = new QGroupBox(QStringLiteral(" Доступные порты  "), this);
    Grid = new QTableWidget(1, 3, gbEnabledPort);
    Grid->setObjectName(QStringLiteral("Grid"));
    Grid->horizontalHeader()->hide();
    Grid->verticalHeader()->hide();
    Grid->setSelectionBehavior(QAbstractItemView::SelectRows);
    Grid->setSelectionMode(QAbstractItemView::SingleSelection);
    Grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    Grid->setColumnWidth(0, 330);
    Grid->setColumnWidth(1, 56);
    Grid->setColumnWidth(2, 56);
    Grid->verticalHeader()->setDefaultSectionSize(Grid->fontMetrics().height() + 8);
    Grid->setMinimumSize(330 + 56 + 56 + 2 * Grid->frameWidth() + 20, 140);
    Grid->viewport()->installEventFilter(this);
    (new QVBoxLayout(gbEnabledPort))->addWidget(Grid);

    rgbDevice = new RadioGroup(QStringLiteral(" Выберите устройство "), {QStringLiteral("Master"), QStringLiteral("Slave")},
                               2, this);
    rgbDevice->setObjectName(QStringLiteral("rgbDevice"));

    bbAddPort = new QPushButton(QStringLiteral("Ручной ввод"), this);
    bbAddPort->setObjectName(QStringLiteral("bbAddPort"));
    bbAddPort->setAutoDefault(false);
    bbCancel = new QPushButton(QStringLiteral("Cancel"), this);
    bbCancel->setObjectName(QStringLiteral("bbCancel"));
    bbCancel->setAutoDefault(false);
    bbOk = new QPushButton(QStringLiteral("OK"), this);
    bbOk->setObjectName(QStringLiteral("bbOk"));
    bbOk->setDefault(true);
    bbOk->setEnabled(false);

    auto* bottom = new QHBoxLayout;
    bottom->addWidget(rgbDevice, 1);
    auto* buttons = new QVBoxLayout;
    buttons->addWidget(bbAddPort);
    buttons->addWidget(bbOk);
    buttons->addWidget(bbCancel);
    bottom->addLayout(buttons);
    auto* main = new QVBoxLayout(this);
    main->addWidget(gbEnabledPort, 1);
    main->addLayout(bottom);

    connect(bbOk, &QPushButton::clicked, this, &TfrmSelectPort::bbOkClick);
    connect(bbCancel, &QPushButton::clicked, this, &TfrmSelectPort::bbCancelClick);
    connect(bbAddPort, &QPushButton::clicked, this, &TfrmSelectPort::bbAddPortClick);
    connect(Grid, &QTableWidget::currentCellChanged, this, [this] { UpdateDeviceGroup(); });

    FormCreate();

    setFixedSize(sizeHint());
    PlaceCentred(this);  // on the screen
}

TfrmSelectPort::~TfrmSelectPort() = default;

void TfrmSelectPort::FormCreate()
{
    GridEmpty = true;
    // Without access to the ports (hardware mode refused) there is no PCI
    // scan, but the drives of the kernel's pass-through are still there.
    m_scanned = HavePortBackend() ? ScanPci() : std::vector<ChannelRow>{};
    for (const ChannelRow& r : m_scanned)
        AddGridRow(r.name, r.basePort, r.controlPort);
    m_drives = DriveRows();
    for (size_t i = 0; i < m_drives.size(); ++i)
        AddGridRow(m_drives[i].name, m_drives[i].path, m_drives[i].kind, int(i));
    if (!m_drives.empty()) {
        // A device path is wider than a port address.
        const int w = Grid->fontMetrics().horizontalAdvance(m_drives.front().path + QStringLiteral("MM"));
        Grid->setColumnWidth(1, std::max(Grid->columnWidth(1), w));
    }
    Grid->setCurrentCell(0, 0);

    if (!GridEmpty) {
        bbOk->setEnabled(true);
        if (IniBool(QStringLiteral("SavePort"), true)) {
            const QString last = Ctx().IniFile ? Ctx().IniFile->ReadString(kPort, QStringLiteral("LastPort"),
                                                                          QStringLiteral("0170"))
                                               : QStringLiteral("0170");
            for (int row = 0; row < Grid->rowCount(); ++row)
                if (Cell(1, row) == last)
                    Grid->setCurrentCell(row, 0);
        }
        const bool slave = IniBool(QStringLiteral("SlaveEnabled"), false);
        m_deviceGroupEnabled = slave;
        if (slave && IniBool(QStringLiteral("SaveDevice"), false))
            rgbDevice->SetItemIndex(Ctx().IniFile ? Ctx().IniFile->ReadInteger(kPort, QStringLiteral("LastDevice"), 0)
                                                  : 0);
    }
    UpdateDeviceGroup();
}

void TfrmSelectPort::UpdateDeviceGroup()
{
    rgbDevice->setEnabled(m_deviceGroupEnabled && !DriveRowAt(SelectedRow()));
}

const DriveRow* TfrmSelectPort::DriveRowAt(int row) const
{
    const QTableWidgetItem* it = Grid->item(row, 1);
    if (!it)
        return nullptr;
    bool ok = false;
    const int index = it->data(Qt::UserRole).toInt(&ok);
    return ok && index >= 0 && size_t(index) < m_drives.size() ? &m_drives[size_t(index)] : nullptr;
}

void TfrmSelectPort::AddGridRow(const QString& name, const QString& base, const QString& control, int driveIndex)
{
    int row;
    if (GridEmpty) {
        GridEmpty = false;
        Grid->clearContents();
        Grid->setRowCount(1);
        row = 0;
    } else {
        row = Grid->rowCount();
        Grid->insertRow(row);
    }
    Grid->setItem(row, 0, new QTableWidgetItem(name));
    auto* second = new QTableWidgetItem(base);
    if (driveIndex >= 0)
        second->setData(Qt::UserRole, driveIndex);
    Grid->setItem(row, 1, second);
    Grid->setItem(row, 2, new QTableWidgetItem(control));
}

int TfrmSelectPort::SelectedRow() const { return std::max(Grid->currentRow(), 0); }

QString TfrmSelectPort::Cell(int column, int row) const
{
    const QTableWidgetItem* it = Grid->item(row, column);
    return it ? it->text() : QString();
}

int TfrmSelectPort::DeviceIndex() const
{
    return DriveRowAt(SelectedRow()) ? 0 : std::max(rgbDevice->ItemIndex(), 0);
}

std::unique_ptr<PortLock> TfrmSelectPort::TakePortLock() { return std::move(m_newLock); }

void TfrmSelectPort::bbOkClick()
{
    const int row = SelectedRow();
    const QString portText = Cell(1, row);
    const DriveRow* drive = DriveRowAt(row);

    // With real ports: a channel whose controller the kernel drives is used
    // only when the user says so.
    uint32_t base = 0;
    if (!drive && KernelDriverCheck() && ParseHexText(portText, base)) {
        if (const auto owner = KernelDriverOfChannel(m_scanned, base)) {
            if (!AskYesNo(this, KernelDriverQuestion(*owner, Cell(0, row)))) {
                CanClose = false;
                return;
            }
        }
    }

    // The port lock.  The port this process holds already is simply kept;
    // another one is taken next to it, and the old one is given up only when
    // the new connection is made (see TakePortLock).
    const QString key = drive ? DriveLockName(portText) : PortLockKey(portText);
    m_newLock.reset();
    m_drive.reset();
    const bool alreadyHeld = Ctx().PortMutex && Ctx().PortMutex->PortText() == key;
    if (!alreadyHeld) {
        QString why;  // set when the lock failed for a reason other than "taken"
        m_newLock = PortLock::TryAcquire(key, &why);
        if (!m_newLock) {
            CanClose = false;
            ShowError(this, why.isEmpty() ? QStringLiteral("Данный порт уже занят! Выберите другой!") : why);
            return;
        }
    }

    // A drive of the kernel's pass-through is opened now, so that what
    // stands in the way (permissions, a bridge without ATA) is said here.
    if (drive) {
        QString why;
        m_drive = OpenDriveRow(*drive, Ctx().TimeOut, &why);
        if (!m_drive) {
            m_newLock.reset();
            CanClose = false;
            ShowError(this, why);
            return;
        }
    }

    CanClose = true;
    if (Ctx().IniFile) {
        try {
            if (Ctx().IniFile->ReadBool(kPort, QStringLiteral("SavePort"), true))
                Ctx().IniFile->WriteString(kPort, QStringLiteral("LastPort"), portText);
            if (!drive && Ctx().IniFile->ReadBool(kPort, QStringLiteral("SaveDevice"), false))
                Ctx().IniFile->WriteInteger(kPort, QStringLiteral("LastDevice"), rgbDevice->ItemIndex());
        } catch (const IniWriteError& e) {
            // The choice stands; only remembering it failed.
            ShowApplicationError(this, e.message());
        }
    }
    done(QDialog::Accepted);
}

void TfrmSelectPort::bbCancelClick()
{
    CanClose = true;
    m_newLock.reset();
    m_drive.reset();
    done(QDialog::Rejected);
}

void TfrmSelectPort::reject() { bbCancelClick(); }

void TfrmSelectPort::closeEvent(QCloseEvent* event)
{
    if (FormCloseQuery())
        QDialog::closeEvent(event);
    else
        event->ignore();
}

bool TfrmSelectPort::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == Grid->viewport() && event->type() == QEvent::MouseButtonDblClick) {
        GridDblClick();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

void TfrmSelectPort::GridDblClick() { bbOkClick(); }

void TfrmSelectPort::bbAddPortClick()
{
    TfrmAddPort dlg(this);
    const int result = runAddPort ? runAddPort(dlg) : dlg.exec();
    if (result != QDialog::Accepted)
        return;
    AddGridRow(dlg.ePortName->text().trimmed(), dlg.eBaseAdr->text().trimmed(), dlg.eAltAdr->text().trimmed());
    Grid->setCurrentCell(Grid->rowCount() - 1, 0);
}
