// The SMART table's rules (names, cells, colour, report lines) and the
// reading sequence that leaves SMART as it was found.
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
ata::SmartAttribute Attr(uint8_t id, uint8_t value, std::initializer_list<uint8_t> raw = {})
{
    ata::SmartAttribute a{};
    a.id = id;
    a.value = a.worst = value;
    std::copy(raw.begin(), raw.end(), a.raw);
    return a;
}
}  // namespace

TEST(SmartRules, NamesCellsAndRows)
{
    std::set<int> ids;
    for (const AttributeNameEntry& e : AttributeNameTable) {
        ids.insert(e.id);
        EXPECT_LE(strlen(e.name), 30u);
    }
    EXPECT_EQ(ids.size(), 45u);
    EXPECT_EQ(AttributeName(231), AttributeName(194));
    EXPECT_EQ(AttributeName(190), "Attribute 190");

    const ata::SmartThresholds none{};
    for (uint8_t id : {194, 231})
        for (int format : {0, 1})
            EXPECT_EQ(AttributeRow(Attr(id, 60, {0x28, 0, 0x0F, 0, 0x32, 0}), none, format)[4], "40°C");
    EXPECT_EQ(AttributeRow(Attr(9, 1, {1, 2, 3, 4, 5, 6}), none, 0)[4], "060504030201");
    EXPECT_EQ(AttributeRow(Attr(9, 1, {1, 2, 3, 4, 5, 6}), none, 7)[4], "6618611909121") << "not 0: decimal";

    ata::SmartData data{};
    data.attr[0] = Attr(5, 30);
    data.attr[2] = Attr(1, 100);  // entry 2 is empty
    data.attr[29] = Attr(190, 50);
    ata::SmartThresholds thr{};
    thr.entry[0] = {1, 6, {}};
    thr.entry[1] = {5, 36, {}};
    thr.entry[2] = {5, 99, {}};  // only the first entry of an id counts
    const std::vector<SmartRow> rows = AttributeRows(data, thr, 1);
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0], (SmartRow{"Reallocated Sector Count", "36", "30", "30", "0"}));
    EXPECT_EQ(rows[1][0], "Raw Read Error Rate");
    EXPECT_EQ(rows[2][1], "") << "no threshold entry";
    EXPECT_TRUE(AttributeRows(ata::SmartData{}, thr, 1).empty());
}

TEST(SmartRules, ColourWidthAndPlacement)
{
    EXPECT_TRUE(BelowThreshold({"", "36", "35", "", ""}));
    EXPECT_FALSE(BelowThreshold({"", "36", "36", "", ""})) << "equal is not below";
    EXPECT_FALSE(BelowThreshold({"", "", "0", "", ""})) << "no threshold: normal colour";
    EXPECT_EQ(NameColumnWidth(15), 316);
    EXPECT_EQ(NameColumnWidth(16), 300);
    const QRect cell(100, 32, 67, 16);
    EXPECT_EQ(SmartCellTextOrigin(0, 1, cell, 30, 13), QPoint(118, 33)) << "header centred, truncating";
    EXPECT_EQ(SmartCellTextOrigin(3, 0, cell, 30, 13), QPoint(103, 33));
    EXPECT_EQ(SmartCellTextOrigin(3, 2, cell, 30, 19), QPoint(134, 31)) << "right-aligned; (16 - 19) / 2 = -1";
}

TEST(SmartReport, LinesAndFileName)
{
    EXPECT_EQ(PadCenter("ab", 7), "  ab   ");
    EXPECT_EQ(PadCenter("abcd", 2), "abcd");
    const std::vector<SmartRow> rows = {{" Reallocated Sector Count ", "36", "30", "30", "1536"},
                                        {"A name of thirty-two characters.", "", "1", "2", "3"}};
    const QStringList t = SmartTableLines(rows);
    const QString border = " " + QString(96, '-') + " ";
    ASSERT_EQ(t.size(), 6);
    EXPECT_EQ(t[0], border);
    EXPECT_EQ(t[1], "| №  |       Название атрибута        |   Порог    |  Значение  |   Худшее   | Внутренний формат |");
    EXPECT_EQ(t[2], "| -- | ------------------------------ | ---------- | ---------- | ---------- | -----------------  ");
    EXPECT_EQ(t[3], "|  1 | Reallocated Sector Count...... |         36 |         30 |         30 |              1536 |");
    EXPECT_EQ(t[4], "|  2 | A name of thirty-two characters. |            |          1 |          2 |                 3 |");
    EXPECT_EQ(t[5], border);
    EXPECT_EQ(SmartTableLines({}), (QStringList{border, t[1], t[2], border}));
    const QStringList r = SmartReportLines({"Voran  2.0.0.10", "01.02.26", "13:14:15", "MODEL X", "S1"}, rows);
    EXPECT_EQ(r.mid(0, 6), (QStringList{"Voran  2.0.0.10", "01.02.26   13:14:15", "", "Модель: MODEL X", "S/N:    S1", ""}));
    EXPECT_EQ(r.mid(6), t);
    EXPECT_EQ(SmartReportFileName("M", "1/2/26", QTime(9, 5, 7)), "SMART - M - 1.2.26_09.05.07");
}

