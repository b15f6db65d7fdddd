// The value ring buffer behind the chart's auto-scaling.
#include "clsFIFO.h"

#include <gtest/gtest.h>

namespace {

TEST(clsFIFO, NewBufferIsEmptyWithCapacity32)
{
    clsFIFO f;
    EXPECT_EQ(f.Count(), 0);
    EXPECT_EQ(f.Size(), 32);
    for (int i = 0; i < 32; ++i)
        EXPECT_EQ(f.Value(i), 0.0);
}

TEST(clsFIFO, HandsValuesBackNewestFirst)
{
    clsFIFO f;
    f.Add(1);
    f.Add(2);
    f.Add(3);
    EXPECT_EQ(f.Count(), 3);
    EXPECT_EQ(f.Value(0), 3.0);
    EXPECT_EQ(f.Value(1), 2.0);
    EXPECT_EQ(f.Value(2), 1.0);
}

TEST(clsFIFO, FullBufferOverwritesTheOldest)
{
    clsFIFO f;
    for (int v = 1; v <= 33; ++v)
        f.Add(v);
    EXPECT_EQ(f.Count(), 32);
    EXPECT_EQ(f.Value(0), 33.0);
    EXPECT_EQ(f.Value(31), 2.0);

    // Many further rounds keep the newest 32 in order.
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
    EXPECT_EQ(f.Size(), 32);
    for (int i = 0; i < 32; ++i)
        ASSERT_EQ(f.Value(i), 0.0) << i;
    f.Add(7.5);
    EXPECT_EQ(f.Count(), 1);
    EXPECT_EQ(f.Value(0), 7.5);
    EXPECT_EQ(f.Value(1), 0.0);
}

TEST(clsFIFO, ResizeThenResetGivesAnEmptyBufferOfTheNewCapacity)
{
    clsFIFO f;
    for (int v = 1; v <= 10; ++v)
        f.Add(v);
    f.Resize(100);
    f.Reset();
    EXPECT_EQ(f.Size(), 100);
    EXPECT_EQ(f.Count(), 0);
    for (int v = 1; v <= 150; ++v)
        f.Add(v);
    EXPECT_EQ(f.Count(), 100);
    EXPECT_EQ(f.Value(0), 150.0);
    EXPECT_EQ(f.Value(99), 51.0);
}

TEST(clsFIFO, GrowingKeepsStoredPositionsAndCount)
{
    clsFIFO f;
    f.Add(1);
    f.Add(2);
    f.Add(3);
    f.Resize(64);
    EXPECT_EQ(f.Size(), 64);
    EXPECT_EQ(f.Count(), 3);
    EXPECT_EQ(f.Value(0), 3.0);
    EXPECT_EQ(f.Value(2), 1.0);
    EXPECT_EQ(f.Value(3), 0.0);  // wraps onto a new, empty position
    f.Add(4);
    EXPECT_EQ(f.Value(0), 4.0);
    EXPECT_EQ(f.Value(3), 1.0);
}

// Calls outside the contract must stay inside the storage.
TEST(clsFIFO, IndexesOutsideTheCapacityReadAsZero)
{
    clsFIFO f;
    for (int v = 1; v <= 5; ++v)
        f.Add(v);
    EXPECT_EQ(f.Value(-1), 0.0);
    EXPECT_EQ(f.Value(32), 0.0);
    EXPECT_EQ(f.Value(1000000), 0.0);
    EXPECT_EQ(f.Value(-2147483647 - 1), 0.0);
    EXPECT_EQ(f.Value(2147483647), 0.0);
    EXPECT_EQ(f.Value(31), 0.0);  // inside the storage, never written
}

TEST(clsFIFO, SizesBelowOneBecomeOne)
{
    for (int n : {0, -1, -2147483647 - 1}) {
        clsFIFO f;
        f.Resize(n);
        EXPECT_EQ(f.Size(), 1) << n;
        f.Reset();
        f.Add(5);
        f.Add(6);
        EXPECT_EQ(f.Count(), 1) << n;
        EXPECT_EQ(f.Value(0), 6.0) << n;
        EXPECT_EQ(f.Value(1), 0.0) << n;
    }
}

TEST(clsFIFO, OversizedCapacityIsCapped)
{
    clsFIFO f;
    f.Resize(2147483647);
    EXPECT_EQ(f.Size(), clsFIFO::MaxSize);
    f.Resize(10);
    EXPECT_EQ(f.Size(), 10);
}

TEST(clsFIFO, ShrinkingWithoutResetStaysConsistent)
{
    clsFIFO f;
    for (int v = 1; v <= 20; ++v)
        f.Add(v);  // write position 20, count 20
    f.Resize(8);
    EXPECT_EQ(f.Size(), 8);
    EXPECT_LE(f.Count(), 8);
    for (int i = -1; i <= 40; ++i)
        (void)f.Value(i);
    for (int v = 21; v <= 40; ++v)
        f.Add(v);
    EXPECT_EQ(f.Count(), 8);
    for (int i = 0; i < 8; ++i)
        ASSERT_EQ(f.Value(i), 40.0 - i) << i;

    // Shrinking while the write position is still inside keeps it.
    clsFIFO g;
    g.Add(1);
    g.Add(2);
    g.Resize(4);
    EXPECT_EQ(g.Count(), 2);
    EXPECT_EQ(g.Value(0), 2.0);
    EXPECT_EQ(g.Value(1), 1.0);
}

}  // namespace
