// The identify decode on crafted blocks: every row, the value rules and the
// host protected area cases.
#include <gtest/gtest.h>

#include <QSet>

#include "common/Format.h"
#include "info/IdentifyBuilder.h"
#include "info/IdentifyReport.h"

using info::DecodeIdentify;
using testinfo::IdentifyBuilder;

namespace {

// Native maximum address of the builder's default drive: no area set.
constexpr int64_t kDefaultNativeMax = 999999;

QString Row(const info::IdentifyReport& r, QStringView label)
{
    for (const QString& line : r.lines)
        if (line.startsWith(label))
            return line.mid(label.size());
    return QStringLiteral("<no row>");
}

}  // namespace

TEST(IdentifyDecode, FullReportInOrder)
{
    const auto r = DecodeIdentify(IdentifyBuilder(), kDefaultNativeMax);
    const QStringList expected = {
        QStringLiteral("Модель.......................... CRAFTED MODEL 100"),
        QStringLiteral("Версия FW....................... FW1"),
        QStringLiteral("Серийный номер.................. SER42"),
        QString(),
        QStringLiteral("Поддерживаемая версия ATA....... ATA/ATAPI-7"),
        QStringLiteral("Поддерживаемый режим UDMA....... UDMA5"),
        QStringLiteral("Используемый режим UDMA......... UDMA5"),
        QString(),
        QStringLiteral("Режим адресации................. LBA48"),
        QStringLiteral("Максимальное количество секторов 1`000`000"),
        QStringLiteral("Текущее количество секторов..... 1`000`000"),
        QStringLiteral("Текущая емкость диска........... 488 MB"),
        QStringLiteral("Поддержка HPA................... Присутствует"),
        QString(),
        QStringLiteral("Поддержка SECURITY.............. Присутствует"),
        QStringLiteral("Время SECURITY Erase............ 20 мин."),
        QStringLiteral("Время Enhanced SECURITY Erase... 24 мин."),
        QStringLiteral("Пароль.......................... Отсутствует"),
        QStringLiteral("Поддержка SET MAX Security...... Присутствует"),
        QString(),
        QStringLiteral("Поддержка SMART................. Присутствует"),
        QStringLiteral("Состояние SMART................. Активен"),
        QStringLiteral("Поддержка SMART Self-Test....... Присутствует"),
        QStringLiteral("Поддержка SMART Error Logging... Присутствует"),
        QString(),
        QStringLiteral("Поддержка ААМ................... Присутствует"),
        QStringLiteral("Текущее значение ААМ............ 254"),
        QStringLiteral("Поддержка АPМ................... Присутствует"),
    };
    EXPECT_EQ(r.lines, expected);
    EXPECT_EQ(r.model, "CRAFTED MODEL 100");
    EXPECT_EQ(r.lbaMode, "LBA48");
    EXPECT_EQ(r.passwordLevel, "");
    EXPECT_EQ(r.hpaPanel, "");
}

TEST(IdentifyDecode, EveryLabelIsThirtyThreeCharactersWithTheRightLetters)
{
    QSet<QString> seen;
    for (QStringView label : info::label::All) {
        EXPECT_EQ(label.size(), 33) << label.toString().toStdString();
        EXPECT_TRUE(label.endsWith(u' ')) << label.toString().toStdString();
        EXPECT_FALSE(seen.contains(label.toString()));
        seen.insert(label.toString());
    }
    // ААМ: Cyrillic A, A, EM; АPМ: Cyrillic A, Latin P, Cyrillic EM.
    EXPECT_EQ(info::label::Aam.mid(10, 3), QStringView(u"\u0410\u0410\u041C"));
    EXPECT_EQ(info::label::AamValue.mid(17, 3), QStringView(u"\u0410\u0410\u041C"));
    EXPECT_EQ(info::label::Apm.mid(10, 3), QStringView(u"\u0410P\u041C"));
    // Every line of a report is empty or starts with one of the labels.
    const auto r = DecodeIdentify(IdentifyBuilder(), kDefaultNativeMax);
    for (const QString& line : r.lines) {
        if (line.isEmpty())
            continue;
        bool labelled = false;
        for (QStringView label : info::label::All)
            labelled = labelled || line.startsWith(label);
        EXPECT_TRUE(labelled) << line.toStdString();
    }
}

