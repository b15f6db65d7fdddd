// Checksum values of the CRC16 library, called through its plain C names.
#include "crc16.h"

#include <boost/crc.hpp>
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;

std::uint32_t Block(const Bytes& b, std::uint32_t reg = 0xFFFF)
{
    return crc16_byte_block(b.data(), static_cast<std::uint32_t>(b.size()), reg);
}

Bytes Random(std::mt19937& rng, std::size_t n)
{
    Bytes b(n);
    for (auto& x : b)
        x = static_cast<unsigned char>(rng());
    return b;
}

TEST(Crc16, KnownValuesAndSensorFrames)
{
    const std::uint32_t minusOne = static_cast<std::uint32_t>(-1);  // what the program passes
    const std::pair<Bytes, std::uint32_t> blocks[] = {
        {{'1', '2', '3', '4', '5', '6', '7', '8', '9', 0, 0}, 0xE5CC},  // AUG-CCITT check value
        {{0x41, 0x42}, 0x5C4D},
        {{0x34, 0x12, 0x00, 0x00, 0xC5, 0x0B}, 0},       // distance frame with its checksum
        {{0x34, 0x12, 0x00, 0x00, 0x0B, 0xC5}, 0xCECE},  // checksum bytes swapped
        {{0x17, 0x01, 0x0E, 0x05}, 0},                   // temperature frame
        {{}, 0xFFFF},
    };
    for (const auto& [data, expected] : blocks)  // upper register bits must not count
        EXPECT_EQ(Block(data, minusOne), expected) << data.size();
    EXPECT_EQ(crc16_byte(0x41, 0xFFFF), 0xE1B1u);
    EXPECT_EQ(crc16_byte(0x1241, 0xABCDFFFF), 0xE1B1u);  // only the low byte, the low 16 bits
    EXPECT_EQ(crc16_word(0x55554142, minusOne), 0x5C4Du);
    const unsigned char ab[] = {0x41, 0x42};
    EXPECT_EQ(crc16_word_block(ab, 2, 0xFFFF), 0x5F4Eu);  // stored little-endian: 0x42 first
    EXPECT_EQ(crc16_word_block(ab, 1, 0xBEEF), 0xBEEFu);
    // A count of 0x10000 is 0 in 16 bits: nothing is read.
    EXPECT_EQ(crc16_byte_block(nullptr, 0x10000, 0x1234), 0x1234u);
}

TEST(Crc16, WordAndByteFunctionsAgreeWithTheBlock)
{
    std::mt19937 rng(7);
    const Bytes data = Random(rng, 301);
    Bytes swapped;
    std::uint32_t words = 0xFFFF, bytes = 0xFFFF;
    for (std::size_t i = 0; i + 1 < data.size(); i += 2) {
        swapped.push_back(data[i + 1]);
        swapped.push_back(data[i]);
        words = crc16_word(data[i] | (data[i + 1] << 8), words);
    }
    for (unsigned char b : swapped)
        bytes = crc16_byte(b, bytes);
    const std::uint32_t expected = Block(swapped);
    EXPECT_EQ(bytes, expected);
    EXPECT_EQ(words, expected);
    EXPECT_EQ(crc16_word_block(data.data(), 301, 0xFFFF), expected);  // odd tail ignored
    // A block may be split, the register carried over.
    const std::uint32_t head = crc16_byte_block(swapped.data(), 133, 0xFFFF);
    EXPECT_EQ(crc16_byte_block(swapped.data() + 133, 167, head), expected);
}

// Boost.CRC is an independent oracle for the register after the message and
// two zero bytes; the checksum appended high byte first clears the register.
TEST(Crc16, MatchesBoostOracleOnRandomMessages)
{
    std::mt19937 rng(20240611);
    std::vector<std::size_t> lengths;
    for (std::size_t n = 0; n <= 70; ++n)
        lengths.push_back(n);
    for (int i = 0; i < 60; ++i)
        lengths.push_back(71 + rng() % 5000);
    lengths.push_back(65533);  // the longest whose augmented form fits a 16-bit count

    for (std::size_t n : lengths) {
        Bytes msg = Random(rng, n);
        boost::crc_optimal<16, 0x1021, 0x1D0F, 0, false, false> oracle;
        oracle.process_bytes(msg.data(), msg.size());
        const unsigned expected = oracle.checksum();
        Bytes augmented = msg;
        augmented.insert(augmented.end(), {0, 0});
        ASSERT_EQ(Block(augmented), expected) << "length " << n;

        msg.push_back(static_cast<unsigned char>(expected >> 8));
        msg.push_back(static_cast<unsigned char>(expected & 0xFF));
        ASSERT_EQ(Block(msg), 0u) << "length " << n;
        msg.back() ^= 0x01;
        ASSERT_NE(Block(msg), 0u) << "length " << n;
    }
}

}  // namespace
