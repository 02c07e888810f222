#include "common/DriveContext.h"

#include <QFileInfo>

DriveContext& Ctx()
{
    static DriveContext ctx;
    return ctx;
}

void ResetDriveContext()
{
    DriveContext& c = Ctx();
    c = DriveContext{};
}

QString ExecutableDir()
{
    const QFileInfo exe(QStringLiteral("/proc/self/exe"));
    QString dir = QFileInfo(exe.canonicalFilePath()).absolutePath();
    if (!dir.endsWith(QLatin1Char('/')))
        dir += QLatin1Char('/');
    return dir;
}
