#include "monitor/Monitor.h"

#include <QCoreApplication>
#include <QDeadlineTimer>

#include <algorithm>
#include <chrono>

#include "common/UiCall.h"
#include "hw/Ata.h"
#include "hw/AtaDefs.h"
#include "hw/AtaPort.h"
#include "monitor/KVErrorReg.h"
#include "monitor/KVStatusReg.h"

TMonitorThread::TMonitorThread(uint16_t basePort, uint16_t altPort, uint8_t device, uint16_t periodMs,
                               TKVStatusReg* statusDisplay, TKVErrorReg* errorDisplay)
    : TMonitorThread(basePort, altPort, device, periodMs, statusDisplay, errorDisplay, DeferredStart::Yes)
{
    start();
}

TMonitorThread::TMonitorThread(std::shared_ptr<ata::Transport> transport, uint16_t periodMs,
                               TKVStatusReg* statusDisplay, TKVErrorReg* errorDisplay)
    : TMonitorThread(std::move(transport), periodMs, statusDisplay, errorDisplay, DeferredStart::Yes)
{
    start();
}

TMonitorThread::TMonitorThread(uint16_t basePort, uint16_t altPort, uint8_t device, uint16_t periodMs,
                               TKVStatusReg* statusDisplay, TKVErrorReg* errorDisplay, DeferredStart)
    : TMonitorThread(std::make_shared<ata::PortTransport>(basePort, altPort, device), periodMs, statusDisplay,
                     errorDisplay, DeferredStart::Yes)
{
}

TMonitorThread::TMonitorThread(std::shared_ptr<ata::Transport> transport, uint16_t periodMs,
                               TKVStatusReg* statusDisplay, TKVErrorReg* errorDisplay, DeferredStart)
    : Period(periodMs),
      m_transport(std::move(transport)),
      m_statusPort(m_transport->address().altPort),
      m_errorPort(uint16_t(m_transport->address().basePort + 1)),
      m_device(m_transport->address().device),
      m_live(m_transport->caps().liveRegisters),
      m_errorDisplay(errorDisplay),
      m_statusDisplay(statusDisplay)
{
    // Registers of the last command: until a command has returned any, the
    // lamps are dark rather than all lit (nothing is known of the drive).
    m_refresh.store(!m_live);
    connect(this, &QThread::finished, this, &QObject::deleteLater);
    if (QCoreApplication* app = QCoreApplication::instance())
        connect(app, &QCoreApplication::aboutToQuit, this, &TMonitorThread::StopAtQuit);
}

TMonitorThread::~TMonitorThread()
{
    // Never leave the command layer holding a monitor that is gone.
    ata::ForgetMonitor(this);
}

void TMonitorThread::Pause()
{
    std::lock_guard<std::mutex> l(m_mutex);
    m_paused.store(true);
}

void TMonitorThread::Resume()
{
    {
        std::lock_guard<std::mutex> l(m_mutex);
        if (!m_paused.load())
            return;
        m_paused.store(false);
    }
    m_cv.notify_all();
}

void TMonitorThread::RequestStop()
{
    {
        std::lock_guard<std::mutex> l(m_mutex);
        m_stop.store(true);
    }
    m_cv.notify_all();
}

void TMonitorThread::StopAtQuit()
{
    // The event loop has ended, so no hand-off of ours is running on the UI
    // thread and a queued one is dropped: the thread ends promptly.  Wait
    // for it (bounded) so that it never reads a port while the process tears
    // down the port backend.
    RequestStop();
    wait(QDeadlineTimer(2000));
}

TMonitorThread::Counters TMonitorThread::Stats() const
{
    Counters c;
    c.samples = m_samples.load();
    c.handOffs = m_handOffs.load();
    c.updates = m_updates.load();
    c.pausedWaits = m_pausedWaits.load();
    return c;
}

void TMonitorThread::run() { Execute(); }

void TMonitorThread::Execute()
{
    while (!m_stop.load()) {
        uint8_t status = 0;
        uint8_t error = 0;
        {
            std::unique_lock<std::mutex> l(m_mutex);
            if (m_paused.load()) {
                ++m_pausedWaits;
                m_cv.wait(l, [this] { return !m_paused.load() || m_stop.load(); });
            }
            if (m_stop.load())
                break;
            status = m_transport->Sample(ata::Register::AltStatus);
            // The last command's registers are a pair: a new error with the
            // same status is a change too.  Reading them costs nothing.
            if (!m_live)
                error = m_transport->Sample(ata::Register::Error);
            ++m_samples;
        }
        const bool refresh = m_refresh.exchange(false);
        if (status != m_lastStatus.load() || (!m_live && error != m_lastError.load()) || refresh) {
            m_lastStatus.store(status);
            m_lastError.store(error);
            ++m_handOffs;
            RunOnUiThread([this] { UpdateDisplays(); }, &m_stop);
        }
        Nap(std::max<int32_t>(0, Period.load()));
    }
}

void TMonitorThread::Nap(int ms)
{
    std::unique_lock<std::mutex> l(m_mutex);
    m_cv.wait_for(l, std::chrono::milliseconds(ms), [this] { return m_stop.load(); });
}

void TMonitorThread::UpdateDisplays()
{
    QCoreApplication* app = QCoreApplication::instance();
    if (!app || QThread::currentThread() != app->thread())
        return;
    if (m_stop.load())
        return;
    ++m_updates;
    const uint8_t status = m_lastStatus.load();
    if (m_statusDisplay)
        m_statusDisplay->SetRegValue(status);
    // Pending events ran inside SetRegValue: a new connection may have
    // replaced this one, or the displays may be gone.
    if (m_stop.load() || !m_errorDisplay)
        return;
    uint8_t error = 0;
    if ((status & ata::kStErr) && !m_live) {
        error = m_lastError.load();
    } else if (status & ata::kStErr) {
        std::unique_lock<std::mutex> l(m_mutex);
        if (m_paused.load()) {
            // Someone owns the channel: read the error register after Resume.
            m_refresh.store(true);
            return;
        }
        error = m_transport->Sample(ata::Register::Error);
    }
    m_errorDisplay->SetRegValue(error);
}
