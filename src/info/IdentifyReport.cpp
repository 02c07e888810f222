#include "info/IdentifyReport.h"

#include <cstdint>

#include "common/Format.h"
#include "hw/Ata.h"

namespace info {

namespace {

QString Line(QStringView label, const QString& value) { return label.toString() + value; }

QString PresentAbsent(bool present) { return (present ? kPresent : kAbsent).toString(); }

// The name of the highest set bit among bits `high` down to `low`, or
// nullopt when none of them is set.
std::optional<int> HighestBit(uint16_t word, int high, int low)
{
    for (int bit = high; bit >= low; --bit)
        if (word & (1u << bit))
            return bit;
    return std::nullopt;
}

QString Text(const ata::IdentifyBlock& block, ata::TextField f)
{
    return TrimIdentifyText(block.Bytes() + 2 * f.firstWord, 2 * f.words);
}

}  // namespace

bool FlagSet(const ata::IdentifyBlock& block, int word, int bit)
{
    const uint16_t w = block.Word(word);
    return ata::IdentifyBlock::Valid(w) && (w & (1u << bit)) != 0;
}

bool ReportsHpa(const ata::IdentifyBlock& block) { return FlagSet(block, 82, 10); }

uint64_t CurrentSectors(const ata::IdentifyBlock& block)
{
    return block.Lba48() ? block.Sectors48() : block.Sectors28();
}

QString AtaVersionText(uint16_t word80)
{
    const auto bit = HighestBit(word80, 14, 1);
    if (!bit)
        return kNotDefined.toString();
    if (*bit >= 4)
        return QStringLiteral("ATA/ATAPI-%1").arg(*bit);
    return QStringLiteral("ATA-%1").arg(*bit);
}

QString UdmaSupportedText(uint16_t word88)
{
    const auto bit = HighestBit(word88, 7, 0);
    return bit ? QStringLiteral("UDMA%1").arg(*bit) : kUdmaNotSupported.toString();
}

QString UdmaSelectedText(uint16_t word88)
{
    const auto bit = HighestBit(word88, 15, 8);
    return bit ? QStringLiteral("UDMA%1").arg(*bit - 8) : kUdmaNotSelected.toString();
}

QString EraseTimeText(uint16_t word)
{
    if (word & 0x8000) {
        const uint16_t units = word & 0x7FFF;
        if (units == 0)
            return kNotDefined.toString();
        if (units == 0x7FFF)
            return QStringLiteral(">65532 мин.");
        return QString::number(2 * units) + QStringLiteral(" мин.");
    }
    if (word == 0 || word > 255)
        return kNotDefined.toString();
    if (word == 255)
        return QStringLiteral(">508 мин.");
    return QString::number(2 * word) + QStringLiteral(" мин.");
}

QString PasswordText(uint16_t word128)
{
    if (!(word128 & 0x0001))
        return QStringLiteral("Не поддерживается");
    if (!(word128 & 0x0002))
        return kAbsent.toString();
    return (word128 & 0x0100) ? QStringLiteral("Установвлен - максимальный")
                              : QStringLiteral("Установвлен - высокий");
}

QString PasswordLevel(uint16_t word128)
{
    if ((word128 & 0x0003) != 0x0003)
        return QString();
    return (word128 & 0x0100) ? QStringLiteral("Max") : QStringLiteral("High");
}

uint64_t CapacityMegabytes(uint64_t sectors)
{
    uint64_t q = sectors / 2048;
    const uint64_t r = sectors % 2048;
    if (r > 1024 || (r == 1024 && (q & 1)))
        ++q;
    return q;
}

QString GroupedCount(uint64_t value)
{
    if (value <= uint64_t(INT64_MAX))
        return FormatThousands(int64_t(value));
    QString s = QString::number(value);
    QString result;
    const int groups = int(s.length()) / 3;
    for (int i = 0; i <= groups; ++i) {
        const int take = int(s.length()) - (groups - i) * 3;
        if (take == 0)
            continue;
        if (!result.isEmpty())
            result += QLatin1Char('`');
        result += s.left(take);
        s.remove(0, take);
    }
    return result;
}

IdentifyReport DecodeIdentify(const ata::IdentifyBlock& block, std::optional<int64_t> nativeMaxAddress)
{
    IdentifyReport r;
    r.lba48 = block.Lba48();
    r.currentSectors = CurrentSectors(block);
    r.model = Text(block, ata::kModelField);
    r.lbaMode = r.lba48 ? QStringLiteral("LBA48") : QStringLiteral("LBA28");
    r.passwordLevel = PasswordLevel(block.Word(128));

    // Host protected area: in use when the current count is below the native
    // one.  Without a native maximum there is nothing to compare against, so
    // the rows show what is known: the current count and the feature alone.
    r.hpaSupported = ReportsHpa(block);
    r.nativeMaxKnown = r.hpaSupported && nativeMaxAddress && *nativeMaxAddress >= 0;
    uint64_t maxSectors = r.currentSectors;
    QString hpaText = PresentAbsent(r.hpaSupported);
    if (r.nativeMaxKnown) {
        maxSectors = uint64_t(*nativeMaxAddress) + 1;
        r.hpaInUse = r.currentSectors < maxSectors;
        if (r.hpaInUse) {
            hpaText = QStringLiteral("Задействована");
            r.hpaPanel = QStringLiteral("HPA");
        }
    }

    QStringList& l = r.lines;
    l << Line(label::Model, r.model);
    l << Line(label::Firmware, Text(block, ata::kFirmwareField));
    l << Line(label::Serial, Text(block, ata::kSerialField));
    l << QString();
    l << Line(label::AtaVersion, AtaVersionText(block.Word(80)));
    l << Line(label::UdmaSupported, UdmaSupportedText(block.Word(88)));
    l << Line(label::UdmaSelected, UdmaSelectedText(block.Word(88)));
    l << QString();
    l << Line(label::Addressing, r.lbaMode);
    l << Line(label::MaxSectors, GroupedCount(maxSectors));
    l << Line(label::CurrentSectors, GroupedCount(r.currentSectors));
    l << Line(label::Capacity, GroupedCount(CapacityMegabytes(r.currentSectors)) + QStringLiteral(" MB"));
    l << Line(label::Hpa, hpaText);
    l << QString();
    l << Line(label::Security, PresentAbsent(FlagSet(block, 82, 1)));
    l << Line(label::EraseTime, EraseTimeText(block.Word(89)));
    l << Line(label::EnhancedEraseTime, EraseTimeText(block.Word(90)));
    l << Line(label::Password, PasswordText(block.Word(128)));
    l << Line(label::SetMaxSecurity, PresentAbsent(FlagSet(block, 83, 8)));
    l << QString();
    l << Line(label::Smart, PresentAbsent(FlagSet(block, 82, 0)));
    l << Line(label::SmartState, FlagSet(block, 85, 0) ? QStringLiteral("Активен") : QStringLiteral("Отключен"));
    l << Line(label::SmartSelfTest, PresentAbsent(FlagSet(block, 84, 1)));
    l << Line(label::SmartErrorLog, PresentAbsent(FlagSet(block, 84, 0)));
    l << QString();
    if (FlagSet(block, 83, 9)) {
        l << Line(label::Aam, kPresent.toString());
        l << Line(label::AamValue, QString::number(block.Word(94) & 0xFF));
    } else {
        l << Line(label::Aam, kAbsent.toString());
    }
    l << Line(label::Apm, PresentAbsent(FlagSet(block, 83, 3)));
    return r;
}

DriveIdentify IdentifyCurrentDrive()
{
    DriveIdentify d;
    d.identifyResult = IdentifyDevice(d.block.Bytes());
    if (!d.ok()) {
        d.identifyFailure = ata::LastResult();
        return d;
    }
    std::optional<int64_t> nativeMax;
    if (ReportsHpa(d.block)) {
        d.nativeMaxAsked = true;
        int64_t address = 0;
        if (GetMaxHPA(&address, d.block.Lba48() ? 1 : 0) & 0xFF)
            nativeMax = address;
        else
            d.nativeMaxFailure = ata::LastResult();
    }
    d.report = DecodeIdentify(d.block, nativeMax);
    return d;
}

}  // namespace info
