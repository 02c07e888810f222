#include "select/DriveRows.h"

#include <mutex>

#include "hw/AtaDefs.h"
#include "hw/PassThrough.h"
#include "hw/Transport.h"

namespace {
std::mutex gSourceMutex;
std::function<std::vector<DriveRow>()> gSource;
}  // namespace

QString DriveRow::Status() const
{
    return port.isEmpty() ? path + QStringLiteral(" (") + kind + QLatin1Char(')')
                          : path + QStringLiteral(" (") + kind + QLatin1Char(' ') + port + QLatin1Char(')');
}

DriveRow KernelDriveRow(const ata::KernelDrive& d)
{
    DriveRow r;
    r.path = QString::fromStdString(d.path);
    r.port = QString::fromStdString(d.port);
    r.model = QString::fromStdString(d.model);
    r.driver = QString::fromStdString(d.driver);
    r.kind = d.bus == ata::DriveBus::Usb ? QStringLiteral("USB") : d.sata ? QStringLiteral("SATA") : QStringLiteral("PATA");
    QString where = r.kind + QLatin1Char(' ') + r.port;
    if (!r.driver.isEmpty())
        where += QStringLiteral(" (") + r.driver + QLatin1Char(')');
    r.name = where + QStringLiteral(": ") + r.model;
    return r;
}

DriveRow PlainDriveRow(const QString& path, const QString& model, const QString& kind)
{
    DriveRow r;
    r.path = path;
    r.kind = kind;
    r.model = model;
    r.name = kind + QStringLiteral(": ") + model;
    return r;
}

void SetDriveRowSource(std::function<std::vector<DriveRow>()> source)
{
    std::lock_guard<std::mutex> l(gSourceMutex);
    gSource = std::move(source);
}

std::vector<DriveRow> DriveRows()
{
    std::function<std::vector<DriveRow>()> source;
    {
        std::lock_guard<std::mutex> l(gSourceMutex);
        source = gSource;
    }
    return source ? source() : std::vector<DriveRow>{};
}

std::vector<DriveRow> KernelDriveRows()
{
    std::vector<DriveRow> rows;
    for (const ata::KernelDrive& d : ata::FindKernelDrives())
        rows.push_back(KernelDriveRow(d));
    return rows;
}

QString DriveLockName(const QString& path)
{
    const std::shared_ptr<ata::PassThroughHost> host = ata::CurrentPassThroughHost();
    return host ? QString::fromStdString(host->DriveName(path.toStdString())) : path;
}

std::shared_ptr<ata::Transport> OpenDriveRow(const DriveRow& row, uint16_t timeOutSeconds, QString* why)
{
    const std::string path = row.path.toStdString();
    std::string text;
    std::shared_ptr<ata::Transport> t = ata::OpenPassThrough(path, &text);
    if (t) {
        t->Configure(timeOutSeconds);
        ata::Taskfile tf;
        tf.command = ata::kCmdIdentify;
        tf.device = ata::kDevObsolete | ata::kDevLba;
        ata::IdentifyBlock block{};
        const ata::Result r = t->Execute(ata::Request::In(tf, block.Bytes(), 1));
        if (r.outcome != ata::Outcome::Refused)
            return t;
        text = ata::RefusalText(r.osError, path);
    }
    if (why)
        *why = QString::fromStdString(text);
    return nullptr;
}
