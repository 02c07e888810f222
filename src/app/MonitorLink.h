#pragma once
// Where the main window meets the register monitor: the two register rows
// and the monitor thread of a connection.  Everything the monitor needs from
// the shell goes through these functions, so that wiring the monitor in
// touches this file alone.
#include <cstdint>
#include <memory>

class MonitorControl;
class QWidget;

namespace ata {
class Transport;
}

// The status register row (295 x 56, placed at (4, 0)) and the error
// register row (placed at (304, 0)).  The object names are "StatusReg" and
// "ErrorReg".
QWidget* CreateStatusRegView(QWidget* parent);
QWidget* CreateErrorRegView(QWidget* parent);

// Starts the monitor of a new connection, sampling `altPort` every
// `periodMs` and showing the registers in the two views.  May return null
// (no monitor).  The shell hands the result to InitDLL.
MonitorControl* StartMonitor(uint16_t basePort, uint16_t altPort, uint8_t device, uint16_t periodMs,
                             QWidget* statusReg, QWidget* errorReg);
// The same for the drive a transport reaches (the connection's own).
MonitorControl* StartMonitor(std::shared_ptr<ata::Transport> transport, uint16_t periodMs, QWidget* statusReg,
                             QWidget* errorReg);

// Stops a monitor StartMonitor returned (null does nothing).  The shell
// stops the previous connection's monitor before it starts the next one,
// and the last one when the main window goes away.
void StopMonitor(MonitorControl* monitor);
