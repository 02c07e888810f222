#include <gtest/gtest.h>

#include "sim/DataStore.h"

TEST(DataStore, FillsCoalesceAndPartialOverwritesSplitRuns)
{
    sim::DataStore s;
    EXPECT_TRUE(s.Untouched(10));
    s.Fill(0, 1000, 0x11);
    s.Fill(1000, 2000, 0x11);
    EXPECT_EQ(s.IntervalCount(), 1u);
    s.Fill(500, 600, 0x22);
    EXPECT_EQ(s.IntervalCount(), 3u);
    EXPECT_EQ(s.Read(499)[0], 0x11);
    EXPECT_EQ(s.Read(500)[0], 0x22);
    EXPECT_EQ(s.Read(599)[511], 0x22);
    EXPECT_EQ(s.Read(600)[0], 0x11);
    EXPECT_EQ(s.Read(2000), sim::DataStore::FactoryPattern(2000));
    s.Fill(0, 2000, 0x00);
    EXPECT_EQ(s.IntervalCount(), 1u);
}

TEST(DataStore, NonUniformSectorsAreKeptWholeAndUniformOnesAsRuns)
{
    sim::DataStore s;
    uint8_t data[512];
    for (int i = 0; i < 512; ++i)
        data[i] = uint8_t(i);
    s.Fill(0, 10, 0xFF);
    s.Write(5, data);
    EXPECT_EQ(s.Read(5)[7], 7);
    EXPECT_EQ(s.Read(4)[0], 0xFF);
    EXPECT_EQ(s.Read(6)[0], 0xFF);
    uint8_t same[512];
    std::fill(std::begin(same), std::end(same), 0xFF);
    s.Write(5, same);
    EXPECT_EQ(s.ExplicitCount(), 0u);
    EXPECT_EQ(s.IntervalCount(), 1u);
}
