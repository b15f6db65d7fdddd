// The value ring buffer behind the chart's auto-scaling.
#include "clsFIFO.h"

#include <gtest/gtest.h>

namespace {

// Every value of the buffer, newest first, as far as Size() reaches.
std::vector<double> All(const clsFIFO& f) {
    std::vector<double> v;
    for (int i = 0; i < f.Size(); ++i) v.push_back(f.Value(i));
    return v;
}

TEST(clsFIFO, NewestFirstOverwritingTheOldest) {
    for (int added : {3, 32, 33, 1000}) {  // below, at and far past the capacity of 32
        clsFIFO f;
        for (int v = 1; v <= added; ++v) f.Add(v);
        EXPECT_EQ(f.Count(), std::min(added, 32)) << added;
        const auto all = All(f);
        for (int i = 0; i < 32; ++i) ASSERT_EQ(all[i], i < added ? added - i : 0.0) << added << "/" << i;
    }
}

TEST(clsFIFO, ResetAndResize) {
    clsFIFO f;
    for (int v = 1; v <= 3; ++v) f.Add(v);
    f.Resize(100);  // positions kept, the new ones empty
    EXPECT_EQ(f.Count(), 3);
    std::vector<double> kept(100, 0.0);
    kept[0] = 3, kept[1] = 2, kept[2] = 1;
    EXPECT_EQ(All(f), kept);
    for (int v = 4; v <= 40; ++v) f.Add(v);
    f.Reset();
    EXPECT_EQ(f.Count(), 0);
    EXPECT_EQ(All(f), std::vector<double>(100, 0.0));
    for (int v = 1; v <= 150; ++v) f.Add(v);
    EXPECT_EQ(f.Count(), 100);
    EXPECT_EQ(f.Value(0), 150.0);
    EXPECT_EQ(f.Value(99), 51.0);
}

// Calls outside the contract stay inside the storage and keep the buffer consistent.
TEST(clsFIFO, OutOfContractCallsStaySafe) {
    clsFIFO f;
    for (int v = 1; v <= 20; ++v) f.Add(v);
    for (int i : {-1, 32, 1000000, -2147483647 - 1, 2147483647}) EXPECT_EQ(f.Value(i), 0.0) << i;

    f.Resize(8);  // below the write position, without Reset
    EXPECT_LE(f.Count(), 8);
    for (int v = 21; v <= 40; ++v) f.Add(v);
    EXPECT_EQ(All(f), (std::vector<double>{40, 39, 38, 37, 36, 35, 34, 33}));

    for (int n : {0, -1, -2147483647 - 1}) {
        f.Resize(n);
        f.Add(5);
        f.Add(6);
        EXPECT_EQ(f.Size(), 1) << n;
        EXPECT_EQ(All(f), std::vector<double>{6}) << n;
    }
    f.Resize(2147483647);
    EXPECT_EQ(f.Size(), clsFIFO::MaxSize);
}

}  // namespace
