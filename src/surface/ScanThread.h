#pragma once
// The surface scan worker: verifies a range of sectors block by block,
// classes every block by its time or its error, and hands each step to a
// ScanSink on the UI thread.  It knows nothing of windows.
//
// Typical use (the scan window):
//   auto* w = new TScanThread(lba48, start, stop, sink, drive);
//   QObject::connect(w, &QThread::finished, w, &QObject::deleteLater);
//   w->start(QThread::TimeCriticalPriority);
// Control from the UI thread while it runs: SetPauseRequest, Suspended,
// Resume, RequestStop.  A caller without an event loop (a command line) can
// call Execute() on its own thread instead of start(): the steps then run
// inline.
#include <QDateTime>
#include <QString>
#include <QThread>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>

#include "surface/ScanRules.h"
#include "surface/ScanSink.h"

// The class of a failed block.  A time-out of the command, or a status with
// BSY still set just before the error register is read, is Time ("?"): a
// busy drive answers the error register with its status (0xD0 would read
// as IDNF).  Otherwise the error register's bits decide (ErrorResult).
int32_t FailedBlockResult(bool timedOut, uint8_t status, uint8_t errorRegister);

class TScanThread : public QThread {
    Q_OBJECT
public:
    // The verify command: (first LBA, sectors, 48-bit) -> microseconds, or a
    // negative value on failure.  VerifySectors of the ATA layer by default.
    using VerifyFunction = std::function<int32_t(int64_t, int64_t, uint8_t)>;

    TScanThread(bool lba48, int64_t startLba, int64_t stopLba, ScanSink* sink, ScanDriveText drive = {},
                QObject* parent = nullptr);
    ~TScanThread() override;

    // ---- control (any thread; the window uses the UI thread) ----------
    void SetPauseRequest(bool on) { m_pauseRequest.store(on); }
    bool PauseRequest() const { return m_pauseRequest.load(); }
    // True while the worker has suspended itself at a block boundary.
    bool Suspended() const { return m_suspended.load(); }
    // Wakes a suspended worker; does nothing to a running one.
    void Resume();
    // Sets the stop request and wakes a suspended worker, in that order.
    void RequestStop();
    bool StopRequested() const { return m_stop.load(); }

    // The run itself (what the thread executes).
    void Execute();

    // The sink is going away while the run goes on (its window is being
    // destroyed with its owner): stop, and show nothing more.  UI thread
    // only, like every step that uses the sink.
    void DetachSink();

    // ---- state (read after the run, or by tests) -------------------------
    int64_t StartLBA() const { return m_startLba; }
    int64_t StopLBA() const { return m_stopLba; }
    int64_t CurrentLBA() const { return m_currentLba; }
    int64_t BlocksPerPoint() const { return m_blocksPerPoint; }
    bool Cancelled() const { return m_cancelled; }
    int32_t BlockResult() const { return m_blockResult; }
    uint8_t ErrorValue() const { return m_errorValue; }
    const scan::Tally& Counters() const { return m_tally; }

    // Tests replace the verify command (for example to fix block times).
    void SetVerifyFunction(VerifyFunction f) { m_verify = std::move(f); }

signals:
    // Emitted from the worker when it suspends itself and when it goes on
    // (observers only; the window decides by Suspended()).
    void SuspendedChanged(bool suspended);

protected:
    void run() override;

private:
    void Hand(const std::function<void()>& step);
    void SuspendSelf();
    void Finish(bool started);

    const bool m_lba48;
    const int64_t m_startLba;
    const int64_t m_stopLba;
    ScanSink* m_sink;  // used on the UI thread only
    const ScanDriveText m_drive;
    VerifyFunction m_verify;

    int64_t m_currentLba = 0;
    uint8_t m_errorValue = 0;
    int32_t m_blockResult = 0;
    bool m_cancelled = false;
    double m_startTime = 0;
    double m_stopTime = 0;
    const int64_t m_blocksPerPoint;
    scan::PointCounter m_points;
    std::optional<double> m_minSpeed;
    std::optional<double> m_maxSpeed;
    scan::Tally m_tally;

    std::atomic<bool> m_pauseRequest{false};
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_suspended{false};
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_resumeRequested = false;  // guarded by m_mutex
};
