#pragma once
// A stand-in for the main window in window tests: it records the status
// panels and the minimise hand-off.
#include <QStringList>
#include <QWidget>

#include "common/Shell.h"

class FakeShell : public Shell {
public:
    FakeShell() : panels(6) { SetMainShell(this); }
    ~FakeShell() override
    {
        if (MainShell() == this)
            SetMainShell(nullptr);
    }
    void SetStatusPanel(int index, const QString& text) override { panels[index] = text; }
    QString StatusPanel(int index) const override { return panels.value(index); }
    MonitorControl* MonitorThread() const override { return monitor; }
    QString Caption() const override { return caption; }
    QWidget* Window() override { return &window; }
    void SetMinimizedForm(QWidget* form) override { minimized = form; }
    QWidget* MinimizedForm() const override { return minimized; }
    void MinimizeApplication() override { ++minimizeCount; }

    QStringList panels;
    MonitorControl* monitor = nullptr;
    QString caption = QStringLiteral("Voran  2.0.0.10");
    QWidget window;
    QWidget* minimized = nullptr;
    int minimizeCount = 0;
};
