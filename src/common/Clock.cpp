#include "common/Clock.h"
#include "common/Version.h"
#include "common/VersionInfo.h"

#include <QDateTime>
#include <atomic>
#include <chrono>

uint32_t GetTickCount()
{
    using namespace std::chrono;
    return static_cast<uint32_t>(
        duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

int64_t CounterFrequency()
{
    using P = std::chrono::steady_clock::period;
    return static_cast<int64_t>(P::den / P::num);
}

double NowDateTime()
{
    static const QDateTime epoch(QDate(1899, 12, 30), QTime(0, 0), Qt::LocalTime);
    const QDateTime now = QDateTime::currentDateTime();
    const qint64 ms = epoch.msecsTo(now);
    return static_cast<double>(ms) / 86400000.0;
}

namespace {
std::atomic<bool> gVersionEnabled{true};
}

std::optional<VersionRecord> LookupVersion()
{
    if (!gVersionEnabled.load())
        return std::nullopt;
    return VersionRecord{QStringLiteral(VORAN_PRODUCT_NAME), QStringLiteral(VORAN_FILE_VERSION)};
}

void SetVersionLookupEnabled(bool enabled) { gVersionEnabled = enabled; }
