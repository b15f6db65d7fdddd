// Clock, operating-system name and program folder.
#include <gtest/gtest.h>

#include <filesystem>
#include <unistd.h>
#include <vector>
#ifndef _WIN32
#include <sys/stat.h>
#endif

#include "modAPI.h"

namespace {

TEST(DayCount, CountsFromTheLastDaysOf1899) {
    EXPECT_EQ(modAPI::DayCount(1899, 12, 30, 0, 0, 0, 0), 0.0);
    EXPECT_EQ(modAPI::DayCount(1900, 1, 1, 0, 0, 0, 0), 2.0);
    EXPECT_EQ(modAPI::DayCount(1900, 3, 1, 0, 0, 0, 0), 61.0);  // 1900 was no leap year
    EXPECT_EQ(modAPI::DayCount(2000, 1, 1, 0, 0, 0, 0), 36526.0);
    EXPECT_EQ(modAPI::DayCount(2026, 12, 7, 18, 0, 0, 0), 46363.75);
}

TEST(NowWithMs, HalfASecondPastNoon) {
    const double day = modAPI::DayCount(2026, 12, 7, 0, 0, 0, 0);
    EXPECT_DOUBLE_EQ(modAPI::DayCount(2026, 12, 7, 12, 0, 0, 500), day + 0.5 + 0.5 / 86400.0);
    // One millisecond stays visible in the day count.
    EXPECT_GT(modAPI::DayCount(2026, 12, 7, 23, 59, 59, 999), modAPI::DayCount(2026, 12, 7, 23, 59, 59, 998));
}

TEST(NowWithMs, ClockCanBeReplacedAndRestored) {
    const double noon = modAPI::DayCount(2026, 12, 7, 12, 0, 0, 500);
    modAPI::SetClock([noon] { return noon; });
    EXPECT_EQ(modAPI::NowWithMs(), noon);
    modAPI::SetClock(nullptr);
    const double now = modAPI::NowWithMs();
    EXPECT_GT(now, modAPI::DayCount(2020, 1, 1, 0, 0, 0, 0));
    EXPECT_LT(now, modAPI::DayCount(2200, 1, 1, 0, 0, 0, 0));
    EXPECT_GE(modAPI::NowWithMs(), now);
}

TEST(GetOSName, WindowsVersionTable) {
    EXPECT_EQ(modAPI::WindowsVersionName(4, 10, 1), "Windows 98");
    EXPECT_EQ(modAPI::WindowsVersionName(4, 0, 2), "Windows NT 4.0");  // same version, other family
    EXPECT_EQ(modAPI::WindowsVersionName(5, 1, 2), "Windows XP");
    EXPECT_EQ(modAPI::WindowsVersionName(5, 2, 2), "");
    EXPECT_EQ(modAPI::WindowsVersionName(4, 10, 0), "");
}

TEST(GetOSName, PrettyNameOfTheDistribution) {
    EXPECT_EQ(modAPI::OsReleasePrettyName("NAME=\"Debian GNU/Linux\"\nPRETTY_NAME=\"Debian GNU/Linux 12 (bookworm)\"\n"),
              "Debian GNU/Linux 12 (bookworm)");
    EXPECT_EQ(modAPI::OsReleasePrettyName("PRETTY_NAME=Plain\r\n"), "Plain");
    EXPECT_EQ(modAPI::OsReleasePrettyName("PRETTY_NAME='Single quoted'"), "Single quoted");
    EXPECT_EQ(modAPI::OsReleasePrettyName("PRETTY_NAME=\"Say \\\"hi\\\"\""), "Say \"hi\"");
    EXPECT_EQ(modAPI::OsReleasePrettyName("# PRETTY_NAME=no\nNAME=x"), "");
    EXPECT_EQ(modAPI::OsReleasePrettyName(""), "");
    EXPECT_FALSE(modAPI::GetOSName().empty());
}

TEST(TwipsToPixels, RoundsToTheNearestPixel) {
    EXPECT_EQ(modAPI::TwipsToPixels(10935, 96), 729);
    EXPECT_EQ(modAPI::TwipsToPixels(2000, 96), 133);   // 133.3
    EXPECT_EQ(modAPI::TwipsToPixels(2000, 100), 139);  // 138.9: rounded up, not cut off
    EXPECT_EQ(modAPI::TwipsToPixels(10, 96), 1);       // 0.67: a small margin does not vanish
}

TEST(ProgramFolder, DefaultsToTheExecutablesFolder) {
    modAPI::SetProgramFolder("");
#ifdef _WIN32
    // No /proc: the program is found by its name in the folder reported.
    const auto exe = std::filesystem::u8path(modAPI::ExecutableFolder()) / "services_tests.exe";
    ASSERT_TRUE(std::filesystem::is_regular_file(exe)) << exe.u8string();
#else
    const auto exe = std::filesystem::read_symlink("/proc/self/exe");
#endif
    EXPECT_EQ(modAPI::ProgramFolder(), exe.parent_path().string());
    EXPECT_EQ(modAPI::ExecutableName(), exe.stem().string());
    modAPI::SetProgramFolder("/srv/kov");
    EXPECT_EQ(modAPI::ProgramFolder(), "/srv/kov");
    EXPECT_EQ(modAPI::ExecutableFolder(), exe.parent_path().string());  // the binary stays where it is
    modAPI::SetProgramFolder("");
}

// The program and the command-line tool choose their data folder by this
// one rule: a portable folder keeps its data, an installed program never
// writes into a system folder (root could), and everything else goes to the
// user's data folder.
TEST(DataFolder, PortableFolderOrTheUsersOwn) {
#ifndef _WIN32
    EXPECT_TRUE(modAPI::IsSystemProgramFolder("/usr/bin"));
    EXPECT_TRUE(modAPI::IsSystemProgramFolder("/usr/bin/"));
    EXPECT_TRUE(modAPI::IsSystemProgramFolder("/usr/local/bin"));
    EXPECT_TRUE(modAPI::IsSystemProgramFolder("/bin"));
    EXPECT_FALSE(modAPI::IsSystemProgramFolder("/usr/bin/tools"));
    EXPECT_EQ(modAPI::DefaultDataFolder("/usr/bin", "/home/u/.local/share/ORA2ORB2"),
              "/home/u/.local/share/ORA2ORB2");
    EXPECT_FALSE(modAPI::FolderIsWritable("/proc"));
#endif
    EXPECT_FALSE(modAPI::IsSystemProgramFolder(""));
    EXPECT_FALSE(modAPI::FolderIsWritable(""));

    const auto portable = std::filesystem::temp_directory_path() / ("ora-data-folder-" + std::to_string(::getpid()));
    std::filesystem::create_directories(portable);
    const std::string folder = portable.u8string();
    EXPECT_FALSE(modAPI::IsSystemProgramFolder(folder));
    EXPECT_TRUE(modAPI::FolderIsWritable(folder));
    EXPECT_EQ(modAPI::DefaultDataFolder(folder, "elsewhere"), folder);
    EXPECT_TRUE(std::filesystem::is_empty(portable)) << "the write probe was left behind";
    EXPECT_EQ(modAPI::DefaultDataFolder(folder + "/missing", "elsewhere"), "elsewhere");
    std::filesystem::remove_all(portable);

    EXPECT_NE(modAPI::UserDataFolder().find("ORA2ORB2"), std::string::npos);
}

#ifndef _WIN32
// A program folder others may write to (its group, everybody, or another
// owner) is no place for the user's settings: someone could plant them.
// The probe makes a file of its own and follows no link.
TEST(DataFolder, AFolderOthersMayWriteToIsNotTaken) {
    const auto portable = std::filesystem::temp_directory_path() / ("ora-data-shared-" + std::to_string(::getpid()));
    std::filesystem::create_directories(portable);
    const std::string folder = portable.u8string();
    ::symlink((folder + "/victim").c_str(), (folder + "/.ora2orb2-write-test").c_str());
    struct Case {
        mode_t mode;
        uid_t owner;
        bool taken;
    };
    const uid_t me = ::geteuid();
    std::vector<Case> cases = {{0755, me, true}, {0775, me, false}, {0757, me, false}, {01777, me, false}};
    if (me == 0) cases.push_back({0755, 65534, false});  // root starting a user's copy of the program
    for (const Case& c : cases) {
        ASSERT_EQ(::chown(folder.c_str(), c.owner, static_cast<gid_t>(-1)), 0);
        ASSERT_EQ(::chmod(folder.c_str(), c.mode), 0);
        EXPECT_EQ(modAPI::DefaultDataFolder(folder, "elsewhere"), c.taken ? folder : "elsewhere") << std::oct << c.mode;
    }
    EXPECT_TRUE(modAPI::FolderIsWritable(folder));
    EXPECT_FALSE(std::filesystem::exists(folder + "/victim"));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(portable), {}), 1);  // the link only
    std::filesystem::remove_all(portable);
}
#endif

}  // namespace
