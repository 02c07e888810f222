#include "settings/Settings.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QPushButton>
#include <QScreen>
#include <QSpinBox>
#include <QVBoxLayout>
#include <algorithm>
#include <memory>

#include "common/DriveContext.h"
#include "common/IniFile.h"
#include "common/Services.h"
#include "common/Shell.h"
#include "hw/Ata.h"
#include "monitor/Monitor.h"
#include "select/RadioGroup.h"

namespace settings {

namespace {

const QString kPort = QStringLiteral("Port");
const QString kTimeOut = QStringLiteral("TimeOut");
const QString kSmart = QStringLiteral("SMART");
const QString kStress = QStringLiteral("StressTest");
const QString kScan = QStringLiteral("Scan");

int Within(int v, Limits l) { return std::clamp(v, l.min, l.max); }
// An item index of a list of two: the nearest item.
int Item(int v) { return std::clamp(v, 0, 1); }

}  // namespace

Values Load(const IniFile* ini)
{
    Values v;
    if (!ini)
        return v;
    v.slaveEnabled = ini->ReadBool(kPort, QStringLiteral("SlaveEnabled"), v.slaveEnabled);
    v.savePort = ini->ReadBool(kPort, QStringLiteral("SavePort"), v.savePort);
    v.saveDevice = ini->ReadBool(kPort, QStringLiteral("SaveDevice"), v.saveDevice);
    v.autoDetect = ini->ReadBool(kPort, QStringLiteral("AutoDetect"), v.autoDetect);
    v.timeOut = Within(ini->ReadInteger(kTimeOut, QStringLiteral("TimeOut"), v.timeOut), kTimeOutLimits);
    v.monitorPeriod = Within(ini->ReadInteger(kTimeOut, QStringLiteral("MonitorPeriod"), v.monitorPeriod), kMonitorLimits);
    v.rawFormat = Item(ini->ReadInteger(kSmart, QStringLiteral("RawFormat"), v.rawFormat));
    v.stopError = ini->ReadBool(kStress, QStringLiteral("StopError"), v.stopError);
    v.command = Item(ini->ReadInteger(kStress, QStringLiteral("Command"), v.command));
    v.adres = Item(ini->ReadInteger(kStress, QStringLiteral("Adres"), v.adres));
    v.line = Within(ini->ReadInteger(kScan, QStringLiteral("Line"), v.line), kLineLimits);
    return v;
}

void Store(IniFile& ini, const Values& v, const Effects& effects)
{
    ini.WriteBool(kPort, QStringLiteral("SlaveEnabled"), v.slaveEnabled);
    ini.WriteBool(kPort, QStringLiteral("SavePort"), v.savePort);
    ini.WriteBool(kPort, QStringLiteral("SaveDevice"), v.saveDevice);
    ini.WriteBool(kPort, QStringLiteral("AutoDetect"), v.autoDetect);
    ini.WriteInteger(kTimeOut, QStringLiteral("TimeOut"), v.timeOut);
    if (effects.reinitLibrary)
        effects.reinitLibrary();
    ini.WriteInteger(kTimeOut, QStringLiteral("MonitorPeriod"), v.monitorPeriod);
    if (effects.setMonitorPeriod)
        effects.setMonitorPeriod(v.monitorPeriod);
    ini.WriteInteger(kSmart, QStringLiteral("RawFormat"), v.rawFormat);
    ini.WriteBool(kStress, QStringLiteral("StopError"), v.stopError);
    ini.WriteInteger(kStress, QStringLiteral("Command"), v.command);
    ini.WriteInteger(kStress, QStringLiteral("Adres"), v.adres);
    ini.WriteInteger(kScan, QStringLiteral("Line"), v.line);
}

Effects ProgramEffects()
{
    Effects fx;
    fx.reinitLibrary = [] {
        // The connection's time-out is the one read at start; the value just
        // written counts from the next start.
        const DriveContext& c = Ctx();
        const Shell* shell = MainShell();
        InitDLL(c.BasePort, c.AltPort, c.Device, c.TimeOut, c.CounterFrequency,
                shell ? shell->MonitorThread() : nullptr);
    };
    fx.setMonitorPeriod = [](int ms) {
        // The lamps follow the new period from the monitor's next pause; the
        // connection's MonitorPeriod stays the value read at start.
        if (const Shell* shell = MainShell())
            if (auto* monitor = dynamic_cast<TMonitorThread*>(shell->MonitorThread()))
                monitor->Period = ms;
    };
    return fx;
}

}  // namespace settings

