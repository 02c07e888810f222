#pragma once
// The register monitor: a thread that samples the drive's alternate status
// register every Period milliseconds and, when the byte changes, shows it
// and the error register on the two lamp rows through a synchronous hand-off
// to the UI thread.  It reads them through the connection's transport: live
// from a channel's ports, or as the last command left them on a drive the
// kernel owns (it never sends a command of its own).  There the status and
// error registers are a pair handed off when either changes, and the lamps
// are dark until the first command has returned registers.
//
// Pausing never waits for the thread: a mutex is held only around the one
// register read, so once Pause() has returned nothing is read until Resume().
// The thread starts at construction and frees itself (deleteLater) when it
// has ended; RequestStop() ends it without waiting.
#include <QPointer>
#include <QThread>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>

#include "common/MonitorControl.h"

namespace ata {
class Transport;
}

class TKVStatusReg;
class TKVErrorReg;

class TMonitorThread : public QThread, public MonitorControl {
    Q_OBJECT
public:
    // Starts sampling `altPort` at once.  The displays belong to the caller
    // and may go away before the thread does.
    TMonitorThread(uint16_t basePort, uint16_t altPort, uint8_t device, uint16_t periodMs,
                   TKVStatusReg* statusDisplay, TKVErrorReg* errorDisplay);
    // Starts sampling the drive `transport` reaches.
    TMonitorThread(std::shared_ptr<ata::Transport> transport, uint16_t periodMs, TKVStatusReg* statusDisplay,
                   TKVErrorReg* errorDisplay);

    // MonitorControl: any thread.  Pause() returns at once (at most after
    // the port read in progress); Resume() of a thread that is not paused
    // does nothing.
    void Pause() override;
    void Resume() override;
    bool Paused() const { return m_paused.load(); }

    // Ends the thread without waiting for it.  From here on it never
    // changes the displays again, also not from a hand-off already queued.
    void RequestStop();
    bool StopRequested() const { return m_stop.load(); }

    // The step the thread hands to the UI thread: status row from
    // LastStatus, error row from the error register when ERR is set, dark
    // otherwise.  Does nothing off the UI thread or after a stop request.
    void UpdateDisplays();

    uint16_t StatusPort() const { return m_statusPort; }
    uint16_t ErrorPort() const { return m_errorPort; }
    uint8_t Device() const { return m_device; }
    uint8_t LastStatus() const { return m_lastStatus.load(); }

    // Pause after each sample in milliseconds; may be written from any
    // thread while the monitor runs and counts from the next pause.
    std::atomic<int32_t> Period;

    // What the thread has done so far.
    struct Counters {
        uint64_t samples = 0;      // status port reads
        uint64_t handOffs = 0;     // hand-offs started (the status changed)
        uint64_t updates = 0;      // UpdateDisplays runs that reached the displays
        uint64_t pausedWaits = 0;  // times the thread found itself paused
    };
    Counters Stats() const;

protected:
    // For subclasses that must finish their own construction before the
    // thread runs: they call start() themselves.
    enum class DeferredStart { Yes };
    TMonitorThread(std::shared_ptr<ata::Transport> transport, uint16_t periodMs, TKVStatusReg* statusDisplay,
                   TKVErrorReg* errorDisplay, DeferredStart);
    TMonitorThread(uint16_t basePort, uint16_t altPort, uint8_t device, uint16_t periodMs,
                   TKVStatusReg* statusDisplay, TKVErrorReg* errorDisplay, DeferredStart);
    // Only deleteLater frees the thread, after it has finished.
    ~TMonitorThread() override;

    void run() override;
    // The thread body: sample, compare, hand off, pause, until stopped.
    void Execute();
    // The pause after a sample; a stop request cuts it short.
    virtual void Nap(int ms);

private:
    void StopAtQuit();

    const std::shared_ptr<ata::Transport> m_transport;
    const uint16_t m_statusPort;
    const uint16_t m_errorPort;
    const uint8_t m_device;
    const bool m_live;  // the transport's registers are live (a channel's ports)
    std::atomic<uint8_t> m_lastStatus{0};
    std::atomic<uint8_t> m_lastError{0};  // sampled with the status where they are not live
    QPointer<TKVErrorReg> m_errorDisplay;
    QPointer<TKVStatusReg> m_statusDisplay;

    std::mutex m_mutex;  // held around a register read, and to change the flags
    std::condition_variable m_cv;
    std::atomic<bool> m_paused{false};
    std::atomic<bool> m_stop{false};
    // The error register could not be read because of a pause: hand off the
    // next sample even if the status has not changed.
    std::atomic<bool> m_refresh{false};

    std::atomic<uint64_t> m_samples{0};
    std::atomic<uint64_t> m_handOffs{0};
    std::atomic<uint64_t> m_updates{0};
    std::atomic<uint64_t> m_pausedWaits{0};
};
