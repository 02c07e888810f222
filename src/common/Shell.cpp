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

void SetMainStatusPanel(int index, const QString& text)
{
    if (gShell)
        gShell->SetStatusPanel(index, text);
}