TEST(IdentifyDecode, TextFieldsAreTrimmedOfBlanksAndControlsInBlockOrder)
{
    const uint8_t model[40] = {' ', 0, '\t', 'A', 'B', ' ', 'C', 'D', 0x1F, 0};
    const uint8_t serial[20] = {'Z', 'Y', 'X', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    IdentifyBuilder b;
    b.Bytes(ata::kModelField, model).Bytes(ata::kSerialField, serial).Text(ata::kFirmwareField, "  1.0 ");
    const auto r = DecodeIdentify(b, kDefaultNativeMax);
    EXPECT_EQ(r.model, "AB CD");
    EXPECT_EQ(Row(r, info::label::Model), "AB CD");
    EXPECT_EQ(Row(r, info::label::Serial), "ZYX");
    EXPECT_EQ(Row(r, info::label::Firmware), "1.0");
}

TEST(IdentifyDecode, ModeAndVersionRowsNameTheHighestSetBit)
{
    EXPECT_EQ(info::AtaVersionText(0x00FE), "ATA/ATAPI-7");
    EXPECT_EQ(info::AtaVersionText(0x7FFE), "ATA/ATAPI-14");
    EXPECT_EQ(info::AtaVersionText(0x0010), "ATA/ATAPI-4");
    EXPECT_EQ(info::AtaVersionText(0x000E), "ATA-3");
    EXPECT_EQ(info::AtaVersionText(0x0002), "ATA-1");
    EXPECT_EQ(info::AtaVersionText(0x8001), "Не определено") << "bits 15 and 0 are not versions";
    EXPECT_EQ(info::UdmaSupportedText(0x203F), "UDMA5");
    EXPECT_EQ(info::UdmaSelectedText(0x203F), "UDMA5");
    EXPECT_EQ(info::UdmaSupportedText(0x80FF), "UDMA7");
    EXPECT_EQ(info::UdmaSelectedText(0x80FF), "UDMA7");
    EXPECT_EQ(info::UdmaSelectedText(0x0107), "UDMA0");
    EXPECT_EQ(info::UdmaSupportedText(0x0100), "Не поддерживается");
    EXPECT_EQ(info::UdmaSelectedText(0x001F), "Не используется");
}

TEST(IdentifyDecode, RowsWithNoSetBitNeverRepeatTheRowBefore)
{
    IdentifyBuilder b;
    b.Word(64, 0x0003).Word(80, 0).Word(88, 0).Word(89, 300).Word(90, 0);
    const auto r = DecodeIdentify(b, kDefaultNativeMax);
    EXPECT_EQ(Row(r, info::label::AtaVersion), "Не определено");
    EXPECT_EQ(Row(r, info::label::UdmaSupported), "Не поддерживается");
    EXPECT_EQ(Row(r, info::label::UdmaSelected), "Не используется");
    EXPECT_EQ(Row(r, info::label::EraseTime), "Не определено");
    EXPECT_EQ(Row(r, info::label::EnhancedEraseTime), "Не определено");
    for (const QString& line : r.lines)
        EXPECT_FALSE(line.contains(QStringLiteral("PIO"))) << line.toStdString();
}

TEST(IdentifyDecode, EraseTimeRule)
{
    EXPECT_EQ(info::EraseTimeText(0), "Не определено");
    EXPECT_EQ(info::EraseTimeText(1), "2 мин.");
    EXPECT_EQ(info::EraseTimeText(254), "508 мин.");
    EXPECT_EQ(info::EraseTimeText(255), ">508 мин.");
    EXPECT_EQ(info::EraseTimeText(256), "Не определено");
    EXPECT_EQ(info::EraseTimeText(0x7FFF), "Не определено");
    // The extended form of newer drives: bit 15 set, bits 0-14 in two-minute units.
    EXPECT_EQ(info::EraseTimeText(0x8000 | 1000), "2000 мин.");
    EXPECT_EQ(info::EraseTimeText(0xFFFF), ">65532 мин.");
    EXPECT_EQ(info::EraseTimeText(0x8000), "Не определено");

    IdentifyBuilder b;
    b.Word(89, 255).Word(90, 1);
    const auto r = DecodeIdentify(b, kDefaultNativeMax);
    EXPECT_EQ(Row(r, info::label::EraseTime), ">508 мин.");
    EXPECT_EQ(Row(r, info::label::EnhancedEraseTime), "2 мин.");
}

TEST(IdentifyDecode, PasswordRowAndLevelPanel)
{
    struct Case {
        uint16_t w128;
        const char* text;
        const char* panel;
    } cases[] = {
        {0x0103, "Установвлен - максимальный", "Max"},
        {0x013F, "Установвлен - максимальный", "Max"},
        {0x0003, "Установвлен - высокий", "High"},
        {0x0001, "Отсутствует", ""},
        {0x0101, "Отсутствует", ""},
        {0x0000, "Не поддерживается", ""},
        {0x0102, "Не поддерживается", ""},
    };
    for (const Case& c : cases) {
        IdentifyBuilder b;
        b.Word(128, c.w128);
        const auto r = DecodeIdentify(b, kDefaultNativeMax);
        EXPECT_EQ(Row(r, info::label::Password), QString::fromUtf8(c.text)) << std::hex << c.w128;
        EXPECT_EQ(r.passwordLevel, QString::fromUtf8(c.panel)) << std::hex << c.w128;
    }
}

TEST(IdentifyDecode, HostProtectedAreaInUse)
{
    IdentifyBuilder b;
    b.Sectors(10000000);
    const auto r = DecodeIdentify(b, 11999999);
    EXPECT_EQ(Row(r, info::label::MaxSectors), "12`000`000");
    EXPECT_EQ(Row(r, info::label::CurrentSectors), "10`000`000");
    EXPECT_EQ(Row(r, info::label::Capacity), "4`883 MB");
    EXPECT_EQ(Row(r, info::label::Hpa), "Задействована");
    EXPECT_EQ(r.hpaPanel, "HPA");
    EXPECT_TRUE(r.hpaInUse);
}

TEST(IdentifyDecode, FailedNativeMaxShowsTheCurrentCountAndNoArea)
{
    IdentifyBuilder b;
    b.Sectors(10000000);
    const auto r = DecodeIdentify(b, std::nullopt);
    EXPECT_EQ(Row(r, info::label::MaxSectors), "10`000`000");
    EXPECT_EQ(Row(r, info::label::Hpa), "Присутствует");
    EXPECT_EQ(r.hpaPanel, "");
    EXPECT_TRUE(r.hpaSupported);
    EXPECT_FALSE(r.nativeMaxKnown);
}

TEST(IdentifyDecode, WithoutTheFeatureSetTheNativeMaximumIsIgnored)
{
    IdentifyBuilder b;
    b.Word(82, 0x4003);
    const auto r = DecodeIdentify(b, 11999999);
    EXPECT_EQ(Row(r, info::label::MaxSectors), "1`000`000");
    EXPECT_EQ(Row(r, info::label::Hpa), "Отсутствует");
    EXPECT_EQ(r.hpaPanel, "");
}

TEST(IdentifyDecode, Word83AllOnesMeansTwentyEightBitCount)
{
    IdentifyBuilder b;
    b.Word(83, 0xFFFF).Sectors28(0x0FFFFFFF).Sectors48(1000000000);
    const auto r = DecodeIdentify(b, 0x0FFFFFFE);
    EXPECT_EQ(r.lines[8], QStringLiteral("Режим адресации................. LBA28"));
    EXPECT_EQ(r.lbaMode, "LBA28");
    EXPECT_EQ(Row(r, info::label::CurrentSectors), "268`435`455");
    EXPECT_EQ(Row(r, info::label::MaxSectors), "268`435`455");
    EXPECT_EQ(Row(r, info::label::Capacity), "131`072 MB");
    EXPECT_EQ(Row(r, info::label::SetMaxSecurity), "Отсутствует");
    EXPECT_EQ(Row(r, info::label::Apm), "Отсутствует");
    // The AAM pair shrinks to its single line.
    EXPECT_EQ(r.lines.size(), 27);
    EXPECT_EQ(r.lines[25], QStringLiteral("Поддержка ААМ................... Отсутствует"));
}

TEST(IdentifyDecode, MoreThanTwoToThe32SectorsShowsTheFullCount)
{
    IdentifyBuilder b;
    b.Sectors(5860533168ULL);
    const auto r = DecodeIdentify(b, 5860533167LL);
    EXPECT_EQ(Row(r, info::label::MaxSectors), "5`860`533`168");
    EXPECT_EQ(Row(r, info::label::CurrentSectors), "5`860`533`168");
    EXPECT_EQ(Row(r, info::label::Capacity), "2`861`588 MB");
    EXPECT_EQ(Row(r, info::label::Hpa), "Присутствует");
    // Nonsense in words 100-103 is still shown as the number it is.
    b.Sectors48(UINT64_MAX);
    EXPECT_EQ(Row(DecodeIdentify(b, std::nullopt), info::label::CurrentSectors), "18`446`744`073`709`551`615");
}

TEST(IdentifyDecode, CapacityRoundsHalfToEven)
{
    EXPECT_EQ(info::CapacityMegabytes(0), 0u);
    EXPECT_EQ(info::CapacityMegabytes(1023), 0u);
    EXPECT_EQ(info::CapacityMegabytes(1024), 0u);  // 0.5
    EXPECT_EQ(info::CapacityMegabytes(1025), 1u);
    EXPECT_EQ(info::CapacityMegabytes(3072), 2u);  // 1.5
    EXPECT_EQ(info::CapacityMegabytes(5120), 2u);  // 2.5
    EXPECT_EQ(info::CapacityMegabytes(UINT64_MAX), (UINT64_MAX >> 11) + 1);
    IdentifyBuilder b;
    b.Sectors(2048ULL * 1234 + 1024);  // 1234.5
    EXPECT_EQ(Row(DecodeIdentify(b, std::nullopt), info::label::Capacity), "1`234 MB");
}

TEST(IdentifyDecode, GroupedCountMatchesFormatThousands)
{
    for (uint64_t v : std::initializer_list<uint64_t>{0, 1, 12, 123, 1000, 123456, 1234567, 1234567890,
                       uint64_t(INT64_MAX)})
        EXPECT_EQ(info::GroupedCount(v), FormatThousands(int64_t(v))) << v;
}

TEST(IdentifyDecode, Words82To85AllZeroOrAllOnesTurnTheirFlagsOff)
{
    for (uint16_t bad : {uint16_t(0x0000), uint16_t(0xFFFF)}) {
        IdentifyBuilder b;
        b.Word(82, bad).Word(83, bad).Word(84, bad).Word(85, bad).Sectors28(777777).Sectors48(999999999);
        const auto r = DecodeIdentify(b, 999999998);
        SCOPED_TRACE(bad);
        EXPECT_EQ(r.lbaMode, "LBA28");
        EXPECT_EQ(Row(r, info::label::MaxSectors), "777`777");
        EXPECT_EQ(Row(r, info::label::CurrentSectors), "777`777");
        EXPECT_EQ(Row(r, info::label::Hpa), "Отсутствует");
        EXPECT_EQ(Row(r, info::label::Security), "Отсутствует");
        EXPECT_EQ(Row(r, info::label::SetMaxSecurity), "Отсутствует");
        EXPECT_EQ(Row(r, info::label::Smart), "Отсутствует");
        EXPECT_EQ(Row(r, info::label::SmartState), "Отключен");
        EXPECT_EQ(Row(r, info::label::SmartSelfTest), "Отсутствует");
        EXPECT_EQ(Row(r, info::label::SmartErrorLog), "Отсутствует");
        EXPECT_EQ(Row(r, info::label::Aam), "Отсутствует");
        EXPECT_EQ(Row(r, info::label::Apm), "Отсутствует");
        EXPECT_FALSE(r.hpaSupported);
    }
}

TEST(IdentifyDecode, AamPairShowsTheLowByteOfWord94)
{
    IdentifyBuilder b;
    b.Word(94, 0x4080);
    const auto r = DecodeIdentify(b, kDefaultNativeMax);
    ASSERT_EQ(r.lines.size(), 28);
    EXPECT_EQ(r.lines[25], QStringLiteral("Поддержка ААМ................... Присутствует"));
    EXPECT_EQ(r.lines[26], QStringLiteral("Текущее значение ААМ............ 128"));
    EXPECT_EQ(r.lines[27], QStringLiteral("Поддержка АPМ................... Присутствует"));
}

TEST(IdentifyDecode, SmartStateAndFeatureRowsFollowTheirBits)
{
    IdentifyBuilder b;
    b.Word(82, 0x4400).Word(84, 0x4002).Word(85, 0x4000).Word(83, 0x4400);
    const auto r = DecodeIdentify(b, kDefaultNativeMax);
    EXPECT_EQ(Row(r, info::label::Smart), "Отсутствует");
    EXPECT_EQ(Row(r, info::label::Security), "Отсутствует");
    EXPECT_EQ(Row(r, info::label::SmartState), "Отключен");
    EXPECT_EQ(Row(r, info::label::SmartSelfTest), "Присутствует");
    EXPECT_EQ(Row(r, info::label::SmartErrorLog), "Отсутствует");
    EXPECT_EQ(Row(r, info::label::SetMaxSecurity), "Отсутствует");
    EXPECT_EQ(Row(r, info::label::Apm), "Отсутствует");
    EXPECT_EQ(r.lbaMode, "LBA48");
}
