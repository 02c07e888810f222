#include "app/ConsoleMode.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QSocketNotifier>
#include <QTimer>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

#include "common/Clock.h"
#include "common/DriveContext.h"
#include "common/Format.h"
#include "common/IniFile.h"
#include "common/PortLock.h"
#include "common/SafeFile.h"
#include "common/TextFile.h"
#include "hw/Ata.h"
#include "hw/InUseGuard.h"
#include "hw/AtaPort.h"
#include "hw/PassThrough.h"
#include "info/IdentifyReport.h"
#include "info/SmartData.h"
#include "select/KernelDriver.h"
#include "select/PciScan.h"
#include "select/SelectPort.h"
#include "surface/ScanRules.h"
#include "surface/ScanThread.h"

namespace {

// Writes to a stream and flushes it; remembers the first failure, after
// which nothing more is written.
class StreamWriter {
public:
    explicit StreamWriter(std::FILE* f) : m_f(f) {}
    bool Put(const QByteArray& bytes)
    {
        if (m_error)
            return false;
        errno = 0;
        if (std::fwrite(bytes.constData(), 1, size_t(bytes.size()), m_f) != size_t(bytes.size()) ||
            std::fflush(m_f) != 0 || std::ferror(m_f))
            m_error = errno ? errno : EIO;
        return m_error == 0;
    }
    bool PutLine(const QString& line) { return Put(line.toUtf8() + '\n'); }
    int Error() const { return m_error; }

private:
    std::FILE* m_f;
    int m_error = 0;
};

void PrintLine(std::FILE* f, const QString& line) { StreamWriter(f).PutLine(line); }

void Say(const ConsoleStreams& io, const QString& text) { PrintLine(io.err, QStringLiteral("voran: ") + text); }

int OutputFailed(const ConsoleStreams& io, int error)
{
    Say(io, QStringLiteral("не удалось вывести отчёт в стандартный вывод: %1").arg(ErrnoText(error)));
    return kExitOutput;
}

QString Describe(const ata::Result& r) { return DescribeResult(r); }

// ---- Ctrl+C ---------------------------------------------------------------------

int gSignalPipe[2] = {-1, -1};

void OnSigint(int)
{
    const char c = 1;
    const ssize_t r = ::write(gSignalPipe[1], &c, 1);
    (void)r;
}

// Turns SIGINT into an event of the main thread while it lives.
class InterruptWatch {
public:
    explicit InterruptWatch(std::function<void()> onInterrupt)
    {
        if (::pipe2(gSignalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
            return;
        m_notifier = new QSocketNotifier(gSignalPipe[0], QSocketNotifier::Read);
        QObject::connect(m_notifier, &QSocketNotifier::activated, [this, onInterrupt] {
            char buf[16];
            while (::read(gSignalPipe[0], buf, sizeof buf) > 0) {
            }
            // A second Ctrl+C ends the program the usual way.
            ::sigaction(SIGINT, &m_old, nullptr);
            onInterrupt();
        });
        struct sigaction sa {};
        sa.sa_handler = OnSigint;
        sigemptyset(&sa.sa_mask);
        sa.sa_flags = SA_RESTART;
        ::sigaction(SIGINT, &sa, &m_old);
    }
    ~InterruptWatch()
    {
        if (!m_notifier)
            return;
        ::sigaction(SIGINT, &m_old, nullptr);
        delete m_notifier;
        ::close(gSignalPipe[0]);
        ::close(gSignalPipe[1]);
        gSignalPipe[0] = gSignalPipe[1] = -1;
    }

private:
    QSocketNotifier* m_notifier = nullptr;
    struct sigaction m_old {};
};

// ---- the scan's console sink ------------------------------------------------------

class ConsoleScanSink : public ScanSink {
public:
    ConsoleScanSink(const ConsoleStreams& io, bool toFile) : m_io(io), m_toFile(toFile), m_out(io.out) {}

    // Called once when standard output fails (a reader that went away):
    // the report is lost, so the scan need not go on.
    std::function<void()> onOutputFailed;

    void ScanStarted(const ScanStart& s) override
    {
        m_start = s.startLba;
        m_stop = s.stopLba;
        m_shown = s.startLba;
        m_startTick = GetTickCount();
        for (const QString& l : s.header)
            Emit(l);
    }
    void ShowBlock(const ScanBlock& b) override
    {
        m_shown = b.lba;
        if (!b.reportLine.isEmpty())
            Emit(b.reportLine);
    }
    void AddPoint(const ScanPoint& p) override { m_speed = p.speed; }
    void ScanFinished(const ScanEnd& e) override
    {
        ClearProgress();
        for (const QString& l : e.summary)
            Emit(l);
        if (e.tally)
            m_findings = e.tally->Warnings() + e.tally->Errors();
    }
    void EndOfRun(const ScanEnd& e) override
    {
        ClearProgress();
        m_cancelled = e.cancelled;
        m_ended = true;
        QCoreApplication::exit(0);
    }

    // The progress line, a few times a second while the run goes on.
    void DrawProgress()
    {
        if (!m_io.progress || m_ended || m_stop <= m_start)
            return;
        const double pct = 100.0 * double(m_shown - m_start) / double(m_stop - m_start);
        QString remaining = QStringLiteral("--:--:--");
        const uint32_t now = GetTickCount();
        if (now - m_lastEstimate >= 1000) {
            m_lastEstimate = now;
            if (auto s = scan::RemainingSeconds(m_msPerLba, now - m_startTick, m_shown, m_start, m_stop))
                m_remaining = *s;
        }
        if (m_remaining >= 0)
            remaining = FormatHoursMinSec(m_remaining);
        const QString line = QStringLiteral("\r%1%  LBA %2  %3  осталось %4")
                                 .arg(pct, 5, 'f', 1)
                                 .arg(m_shown)
                                 .arg(FormatSpeed(m_speed), remaining);
        const QByteArray b = line.toUtf8();
        std::fwrite(b.constData(), 1, size_t(b.size()), m_io.err);
        std::fputs("\033[K", m_io.err);
        std::fflush(m_io.err);
        m_progressShown = true;
    }

    const QStringList& Lines() const { return m_lines; }
    bool Cancelled() const { return m_cancelled; }
    int64_t Findings() const { return m_findings; }
    bool Ended() const { return m_ended; }
    int OutputError() const { return m_out.Error(); }

private:
    void Emit(const QString& line)
    {
        m_lines << line;
        if (m_toFile || m_out.Error())
            return;
        ClearProgress();
        if (!m_out.PutLine(line) && onOutputFailed)
            onOutputFailed();
    }
    void ClearProgress()
    {
        if (!m_progressShown)
            return;
        std::fputs("\r\033[K", m_io.err);
        std::fflush(m_io.err);
        m_progressShown = false;
    }

    ConsoleStreams m_io;
    bool m_toFile;
    StreamWriter m_out;
    QStringList m_lines;
    int64_t m_start = 0, m_stop = 0, m_shown = 0;
    double m_speed = 0;
    uint32_t m_startTick = 0;
    uint32_t m_lastEstimate = 0;
    float m_msPerLba = 0;
    int64_t m_remaining = -1;
    bool m_progressShown = false;
    bool m_cancelled = false;
    bool m_ended = false;
    int64_t m_findings = 0;
};

int RunIdentify(const ConsoleStreams& io)
{
    const info::DriveIdentify id = info::IdentifyCurrentDrive();
    if (!id.ok()) {
        Say(io, info::kIdentifyFailed.toString() + QStringLiteral(" (") + Describe(id.identifyFailure) + QLatin1Char(')'));
        return kExitDrive;
    }
    StreamWriter out(io.out);
    for (const QString& l : id.report.lines)
        out.PutLine(l);
    return out.Error() ? OutputFailed(io, out.Error()) : kExitOk;
}

// The SMART table as the viewer's report holds it; SMART is left as found.
int RunSmart(const CommandLineOptions& o, const ConsoleStreams& io)
{
    const IniFile ini(Ctx().ExeDir + QStringLiteral("Voran.ini"));
    const int rawFormat = ini.ReadInteger(QStringLiteral("SMART"), QStringLiteral("RawFormat"), 1);
    const info::SmartReading r = info::ReadSmart();
    int status = kExitOk;
    if (!r.ok()) {
        QString message = info::SmartStatusMessage(r.status);
        if (r.status != info::SmartStatus::NotSupported)
            message += QStringLiteral(" (") + Describe(r.failure) + QLatin1Char(')');
        Say(io, message);
        status = kExitDrive;
    } else {
        const QStringList lines = info::SmartTableLines(info::AttributeRows(r.attributes, r.thresholds, rawFormat));
        QString why;
        if (o.output.isEmpty()) {
            for (const QString& l : lines)
                PrintLine(io.out, l);
            std::fflush(io.out);
        } else if (!WriteReportFile(o.output, lines, &why)) {
            Say(io, QStringLiteral("не удалось записать отчёт в %1: %2").arg(o.output, why));
            status = kExitOutput;
        }
    }
    if (r.restoreFailed) {
        Say(io, info::kSmartDisableFailed.toString() + QStringLiteral(" (SMART остался включённым)"));
        if (status == kExitOk)
            status = kExitDrive;
    }
    return status;
}

int RunScan(const CommandLineOptions& o, const ConsoleStreams& io)
{
    ata::IdentifyBlock block{};
    if (!(IdentifyDevice(block.Bytes()) & 0xFF)) {
        Say(io, info::kIdentifyFailed.toString() + QStringLiteral(" (") + Describe(ata::LastResult()) + QLatin1Char(')'));
        return kExitDrive;
    }
    const scan::ScanDrive drive = scan::DriveFromIdentify(block, false);
    const int64_t capacity = drive.maxLba + 1;
    const int64_t start = o.scanStart.value_or(0);
    const int64_t stop = o.scanEnd.value_or(capacity);
    if (start >= capacity || stop > capacity) {
        Say(io, QStringLiteral("диапазон %1..%2 выходит за пределы диска (%3 секторов)")
                    .arg(start)
                    .arg(stop)
                    .arg(capacity));
        return kExitUsage;
    }
    if (stop <= start) {
        Say(io, QStringLiteral("Конец диапазона не может быть меньше начала!"));
        return kExitUsage;
    }

    ConsoleScanSink sink(io, !o.output.isEmpty());
    auto* worker = new TScanThread(drive.lba48, start, stop, &sink, drive.text);
    QObject::connect(worker, &QThread::finished, worker, &QObject::deleteLater);
    InterruptWatch interrupt([worker, &sink] {
        if (!sink.Ended())
            worker->RequestStop();
    });
    sink.onOutputFailed = [worker] { worker->RequestStop(); };
    QTimer progress;
    QObject::connect(&progress, &QTimer::timeout, [&sink] { sink.DrawProgress(); });
    if (io.progress)
        progress.start(250);
    worker->start(QThread::TimeCriticalPriority);
    QCoreApplication::exec();
    progress.stop();
    worker->wait();

    if (!o.output.isEmpty()) {
        QString why;
        if (!WriteReportFile(o.output, sink.Lines(), &why)) {
            Say(io, QStringLiteral("не удалось записать отчёт в %1: %2").arg(o.output, why));
            return kExitOutput;
        }
    } else if (sink.OutputError()) {
        return OutputFailed(io, sink.OutputError());
    }
    if (sink.Cancelled())
        return kExitInterrupted;
    return sink.Findings() > 0 ? kExitFindings : kExitOk;
}

}  // namespace

QString DescribeResult(const ata::Result& r)
{
    switch (r.outcome) {
    case ata::Outcome::DeviceError:
        return QStringLiteral("накопитель отверг команду (состояние %1, ошибка %2)")
            .arg(HexText(r.status, 2), HexText(r.error, 2));
    case ata::Outcome::Timeout: return QStringLiteral("накопитель не ответил за время ожидания");
    case ata::Outcome::NoDevice:
        return ata::CurrentConnection().path.empty() ? QStringLiteral("на канале нет такого устройства")
                                                     : QStringLiteral("диск не отвечает или пропал");
    case ata::Outcome::ProtocolError: return QStringLiteral("накопитель нарушил протокол обмена");
    case ata::Outcome::Refused: return QString::fromStdString(ata::RefusalText(r.osError, ata::CurrentConnection().path));
    case ata::Outcome::InUse: return QString::fromStdString(ata::LastRefusal());
    default: return QString::fromLatin1(ata::OutcomeName(r.outcome));
    }
}

bool ParseChannelOption(const QString& text, ChannelPorts& out, QString* error)
{
    const int colon = text.indexOf(QLatin1Char(':'));
    if (colon >= 0)
        return ChannelPortsFromTexts(text.left(colon), text.mid(colon + 1), out, error);
    uint32_t base = 0;
    if (ParseHexText(text, base)) {
        if (base == 0x1F0)
            return ChannelPortsFromTexts(text, QStringLiteral("03F6"), out, error);
        if (base == 0x170)
            return ChannelPortsFromTexts(text, QStringLiteral("0376"), out, error);
    }
    if (error)
        *error = QStringLiteral("--channel %1: укажите BASE:CONTROL (без CONTROL допускаются только 01F0 и 0170)").arg(text);
    return false;
}

namespace {

// The lock of a channel or a drive; a second command in the same process
// keeps the one it already holds.
std::unique_ptr<PortLock> TakeLock(const ConsoleStreams& io, const QString& key, const QString& what)
{
    QString lockFailure;
    std::unique_ptr<PortLock> lock = (Ctx().PortMutex && Ctx().PortMutex->PortText() == key)
                                         ? std::move(Ctx().PortMutex)
                                         : PortLock::TryAcquire(key, &lockFailure);
    if (!lock)
        Say(io, !lockFailure.isEmpty()
                    ? lockFailure
                    : QStringLiteral("Данный порт уже занят! Выберите другой! (%1 используется другой копией программы)")
                          .arg(what));
    return lock;
}

// --channel: the port transport, never behind the back of a kernel driver
// unless asked.
int ConnectChannel(const CommandLineOptions& o, const ConsoleStreams& io, std::shared_ptr<ata::Transport>& transport,
                   std::unique_ptr<PortLock>& lock)
{
    ChannelPorts ports;
    QString why;
    if (!ParseChannelOption(o.channel, ports, &why)) {
        Say(io, why);
        return kExitUsage;
    }
    const QString baseText = HexText(ports.base, 4);
    if (KernelDriverCheck()) {
        if (const auto owner = KernelDriverOfChannel(ScanPci(), ports.base)) {
            if (!o.force) {
                Say(io, QStringLiteral("контроллер канала %1 (%2) занят драйвером ядра %3; работа с его портами в обход "
                                       "драйвера может испортить данные. Отключите драйвер или укажите --force.")
                            .arg(baseText, owner->pci.Text(), owner->driver));
                return kExitDrive;
            }
            Say(io, QStringLiteral("внимание: канал %1 занят драйвером ядра %2 (--force)").arg(baseText, owner->driver));
        }
    }
    lock = TakeLock(io, PortLockKey(baseText), QStringLiteral("канал ") + baseText);
    if (!lock)
        return kExitDrive;
    auto port = std::make_shared<ata::PortTransport>(ports.base, ports.alt, uint8_t(o.slave ? 1 : 0));
    port->Select();
    transport = port;
    return kExitOk;
}

// --device: the pass-through transport of the machine's host (the kernel's
// in hardware mode).
int ConnectDevice(const CommandLineOptions& o, const ConsoleStreams& io, std::shared_ptr<ata::Transport>& transport,
                  std::unique_ptr<PortLock>& lock)
{
    const std::string path = o.device.toStdString();
    const std::shared_ptr<ata::PassThroughHost> host = ata::CurrentPassThroughHost();
    const QString name = QString::fromStdString(host ? host->DriveName(path) : path);
    lock = TakeLock(io, name, QStringLiteral("диск ") + name);
    if (!lock)
        return kExitDrive;
    std::string why;
    transport = ata::OpenPassThrough(path, &why);
    if (!transport) {
        Say(io, QString::fromStdString(why));
        return kExitDrive;
    }
    return kExitOk;
}

}  // namespace

int RunConsoleCommand(const CommandLineOptions& o, const ConsoleStreams& io)
{
    std::shared_ptr<ata::Transport> transport;
    std::unique_ptr<PortLock> lock;
    const int status = o.device.isEmpty() ? ConnectChannel(o, io, transport, lock) : ConnectDevice(o, io, transport, lock);
    if (status != kExitOk)
        return status;

    DriveContext& ctx = Ctx();
    ctx.ExeDir = io.exeDir.isEmpty() ? ExecutableDir() : io.exeDir;
    const IniFile ini(ctx.ExeDir + QStringLiteral("Voran.ini"));
    const StartupTimeouts t = ReadStartupTimeouts(&ini);
    const ata::Address a = transport->address();
    ctx.PortMutex = std::move(lock);
    ctx.BasePort = a.basePort;
    ctx.AltPort = a.altPort;
    ctx.Device = a.device;
    ctx.TimeOut = t.timeOut;
    ctx.MonitorPeriod = t.monitorPeriod;
    ctx.CounterFrequency = CounterFrequency();
    ata::Connect(transport, ctx.TimeOut, ctx.CounterFrequency, nullptr);

    if (o.identify)
        return RunIdentify(io);
    return o.smart ? RunSmart(o, io) : RunScan(o, io);
}

void PrepareStandardStreams()
{
    // A closed descriptor would be handed to the next file we open, and the
    // report would land in it.  /dev/null opened for reading takes its place:
    // every write to it fails, so the failure is still seen and reported.
    for (int fd = 0; fd <= 2; ++fd) {
        if (::fcntl(fd, F_GETFD) == -1 && errno == EBADF) {
            const int n = ::open("/dev/null", fd == 0 ? O_WRONLY : O_RDONLY);
            if (n >= 0 && n != fd)
                ::close(n);
        }
    }
    // A reader that goes away is an error to report (EPIPE), not a silent end.
    ::signal(SIGPIPE, SIG_IGN);
}

bool WriteStandardText(std::FILE* f, const QString& text, QString* why)
{
    StreamWriter w(f);
    if (w.Put(text.toUtf8()))
        return true;
    if (why)
        *why = ErrnoText(w.Error());
    return false;
}
