#include "common/UiCall.h"

#include <QCoreApplication>
#include <QEvent>
#include <QObject>
#include <QThread>

#include <chrono>
#include <memory>
#include <thread>

namespace {

enum State : int { Pending = 0, Running = 1, Done = 2, Dropped = 3 };

struct Call {
    std::function<void()> step;
    std::atomic<int> state{Pending};
};

const QEvent::Type kCallEvent = static_cast<QEvent::Type>(QEvent::registerEventType());

class CallEvent : public QEvent {
public:
    explicit CallEvent(std::shared_ptr<Call> c) : QEvent(kCallEvent), call(std::move(c)) {}
    std::shared_ptr<Call> call;
};

class Receiver : public QObject {
public:
    bool event(QEvent* e) override
    {
        if (e->type() != kCallEvent)
            return QObject::event(e);
        Call& c = *static_cast<CallEvent*>(e)->call;
        int expected = Pending;
        if (c.state.compare_exchange_strong(expected, Running)) {
            c.step();
            c.state.store(Done, std::memory_order_release);
        }
        return true;
    }
};

Receiver* TheReceiver()
{
    static Receiver* r = [] {
        auto* rec = new Receiver;
        rec->moveToThread(QCoreApplication::instance()->thread());
        return rec;
    }();
    return r;
}

inline void CpuRelax()
{
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#endif
}

}  // namespace

bool RunOnUiThread(const std::function<void()>& step, const std::atomic<bool>* cancel)
{
    QCoreApplication* app = QCoreApplication::instance();
    if (!app || QThread::currentThread() == app->thread()) {
        step();
        return true;
    }
    auto call = std::make_shared<Call>();
    call->step = step;
    QCoreApplication::postEvent(TheReceiver(), new CallEvent(call));
    for (unsigned spins = 0;; ++spins) {
        const int s = call->state.load(std::memory_order_acquire);
        if (s == Done)
            return true;
        if (s == Pending && cancel && cancel->load()) {
            int expected = Pending;
            if (call->state.compare_exchange_strong(expected, Dropped))
                return false;
            continue;  // it started meanwhile: wait for it
        }
        if (spins < 2000)
            CpuRelax();
        else if (spins < 20000)
            std::this_thread::yield();
        else
            std::this_thread::sleep_for(std::chrono::microseconds(100));
    }
}
