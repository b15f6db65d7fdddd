// The value ring buffer behind the chart's auto-scaling.
#include "clsFIFO.h"

#include <gtest/gtest.h>

namespace {

TEST(clsFIFO, HandsValuesBackNewestFirst)
{
    clsFIFO f;
    EXPECT_EQ(f.Size(), 32);
    EXPECT_EQ(f.Count(), 0);
    f.Add(1);
    f.Add(2);
    f.Add(3);
    EXPECT_EQ(f.Count(), 3);
    EXPECT_EQ(f.Value(0), 3.0);
    EXPECT_EQ(f.Value(1), 2.0);
    EXPECT_EQ(f.Value(2), 1.0);
    EXPECT_EQ(f.Value(3), 0.0);  // never written
}

TEST(clsFIFO, FullBufferOverwritesTheOldest)
{
    clsFIFO f;
    for (int v = 1; v <= 33; ++v)
        f.Add(v);
    EXPECT_EQ(f.Count(), 32);
    EXPECT_EQ(f.Value(0), 33.0);
    EXPECT_EQ(f.Value(31), 2.0);

    for (int v = 34; v <= 1000; ++v)
        f.Add(v);
    EXPECT_EQ(f.Count(), 32);
    for (int i = 0; i < 32; ++i)
        ASSERT_EQ(f.Value(i), 1000.0 - i) << i;
}

TEST(clsFIFO, ResetForgetsAndClearsTheStorage)
{
    clsFIFO f;
    for (int v = 1; v <= 40; ++v)
        f.Add(v);
    f.Reset();
    EXPECT_EQ(f.Count(), 0);
    for (int i = 0; i < 32; ++i)
        ASSERT_EQ(f.Value(i), 0.0) << i;
    f.Add(7.5);
    EXPECT_EQ(f.Count(), 1);
    EXPECT_EQ(f.Value(0), 7.5);
}

TEST(clsFIFO, ResizeKeepsStoredPositionsAndResetEmpties)
{
    clsFIFO f;
    f.Add(1);
    f.Add(2);
    f.Add(3);
    f.Resize(100);
    EXPECT_EQ(f.Size(), 100);
    EXPECT_EQ(f.Count(), 3);
    EXPECT_EQ(f.Value(0), 3.0);
    EXPECT_EQ(f.Value(2), 1.0);

    f.Reset();
    EXPECT_EQ(f.Count(), 0);
    for (int v = 1; v <= 150; ++v)
        f.Add(v);
    EXPECT_EQ(f.Count(), 100);
    EXPECT_EQ(f.Value(0), 150.0);
    EXPECT_EQ(f.Value(99), 51.0);
}

// Calls outside the contract must stay inside the storage.
TEST(clsFIFO, IndexesOutsideTheCapacityReadAsZero)
{
    clsFIFO f;
    for (int v = 1; v <= 5; ++v)
        f.Add(v);
    for (int i : {-1, 32, 1000000, -2147483647 - 1, 2147483647})
        EXPECT_EQ(f.Value(i), 0.0) << i;
}

TEST(clsFIFO, SizesAreKeptBetweenOneAndTheMaximum)
{
    for (int n : {0, -1, -2147483647 - 1}) {
        clsFIFO f;
        f.Resize(n);
        EXPECT_EQ(f.Size(), 1) << n;
        f.Add(5);
        f.Add(6);
        EXPECT_EQ(f.Count(), 1) << n;
        EXPECT_EQ(f.Value(0), 6.0) << n;
    }
    clsFIFO f;
    f.Resize(2147483647);
    EXPECT_EQ(f.Size(), clsFIFO::MaxSize);
}

TEST(clsFIFO, ShrinkingBelowTheWritePositionWithoutResetStaysConsistent)
{
    clsFIFO f;
    for (int v = 1; v <= 20; ++v)
        f.Add(v);  // write position 20, count 20
    f.Resize(8);
    EXPECT_EQ(f.Size(), 8);
    EXPECT_LE(f.Count(), 8);
    for (int v = 21; v <= 40; ++v)
        f.Add(v);
    EXPECT_EQ(f.Count(), 8);
    for (int i = 0; i < 8; ++i)
        ASSERT_EQ(f.Value(i), 40.0 - i) << i;
}

}  // namespace
