#include "app/MonitorLink.h"

#include "monitor/KVErrorReg.h"
#include "monitor/KVLed.h"
#include "monitor/KVStatusReg.h"
#include "monitor/Monitor.h"

namespace {

// A register row as the main window's design has it: its colours and all
// lamps lit (RegValue 255).
template <class Register>
QWidget* RegisterView(QWidget* parent, const char* name, const QColor& ok, const QColor& err)
{
    auto* r = new Register(parent);
    r->setObjectName(QString::fromLatin1(name));
    r->SetActiveColorOK(ok);
    r->SetActiveColorErr(err);
    r->SetInactiveColor(kvcolor::clSilver);
    r->SetRegValue(255);
    return r;
}

}  // namespace

QWidget* CreateStatusRegView(QWidget* parent)
{
    return RegisterView<TKVStatusReg>(parent, "StatusReg", kvcolor::clLime, kvcolor::clRed);
}

QWidget* CreateErrorRegView(QWidget* parent)
{
    return RegisterView<TKVErrorReg>(parent, "ErrorReg", kvcolor::clRed, kvcolor::clRed);
}

MonitorControl* StartMonitor(uint16_t basePort, uint16_t altPort, uint8_t device, uint16_t periodMs,
                             QWidget* statusReg, QWidget* errorReg)
{
    return new TMonitorThread(basePort, altPort, device, periodMs, qobject_cast<TKVStatusReg*>(statusReg),
                              qobject_cast<TKVErrorReg*>(errorReg));
}

MonitorControl* StartMonitor(std::shared_ptr<ata::Transport> transport, uint16_t periodMs, QWidget* statusReg,
                             QWidget* errorReg)
{
    return new TMonitorThread(std::move(transport), periodMs, qobject_cast<TKVStatusReg*>(statusReg),
                              qobject_cast<TKVErrorReg*>(errorReg));
}

void StopMonitor(MonitorControl* monitor)
{
    // The thread frees itself once it has ended; it is never waited for here
    // (it may be waiting for this very thread in its hand-off).
    if (auto* m = dynamic_cast<TMonitorThread*>(monitor))
        m->RequestStop();
}
