// Replacing a file in one step, on every platform: exact bytes, names beyond
// ASCII, a failure that leaves the old file and no temporary file behind, a
// read-only file refused; on POSIX also owner, links and the folder's sync.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>
#include <vector>

#include "ScratchFolder.h"
#include "modSafeFile.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

// Every fsync of this test program passes here first: the folders it was
// called for are noted, with the content their file `g_watched` had at that
// moment (the rename must come before the folder's sync).
namespace {
std::string g_watched;
std::vector<std::pair<std::string, std::string>> g_folderSyncs;  // folder, content of g_watched then
}  // namespace
extern "C" int fsync(int fd) {
    struct stat st {};
    if (!g_watched.empty() && ::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
        char folder[4096] = {};
        const std::string link = "/proc/self/fd/" + std::to_string(fd);
        const ssize_t n = ::readlink(link.c_str(), folder, sizeof folder - 1);
        std::ifstream in(g_watched, std::ios::binary);
        g_folderSyncs.emplace_back(n > 0 ? std::string(folder, static_cast<size_t>(n)) : std::string(),
                                   std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()));
    }
    return static_cast<int>(::syscall(SYS_fsync, fd));
}
#endif

namespace {

namespace fs = std::filesystem;

class SafeFileTest : public ::testing::Test {
protected:
    // UTF-8 name of a file in the scratch folder, as the program passes names.
    std::string Name(const std::string& leaf) const { return (dir / fs::u8path(leaf)).u8string(); }

    static std::string Content(const std::string& utf8Name) {
        std::ifstream in(fs::u8path(utf8Name), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

    std::size_t Entries() const { return static_cast<std::size_t>(std::distance(fs::directory_iterator(dir), {})); }

    testsupport::ScratchFolder scratch;
    const fs::path dir = fs::u8path(scratch.path);
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
    // A read-only file is refused on every system, by every user (root too):
    // the user keeps it from being changed.
#ifdef _WIN32
    ASSERT_TRUE(SetFileAttributesW(fs::u8path(file).c_str(), FILE_ATTRIBUTE_READONLY));
#else
    fs::permissions(fs::u8path(file), fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
#endif
    EXPECT_FALSE(modSafeFile::ReplaceFile(file, "new", &error));
    EXPECT_EQ(error, file + ": Permission denied");
    EXPECT_EQ(Content(file), "old");
#ifdef _WIN32
    SetFileAttributesW(fs::u8path(file).c_str(), FILE_ATTRIBUTE_NORMAL);
#else
    fs::permissions(fs::u8path(file), fs::perms::owner_write, fs::perm_options::add);
    // A folder that may not be written to (root may write anywhere).
    if (::geteuid() != 0) {
        fs::permissions(dir, fs::perms::owner_write, fs::perm_options::remove);
        EXPECT_FALSE(modSafeFile::ReplaceFile(file, "new", &error));
        EXPECT_NE(error.find(std::generic_category().message(EACCES)), std::string::npos) << error;
        fs::permissions(dir, fs::perms::owner_write, fs::perm_options::add);
    }
#endif
    EXPECT_EQ(Content(file), "old");
    EXPECT_EQ(Entries(), 1u);  // and no temporary file
}

#ifndef _WIN32
// Owner, group and mode stay; the rename is on the disk (the folder synced
// after it) before the replace reports success.
TEST_F(SafeFileTest, AReplacedFileKeepsOwnerGroupAndModeAndItsFolderIsSynced) {
    const std::string file = Name("KOV.ini");
    std::string error;
    ASSERT_TRUE(modSafeFile::ReplaceFile(file, "old", &error)) << error;
    constexpr uid_t kNobody = 65534;
    constexpr gid_t kNoGroup = 65534;
    const bool root = ::geteuid() == 0;
    // Root rewrites a user's file; a user keeps a group of their own.
    if (root) {
        ASSERT_EQ(::chown(file.c_str(), kNobody, kNoGroup), 0);
    }
    ASSERT_EQ(::chmod(file.c_str(), 0640), 0);
    struct stat before {};
    ASSERT_EQ(::stat(file.c_str(), &before), 0);

    g_watched = file;
    g_folderSyncs.clear();
    const bool replaced = modSafeFile::ReplaceFile(file, "new", &error);
    g_watched.clear();
    ASSERT_TRUE(replaced) << error;
    struct stat after {};
    ASSERT_EQ(::stat(file.c_str(), &after), 0);
    EXPECT_NE(after.st_ino, before.st_ino);  // a new file took the name
    EXPECT_EQ(after.st_uid, before.st_uid);
    EXPECT_EQ(after.st_gid, before.st_gid);
    EXPECT_EQ(after.st_mode & 07777, 0640u);
    ASSERT_EQ(g_folderSyncs.size(), 1u);
    EXPECT_EQ(fs::path(g_folderSyncs[0].first), fs::canonical(dir));
    EXPECT_EQ(g_folderSyncs[0].second, "new");
}

// Links: a user's own link is followed, another user's is refused; a file
// the program makes anew takes the place of a link and never follows it.
TEST_F(SafeFileTest, LinksAreFollowedOnlyWhenTheUserOwnsThem) {
    const std::string target = Name("elsewhere.txt");
    std::ofstream(fs::u8path(target)) << "kept";
    const std::string link = Name("link.ini");
    fs::create_symlink(target, link);
    std::string error;

    // The user's own link: the file it leads to is replaced, the link stays.
    ASSERT_TRUE(modSafeFile::ReplaceFile(link, "through", &error)) << error;
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(Content(target), "through");
    std::string resolved;
    ASSERT_TRUE(modSafeFile::WriteTarget(link, &resolved));
    EXPECT_EQ(resolved, target);

    // Made anew: the link is replaced by the file, its target untouched.
    const std::string report = Name("$KVD$.txt");
    fs::create_symlink(target, report);
    ASSERT_TRUE(modSafeFile::ReplaceFile(report, "report", &error, modSafeFile::Links::ReplaceLink)) << error;
    EXPECT_FALSE(fs::is_symlink(report));
    EXPECT_EQ(Content(report), "report");
    EXPECT_EQ(Content(target), "through");

    // Someone else's link, also one further down a chain, is not followed.
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to make a link of another user";
    const std::string chain = Name("chain.ini");
    fs::create_symlink(link, chain);
    ASSERT_EQ(::lchown(link.c_str(), 65534, 65534), 0);
    for (const std::string& name : {link, chain}) {
        EXPECT_FALSE(modSafeFile::ReplaceFile(name, "planted", &error)) << name;
        EXPECT_NE(error.find("of another user"), std::string::npos) << error;
        EXPECT_EQ(error.rfind(name + ": ", 0), 0u) << error;
        EXPECT_FALSE(modSafeFile::WriteTarget(name, &resolved));
    }
    EXPECT_EQ(Content(target), "through");
}
#endif

}  // namespace
