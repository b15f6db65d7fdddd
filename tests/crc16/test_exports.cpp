// The built library, opened by name as other programs open it, must offer
// the four decorated exports (and not the link-time placeholders).
#include "crc16.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdint>

namespace {

class Crc16Exports : public ::testing::Test {
protected:
    void SetUp() override
    {
        handle_ = dlopen("libCRC16.so", RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(handle_, nullptr) << dlerror();
    }
    void TearDown() override
    {
        if (handle_)
            dlclose(handle_);
    }
    void* Sym(const char* name) { return dlsym(handle_, name); }

    void* handle_ = nullptr;
};

TEST_F(Crc16Exports, DecoratedNamesAreFoundAndArePlainFunctions)
{
    const struct {
        const char* decorated;
        const char* plain;
    } names[] = {
        {"_crc16_byte@8", "crc16_byte"},
        {"_crc16_byte_block@12", "crc16_byte_block"},
        {"_crc16_word@8", "crc16_word"},
        {"_crc16_word_block@12", "crc16_word_block"},
    };
    for (const auto& n : names) {
        void* decorated = Sym(n.decorated);
        ASSERT_NE(decorated, nullptr) << n.decorated;
        EXPECT_EQ(decorated, Sym(n.plain)) << n.decorated;
    }
}

TEST_F(Crc16Exports, PlaceholdersAreGone)
{
    for (const char* name : {"_crc16_byte.8", "_crc16_byte_block.12", "_crc16_word.8", "_crc16_word_block.12"})
        EXPECT_EQ(Sym(name), nullptr) << name;
}

TEST_F(Crc16Exports, DecoratedExportsComputeTheChecksums)
{
    auto byte = reinterpret_cast<crc16_step_fn>(Sym("_crc16_byte@8"));
    auto block = reinterpret_cast<crc16_block_fn>(Sym("_crc16_byte_block@12"));
    auto word = reinterpret_cast<crc16_step_fn>(Sym("_crc16_word@8"));
    auto wordBlock = reinterpret_cast<crc16_block_fn>(Sym("_crc16_word_block@12"));
    ASSERT_TRUE(byte && block && word && wordBlock);

    const std::uint32_t preset = static_cast<std::uint32_t>(-1);
    const unsigned char digits[] = "123456789\0";  // nine digits and two zero bytes
    EXPECT_EQ(block(digits, 11, preset), 0xE5CCu);
    EXPECT_EQ(byte(0x41, preset), 0xE1B1u);
    EXPECT_EQ(word(0x4142, preset), 0x5C4Du);
    const unsigned char ab[] = {0x41, 0x42};
    EXPECT_EQ(wordBlock(ab, 2, preset), 0x5F4Eu);
}

}  // namespace