// ---- the reading sequence --------------------------------------------------------

namespace {
struct FakeDrive {
    ata::IdentifyBlock identify = testinfo::IdentifyBuilder().Build();
    std::string refuses;  // the calls that fail
    std::vector<std::string> calls;
    int32_t Call(const std::string& what)
    {
        calls.push_back(what);
        return refuses.find(what) == std::string::npos ? 0x51 : 0x100;  // the low byte alone counts
    }
};
FakeDrive* gDrive = nullptr;

const SmartCalls kFakeCalls = {[](uint8_t* b) {
                                    std::memcpy(b, gDrive->identify.Bytes(), 512);
                                    return gDrive->Call("identify");
                                },
                                [](uint8_t on) { return gDrive->Call(on ? "enable" : "disable"); },
                                [](uint8_t* b) {
                                    b[2] = 5;  // the first entry's id
                                    return gDrive->Call("attributes");
                                },
                                [](uint8_t*) { return gDrive->Call("thresholds"); }};
}  // namespace

TEST(SmartReading, SmartIsSwitchedBackOffWhateverHappened)
{
    using S = SmartStatus;
    using Calls = std::vector<std::string>;
    const Calls on = {"identify", "attributes", "thresholds"};
    const Calls off = {"identify", "enable", "attributes", "thresholds", "disable"};
    struct Case {
        uint16_t word82, word85;
        std::string refuses;
        S status;
        Calls calls;
        bool restoreFailed = false;
    };
    const Case cases[] = {
        {0x7403, 0x7401, "", S::Ok, on},
        {0x7403, 0x0000, "", S::Ok, on},  // words 0000 and FFFF count as "on" and "supported"
        {0x7403, 0xFFFF, "", S::Ok, on},
        {0x7403, 0x7400, "", S::Ok, off},
        {0x0000, 0x7400, "", S::Ok, off},
        {0xFFFF, 0x7401, "", S::Ok, on},
        {0x7402, 0x7400, "", S::NotSupported, {"identify"}},
        {0x7403, 0x7401, "identify", S::IdentifyFailed, {"identify"}},
        {0x7403, 0x7400, "enable disable", S::EnableFailed, {"identify", "enable", "disable"}},
        {0x7403, 0x7400, "attributes", S::ReadFailed, {"identify", "enable", "attributes", "disable"}},
        {0x7403, 0x7401, "thresholds", S::ReadFailed, on},
        {0x7403, 0x7400, "disable", S::Ok, off, true},
    };
    for (const Case& c : cases) {
        const std::string what = std::to_string(c.word82) + "/" + std::to_string(c.word85) + " " + c.refuses;
        FakeDrive drive;
        drive.identify.w[82] = c.word82;
        drive.identify.w[85] = c.word85;
        drive.refuses = c.refuses;
        gDrive = &drive;
        const SmartReading r = ReadSmart(kFakeCalls);
        EXPECT_EQ(r.status, c.status) << what;
        EXPECT_EQ(drive.calls, c.calls) << what;
        EXPECT_EQ(r.restoreFailed, c.restoreFailed) << what;
        EXPECT_EQ(r.smartWasDisabled, c.calls.size() > 1 && c.calls[1] == "enable") << what;
        EXPECT_EQ(r.model, r.identified() ? "CRAFTED MODEL 100" : "") << what;
        if (r.ok()) {
            EXPECT_EQ(r.attributes.attr[0].id, 5) << what;
        }
    }
    gDrive = nullptr;
    EXPECT_EQ(SmartStatusMessage(S::EnableFailed), "Ошибка включения SMART!");
    EXPECT_EQ(SmartStatusMessage(S::ReadFailed), "Ошибка получения атрибутов SMART!");
}
