#include "surface/ScanThread.h"

#include "common/Clock.h"
#include "common/DriveContext.h"
#include "common/Format.h"
#include "common/MonitorControl.h"
#include "common/Services.h"
#include "common/Shell.h"
#include "common/UiCall.h"
#include "hw/Ata.h"
#include "hw/AtaDefs.h"

#include <algorithm>
#include <chrono>
#include <thread>

using namespace scan;
using namespace std::chrono_literals;

namespace {

// After every block the monitor of the main window's current connection may
// sample again (resuming one that is not paused does nothing).
void ResumeMonitor()
{
    if (Shell* s = MainShell())
        if (MonitorControl* m = s->MonitorThread())
            m->Resume();
}

}  // namespace

int32_t FailedBlockResult(bool timedOut, uint8_t status, uint8_t errorRegister)
{
    if (timedOut || (status & ata::kStBsy))
        return ErrorResult(0);  // Time: a failure without an error bit
    return ErrorResult(errorRegister);
}

TScanThread::TScanThread(bool lba48, int64_t startLba, int64_t stopLba, ScanSink* sink, ScanDriveText drive,
                         QObject* parent)
    : QThread(parent),
      m_lba48(lba48),
      m_startLba(startLba),
      m_stopLba(stopLba),
      m_sink(sink),
      m_drive(std::move(drive)),
      m_verify(&VerifySectors),
      m_currentLba(startLba),
      m_blocksPerPoint(scan::BlocksPerPoint(startLba, stopLba))
{
}

TScanThread::~TScanThread()
{
    // Freed after `finished`; make sure nothing of the run is left.
    wait();
}

void TScanThread::run() { Execute(); }

void TScanThread::Hand(const std::function<void()>& step) { RunOnUiThread(step); }

void TScanThread::Resume()
{
    {
        std::lock_guard<std::mutex> l(m_mutex);
        if (!m_suspended.load())
            return;
        // Running again from now on, as far as anyone asking can tell.
        m_resumeRequested = true;
        m_suspended.store(false);
    }
    m_wake.notify_all();
}

void TScanThread::RequestStop()
{
    {
        // Under the lock, so a worker about to suspend itself sees the stop
        // in its wait condition and can never sleep through it.
        std::lock_guard<std::mutex> l(m_mutex);
        m_stop.store(true);
    }
    m_wake.notify_all();
}

void TScanThread::DetachSink()
{
    m_sink = nullptr;
    RequestStop();
}

void TScanThread::SuspendSelf()
{
    {
        std::unique_lock<std::mutex> l(m_mutex);
        if (m_stop.load())
            return;
        m_resumeRequested = false;
        m_suspended.store(true);
    }
    emit SuspendedChanged(true);
    {
        std::unique_lock<std::mutex> l(m_mutex);
        m_wake.wait(l, [this] { return m_resumeRequested || m_stop.load(); });
        m_resumeRequested = false;
        m_suspended.store(false);
    }
    emit SuspendedChanged(false);
}

void TScanThread::Execute()
{
    if (m_stop.load()) {
        m_cancelled = true;
        SoftReset();
        Finish(false);
        return;
    }

    Hand([this] {
        m_currentLba = m_startLba;
        m_cancelled = false;
        m_startTime = NowDateTime();
        m_tally.Clear();
        m_points.Reset(m_blocksPerPoint);
        m_minSpeed.reset();
        m_maxSpeed.reset();
        ScanStart s;
        s.startLba = m_startLba;
        s.stopLba = m_stopLba;
        s.header = HeaderLines(m_drive.model, m_drive.firmware, m_drive.serial, m_startLba, m_stopLba,
                               QDateTime::currentDateTime());
        if (m_sink)
            m_sink->ScanStarted(s);
    });

    ScanBlock block;
    block.tally = &m_tally;
    while (m_currentLba < m_stopLba) {
        if (m_pauseRequest.load())
            SuspendSelf();
        if (m_stop.load()) {
            m_cancelled = true;
            SoftReset();
            break;
        }
        const int64_t count = std::min<int64_t>(m_stopLba - m_currentLba, kBlockSectors);
        const int32_t r = m_verify(m_currentLba, count, m_lba48 ? 1 : 0);
        if (r >= 0) {
            m_blockResult = BlockMilliseconds(r);
            m_points.AddTime(m_blockResult);
        } else {
            if (m_stop.load()) {
                m_cancelled = true;
                SoftReset();
                break;
            }
            MonitorPause();
            ClearErrorReg();
            std::this_thread::sleep_for(25ms);
            // A drive still busy answers every register with its status:
            // what would be read as the error register is not one.
            const uint8_t status = ata::SampleRegister(ata::Register::Status);
            const bool busy = (status & ata::kStBsy) != 0;
            m_errorValue = busy ? 0 : ata::SampleRegister(ata::Register::Error);
            SetErrorReg(m_errorValue);
            m_blockResult =
                FailedBlockResult(r == ata::TimedFailureCode(ata::Outcome::Timeout), status, m_errorValue);
            MonitorContinue();
            std::this_thread::sleep_for(5ms);
            SoftReset();
            std::this_thread::sleep_for(5ms);
            m_points.AddTime(kFailedBlockMs);
        }
        ResumeMonitor();
        if (m_stop.load()) {
            m_cancelled = true;
            break;
        }

        const BlockClass cls = ClassOf(m_blockResult);
        m_tally.Add(cls);
        block.result = m_blockResult;
        block.lba = m_currentLba;
        block.count = count;
        block.cls = cls;
        block.reportLine = ReportLine(cls, m_currentLba);
        Hand([this, &block] {
            if (m_sink)
                m_sink->ShowBlock(block);
        });

        m_currentLba += count;

        int axisMaximum = 0;
        if (const std::optional<double> s = m_points.AfterBlock(&axisMaximum)) {
            m_minSpeed = m_minSpeed ? std::min(*m_minSpeed, *s) : *s;
            m_maxSpeed = m_maxSpeed ? std::max(*m_maxSpeed, *s) : *s;
            const ScanPoint p{m_currentLba, *s, axisMaximum};
            Hand([this, &p] {
                if (m_sink)
                    m_sink->AddPoint(p);
            });
        }
    }
    Finish(true);
}

void TScanThread::Finish(bool started)
{
    ScanEnd e;
    e.started = started;
    e.tally = &m_tally;
    if (started) {
        Hand([this, &e] {
            m_stopTime = NowDateTime();
            SummaryData d;
            d.cancelled = m_cancelled;
            d.now = QDateTime::currentDateTime();
            d.currentLba = m_currentLba;
            d.minSpeed = m_minSpeed;
            d.maxSpeed = m_maxSpeed;
            d.warnings = m_tally.Warnings();
            d.errors = m_tally.Errors();
            d.elapsed = FormatElapsed(m_stopTime, m_startTime);
            e.cancelled = m_cancelled;
            e.currentLba = m_currentLba;
            e.startTime = m_startTime;
            e.stopTime = m_stopTime;
            e.summary = SummaryLines(d);
            if (m_sink)
                m_sink->ScanFinished(e);
        });
    } else {
        e.cancelled = true;
        e.currentLba = m_currentLba;
    }
    Hand([this, &e] {
        if (!m_sink)
            return;
        if (e.started)
            Beep();
        m_sink->EndOfRun(e);
    });
}
