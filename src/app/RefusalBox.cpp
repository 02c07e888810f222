#include "app/RefusalBox.h"

#include <QApplication>
#include <QPointer>
#include <QWidget>

#include "common/Services.h"
#include "hw/InUseGuard.h"

bool RefusalBursts::Show(const QString& text, Clock::time_point now)
{
    const bool repeat = m_open || (text == m_text && now - m_last < m_quiet);
    m_last = now;
    if (repeat)
        return false;
    m_open = true;
    m_text = text;
    return true;
}

void RefusalBursts::Closed(Clock::time_point now)
{
    m_open = false;
    m_last = now;
}

namespace {

// UI thread only.
RefusalBursts gBursts;
QPointer<QWidget> gFallback;

void ShowRefusal(const QString& text)
{
    if (!gBursts.Show(text, RefusalBursts::Clock::now()))
        return;
    QWidget* parent = QApplication::activeModalWidget();
    ShowError(parent ? parent : gFallback.data(), text);
    gBursts.Closed(RefusalBursts::Clock::now());
}

}  // namespace

void InstallRefusalBox(QWidget* fallbackParent)
{
    gFallback = fallbackParent;
    ata::SetRefusalReporter([](const std::string& sentence) {
        QCoreApplication* app = QCoreApplication::instance();
        if (!app)
            return;
        QMetaObject::invokeMethod(app, [text = QString::fromStdString(sentence)] { ShowRefusal(text); },
                                  Qt::QueuedConnection);
    });
}

void RemoveRefusalBox()
{
    ata::SetRefusalReporter(nullptr);
    gFallback = nullptr;
}
