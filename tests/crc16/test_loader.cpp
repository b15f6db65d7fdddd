// The program's run-time binding of the CRC16 library.
#include "Crc16Loader.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace {

class Crc16LoaderTest : public ::testing::Test {
protected:
    void SetUp() override { Reset(); }
    void TearDown() override { Reset(); }
    static void Reset()
    {
        Crc16Loader::Unload();
        Crc16Loader::SetLibraryOverride("");
    }
};

const unsigned char kDistanceFrame[] = {0x34, 0x12, 0x00, 0x00, 0xC5, 0x0B};
const unsigned char kTemperatureFrame[] = {0x17, 0x01, 0x0E, 0x05};

TEST_F(Crc16LoaderTest, FindsTheLibraryBesideTheProgramAndChecksFrames)
{
    std::uint16_t r = 0x1234;
    ASSERT_TRUE(Crc16Loader::ByteBlock(kDistanceFrame, 6, -1, &r)) << Crc16Loader::LastError();
    EXPECT_EQ(r, 0u);
    EXPECT_EQ(Crc16Loader::LastError(), "");

    ASSERT_TRUE(Crc16Loader::ByteBlock(kTemperatureFrame, 4, -1, &r));
    EXPECT_EQ(r, 0u);

    const unsigned char swapped[] = {0x34, 0x12, 0x00, 0x00, 0x0B, 0xC5};
    ASSERT_TRUE(Crc16Loader::ByteBlock(swapped, 6, -1, &r));
    EXPECT_EQ(r, 0xCECEu);

    ASSERT_TRUE(Crc16Loader::ByteBlock(nullptr, 0, -1, &r));
    EXPECT_EQ(r, 0xFFFFu);
}

TEST_F(Crc16LoaderTest, LoadsByPlainName)
{
    Crc16Loader::SetLibraryOverride("libCRC16.so");
    std::uint16_t r = 1;
    ASSERT_TRUE(Crc16Loader::ByteBlock(kDistanceFrame, 6, -1, &r)) << Crc16Loader::LastError();
    EXPECT_EQ(r, 0u);
}

TEST_F(Crc16LoaderTest, MissingLibraryIsAnErrorAndRecoversAfterUnload)
{
    Crc16Loader::SetLibraryOverride("/nonexistent/folder/libCRC16.so");
    std::uint16_t r = 0x4711;
    EXPECT_FALSE(Crc16Loader::ByteBlock(kDistanceFrame, 6, -1, &r));
    EXPECT_EQ(r, 0x4711u);  // untouched
    EXPECT_NE(Crc16Loader::LastError().find("CRC16"), std::string::npos) << Crc16Loader::LastError();
    EXPECT_NE(Crc16Loader::LastError().find("/nonexistent/folder/libCRC16.so"), std::string::npos);
    // Still failing on the next frame, without a crash.
    EXPECT_FALSE(Crc16Loader::ByteBlock(kDistanceFrame, 6, -1, &r));

    Crc16Loader::SetLibraryOverride("");
    Crc16Loader::Unload();
    EXPECT_EQ(Crc16Loader::LastError(), "");
    EXPECT_TRUE(Crc16Loader::ByteBlock(kDistanceFrame, 6, -1, &r));
    EXPECT_EQ(r, 0u);
}

TEST_F(Crc16LoaderTest, LibraryWithoutTheExportIsAnError)
{
    // The C runtime is always there and has no such export.
    Crc16Loader::SetLibraryOverride("libc.so.6");
    std::uint16_t r = 0;
    EXPECT_FALSE(Crc16Loader::ByteBlock(kDistanceFrame, 6, -1, &r));
    EXPECT_NE(Crc16Loader::LastError().find("_crc16_byte_block@12"), std::string::npos)
        << Crc16Loader::LastError();
}

TEST_F(Crc16LoaderTest, RejectsBlocksTheExportCannotCount)
{
    std::uint16_t r = 0x1111;
    EXPECT_FALSE(Crc16Loader::ByteBlock(kDistanceFrame, 0x10006, -1, &r));
    EXPECT_FALSE(Crc16Loader::LastError().empty());
    EXPECT_FALSE(Crc16Loader::ByteBlock(nullptr, 6, -1, &r));
    EXPECT_EQ(r, 0x1111u);
    EXPECT_TRUE(Crc16Loader::ByteBlock(kDistanceFrame, 6, -1, &r));
    EXPECT_EQ(Crc16Loader::LastError(), "");
}

}  // namespace
