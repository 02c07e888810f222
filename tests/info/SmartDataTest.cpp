// The SMART table's rules: names, cells, the colour rule, the report lines,
// and the reading sequence with SMART switched back off.
#include <gtest/gtest.h>

#include <QRect>
#include <set>
#include <string>
#include <vector>

#include "IdentifyBuilder.h"
#include "info/Smart.h"
#include "info/SmartData.h"

using namespace info;

namespace {

ata::SmartAttribute Attr(uint8_t id, uint8_t value, uint8_t worst, std::initializer_list<uint8_t> raw = {})
{
    ata::SmartAttribute a{};
    a.id = id;
    a.value = value;
    a.worst = worst;
    int i = 0;
    for (uint8_t b : raw)
        a.raw[i++] = b;
    return a;
}

SmartRow Row(const QString& threshold, const QString& value)
{
    return {QStringLiteral("X"), threshold, value, QStringLiteral("1"), QStringLiteral("0")};
}

}  // namespace

TEST(SmartRules, NameTableHasItsFortyFiveEntriesAndSharedNames)
{
    std::set<int> ids;
    for (const AttributeNameEntry& e : AttributeNameTable) {
        ids.insert(e.id);
        EXPECT_LE(std::string(e.name).size(), 30u) << int(e.id);
    }
    EXPECT_EQ(ids.size(), 45u) << "every id once";
    EXPECT_EQ(AttributeName(5), "Reallocated Sector Count");
    EXPECT_EQ(AttributeName(240), "Head Flying Hours/Write Head");
    for (auto [a, b] : {std::pair{191, 221}, {192, 227}, {193, 225}, {194, 231}, {206, 228}})
        EXPECT_EQ(AttributeName(uint8_t(a)), AttributeName(uint8_t(b)));
    EXPECT_EQ(AttributeName(190), "Attribute 190");
    EXPECT_EQ(AttributeName(0), "Attribute 0");
}

TEST(SmartRules, RawValueAndTemperatureCells)
{
    ata::SmartThresholds none{};
    // 194 and 231 are both named Temperature: raw byte 0 in degrees, in both formats.
    for (uint8_t id : {uint8_t(194), uint8_t(231)})
        for (int format : {0, 1})
            EXPECT_EQ(AttributeRow(Attr(id, 60, 45, {0x28, 0x00, 0x0F, 0x00, 0x32, 0x00}), none, format)[4], "40°C");
    const ata::SmartAttribute counting = Attr(9, 100, 100, {1, 2, 3, 4, 5, 6});
    EXPECT_EQ(AttributeRow(counting, none, 0)[4], "060504030201");
    EXPECT_EQ(AttributeRow(counting, none, 1)[4], "6618611909121");
    EXPECT_EQ(AttributeRow(counting, none, 7)[4], "6618611909121") << "anything but 0 is decimal";
    const uint8_t full[6] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    EXPECT_EQ(RawValueText(full, 1), "281474976710655");
    EXPECT_EQ(RawValueText(full, 0), "FFFFFFFFFFFF");
    EXPECT_EQ(TemperatureText(0), "0°C");
}

TEST(SmartRules, RowsKeepEntryOrderAndFindThresholdsById)
{
    ata::SmartData data{};
    data.attr[0] = Attr(5, 30, 30);
    data.attr[2] = Attr(1, 100, 99);  // entry 2 empty: skipped, order kept
    data.attr[3] = Attr(190, 50, 40);
    data.attr[29] = Attr(4, 98, 97);
    ata::SmartThresholds thr{};
    thr.entry[0] = {4, 20, {}};
    thr.entry[1] = {5, 36, {}};
    thr.entry[2] = {1, 6, {}};
    thr.entry[3] = {5, 99, {}};  // a second entry of id 5 is never used
    const std::vector<SmartRow> rows = AttributeRows(data, thr, 1);
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[0], (SmartRow{"Reallocated Sector Count", "36", "30", "30", "0"}));
    EXPECT_EQ(rows[1][0], "Raw Read Error Rate");
    EXPECT_EQ(rows[1][1], "6");
    EXPECT_EQ(rows[2][0], "Attribute 190");
    EXPECT_EQ(rows[2][1], "") << "no threshold entry with that id";
    EXPECT_EQ(rows[3][0], "Start/Stop Count");
    EXPECT_EQ(FindAttribute(data, 190), &data.attr[3]);
    EXPECT_EQ(FindAttribute(data, 0), nullptr);
    EXPECT_TRUE(AttributeRows(ata::SmartData{}, thr, 1).empty()) << "all ids 0: no rows";
}

