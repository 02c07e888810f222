#pragma once
// Helpers of the monitor tests: a port backend whose registers the test
// sets, event pumping with a deadline, a watchdog that fails a hung test,
// and the orderly end of a monitor thread.
#include <QCoreApplication>
#include <QEvent>
#include <QPointer>

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "hw/PortIo.h"
#include "monitor/Monitor.h"

namespace monitortest {

// Every port reads what the test stored (0xFF by default) and counts its
// reads; writes are ignored.
class FakePorts : public PortBackend {
public:
    FakePorts()
    {
        for (auto& v : m_value)
            v.store(0xFF);
        for (auto& n : m_reads)
            n.store(0);
    }
    void Set(uint16_t port, uint8_t v) { m_value[port].store(v); }
    uint32_t Reads(uint16_t port) const { return m_reads[port].load(); }

    uint8_t In8(uint16_t port) override
    {
        ++m_reads[port];
        return m_value[port].load();
    }
    uint16_t In16(uint16_t port) override { return In8(port); }
    uint32_t In32(uint16_t port) override { return In8(port); }
    void Out8(uint16_t, uint8_t) override {}
    void Out16(uint16_t, uint16_t) override {}
    void Out32(uint16_t, uint32_t) override {}
    const char* Kind() const override { return "test"; }

private:
    std::array<std::atomic<uint8_t>, 65536> m_value;
    std::array<std::atomic<uint32_t>, 65536> m_reads;
};

inline std::shared_ptr<FakePorts> InstallFakePorts()
{
    auto p = std::make_shared<FakePorts>();
    InstallPortBackend(p);
    return p;
}

// Lets the UI thread's events run (deferred deletes included) until `done`
// holds; false when it still does not hold after `limit`.  The limit only
// turns a hang into a failure.
inline bool PumpUntil(const std::function<bool()>& done, std::chrono::seconds limit = std::chrono::seconds(30))
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

// Waits for a condition that another thread makes true, without letting the
// UI thread's events run.
inline bool SpinUntil(const std::function<bool()>& done, std::chrono::seconds limit = std::chrono::seconds(30))
{
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::yield();
    }
    return true;
}

// Ends the process with a message when it is still armed after `limit`:
// a deadlock fails the test instead of hanging it.
class Watchdog {
public:
    Watchdog(const char* what, std::chrono::seconds limit)
        : m_thread([this, what, limit] {
              std::unique_lock<std::mutex> l(m_mutex);
              if (!m_cv.wait_for(l, limit, [this] { return m_disarmed; })) {
                  std::fprintf(stderr, "\nWATCHDOG: %s did not finish within %lld s (deadlock?)\n", what,
                               static_cast<long long>(limit.count()));
                  std::fflush(stderr);
                  std::_Exit(3);
              }
          })
    {
    }
    ~Watchdog()
    {
        {
            std::lock_guard<std::mutex> l(m_mutex);
            m_disarmed = true;
        }
        m_cv.notify_all();
        m_thread.join();
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_cv;
    bool m_disarmed = false;
    std::thread m_thread;
};

// Stops a monitor and lets the UI thread run until it has freed itself.
inline bool StopAndReap(QPointer<TMonitorThread>& m)
{
    if (m)
        m->RequestStop();
    return PumpUntil([&] { return m.isNull(); });
}

}  // namespace monitortest
