// The built library, opened by name as other programs open it, must offer
// the four decorated exports as the same functions as the plain names (and,
// where the link needed them, not the link-time placeholders).
#include <gtest/gtest.h>

#include <cstdint>

#include "crc16.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace {

#ifdef _WIN32
using Library = HMODULE;
Library OpenLibrary() { return LoadLibraryW(L"CRC16.dll"); }
void* Symbol(Library lib, const char* name) { return reinterpret_cast<void*>(GetProcAddress(lib, name)); }
void CloseLibrary(Library lib) { FreeLibrary(lib); }
std::string OpenError() { return "LoadLibrary error " + std::to_string(GetLastError()); }
#else
using Library = void*;
Library OpenLibrary() { return dlopen("libCRC16.so", RTLD_NOW | RTLD_LOCAL); }
void* Symbol(Library lib, const char* name) { return dlsym(lib, name); }
void CloseLibrary(Library lib) { dlclose(lib); }
std::string OpenError() { return dlerror(); }
#endif

TEST(Crc16Exports, DecoratedNamesAreThePlainFunctionsAndPlaceholdersAreGone)
{
    Library lib = OpenLibrary();
    ASSERT_NE(lib, nullptr) << OpenError();
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
        void* decorated = Symbol(lib, n.decorated);
        EXPECT_NE(decorated, nullptr) << n.decorated;
        EXPECT_EQ(decorated, Symbol(lib, n.plain)) << n.decorated;
        EXPECT_EQ(Symbol(lib, n.placeholder), nullptr) << n.placeholder;
    }
    // Called through the decorated names with the caller's own calling
    // convention, the functions give the catalogued values.
    const auto step = reinterpret_cast<crc16_step_fn>(Symbol(lib, "_crc16_byte@8"));
    const auto block = reinterpret_cast<crc16_block_fn>(Symbol(lib, "_crc16_byte_block@12"));
    const auto word = reinterpret_cast<crc16_step_fn>(Symbol(lib, "_crc16_word@8"));
    const auto wordBlock = reinterpret_cast<crc16_block_fn>(Symbol(lib, "_crc16_word_block@12"));
    ASSERT_TRUE(step && block && word && wordBlock);
    const unsigned char digits[] = {'1', '2', '3', '4', '5', '6', '7', '8', '9', 0, 0};
    const unsigned char ab[] = {0x41, 0x42};
    EXPECT_EQ(step(0x41, 0xFFFF), 0xE1B1u);
    EXPECT_EQ(block(digits, sizeof digits, 0xFFFFFFFFu), 0xE5CCu);
    EXPECT_EQ(word(0x4142, 0xFFFF), 0x5C4Du);
    EXPECT_EQ(wordBlock(ab, 2, 0xFFFF), 0x5F4Eu);
    CloseLibrary(lib);
}

}  // namespace
