// The program's run-time binding of the CRC16 library.
#include "Crc16Loader.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>

#include "SensorTestSupport.h"

namespace {

void Reset()
{
    Crc16Loader::Unload();
    Crc16Loader::SetLibraryOverride("");
}

struct Crc16LoaderTest : ::testing::Test {
    void TearDown() override { Reset(); }
};

const unsigned char kFrame[] = {0x34, 0x12, 0x00, 0x00, 0xC5, 0x0B};  // checksum included

// The library's file name, and a system library that is always loaded and
// has no checksum export.
#ifdef _WIN32
const char* const kLibraryName = "CRC16.dll";
const char* const kMissingFolderLibrary = "C:\\nonexistent\\folder\\CRC16.dll";
const char* const kSystemLibrary = "kernel32.dll";
const char* const kPlantedName = "OraPlantedCrc16.dll";
#else
const char* const kLibraryName = "libCRC16.so";
const char* const kMissingFolderLibrary = "/nonexistent/folder/libCRC16.so";
const char* const kSystemLibrary = "libc.so.6";
const char* const kPlantedName = "libOraPlantedCrc16.so";
#endif

TEST_F(Crc16LoaderTest, BindsBesideTheProgramOrByPlainNameAndRefusesBadBlocks)
{
    for (const char* name : {"", kLibraryName}) {
        Reset();
        Crc16Loader::SetLibraryOverride(name);
        std::uint16_t r = 0x1234;
        ASSERT_TRUE(Crc16Loader::ByteBlock(kFrame, 6, -1, &r)) << name << Crc16Loader::LastError();
        EXPECT_EQ(r, 0u);
        EXPECT_EQ(Crc16Loader::LastError(), "");
    }
    // A block longer than the export's 16-bit count, or no data: refused, r untouched.
    std::uint16_t r = 0x1111;
    EXPECT_FALSE(Crc16Loader::ByteBlock(kFrame, 0x10006, -1, &r));
    EXPECT_FALSE(Crc16Loader::LastError().empty());
    EXPECT_FALSE(Crc16Loader::ByteBlock(nullptr, 6, -1, &r));
    EXPECT_EQ(r, 0x1111u);
}

TEST_F(Crc16LoaderTest, MissingLibraryOrExportIsAnErrorThatRecovers)
{
    // (the error names what is missing; the C runtime is always there and has no such export)
    for (const auto& [library, mentioned] : {std::pair{kMissingFolderLibrary, kMissingFolderLibrary},
                                             {kSystemLibrary, "_crc16_byte_block@12"}}) {
        Reset();
        Crc16Loader::SetLibraryOverride(library);
        for (int attempt = 0; attempt < 2; ++attempt) {  // and again on the next frame
            std::uint16_t r = 0x4711;
            EXPECT_FALSE(Crc16Loader::ByteBlock(kFrame, 6, -1, &r));
            EXPECT_EQ(r, 0x4711u);
            EXPECT_NE(Crc16Loader::LastError().find(mentioned), std::string::npos)
                << Crc16Loader::LastError();
        }
    }
    Reset();
    std::uint16_t r = 1;
    EXPECT_EQ(Crc16Loader::LastError(), "");
    EXPECT_TRUE(Crc16Loader::ByteBlock(kFrame, 6, -1, &r));
    EXPECT_EQ(r, 0u);
}

// A library planted in the current folder is never loaded by its plain
// name: Windows looks in the program's folder and the system folder only,
// and on Linux no run path leads into the current folder. The same file
// named with its folder loads.
TEST_F(Crc16LoaderTest, ALibraryInTheCurrentFolderIsNotLoadedByItsName)
{
    namespace fs = std::filesystem;
    const testsupport::ScratchFolder folder;
    const fs::path planted = fs::u8path(folder.path) / kPlantedName;
    fs::copy_file(fs::u8path(modAPI::ExecutableFolder()) / kLibraryName, planted);
    const fs::path before = fs::current_path();
    fs::current_path(planted.parent_path());
    Crc16Loader::SetLibraryOverride(kPlantedName);
    std::uint16_t r = 0x4711;
    const bool byName = Crc16Loader::ByteBlock(kFrame, 6, -1, &r);
    const std::string why = Crc16Loader::LastError();
    Crc16Loader::SetLibraryOverride(planted.u8string());
    const bool byPath = Crc16Loader::ByteBlock(kFrame, 6, -1, &r);
    Reset();  // lets go of the library before the folder goes
    fs::current_path(before);
    EXPECT_FALSE(byName) << "the planted library was loaded from the current folder";
    EXPECT_NE(why.find(kPlantedName), std::string::npos) << why;
    EXPECT_TRUE(byPath);
}

TEST_F(Crc16LoaderTest, AFailedBindingIsNotSearchedForOnEveryFrame)
{
    namespace fs = std::filesystem;
    const testsupport::ScratchFolder folder;
    const fs::path library = fs::path(folder.path) / kLibraryName;
    Crc16Loader::SetLibraryOverride(library.string());
    std::uint16_t r = 0x4711;
    EXPECT_FALSE(Crc16Loader::ByteBlock(kFrame, 6, -1, &r));
    // The library turns up later: the decoder's next frames still get the
    // first answer; naming the library again binds it.
    fs::copy_file(fs::u8path(modAPI::ExecutableFolder()) / kLibraryName, library);
    EXPECT_FALSE(Crc16Loader::ByteBlock(kFrame, 6, -1, &r));
    EXPECT_NE(Crc16Loader::LastError().find(library.string()), std::string::npos) << Crc16Loader::LastError();
    Crc16Loader::SetLibraryOverride(library.string());
    EXPECT_TRUE(Crc16Loader::ByteBlock(kFrame, 6, -1, &r)) << Crc16Loader::LastError();
    EXPECT_EQ(r, 0u);
}

}  // namespace
