#include "ops/OpsRules.h"

#include <QRandomGenerator>
#include <algorithm>

#include "common/Format.h"
#include "hw/Ata.h"
#include "hw/AtaDefs.h"
#include "surface/ScanRules.h"

namespace ops {

namespace {

PassDrive FromIdentify(const ata::IdentifyBlock& id, bool lba48, bool capacity48)
{
    const scan::ScanDrive d = scan::DriveFromIdentify(id, lba48);
    PassDrive p;
    p.model = TrimControl(d.text.model);
    p.lba48 = d.lba48;
    const int64_t last = capacity48 ? d.maxLba : int64_t(id.Sectors28()) - 1;
    p.lastLba = std::max<int64_t>(last, 0);
    return p;
}

}  // namespace

PassDrive EraseDrive(const ata::IdentifyBlock& id, bool lba48) { return FromIdentify(id, lba48, true); }

PassDrive SoftBadDrive(const ata::IdentifyBlock& id, bool lba48) { return FromIdentify(id, lba48, false); }

int64_t EraseCount(int64_t current, int64_t end, int sectorsPerCommand)
{
    if (sectorsPerCommand != kBlockSectors)
        return 1;
    return std::min<int64_t>(kBlockSectors, end - current);
}

std::optional<uint8_t> ParseFiller(const QString& text)
{
    if (text.isEmpty() || text.size() > 2)
        return std::nullopt;
    for (const QChar c : text)
        if (c == QChar(u'\b') || !FillerKeyAllowed(c))
            return std::nullopt;
    return uint8_t(text.toUInt(nullptr, 16));
}

bool FillerKeyAllowed(QChar c)
{
    const char16_t u = c.unicode();
    return u == u'\b' || (u >= u'0' && u <= u'9') || (u >= u'A' && u <= u'F') || (u >= u'a' && u <= u'f');
}

QString RandomFillerText(QRandomGenerator& random) { return HexText(random.bounded(255u), 2); }

const char* const kFillerMissing = "Не задан заполнитель!\nВведите шестнадцатеричное число от 00 до FF.";

int64_t RandomTarget(int64_t start, int64_t end, QRandomGenerator& random)
{
    if (end <= start)
        return start;
    return start + int64_t(random.bounded(quint64(end - start)));
}

QString Lba48Refusal()
{
    return QStringLiteral("Создание Soft-Bad возможно только в режиме адресации LBA28.\r\n"
                          "В целях безопасности для накопителей, работающих в режиме\r\n"
                          "адресации LBA48 данная функция отключена!");
}

QString RemainingTimeText(std::optional<int64_t> seconds)
{
    if (!seconds)
        return QStringLiteral(" - - - - - - - ");
    return QLatin1Char(' ') + FormatHoursMinSec(*seconds);
}

bool RefusedAsInUse()
{
    return ata::LastResult().outcome == ata::Outcome::InUse;
}

}  // namespace ops
