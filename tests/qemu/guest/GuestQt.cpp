#include "GuestQt.h"

#include <QApplication>
#include <QEvent>
#include <thread>

namespace guest {

void EnsureApplication()
{
    if (QCoreApplication::instance())
        return;
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "voran_qemu_guest";
    static char* argv[] = {name, nullptr};
    static QApplication app(argc, argv);
}

bool PumpUntil(const std::function<bool()>& done, std::chrono::seconds limit)
{
    const auto end = std::chrono::steady_clock::now() + limit;
    for (;;) {
        QCoreApplication::processEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        if (done())
            return true;
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::yield();
    }
}

}  // namespace guest
