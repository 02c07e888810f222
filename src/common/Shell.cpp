#include "common/Shell.h"

#include <QWidget>

namespace {
Shell* gShell = nullptr;
}

Shell* MainShell() { return gShell; }
void SetMainShell(Shell* shell) { gShell = shell; }

bool MinimizeToShell(QWidget* form)
{
    if (!gShell || !form)
        return false;
    gShell->SetMinimizedForm(form);
    form->hide();
    gShell->MinimizeApplication();
    return true;
}

void ShowMinimizedForm(QWidget* form)
{
    if (!form)
        return;
    // Still minimised for Qt (the window manager minimised it before it was
    // hidden): shown as it is, it would come back as an icon.
    form->setWindowState(form->windowState() & ~Qt::WindowMinimized);
    form->show();
    form->raise();
    form->activateWindow();
}

void SetMainStatusPanel(int index, const QString& text)
{
    if (gShell)
        gShell->SetStatusPanel(index, text);
}
