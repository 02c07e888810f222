#include <gtest/gtest.h>

#include "surface/ScanMap.h"

using namespace scan;
using Cell = ScanMap::Cell;

namespace {

// A map from a string of codes ("1", "X", ...).
void Fill(ScanMap& m, const QString& codes)
{
    for (QChar ch : codes) {
        for (int c = 0; c < kClassCount; ++c)
            if (MapCode(BlockClass(c)) == ch)
                m.Append(BlockClass(c));
    }
}

}  // namespace

TEST(ScanMap, RowsAndTheEmptyRowAfterAFullOne)
{
    ScanMap m;
    EXPECT_EQ(m.RowCount(), 1);
    EXPECT_TRUE(m.Empty(0, 0));
    Fill(m, QString(39, QLatin1Char('1')));
    EXPECT_EQ(m.RowCount(), 1);
    m.Append(kUNC);  // fills column 39
    EXPECT_EQ(m.RowCount(), 2);
    EXPECT_EQ(m.Code(0, 39), QLatin1Char('X'));
    EXPECT_TRUE(m.Empty(1, 0));
    EXPECT_TRUE(m.Code(1, 0).isNull());
    EXPECT_TRUE(m.Empty(0, 40));
    m.Clear();
    EXPECT_EQ(m.CellCount(), 0);
    EXPECT_EQ(m.Current(), (Cell{0, 0}));
}

TEST(ScanMap, Navigation)
{
    ScanMap m;
    Fill(m, QString(4 * 40 + 3, QLatin1Char('1')));  // 5 rows
    ASSERT_EQ(m.RowCount(), 5);
    m.SetCurrent({2, 5});
    m.Forward10();  // 5 div 10 = 0 rows: only the column changes
    EXPECT_EQ(m.Current(), (Cell{2, 0}));
    m.SetCurrent({2, 5});
    m.Back10();
    EXPECT_EQ(m.Current(), (Cell{2, 0}));
    m.End();
    EXPECT_EQ(m.Current(), (Cell{4, 0}));

    ScanMap big;
    Fill(big, QString(40 * 40, QLatin1Char('2')));  // 41 rows, the last one empty
    big.SetCurrent({1, 7});
    big.Forward10();
    EXPECT_EQ(big.Current(), (Cell{5, 0}));
    big.SetCurrent({38, 0});
    big.Forward10();
    EXPECT_EQ(big.Current(), (Cell{40, 0}));  // at most the last row
    EXPECT_TRUE(big.Empty(40, 0));           // "в конец" may land on an empty row
    big.Back10();
    EXPECT_EQ(big.Current(), (Cell{36, 0}));
    big.SetCurrent({2, 3});
    big.Back10();
    EXPECT_EQ(big.Current(), (Cell{0, 0}));
    big.Home();
    EXPECT_EQ(big.Current(), (Cell{0, 0}));
    big.SetCurrent({100, 50});
    EXPECT_EQ(big.Current(), (Cell{40, 39}));
}

TEST(ScanMap, FindStartsRightOfTheCurrentCell)
{
    ScanMap m;
    QString codes(100, QLatin1Char('1'));
    codes[3] = QLatin1Char('X');
    codes[45] = QLatin1Char('X');
    codes[50] = QLatin1Char('4');
    codes[60] = QLatin1Char('?');
    codes[85] = QLatin1Char('X');  // in the last row, which is searched too
    Fill(m, codes);
    ASSERT_EQ(m.RowCount(), 3);

    EXPECT_TRUE(m.FindNext(ScanMap::Find::Unc));
    EXPECT_EQ(m.Current(), (Cell{0, 3}));
    EXPECT_TRUE(m.FindNext(ScanMap::Find::Unc));  // the next one, not the same
    EXPECT_EQ(m.Current(), (Cell{1, 5}));
    EXPECT_TRUE(m.FindNext(ScanMap::Find::Unc));
    EXPECT_EQ(m.Current(), (Cell{2, 5}));
    EXPECT_FALSE(m.FindNext(ScanMap::Find::Unc));  // none left: last row, column kept
    EXPECT_EQ(m.Current(), (Cell{2, 5}));

    m.SetCurrent({0, 7});
    EXPECT_TRUE(m.FindNext(ScanMap::Find::Slow));
    EXPECT_EQ(m.Current(), (Cell{1, 10}));
    EXPECT_TRUE(m.FindNext(ScanMap::Find::Error));  // UNC is not an "Error"
    EXPECT_EQ(m.Current(), (Cell{1, 20}));
    EXPECT_FALSE(m.FindNext(ScanMap::Find::Error));
    EXPECT_EQ(m.Current(), (Cell{2, 20}));

    // The sets of the three commands.
    for (int ms : {60, 200, 600})
        EXPECT_TRUE(ScanMap::Matches(ScanMap::Find::Slow, uint8_t(ClassOf(ms) + 1)));
    for (int r = -1; r >= -7; --r) {
        EXPECT_EQ(ScanMap::Matches(ScanMap::Find::Error, uint8_t(ClassOf(r) + 1)), r != -5) << r;
        EXPECT_EQ(ScanMap::Matches(ScanMap::Find::Unc, uint8_t(ClassOf(r) + 1)), r == -5) << r;
    }
    EXPECT_FALSE(ScanMap::Matches(ScanMap::Find::Slow, uint8_t(kT50 + 1)));
    EXPECT_FALSE(ScanMap::Matches(ScanMap::Find::Slow, ScanMap::kEmpty));
}

TEST(ScanMap, AMapOfAHugeDriveStaysWithinOneBytePerBlock)
{
    // 2^32 + 2^30 sectors in blocks of 256: over 20 million cells.
    const int64_t blocks = ((int64_t(1) << 32) + (int64_t(1) << 30)) / 256;
    ScanMap m;
    for (int64_t i = 0; i < blocks; ++i)
        m.Append(i == blocks - 7 ? kBBK : kT5);
    EXPECT_EQ(m.CellCount(), blocks);
    EXPECT_LE(m.MemoryBytes(), size_t(blocks) + (size_t(1) << 20));
    EXPECT_LE(m.MemoryBytes(), size_t(64) << 20);
    EXPECT_TRUE(m.FindNext(ScanMap::Find::Error));
    EXPECT_EQ(m.Current().row * 40 + m.Current().col, blocks - 7);
    EXPECT_FALSE(m.FindNext(ScanMap::Find::Error));
    EXPECT_EQ(m.Current().row, m.LastRow());
    m.Home();
    m.Forward10();
    EXPECT_EQ(m.Current().row, m.RowCount() / 10);
}
