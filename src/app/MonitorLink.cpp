#include "app/MonitorLink.h"

#include "monitor/KVErrorReg.h"
#include "monitor/KVLed.h"
#include "monitor/KVStatusReg.h"
#include "monitor/Monitor.h"

QWidget* CreateStatusRegView(QWidget* parent)
{
    auto* r = new TKVStatusReg(parent);
    r->setObjectName(QStringLiteral("StatusReg"));
    r->SetActiveColorOK(kvcolor::clLime);
    r->SetActiveColorErr(kvcolor::clRed);
    r->SetInactiveColor(kvcolor::clSilver);
    r->SetRegValue(255);
    return r;
}

QWidget* CreateErrorRegView(QWidget* parent)
{
    auto* r = new TKVErrorReg(parent);
    r->setObjectName(QStringLiteral("ErrorReg"));
    r->SetActiveColorOK(kvcolor::clRed);
    r->SetActiveColorErr(kvcolor::clRed);
    r->SetInactiveColor(kvcolor::clSilver);
    r->SetRegValue(255);
    return r;
}

MonitorControl* StartMonitor(uint16_t basePort, uint16_t altPort, uint8_t device, uint16_t periodMs,
                             QWidget* statusReg, QWidget* errorReg)
{
    return new TMonitorThread(basePort, altPort, device, periodMs, qobject_cast<TKVStatusReg*>(statusReg),
                              qobject_cast<TKVErrorReg*>(errorReg));
}

void StopMonitor(MonitorControl* monitor)
{
    // The thread frees itself once it has ended; it is never waited for here
    // (it may be waiting for this very thread in its hand-off).
    if (auto* m = dynamic_cast<TMonitorThread*>(monitor))
        m->RequestStop();
}
