#pragma once
// The tool windows the main menu opens.  Each function creates its window
// with `owner` as owner, shows it modally when it may be shown, and destroys
// it when it closes, also when it fails.
#include <QString>
#include <cstdint>
#include <functional>

#include "common/LongRun.h"

class QDialog;
class QWidget;

// Run functions show their windows with ExecToolWindow() (common/LongRun.h),
// which survives the minimise hand-off.

void RunIdentifyReport(QWidget* owner);                 // F2, TfrmPasport
void RunSmartViewer(QWidget* owner);                    // F9, TfrmSMART
void RunPasswordDialog(QWidget* owner, uint8_t mode);   // TfrmPassword: 0xF1, 0xF2 or 0xF6
void RunSecurityErase(QWidget* owner);                  // TfrmSecurityErase
void RunHpa(QWidget* owner);                            // TfrmHPA
void RunSurfaceScan(QWidget* owner);                    // F4, TfrmScan
void RunDefectScope(QWidget* owner);                    // F5, TfrmDefectoscop
void RunStressTest(QWidget* owner);                     // F6, TfrmSeekTest
void RunSoftBad(QWidget* owner);                        // TfrmMakeBAd
void RunDriveErase(QWidget* owner);                     // TfrmErase
void RunSettings(QWidget* owner);                       // F12, TfrmSettings

// Tests: when an observer is set, every Run function reports its name
// ("IdentifyReport", "Password F1", ...) to it instead of opening a window.
using ToolWindowObserver = std::function<void(const QString& name, QWidget* owner)>;
void SetToolWindowObserver(ToolWindowObserver observer);
