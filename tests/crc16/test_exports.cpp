// The built library, opened by name as other programs open it, must offer
// the four decorated exports (and not the link-time placeholders).
#include <dlfcn.h>
#include <gtest/gtest.h>

namespace {

TEST(Crc16Exports, DecoratedNamesAreThePlainFunctionsAndPlaceholdersAreGone)
{
    void* lib = dlopen("libCRC16.so", RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(lib, nullptr) << dlerror();
    const struct {
        const char* decorated;
        const char* plain;
        const char* placeholder;
    } names[] = {
        {"_crc16_byte@8", "crc16_byte", "_crc16_byte.8"},
        {"_crc16_byte_block@12", "crc16_byte_block", "_crc16_byte_block.12"},
        {"_crc16_word@8", "crc16_word", "_crc16_word.8"},
        {"_crc16_word_block@12", "crc16_word_block", "_crc16_word_block.12"},
    };
    for (const auto& n : names) {
        void* decorated = dlsym(lib, n.decorated);
        EXPECT_NE(decorated, nullptr) << n.decorated;
        EXPECT_EQ(decorated, dlsym(lib, n.plain)) << n.decorated;
        EXPECT_EQ(dlsym(lib, n.placeholder), nullptr) << n.placeholder;
    }
    dlclose(lib);
}

}  // namespace
