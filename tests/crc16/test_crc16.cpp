// Checksum values of the CRC16 library, called through its plain C names.
#include "crc16.h"

#include <boost/crc.hpp>
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace {

std::uint32_t Block(const std::vector<unsigned char>& bytes, std::uint32_t reg = 0xFFFF)
{
    return crc16_byte_block(bytes.data(), static_cast<std::uint32_t>(bytes.size()), reg);
}

std::vector<unsigned char> Bytes(const std::string& s)
{
    return std::vector<unsigned char>(s.begin(), s.end());
}

// The register after message + two zero bytes, preset 0xFFFF.
std::uint32_t Augmented(std::vector<unsigned char> msg)
{
    msg.push_back(0);
    msg.push_back(0);
    return Block(msg);
}

TEST(Crc16Table, EntriesFollowTheMsbFirstRuleFor0x1021)
{
    // With the message byte 0 one step yields the table entry of the high byte.
    auto entry = [](unsigned i) { return crc16_byte(0, i << 8); };
    EXPECT_EQ(entry(0), 0x0000u);
    EXPECT_EQ(entry(1), 0x1021u);
    EXPECT_EQ(entry(2), 0x2042u);
    EXPECT_EQ(entry(16), 0x1231u);
    EXPECT_EQ(entry(128), 0x9188u);
    EXPECT_EQ(entry(255), 0x1EF0u);
    // Linear in the index: T[a ^ b] == T[a] ^ T[b].
    for (unsigned a = 0; a < 256; a += 7)
        for (unsigned b = 0; b < 256; b += 11)
            ASSERT_EQ(entry(a ^ b), entry(a) ^ entry(b)) << a << " " << b;
}

TEST(Crc16Values, KnownChecksums)
{
    EXPECT_EQ(Augmented(Bytes("123456789")), 0xE5CCu);
    EXPECT_EQ(Augmented(Bytes("abc")), 0x8CDAu);
    EXPECT_EQ(crc16_byte(0x41, 0xFFFF), 0xE1B1u);
    EXPECT_EQ(crc16_word(0x4142, 0xFFFF), 0x5C4Du);
    EXPECT_EQ(Block({0x41, 0x42}), 0x5C4Du);
    const unsigned char stored[] = {0x41, 0x42};
    EXPECT_EQ(crc16_word_block(stored, 2, 0xFFFF), 0x5F4Eu);
    EXPECT_EQ(Block({0x42, 0x41}), 0x5F4Eu);
}

TEST(Crc16Values, SensorFrames)
{
    EXPECT_EQ(Block({0x34, 0x12, 0x00, 0x00, 0xC5, 0x0B}), 0u);           // distance 4660
    EXPECT_EQ(Block({0x34, 0x12, 0x00, 0x00, 0x0B, 0xC5}), 0xCECEu);      // checksum bytes swapped
    EXPECT_EQ(Block({0x17, 0x01, 0x0E, 0x05}), 0u);                       // 23 degrees, status 1
    EXPECT_NE(Block({0x17, 0x01, 0x0E, 0x04}), 0u);
}

TEST(Crc16Values, RegisterAndCountUseOnlyTheirLow16Bits)
{
    const std::uint32_t minusOne = static_cast<std::uint32_t>(-1);
    EXPECT_EQ(crc16_byte(0x41, minusOne), 0xE1B1u);
    EXPECT_EQ(crc16_byte(0x1241, 0xABCDFFFF), 0xE1B1u);
    const unsigned char frame[] = {0x34, 0x12, 0x00, 0x00, 0xC5, 0x0B};
    EXPECT_EQ(crc16_byte_block(frame, 6, minusOne), 0u);
    EXPECT_EQ(crc16_word(0x55554142, minusOne), 0x5C4Du);
    // Results never carry upper bits.
    EXPECT_EQ(crc16_byte_block(frame, 5, minusOne) >> 16, 0u);
    // A count of 0x10000 is a count of 0 in 16 bits: nothing is read.
    EXPECT_EQ(crc16_byte_block(nullptr, 0x10000, 0x1234), 0x1234u);
}

TEST(Crc16Values, EmptyAndShortBlocksReturnTheRegister)
{
    EXPECT_EQ(crc16_byte_block(nullptr, 0, 0xFFFF), 0xFFFFu);
    EXPECT_EQ(crc16_byte_block(nullptr, 0, static_cast<std::uint32_t>(-1)), 0xFFFFu);
    const unsigned char one = 0x41;
    EXPECT_EQ(crc16_word_block(&one, 1, 0xBEEF), 0xBEEFu);
    EXPECT_EQ(crc16_word_block(nullptr, 0, 0xBEEF), 0xBEEFu);
}

TEST(Crc16Values, WordBlockFeedsEachStoredWordByteSwappedAndIgnoresAnOddTail)
{
    std::mt19937 rng(7);
    std::vector<unsigned char> data(301);
    for (auto& b : data)
        b = static_cast<unsigned char>(rng());
    std::vector<unsigned char> swapped;
    for (std::size_t i = 0; i + 1 < data.size(); i += 2) {
        swapped.push_back(data[i + 1]);
        swapped.push_back(data[i]);
    }
    EXPECT_EQ(crc16_word_block(data.data(), 301, 0xFFFF), Block(swapped));
    EXPECT_EQ(crc16_word_block(data.data(), 300, 0xFFFF), Block(swapped));

    std::uint32_t r = 0xFFFF;
    for (std::size_t i = 0; i + 1 < data.size(); i += 2)
        r = crc16_word(data[i] | (data[i + 1] << 8), r);
    EXPECT_EQ(r, Block(swapped));
}

TEST(Crc16Values, BlockEqualsByteStepsAndCanBeSplit)
{
    std::mt19937 rng(11);
    std::vector<unsigned char> data(1000);
    for (auto& b : data)
        b = static_cast<unsigned char>(rng());
    std::uint32_t r = 0xFFFF;
    for (unsigned char b : data)
        r = crc16_byte(b, r);
    EXPECT_EQ(Block(data), r);
    const std::uint32_t head = crc16_byte_block(data.data(), 333, 0xFFFF);
    EXPECT_EQ(crc16_byte_block(data.data() + 333, 667, head), r);
}

// Boost.CRC's table-free catalogue variant is an independent oracle for the
// augmented register, and the appended checksum must clear the register.
TEST(Crc16Oracle, MatchesAugCcittOnRandomMessages)
{
    std::mt19937 rng(20240611);
    std::vector<std::size_t> lengths;
    for (std::size_t n = 0; n <= 70; ++n)
        lengths.push_back(n);
    for (int i = 0; i < 60; ++i)
        lengths.push_back(71 + rng() % 5000);
    lengths.push_back(65533);  // the longest message whose augmented form fits a 16-bit count

    for (std::size_t n : lengths) {
        std::vector<unsigned char> msg(n);
        for (auto& b : msg)
            b = static_cast<unsigned char>(rng());
        boost::crc_optimal<16, 0x1021, 0x1D0F, 0, false, false> oracle;
        oracle.process_bytes(msg.data(), msg.size());
        const unsigned expected = oracle.checksum();
        ASSERT_EQ(Augmented(msg), expected) << "length " << n;

        std::vector<unsigned char> frame = msg;
        frame.push_back(static_cast<unsigned char>(expected >> 8));
        frame.push_back(static_cast<unsigned char>(expected & 0xFF));
        ASSERT_EQ(Block(frame), 0u) << "length " << n;
        frame.back() ^= 0x01;
        ASSERT_NE(Block(frame), 0u) << "length " << n;
    }
}

}  // namespace