TEST(SmartRules, ColourNameWidthAndCellPlacement)
{
    EXPECT_TRUE(BelowThreshold(Row("36", "30")));
    EXPECT_FALSE(BelowThreshold(Row("36", "36"))) << "equal is not below";
    EXPECT_FALSE(BelowThreshold(Row("36", "37")));
    EXPECT_FALSE(BelowThreshold(Row("", "0"))) << "no threshold: normal colour";
    EXPECT_FALSE(BelowThreshold(Row("Порог", "Значение")));

    EXPECT_EQ(NameColumnWidth(15), 316);
    EXPECT_EQ(NameColumnWidth(16), 300) << "fifteen attributes and the header";

    const QRect cell(100, 32, 67, 16);
    EXPECT_EQ(SmartCellTextOrigin(0, 1, cell, 30, 13), QPoint(100 + 18, 32 + 1)) << "header centred, truncating";
    EXPECT_EQ(SmartCellTextOrigin(3, 0, cell, 30, 13), QPoint(103, 33)) << "name 3 pixels from the left";
    EXPECT_EQ(SmartCellTextOrigin(3, 2, cell, 30, 13), QPoint(100 + 67 - 3 - 30, 33)) << "right-aligned";
    EXPECT_EQ(SmartCellTextOrigin(3, 2, cell, 30, 19), QPoint(134, 32 - 1)) << "taller text: (16 - 19) / 2 = -1";
}

TEST(SmartReport, PaddingRules)
{
    EXPECT_EQ(PadCenter("ab", 7), "  ab   ") << "the odd fill character goes right";
    EXPECT_EQ(PadCenter("abc", 3), "abc");
    EXPECT_EQ(PadCenter("abcd", 2), "abcd") << "too long: unchanged";
    EXPECT_EQ(PadLeft("7", 3), "  7");
    EXPECT_EQ(PadRight("Name", 8, '.'), "Name....");
    EXPECT_EQ(PadRight("Longer than ten", 10, '.'), "Longer than ten");
}

TEST(SmartReport, TableLinesAndHead)
{
    const std::vector<SmartRow> rows = {{" Reallocated Sector Count ", "36", "30", "30", "1536"},
                                        {"A name of thirty-two characters.", "", "1", "2", "3"}};
    const QStringList t = SmartTableLines(rows);
    ASSERT_EQ(t.size(), 6);
    const QString border = " " + QString(96, '-') + " ";
    EXPECT_EQ(t[0], border);
    EXPECT_EQ(t[1], "| №  |       Название атрибута        |   Порог    |  Значение  |   Худшее   | Внутренний формат |");
    EXPECT_EQ(t[2], "| -- | ------------------------------ | ---------- | ---------- | ---------- | -----------------  ");
    EXPECT_EQ(t[3], "|  1 | Reallocated Sector Count...... |         36 |         30 |         30 |              1536 |");
    EXPECT_EQ(t[4], "|  2 | A name of thirty-two characters. |            |          1 |          2 |                 3 |")
        << "a long name lengthens its line";
    EXPECT_EQ(t[5], border);
    for (int i : {0, 1, 2, 3, 5})
        EXPECT_EQ(t[i].size(), 98) << i;

    EXPECT_EQ(SmartTableLines({}), (QStringList{border, t[1], t[2], border})) << "header, rule, nothing between";

    const QStringList r = SmartReportLines({"Voran  2.0.0.10", "01.02.26", "13:14:15", "MODEL X", "S1"}, rows);
    EXPECT_EQ(r.mid(0, 6), (QStringList{"Voran  2.0.0.10", "01.02.26   13:14:15", "", "Модель: MODEL X", "S/N:    S1", ""}));
    EXPECT_EQ(r.mid(6), t);
    EXPECT_EQ(SmartReportFileName("MODEL X", "1/2/26", QTime(9, 5, 7)), "SMART - MODEL X - 1.2.26_09.05.07")
        << "characters a file name cannot hold become full stops";
}

// ---- the reading sequence --------------------------------------------------------

