#include "app/MonitorLink.h"

#include <QFrame>

namespace {
QWidget* Placeholder(QWidget* parent, const char* name)
{
    auto* w = new QFrame(parent);
    w->setObjectName(QString::fromLatin1(name));
    w->setFixedSize(295, 56);
    return w;
}
}  // namespace

QWidget* CreateStatusRegView(QWidget* parent) { return Placeholder(parent, "StatusReg"); }
QWidget* CreateErrorRegView(QWidget* parent) { return Placeholder(parent, "ErrorReg"); }

MonitorControl* StartMonitor(uint16_t, uint16_t, uint8_t, uint16_t, QWidget*, QWidget*) { return nullptr; }

void StopMonitor(MonitorControl*) {}