using settings::Values;

// ---- the dialog ----------------------------------------------------------------

TfrmSettings::TfrmSettings(QWidget* owner) : QDialog(owner)
{
    setObjectName(QStringLiteral("frmSettings"));
    setWindowTitle(QStringLiteral("Параметры"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    Effects = settings::ProgramEffects();
    BuildUi();
    FormCreate();

    setFixedSize(sizeHint());
    if (const QScreen* s = QGuiApplication::primaryScreen())
        move(s->geometry().center() - rect().center());
}

namespace {

QCheckBox* CheckBox(const char* name, const QString& caption, QWidget* parent)
{
    auto* c = new QCheckBox(caption, parent);
    c->setObjectName(QString::fromLatin1(name));
    return c;
}

// A spin edit as the dialog's: its value stays within the limits, and a
// text that is no number (or below the limits) becomes the lower limit when
// the edit loses the focus.
QSpinBox* SpinEdit(const char* name, settings::Limits l, QWidget* parent)
{
    auto* s = new QSpinBox(parent);
    s->setObjectName(QString::fromLatin1(name));
    s->setRange(l.min, l.max);
    s->setCorrectionMode(QAbstractSpinBox::CorrectToNearestValue);
    return s;
}

QComboBox* DropDown(const char* name, const QStringList& items, QWidget* parent)
{
    auto* c = new QComboBox(parent);
    c->setObjectName(QString::fromLatin1(name));
    c->addItems(items);
    c->setEditable(false);
    return c;
}

}  // namespace

void TfrmSettings::BuildUi()
{
    gbDefaultPort = new QGroupBox(QStringLiteral(" Параметры порта по умолчанию "), this);
    gbDefaultPort->setObjectName(QStringLiteral("gbDefaultPort"));
    chbSlaveEnabled = CheckBox("chbSlaveEnabled", QStringLiteral("Slave - устройства разрешены"), gbDefaultPort);
    chbSavePort = CheckBox("chbSavePort", QStringLiteral("Запомнить выбранный порт"), gbDefaultPort);
    chbSaveDevice = CheckBox("chbSaveDevice", QStringLiteral("Запомнить выбранное устройство"), gbDefaultPort);
    chbAutoDetect = CheckBox("chbAutoDetect", QStringLiteral("Автодетект устройства на порту"), gbDefaultPort);
    auto* portLayout = new QVBoxLayout(gbDefaultPort);
    for (QCheckBox* c : {chbSlaveEnabled, chbSavePort, chbSaveDevice, chbAutoDetect})
        portLayout->addWidget(c);

    gbTimeout = new QGroupBox(QStringLiteral(" Временные параметры "), this);
    gbTimeout->setObjectName(QStringLiteral("gbTimeout"));
    speTimeOut = SpinEdit("speTimeOut", settings::kTimeOutLimits, gbTimeout);
    speMonitor = SpinEdit("speMonitor", settings::kMonitorLimits, gbTimeout);
    auto* timeLayout = new QFormLayout(gbTimeout);
    timeLayout->addRow(QStringLiteral("Время ожидания готовности, с"), speTimeOut);
    timeLayout->addRow(QStringLiteral("Время реакции монитора, мс"), speMonitor);

    rgbSMART = new RadioGroup(QStringLiteral(" Внутренний формат значений SMART "),
                              {QStringLiteral("HEX"), QStringLiteral("DEC")}, 2, this);
    rgbSMART->setObjectName(QStringLiteral("rgbSMART"));

    gbSeekTest = new QGroupBox(QStringLiteral(" Стресс-тест "), this);
    gbSeekTest->setObjectName(QStringLiteral("gbSeekTest"));
    cbCommand = DropDown("cbCommand", {QStringLiteral("Seek"), QStringLiteral("Verify")}, gbSeekTest);
    cbAdres = DropDown("cbAdres", {QStringLiteral("Границы диапазона"), QStringLiteral("Случайны выбор")},
                       gbSeekTest);
    chbSeekError = CheckBox("chbSeekError", QStringLiteral("При ошибке прекращать тестирование"), gbSeekTest);
    auto* seekLayout = new QFormLayout(gbSeekTest);
    seekLayout->addRow(QStringLiteral("Способ проверки"), cbCommand);
    seekLayout->addRow(QStringLiteral("Адресация"), cbAdres);
    seekLayout->addRow(chbSeekError);

    gbScan = new QGroupBox(QStringLiteral(" Параметры проверки поверхности "), this);
    gbScan->setObjectName(QStringLiteral("gbScan"));
    speLine = SpinEdit("speLine", settings::kLineLimits, gbScan);
    auto* scanLayout = new QFormLayout(gbScan);
    scanLayout->addRow(QStringLiteral("Толщина линии графика"), speLine);

    bbOk = new QPushButton(QStringLiteral("OK"), this);
    bbOk->setObjectName(QStringLiteral("bbOk"));
    bbOk->setDefault(true);
    bbCancel = new QPushButton(QStringLiteral("Cancel"), this);
    bbCancel->setObjectName(QStringLiteral("bbCancel"));
    bbCancel->setAutoDefault(false);

    auto* left = new QVBoxLayout;
    left->addWidget(gbDefaultPort);
    left->addWidget(gbTimeout);
    left->addWidget(rgbSMART);
    left->addStretch(1);
    auto* right = new QVBoxLayout;
    right->addWidget(gbSeekTest);
    right->addWidget(gbScan);
    right->addStretch(1);
    auto* columns = new QHBoxLayout;
    columns->addLayout(left);
    columns->addLayout(right);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(bbOk);
    buttons->addWidget(bbCancel);
    auto* top = new QVBoxLayout(this);
    top->addLayout(columns);
    top->addLayout(buttons);

    connect(bbOk, &QPushButton::clicked, this, &TfrmSettings::bbOkClick);
    connect(bbCancel, &QPushButton::clicked, this, &QDialog::reject);
}

void TfrmSettings::FormCreate() { SetControlValues(settings::Load(Ctx().IniFile.get())); }

Values TfrmSettings::ControlValues() const
{
    // A text still being typed counts as the edit would take it on leaving.
    for (QSpinBox* s : {speTimeOut, speMonitor, speLine})
        s->interpretText();
    Values v;
    v.slaveEnabled = chbSlaveEnabled->isChecked();
    v.savePort = chbSavePort->isChecked();
    v.saveDevice = chbSaveDevice->isChecked();
    v.autoDetect = chbAutoDetect->isChecked();
    v.timeOut = speTimeOut->value();
    v.monitorPeriod = speMonitor->value();
    v.rawFormat = rgbSMART->ItemIndex();
    v.stopError = chbSeekError->isChecked();
    v.command = cbCommand->currentIndex();
    v.adres = cbAdres->currentIndex();
    v.line = speLine->value();
    return v;
}

void TfrmSettings::SetControlValues(const Values& v)
{
    chbSlaveEnabled->setChecked(v.slaveEnabled);
    chbSavePort->setChecked(v.savePort);
    chbSaveDevice->setChecked(v.saveDevice);
    chbAutoDetect->setChecked(v.autoDetect);
    speTimeOut->setValue(v.timeOut);
    speMonitor->setValue(v.monitorPeriod);
    rgbSMART->SetItemIndex(v.rawFormat);
    chbSeekError->setChecked(v.stopError);
    cbCommand->setCurrentIndex(std::clamp(v.command, 0, cbCommand->count() - 1));
    cbAdres->setCurrentIndex(std::clamp(v.adres, 0, cbAdres->count() - 1));
    speLine->setValue(v.line);
}

void TfrmSettings::bbOkClick()
{
    const Values v = ControlValues();
    if (IniFile* ini = Ctx().IniFile.get()) {
        try {
            settings::Store(*ini, v, Effects);
        } catch (const IniWriteError& e) {
            // The keys after the refused one stay as they were; the dialog
            // closes all the same.
            ShowApplicationError(this, e.message());
        }
    }
    accept();
}

void ShowSettings(QWidget* owner)
{
    const auto form = std::make_unique<TfrmSettings>(owner);
    form->exec();
}