namespace {

// A drive behind the four calls: the identify block it gives, which calls
// fail, and what was called in what order.
struct FakeDrive {
    ata::IdentifyBlock identify = testinfo::IdentifyBuilder().Build();
    bool identifyOk = true, enableOk = true, disableOk = true, attributesOk = true, thresholdsOk = true;
    std::vector<std::string> calls;
};
FakeDrive* gDrive = nullptr;

SmartCalls FakeCalls()
{
    return {[](uint8_t* b) -> int32_t {
                gDrive->calls.push_back("identify");
                std::memcpy(b, gDrive->identify.Bytes(), 512);
                return gDrive->identifyOk ? 0x51 : 0x100;  // the low byte alone counts
            },
            [](uint8_t on) -> int32_t {
                gDrive->calls.push_back(on ? "enable" : "disable");
                return on ? gDrive->enableOk : gDrive->disableOk;
            },
            [](uint8_t* b) -> int32_t {
                gDrive->calls.push_back("attributes");
                b[2] = 5;
                return gDrive->attributesOk;
            },
            [](uint8_t* b) -> int32_t {
                gDrive->calls.push_back("thresholds");
                b[2] = 5;
                return gDrive->thresholdsOk;
            }};
}

struct Case {
    const char* what;
    uint16_t word82, word85;
    void (*setup)(FakeDrive&);
    SmartStatus status;
    std::vector<std::string> calls;
    bool restoreFailed;
};

}  // namespace

TEST(SmartReading, SequenceSwitchesSmartBackOffWhateverHappened)
{
    using S = SmartStatus;
    const std::vector<std::string> onRead = {"identify", "attributes", "thresholds"};
    const std::vector<std::string> offRead = {"identify", "enable", "attributes", "thresholds", "disable"};
    auto none = [](FakeDrive&) {};
    const Case cases[] = {
        {"enabled", 0x7403, 0x7401, none, S::Ok, onRead, false},
        {"word 85 zero counts as enabled", 0x7403, 0x0000, none, S::Ok, onRead, false},
        {"word 85 all ones counts as enabled", 0x7403, 0xFFFF, none, S::Ok, onRead, false},
        {"switched off", 0x7403, 0x7400, none, S::Ok, offRead, false},
        {"word 82 zero counts as supported", 0x0000, 0x7400, none, S::Ok, offRead, false},
        {"word 82 all ones counts as supported", 0xFFFF, 0x7401, none, S::Ok, onRead, false},
        {"not supported", 0x7402, 0x7400, none, S::NotSupported, {"identify"}, false},
        {"identify fails", 0x7403, 0x7401, [](FakeDrive& d) { d.identifyOk = false; }, S::IdentifyFailed,
         {"identify"}, false},
        {"enable refused", 0x7403, 0x7400, [](FakeDrive& d) { d.enableOk = d.disableOk = false; }, S::EnableFailed,
         {"identify", "enable", "disable"}, false},
        {"attributes refused while off", 0x7403, 0x7400, [](FakeDrive& d) { d.attributesOk = false; }, S::ReadFailed,
         {"identify", "enable", "attributes", "disable"}, false},
        {"thresholds refused", 0x7403, 0x7401, [](FakeDrive& d) { d.thresholdsOk = false; }, S::ReadFailed, onRead,
         false},
        {"disable refused", 0x7403, 0x7400, [](FakeDrive& d) { d.disableOk = false; }, S::Ok, offRead, true},
    };
    for (const Case& c : cases) {
        FakeDrive drive;
        drive.identify.w[82] = c.word82;
        drive.identify.w[85] = c.word85;
        c.setup(drive);
        gDrive = &drive;
        const SmartReading r = ReadSmart(FakeCalls());
        EXPECT_EQ(r.status, c.status) << c.what;
        EXPECT_EQ(drive.calls, c.calls) << c.what;
        EXPECT_EQ(r.restoreFailed, c.restoreFailed) << c.what;
        EXPECT_EQ(r.smartWasDisabled, c.calls.size() > 1 && c.calls[1] == "enable") << c.what;
        if (r.identified()) {
            EXPECT_EQ(r.model, "CRAFTED MODEL 100") << c.what;
            EXPECT_EQ(r.serial, "SER42") << c.what;
        }
        if (r.ok()) {
            EXPECT_EQ(r.attributes.attr[0].id, 5) << c.what;
        }
    }
    gDrive = nullptr;
    EXPECT_EQ(SmartStatusMessage(S::IdentifyFailed), "Ошибка идентификации устройства!");
    EXPECT_EQ(SmartStatusMessage(S::NotSupported), "SMART не поддерживается!");
    EXPECT_EQ(SmartStatusMessage(S::EnableFailed), "Ошибка включения SMART!");
    EXPECT_EQ(SmartStatusMessage(S::ReadFailed), "Ошибка получения атрибутов SMART!");
}
