// Replacing a file in one step, on every platform: exact bytes, names beyond
// ASCII, and a failure that leaves the old file and no temporary file behind.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <system_error>

#include "modSafeFile.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace {

namespace fs = std::filesystem;

class SafeFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::random_device random;
        dir = fs::temp_directory_path() / ("ora_safefile_" + std::to_string(random()));
        fs::create_directories(dir);
    }
    void TearDown() override {
        std::error_code ec;
        for (const auto& entry : fs::recursive_directory_iterator(dir, ec))
            fs::permissions(entry.path(), fs::perms::owner_all, fs::perm_options::add, ec);
        fs::remove_all(dir, ec);
    }

    // UTF-8 name of a file in the scratch folder, as the program passes names.
    std::string Name(const std::string& leaf) const { return (dir / fs::u8path(leaf)).u8string(); }

    static std::string Content(const std::string& utf8Name) {
        std::ifstream in(fs::u8path(utf8Name), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

    std::size_t Entries() const { return static_cast<std::size_t>(std::distance(fs::directory_iterator(dir), {})); }

    fs::path dir;
};

TEST_F(SafeFileTest, WritesExactlyTheBytesGivenWhetherTheFileIsNewOrReplaced) {
    // Line ends of both kinds, a NUL and bytes above 127 pass untouched: no
    // text mode may turn "\n" into "\r\n" or stop at the NUL.
    const std::string bytes = std::string("[GENERAL]\r\nA=1\nB=\0x\xFF\xE4\r", 20);
    const std::string file = Name("KOV.ini");
    std::string error = "stale";
    ASSERT_TRUE(modSafeFile::ReplaceFile(file, bytes, &error)) << error;
    EXPECT_EQ(Content(file), bytes);

    ASSERT_TRUE(modSafeFile::ReplaceFile(file, "short", &error)) << error;
    EXPECT_EQ(Content(file), "short");  // a longer old file leaves no tail
    ASSERT_TRUE(modSafeFile::ReplaceFile(file, "", &error)) << error;
    EXPECT_EQ(fs::file_size(fs::u8path(file)), 0u);

    std::string large(3 * 1024 * 1024 + 7, '\0');
    for (std::size_t i = 0; i < large.size(); ++i) large[i] = static_cast<char>(i * 131 % 251);
    ASSERT_TRUE(modSafeFile::ReplaceFile(file, large, &error)) << error;
    EXPECT_EQ(Content(file), large);
    EXPECT_EQ(Entries(), 1u);  // no temporary file left beside it
}

TEST_F(SafeFileTest, NamesBeyondAsciiAreTheNamesTheUserGave) {
    // "Einstellungen-äöü-€.kov" in UTF-8: the file must carry exactly that
    // name, not the bytes read through some single-byte code page.
    const std::string leaf = "Einstellungen-\xC3\xA4\xC3\xB6\xC3\xBC-\xE2\x82\xAC.kov";
    const std::string file = Name(leaf);
    std::string error;
    ASSERT_TRUE(modSafeFile::ReplaceFile(file, "A", &error)) << error;
    ASSERT_TRUE(modSafeFile::ReplaceFile(file, "B", &error)) << error;
    ASSERT_EQ(Entries(), 1u);
    EXPECT_EQ(fs::directory_iterator(dir)->path().filename().u8string(), leaf);
    EXPECT_EQ(Content(file), "B");

    const modSafeFile::FileInfo info = modSafeFile::Inspect(file);
    EXPECT_EQ(info.State, modSafeFile::FileState::Regular);
    EXPECT_EQ(info.Size, 1u);
}

TEST_F(SafeFileTest, AFailureNamesTheFileAndLeavesEverythingAsItWas) {
    std::string error;
    // A folder where the file should be.
    fs::create_directory(dir / "folder.ini");
    EXPECT_FALSE(modSafeFile::ReplaceFile(Name("folder.ini"), "x", &error));
    EXPECT_EQ(error, Name("folder.ini") + ": is a folder");
    EXPECT_EQ(modSafeFile::Inspect(Name("folder.ini")).State, modSafeFile::FileState::NotAFile);

    // A folder on the way that does not exist: nothing is created.
    error.clear();
    EXPECT_FALSE(modSafeFile::ReplaceFile(Name("missing/KOV.ini"), "x", &error));
    EXPECT_NE(error.find("missing"), std::string::npos) << error;
    EXPECT_FALSE(fs::exists(dir / "missing"));
    EXPECT_EQ(modSafeFile::Inspect(Name("missing/KOV.ini")).State, modSafeFile::FileState::Missing);

    EXPECT_FALSE(modSafeFile::ReplaceFile("", "x", &error));
    EXPECT_EQ(Entries(), 1u);  // the folder only
}

TEST_F(SafeFileTest, AFileThatMayNotBeReplacedKeepsItsContent) {
    const std::string file = Name("$KVD$.txt");
    std::string error;
    ASSERT_TRUE(modSafeFile::ReplaceFile(file, "old", &error)) << error;
#ifdef _WIN32
    // A read-only file is not replaced on Windows: the move over it is refused.
    ASSERT_TRUE(SetFileAttributesW(fs::u8path(file).c_str(), FILE_ATTRIBUTE_READONLY));
    EXPECT_FALSE(modSafeFile::ReplaceFile(file, "new", &error));
    EXPECT_EQ(error.rfind(file + ": ", 0), 0u) << error;
    SetFileAttributesW(fs::u8path(file).c_str(), FILE_ATTRIBUTE_NORMAL);
#else
    // A folder that may not be written to (root may write anywhere).
    if (::geteuid() == 0) GTEST_SKIP() << "root writes into read-only folders";
    fs::permissions(dir, fs::perms::owner_write, fs::perm_options::remove);
    EXPECT_FALSE(modSafeFile::ReplaceFile(file, "new", &error));
    EXPECT_NE(error.find(std::generic_category().message(EACCES)), std::string::npos) << error;
    fs::permissions(dir, fs::perms::owner_write, fs::perm_options::add);
#endif
    EXPECT_EQ(Content(file), "old");
    EXPECT_EQ(Entries(), 1u);  // and no temporary file
}

}  // namespace
