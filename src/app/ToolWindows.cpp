#include "app/ToolWindows.h"

#include "common/Format.h"
#include "info/HPA.h"
#include "info/Pasport.h"
#include "info/Smart.h"
#include "ops/Erase.h"
#include "ops/MakeBad.h"
#include "security/Password.h"
#include "security/SecurityErase.h"
#include "settings/Settings.h"
#include "surface/Defectoscop.h"
#include "surface/Scan.h"
#include "surface/SeekTest.h"

namespace {
ToolWindowObserver gObserver;

// True when a test observes the call instead of a window opening.
bool Observed(const QString& name, QWidget* owner)
{
    if (!gObserver)
        return false;
    gObserver(name, owner);
    return true;
}
}  // namespace

void SetToolWindowObserver(ToolWindowObserver observer) { gObserver = std::move(observer); }

void RunIdentifyReport(QWidget* owner)
{
    if (Observed(QStringLiteral("IdentifyReport"), owner))
        return;
    ShowPasport(owner);
}

void RunSmartViewer(QWidget* owner)
{
    if (Observed(QStringLiteral("SmartViewer"), owner))
        return;
    ShowSmartViewer(owner);
}

void RunPasswordDialog(QWidget* owner, uint8_t mode)
{
    if (Observed(QStringLiteral("Password ") + HexText(mode, 2), owner))
        return;
    ShowPasswordDialog(owner, mode);
}

void RunSecurityErase(QWidget* owner)
{
    if (Observed(QStringLiteral("SecurityErase"), owner))
        return;
    ShowSecurityErase(owner);
}

void RunHpa(QWidget* owner)
{
    if (Observed(QStringLiteral("Hpa"), owner))
        return;
    ShowHpa(owner);
}

void RunSurfaceScan(QWidget* owner)
{
    if (Observed(QStringLiteral("SurfaceScan"), owner))
        return;
    ShowScanWindow(owner);
}

void RunDefectScope(QWidget* owner)
{
    if (Observed(QStringLiteral("DefectScope"), owner))
        return;
    ShowDefectScope(owner);
}

void RunStressTest(QWidget* owner)
{
    if (Observed(QStringLiteral("StressTest"), owner))
        return;
    ShowSeekTest(owner);
}

void RunSoftBad(QWidget* owner)
{
    if (Observed(QStringLiteral("SoftBad"), owner))
        return;
    ShowMakeBadWindow(owner);
}

void RunDriveErase(QWidget* owner)
{
    if (Observed(QStringLiteral("DriveErase"), owner))
        return;
    ShowEraseWindow(owner);
}

void RunSettings(QWidget* owner)
{
    if (Observed(QStringLiteral("Settings"), owner))
        return;
    ShowSettings(owner);
}
