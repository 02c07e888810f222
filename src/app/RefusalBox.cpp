#include "app/RefusalBox.h"

#include <QApplication>
#include <QPointer>
#include <QThread>
#include <QVariant>
#include <QWidget>

#include "common/Services.h"
#include "hw/InUseGuard.h"

bool RefusalBursts::Show(const QString& text, quintptr window, Clock::time_point now)
{
    const bool repeat = m_open || (text == m_text && window == m_window && now - m_last < m_quiet);
    m_last = now;
    if (repeat)
        return false;
    m_open = true;
    m_text = text;
    m_window = window;
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

// A number of its own for every window (its address may be a later
// window's): the burst a refusal belongs to.
quintptr WindowKey(QWidget* w)
{
    static quintptr next = 1;
    if (!w)
        return 0;
    QVariant v = w->property("voranRefusalBurst");
    if (!v.isValid()) {
        v = QVariant::fromValue(next++);
        w->setProperty("voranRefusalBurst", v);
    }
    return v.value<quintptr>();
}

// `window`: the modal window of the refused command's operation, when it
// came from the UI thread.
void ShowRefusal(const QString& text, quintptr window, QPointer<QWidget> parent)
{
    if (!gBursts.Show(text, window, RefusalBursts::Clock::now()))
        return;
    if (!parent)
        parent = QApplication::activeModalWidget();
    ShowError(parent ? parent.data() : gFallback.data(), text);
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
        QWidget* window = QThread::currentThread() == app->thread() ? QApplication::activeModalWidget() : nullptr;
        QMetaObject::invokeMethod(
            app,
            [text = QString::fromStdString(sentence), key = WindowKey(window), parent = QPointer<QWidget>(window)] {
                ShowRefusal(text, key, parent);
            },
            Qt::QueuedConnection);
    });
}

void RemoveRefusalBox()
{
    ata::SetRefusalReporter(nullptr);
    gFallback = nullptr;
}
