// The CRC16 library: table-driven CRC-16, polynomial 0x1021, MSB first, in
// the augmented form (each message byte is shifted into the low end of the
// register). No state, no allocation.
#define CRC16_BUILDING
#include "crc16.h"

#include <cstddef>
#include <cstdint>

namespace {

constexpr std::uint16_t kPolynomial = 0x1021;

struct Table {
    std::uint16_t entry[256];
};

// Entry i: i in the high byte, eight times shift left and XOR the polynomial
// whenever the bit shifted out was set.
constexpr Table BuildTable()
{
    Table t{};
    for (unsigned i = 0; i < 256; ++i) {
        unsigned r = i << 8;
        for (int bit = 0; bit < 8; ++bit) {
            r = (r & 0x8000u) ? ((r << 1) ^ kPolynomial) : (r << 1);
            r &= 0xFFFFu;
        }
        t.entry[i] = static_cast<std::uint16_t>(r);
    }
    return t;
}

constexpr Table kTable = BuildTable();

static_assert(kTable.entry[0] == 0x0000, "table entry 0");
static_assert(kTable.entry[1] == 0x1021, "table entry 1");
static_assert(kTable.entry[2] == 0x2042, "table entry 2");
static_assert(kTable.entry[16] == 0x1231, "table entry 16");
static_assert(kTable.entry[128] == 0x9188, "table entry 128");
static_assert(kTable.entry[255] == 0x1EF0, "table entry 255");

inline unsigned Step(unsigned reg, unsigned byte)
{
    return kTable.entry[(reg >> 8) & 0xFFu] ^ (((reg << 8) & 0xFF00u) | (byte & 0xFFu));
}

}  // namespace

extern "C" {

CRC16_API std::uint32_t CRC16_CALL crc16_byte(std::uint32_t b, std::uint32_t reg)
{
    return Step(reg & 0xFFFFu, b);
}

CRC16_API std::uint32_t CRC16_CALL crc16_byte_block(const void* data, std::uint32_t count, std::uint32_t reg)
{
    const unsigned char* p = static_cast<const unsigned char*>(data);
    const std::size_t n = count & 0xFFFFu;
    unsigned r = reg & 0xFFFFu;
    for (std::size_t i = 0; i < n; ++i)
        r = Step(r, p[i]);
    return r;
}

CRC16_API std::uint32_t CRC16_CALL crc16_word(std::uint32_t w, std::uint32_t reg)
{
    unsigned r = Step(reg & 0xFFFFu, (w >> 8) & 0xFFu);
    return Step(r, w & 0xFFu);
}

CRC16_API std::uint32_t CRC16_CALL crc16_word_block(const void* data, std::uint32_t count, std::uint32_t reg)
{
    const unsigned char* p = static_cast<const unsigned char*>(data);
    const std::size_t words = (count & 0xFFFFu) / 2;
    unsigned r = reg & 0xFFFFu;
    for (std::size_t i = 0; i < words; ++i, p += 2) {
        // little-endian word in memory, fed high byte first
        r = Step(r, p[1]);
        r = Step(r, p[0]);
    }
    return r;
}

}  // extern "C"

#if defined(__ELF__)
// ELF linkers take '@' in a defined name for a symbol version, so the
// decorated exports are first linked under placeholders of the same length
// ('.' instead of '@'); a step after linking turns them into the real names
// in the dynamic string table and rebuilds the symbol hash.
#define CRC16_PLACEHOLDER(alias_id, placeholder, target, ...)                 \
    extern "C" std::uint32_t alias_id(__VA_ARGS__) __asm__(placeholder)       \
        __attribute__((alias(target), visibility("default")));

CRC16_PLACEHOLDER(crc16_byte_placeholder, "_crc16_byte.8", "crc16_byte",
                  std::uint32_t, std::uint32_t)
CRC16_PLACEHOLDER(crc16_byte_block_placeholder, "_crc16_byte_block.12", "crc16_byte_block",
                  const void*, std::uint32_t, std::uint32_t)
CRC16_PLACEHOLDER(crc16_word_placeholder, "_crc16_word.8", "crc16_word",
                  std::uint32_t, std::uint32_t)
CRC16_PLACEHOLDER(crc16_word_block_placeholder, "_crc16_word_block.12", "crc16_word_block",
                  const void*, std::uint32_t, std::uint32_t)
#endif
