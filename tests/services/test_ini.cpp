// INI access: the profile-file rules the settings and configuration files rely on.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include "ScratchFolder.h"
#include "clsIni.h"
#include "modAPI.h"
#include "modFunctions.h"

namespace fs = std::filesystem;

namespace {

class IniTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir = scratch.path;
        path = (dir / "KOV.ini").string();
        ini.Filename(path);
        modFunctions::SetDecimalSeparator('.');
    }
    void Put(const std::string& content) {
        std::ofstream(path, std::ios::binary) << content;
    }
    std::string Content() const {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    size_t FilesInDir() const { return static_cast<size_t>(std::distance(fs::directory_iterator(dir), {})); }

    testsupport::ScratchFolder scratch;
    fs::path dir;
    std::string path;
    clsIni ini;
};

TEST_F(IniTest, MissingFileSectionOrKeyGivesDefaults) {
    EXPECT_EQ(ini.GetSetting("GENERAL", "Baudrate", 9600), 9600);
    EXPECT_DOUBLE_EQ(ini.GetSetting("CHART", "yMax", 5000.0), 5000.0);
    EXPECT_EQ(ini.GetSetting("FILES", "1KOVFile", ""), "");

    Put("[GENERAL]\nComport=3\n");
    EXPECT_EQ(ini.GetSetting("GENERAL", "Baudrate", 9600), 9600);
    EXPECT_EQ(ini.GetSetting("CHART", "Comport", 1), 1);
    EXPECT_EQ(ini.GetSetting("GENERAL", "Comport", 1), 3);
    EXPECT_EQ(ini.GetSection("CHART"), "");
}

TEST_F(IniTest, BlankNamesGiveDefaultWithoutTouchingTheFile) {
    EXPECT_EQ(ini.GetSetting(" ", "Baudrate", 9600), 9600);
    EXPECT_EQ(ini.GetSetting("GENERAL", "  ", std::string("  as is ")), "  as is ");
    EXPECT_FALSE(ini.WriteSetting(" ", "Baudrate", "1200"));
    EXPECT_FALSE(ini.WriteSetting("GENERAL", "", "1200"));
    EXPECT_FALSE(fs::exists(path));

    clsIni unnamed;
    unnamed.Filename("   ");
    EXPECT_EQ(unnamed.Filename(), "");
    EXPECT_EQ(unnamed.GetSetting("GENERAL", "Baudrate", 9600), 9600);
    EXPECT_FALSE(unnamed.WriteSetting("GENERAL", "Baudrate", "1200"));
}

TEST_F(IniTest, NamesIgnoreCaseFirstOccurrenceWinsValuesTrimmed) {
    Put("[general]\n"
        "  BAUDRATE  =  1200  \n"
        "Baudrate=4800\n"
        "Description=\t  Hall 3, left  \t\n"
        "[GENERAL]\n"
        "Comport=7\n");
    EXPECT_EQ(ini.GetSetting("GENERAL", "Baudrate", 9600), 1200);
    EXPECT_EQ(ini.GetSetting(" General ", " baudRATE ", 9600), 1200);
    EXPECT_EQ(ini.GetSetting("GENERAL", "Description", ""), "Hall 3, left");
    // Only the first section of a name counts.
    EXPECT_EQ(ini.GetSetting("GENERAL", "Comport", 1), 1);
    EXPECT_EQ(ini.GetSectionNames(), "general");
}

TEST_F(IniTest, IntegersTakeSignAndLeadingDigits) {
    Put("[KOV]\nNodeAddress=-1\nOffset= -250 \nPlus=+5\nUnit=12 mm\nText=abc\nEmpty=\n"
        "Huge=99999999999999999999\nTiny=-99999999999999999999\n");
    EXPECT_EQ(ini.GetSetting("KOV", "NodeAddress", 0), -1);
    EXPECT_EQ(ini.GetSetting("KOV", "Offset", 0), -250);
    EXPECT_EQ(ini.GetSetting("KOV", "Plus", 0), 5);
    EXPECT_EQ(ini.GetSetting("KOV", "Unit", 0), 12);
    EXPECT_EQ(ini.GetSetting("KOV", "Text", 7), 0);
    EXPECT_EQ(ini.GetSetting("KOV", "Empty", 7), 0);
    EXPECT_EQ(ini.GetSetting("KOV", "Huge", 0), 2147483647);
    EXPECT_EQ(ini.GetSetting("KOV", "Tiny", 0), -2147483647 - 1);
}

TEST_F(IniTest, DoublesFollowTheDecimalSeparator) {
    Put("[CHART]\nyMax=12,5\nyMin=-0.25\nBig=1E+16\nGrouped=1.234,5\nWord=high\nTwo=1,2,3\n");
    modFunctions::SetDecimalSeparator(',');
    EXPECT_DOUBLE_EQ(ini.GetSetting("CHART", "yMax", 5000.0), 12.5);
    EXPECT_DOUBLE_EQ(ini.GetSetting("CHART", "yMin", 0.0), -0.25);
    EXPECT_DOUBLE_EQ(ini.GetSetting("CHART", "Big", 0.0), 1e16);
    EXPECT_DOUBLE_EQ(ini.GetSetting("CHART", "Grouped", 0.0), 1234.5);
    EXPECT_DOUBLE_EQ(ini.GetSetting("CHART", "Word", 5000.0), 5000.0);
    EXPECT_DOUBLE_EQ(ini.GetSetting("CHART", "Two", 5000.0), 5000.0);

    modFunctions::SetDecimalSeparator('.');
    EXPECT_DOUBLE_EQ(ini.GetSetting("CHART", "yMax", 5000.0), 12.5);
    EXPECT_DOUBLE_EQ(ini.GetSetting("CHART", "yMin", 0.0), -0.25);
}

TEST_F(IniTest, DoublesWrittenAsNumberTextReadBackUnchanged) {
    std::mt19937 rng(7);
    std::uniform_real_distribution<double> mantissa(-10.0, 10.0);
    std::uniform_int_distribution<int> exponent(-6, 18);
    for (char sep : {',', '.'}) {
        modFunctions::SetDecimalSeparator(sep);
        for (int i = 0; i < 50; ++i) {
            const double v = mantissa(rng) * std::pow(10.0, exponent(rng));
            const std::string text = modFunctions::NumberText(v);
            ASSERT_TRUE(ini.WriteSetting("CHART", "yMax", text));
            const double back = ini.GetSetting("CHART", "yMax", 0.0);
            EXPECT_NEAR(back, v, std::fabs(v) * 1e-14) << text;
            EXPECT_EQ(modFunctions::NumberText(back), text);
        }
    }
}

TEST_F(IniTest, LongValuesAreCutLikeTheProfileBuffers) {
    const std::string longText(300, 'x');
    const std::string tiny = "0." + std::string(61, '0') + "5";  // 64 characters
    Put("[S]\nText=" + longText + "\nTiny=" + tiny + "\nUmlauts=" + std::string(253, 'a') + "äöü\n");
    EXPECT_EQ(ini.GetSetting("S", "Text", ""), std::string(254, 'x'));
    EXPECT_EQ(ini.GetSetting("S", "Tiny", 1.0), 0.0);  // the 5 lies beyond 63 characters
    // Characters, not bytes: no umlaut is cut in half.
    EXPECT_EQ(ini.GetSetting("S", "Umlauts", ""), std::string(253, 'a') + "ä");

    std::string many = "[Big]\n";
    for (int i = 0; i < 200; ++i) many += "Key" + std::to_string(i) + "=" + std::string(20, 'v') + "\n";
    Put(many);
    const std::string section = ini.GetSection("Big");
    EXPECT_LE(section.size(), 1023u);
    EXPECT_GE(section.size(), 1000u);
    EXPECT_EQ(section.compare(0, 28, std::string("Key0=") + std::string(20, 'v') + '\0' + "Ke"), 0);
    EXPECT_NE(section.back(), '\0');
}

TEST_F(IniTest, SectionAndSectionNamesAreNulSeparatedLists) {
    Put("; settings\n[GENERAL]\nBaudrate = 9600\n; no entry\ngarbage\nComport=1\n[CHART]\n[FILES]\n1KOVFile=/a b.kov\n");
    EXPECT_EQ(ini.GetSection("general"), std::string("Baudrate=9600\0Comport=1", 23));
    EXPECT_EQ(ini.GetSection("CHART"), "");
    EXPECT_EQ(ini.GetSectionNames(), std::string("GENERAL\0CHART\0FILES", 19));
}

TEST_F(IniTest, WriteCreatesFileAndSectionWithoutBlanksOrBom) {
    ASSERT_TRUE(ini.WriteSetting("GENERAL", "Baudrate", "9600"));
    ASSERT_TRUE(ini.WriteSetting("GENERAL", "Comport", "1"));
    ASSERT_TRUE(ini.WriteSetting("CHART", "yMax", "5000"));
    EXPECT_EQ(Content(), "[GENERAL]\nBaudrate=9600\nComport=1\n[CHART]\nyMax=5000\n");
    EXPECT_EQ(ini.GetSetting("GENERAL", "Comport", 0), 1);

    // Several keys at once: one replacement of the file, the same rules.
    ASSERT_TRUE(ini.WriteSettings("chart", {{"yMin", "0"}, {"YMAX", "12,5"}, {"AutoScale", "1"}}));
    EXPECT_EQ(Content(), "[GENERAL]\nBaudrate=9600\nComport=1\n[CHART]\nYMAX=12,5\nyMin=0\nAutoScale=1\n");
    EXPECT_FALSE(ini.WriteSettings("CHART", {{"yMin", "1"}, {"bad=key", "2"}}));  // all or nothing
    EXPECT_EQ(ini.GetSetting("CHART", "yMin", 5), 0);
}

TEST_F(IniTest, WriteKeepsEveryOtherLineUntouched) {
    const std::string before =
        "; written by hand\r\n"
        "[GENERAL]\r\n"
        "Baudrate = 9600   ; fast enough\r\n"
        "this line means nothing\r\n"
        "\r\n"
        "Comport=2\r\n"
        "baudrate=1\r\n"
        "\r\n"
        "[CHART]\r\n"
        "yMax=5000\r\n"
        "[general]\r\n"
        "Baudrate=300";
    Put(before);

    // Replace: only the first Baudrate line of the first GENERAL changes.
    ASSERT_TRUE(ini.WriteSetting("general", "BAUDRATE", "19200"));
    std::string expected = before;
    expected.replace(expected.find("Baudrate = 9600   ; fast enough"), 31, "BAUDRATE=19200");
    EXPECT_EQ(Content(), expected);

    // New key: after the last entry of its section, with the file's line end.
    ASSERT_TRUE(ini.WriteSetting("GENERAL", "Language", "1"));
    expected.insert(expected.find("baudrate=1\r\n") + 12, "Language=1\r\n");
    EXPECT_EQ(Content(), expected);

    // New section: appended; the unterminated last line gets its line end first.
    ASSERT_TRUE(ini.WriteSetting("FILES", "1KOVFile", "/home/kov/a.kov"));
    expected += "\r\n[FILES]\r\n1KOVFile=/home/kov/a.kov\r\n";
    EXPECT_EQ(Content(), expected);

    EXPECT_EQ(ini.GetSetting("GENERAL", "Baudrate", 0), 19200);
    EXPECT_EQ(ini.GetSetting("GENERAL", "Language", 0), 1);
}

TEST_F(IniTest, WriteKeepsOldCarriageReturnLinesAndTheBom) {
    Put("\xEF\xBB\xBF[A]\rx=1\r[B]\ry=2");
    ASSERT_TRUE(ini.WriteSetting("A", "z", "3"));
    EXPECT_EQ(Content(), "\xEF\xBB\xBF[A]\rx=1\rz=3\r[B]\ry=2");
    EXPECT_EQ(ini.GetSetting("B", "y", 0), 2);
}

TEST_F(IniTest, WriteKeepsTheBomAndTheFirstSectionBehindIt) {
    const std::string bom = "\xEF\xBB\xBF";
    const std::string before = bom + "[GENERAL]\r\nBaudrate=9600\r\n[CHART]\r\nyMax=5000";
    Put(before);
    EXPECT_EQ(ini.GetSetting("GENERAL", "Baudrate", 0), 9600);
    EXPECT_EQ(ini.GetSectionNames(), std::string("GENERAL\0CHART", 13));

    // Writing what is already there leaves the file as it is, byte for byte.
    ASSERT_TRUE(ini.WriteSetting("GENERAL", "Baudrate", "9600"));
    EXPECT_EQ(Content(), before);

    // The section on the first line is found, not added a second time.
    ASSERT_TRUE(ini.WriteSetting("general", "Baudrate", "19200"));
    std::string expected = bom + "[GENERAL]\r\nBaudrate=19200\r\n[CHART]\r\nyMax=5000";
    EXPECT_EQ(Content(), expected);
    ASSERT_TRUE(ini.WriteSetting("GENERAL", "Comport", "2"));
    expected = bom + "[GENERAL]\r\nBaudrate=19200\r\nComport=2\r\n[CHART]\r\nyMax=5000";
    EXPECT_EQ(Content(), expected);

    // A key replaced on the unterminated last line stays unterminated; a line
    // added behind it ends that line first.
    ASSERT_TRUE(ini.WriteSetting("CHART", "yMax", "100"));
    expected = bom + "[GENERAL]\r\nBaudrate=19200\r\nComport=2\r\n[CHART]\r\nyMax=100";
    EXPECT_EQ(Content(), expected);
    ASSERT_TRUE(ini.WriteSetting("CHART", "yMin", "0"));
    expected += "\r\nyMin=0\r\n";
    EXPECT_EQ(Content(), expected);

    // Twice the same write: the same file.
    ASSERT_TRUE(ini.WriteSetting("FILES", "1KOVFile", "/home/kov/a.kov"));
    expected += "[FILES]\r\n1KOVFile=/home/kov/a.kov\r\n";
    EXPECT_EQ(Content(), expected);
    ASSERT_TRUE(ini.WriteSetting("FILES", "1KOVFile", "/home/kov/a.kov"));
    EXPECT_EQ(Content(), expected);
    EXPECT_EQ(ini.GetSetting("GENERAL", "Comport", 0), 2);
}

TEST_F(IniTest, WriteIntoAFileThatIsOnlyABomOrHasNoLineEnd) {
    Put("\xEF\xBB\xBF");
    ASSERT_TRUE(ini.WriteSetting("A", "x", "1"));
    EXPECT_EQ(Content(), "\xEF\xBB\xBF[A]\nx=1\n");

    Put("\xEF\xBB\xBF[A]");
    ASSERT_TRUE(ini.WriteSetting("A", "x", "1"));
    EXPECT_EQ(Content(), "\xEF\xBB\xBF[A]\nx=1\n");
    EXPECT_EQ(ini.GetSetting("A", "x", 0), 1);

    // Line ends of either kind are kept where they are; added lines take the file's first.
    Put("[A]\nx=1\r\n[B]\r\ny=2\n");
    ASSERT_TRUE(ini.WriteSettings("B", {{"y", "3"}, {"z", "4"}}));
    EXPECT_EQ(Content(), "[A]\nx=1\r\n[B]\r\ny=3\nz=4\n");

    // Lone CR line ends: a line added in front of an empty LF line must not
    // turn into one CR LF with it (the empty line would vanish).
    Put("a=1\r[s]\n\n[t]\n");
    ASSERT_TRUE(ini.WriteSetting("s", "Key0", "V"));
    EXPECT_EQ(Content(), "a=1\r[s]\nKey0=V\r\n\n[t]\n");
}

// Keys of several sections in one replacement of the file: every other byte
// stays, the byte-order mark too; a name that cannot be written stops all of them.
TEST_F(IniTest, WriteAcrossSectionsInOneGo) {
    const std::string bom = "\xEF\xBB\xBF";
    Put(bom + "; mine\r\n[GENERAL]\r\nBaudrate = 9600 ; fast\r\n\r\n[CHART]\r\nyMax=5000");
    const auto before = fs::last_write_time(path);
    std::string error = "untouched";
    ASSERT_TRUE(ini.WriteSettings({{"GENERAL", "Baudrate", "19200"},
                                   {"general", "Comport", "2"},
                                   {"CHART", "yMax", "100"},
                                   {"FILES", "1KOVFile", "/a.kov"}},
                                  &error));
    EXPECT_EQ(error, "untouched");
    EXPECT_EQ(Content(), bom +
                             "; mine\r\n[GENERAL]\r\nBaudrate=19200\r\nComport=2\r\n\r\n[CHART]\r\nyMax=100"
                             "\r\n[FILES]\r\n1KOVFile=/a.kov\r\n");
    EXPECT_EQ(FilesInDir(), 1u);

    // Nothing to change: the file is not even rewritten.
    fs::last_write_time(path, before);
    ASSERT_TRUE(ini.WriteSettings({{"GENERAL", "Comport", "2"}, {"CHART", "yMax", "100"}}));
    EXPECT_EQ(fs::last_write_time(path), before);

    const std::string kept = Content();
    EXPECT_FALSE(ini.WriteSettings({{"GENERAL", "Comport", "3"}, {"CH]ART", "yMax", "1"}}, &error));
    EXPECT_NE(error.find("CH]ART"), std::string::npos) << error;
    EXPECT_FALSE(ini.WriteSettings({{"GENERAL", "Comport", "3"}, {"CHART", "y=Max", "1"}}, &error));
    EXPECT_NE(error.find("y=Max"), std::string::npos) << error;
    EXPECT_EQ(Content(), kept);
}

// A failed write says why, naming the file or folder that failed. A folder
// whose parent is a file fails for every user, root included.
TEST_F(IniTest, FailedWriteSaysWhy) {
    Put("[GENERAL]\nBaudrate=9600\n");
    clsIni nowhere;
    nowhere.Filename(path + "/KOV.ini");
    std::string error;
    EXPECT_FALSE(nowhere.WriteSettings({{"GENERAL", "Baudrate", "1200"}}, &error));
    EXPECT_EQ(error, path + ": " + std::generic_category().message(ENOTDIR));
    EXPECT_EQ(Content(), "[GENERAL]\nBaudrate=9600\n");

    fs::create_directory(dir / "folder.ini");
    clsIni folder;
    folder.Filename((dir / "folder.ini").string());
    EXPECT_FALSE(folder.WriteSettings({{"GENERAL", "Baudrate", "1200"}}, &error));
    EXPECT_EQ(error, (dir / "folder.ini").string() + ": not a file");

    // The disk fills up in the middle of the write.
    struct rlimit old {};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    struct rlimit small = old;
    small.rlim_cur = 4096;
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const bool written = ini.WriteSettings({{"GENERAL", "Description", std::string(10000, 'd')}}, &error);
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_FALSE(written);
    EXPECT_EQ(error.rfind((dir / "KOV.ini").string() + ": ", 0), 0u) << error;  // the file the user knows
    EXPECT_NE(error.find(std::generic_category().message(EFBIG)), std::string::npos) << error;
    EXPECT_EQ(FilesInDir(), 2u);  // the file and the folder; no temporary file left behind
}

TEST_F(IniTest, WriteKeepsValuesOnOneLine) {
    ASSERT_TRUE(ini.WriteSetting("KOV", "Description", "two\r\nlines\0x"));
    ASSERT_TRUE(ini.WriteSetting("KOV", "Description", std::string("line\nbreak\0nul", 15)));
    EXPECT_EQ(ini.GetSetting("KOV", "Description", ""), "line break nul");
    EXPECT_EQ(ini.GetSectionNames(), "KOV");
    EXPECT_FALSE(ini.WriteSetting("KOV", "a=b", "1"));
    EXPECT_FALSE(ini.WriteSetting("K]OV", "a", "1"));
    EXPECT_FALSE(ini.WriteSetting("KOV\n[X]", "a", "1"));
}

TEST_F(IniTest, WriteKeepsPermissionsAndSymlinks) {
    Put("[A]\nx=1\n");
    fs::permissions(path, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    ASSERT_TRUE(ini.WriteSetting("A", "x", "2"));
    EXPECT_EQ(fs::status(path).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);

    const std::string link = (dir / "link.ini").string();
    fs::create_symlink(path, link);
    clsIni viaLink;
    viaLink.Filename(link);
    ASSERT_TRUE(viaLink.WriteSetting("A", "x", "3"));
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(Content(), "[A]\nx=3\n");
}

TEST_F(IniTest, FailedWriteLeavesTheOldFile) {
    Put("[GENERAL]\nBaudrate=9600\n");

    // The disk fills up in the middle of the write.
    struct rlimit old {};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    struct rlimit small = old;
    small.rlim_cur = 4096;
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const bool written = ini.WriteSetting("GENERAL", "Description", std::string(10000, 'd'));
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_FALSE(written);
    EXPECT_EQ(Content(), "[GENERAL]\nBaudrate=9600\n");
    EXPECT_EQ(FilesInDir(), 1u);  // no temporary file left behind

    // A folder that does not exist.
    clsIni nowhere;
    nowhere.Filename((dir / "missing" / "KOV.ini").string());
    EXPECT_FALSE(nowhere.WriteSetting("GENERAL", "Baudrate", "1200"));

    // Something too large to be a settings file is neither read nor replaced.
    const std::string big = (dir / "big.ini").string();
    std::ofstream(big, std::ios::binary) << "[GENERAL]\nBaudrate=1200\n";
    fs::resize_file(big, clsIni::MaxFileSize);
    clsIni huge;
    huge.Filename(big);
    EXPECT_EQ(huge.GetSetting("GENERAL", "Baudrate", 9600), 1200);  // the largest there may be
    fs::resize_file(big, clsIni::MaxFileSize + 1);
    EXPECT_EQ(huge.GetSetting("GENERAL", "Baudrate", 9600), 9600);
    EXPECT_FALSE(huge.WriteSetting("GENERAL", "Baudrate", "4800"));
    EXPECT_EQ(fs::file_size(big), clsIni::MaxFileSize + 1);

    // The name is a folder, not a file.
    fs::create_directory(dir / "folder.ini");
    clsIni folder;
    folder.Filename((dir / "folder.ini").string());
    EXPECT_FALSE(folder.WriteSetting("GENERAL", "Baudrate", "1200"));
    EXPECT_EQ(folder.GetSetting("GENERAL", "Baudrate", 9600), 9600);
}

TEST_F(IniTest, FailedWriteInReadOnlyFolderLeavesTheOldFile) {
    Put("[GENERAL]\nBaudrate=9600\n");
    fs::permissions(dir, fs::perms::owner_read | fs::perms::owner_exec);
    if (::access(dir.c_str(), W_OK) == 0) GTEST_SKIP() << "permissions do not bind this user";
    EXPECT_FALSE(ini.WriteSetting("GENERAL", "Baudrate", "1200"));
    EXPECT_EQ(ini.GetSetting("GENERAL", "Baudrate", 0), 9600);
}

TEST_F(IniTest, DamagedFilesNeverCrashAndReadWhatIsReadable) {
    std::string damaged = "\xEF\xBB\xBF[GENERAL]\r\n";
    damaged += std::string("Nul=12\0" "34\n", 10);
    damaged += "\xff\xfe\x01garbage\x80\x9f\n";
    damaged += "]\n=\n==\n";
    damaged += "Long=" + std::string(1 << 19, 'L') + "\n";
    damaged += "Comport=4\n";
    damaged += "[=]==\n[\nComport=5\n[GENERAL]\nComport=6";
    Put(damaged);
    EXPECT_EQ(ini.GetSetting("GENERAL", "Nul", 0), 12);
    EXPECT_EQ(ini.GetSetting("GENERAL", "Comport", 0), 4);
    EXPECT_EQ(ini.GetSetting("GENERAL", "Long", "").size(), 254u);
    EXPECT_EQ(ini.GetSetting("GENERAL", "Missing", 5), 5);
    EXPECT_EQ(ini.GetSectionNames(), std::string("GENERAL\0=", 9));

    std::mt19937 rng(11);
    std::uniform_int_distribution<int> byte(0, 255);
    for (int round = 0; round < 20; ++round) {
        std::string noise(4000, '\0');
        for (char& c : noise) c = static_cast<char>(byte(rng));
        Put(noise);
        (void)ini.GetSetting("GENERAL", "Baudrate", 9600);
        (void)ini.GetSetting("GENERAL", "yMax", 1.0);
        (void)ini.GetSetting("GENERAL", "Description", "");
        (void)ini.GetSection("GENERAL");
        (void)ini.GetSectionNames();
        const std::string before = Content();
        ASSERT_TRUE(ini.WriteSetting("GENERAL", "Baudrate", "9600"));
        EXPECT_EQ(ini.GetSetting("GENERAL", "Baudrate", 0), 9600);
        // Everything that was there is still there, in the same order.
        const std::string after = Content();
        size_t at = 0;
        for (char c : before) {
            at = after.find(c, at);
            ASSERT_NE(at, std::string::npos);
            ++at;
        }
    }
}

// The file is parsed once and kept; every change of it is seen at the next
// read, however it is made: in place within the same instant, with the same
// size, replaced by another file, even with its modification time put back.
TEST_F(IniTest, EveryChangeOfTheFileIsSeenByTheNextRead) {
    const auto set = [&](const std::string& content) { Put("[GENERAL]\nComport=" + content + "\n"); };
    set("1");
    EXPECT_EQ(ini.GetSetting("GENERAL", "Comport", 0), 1);
    set("2");  // in place, same size, within microseconds
    EXPECT_EQ(ini.GetSetting("GENERAL", "Comport", 0), 2);

    // A file that has not changed for an hour (its parse is trusted without reading).
    const auto old = fs::last_write_time(path) - std::chrono::hours(1);
    fs::last_write_time(path, old);
    EXPECT_EQ(ini.GetSetting("GENERAL", "Comport", 0), 2);
    EXPECT_EQ(ini.GetSetting("GENERAL", "Comport", 0), 2);
    set("3");  // same size, time put back: the change time still tells
    fs::last_write_time(path, old);
    EXPECT_EQ(ini.GetSetting("GENERAL", "Comport", 0), 3);
    const std::string other = (dir / "other.ini").string();
    std::ofstream(other, std::ios::binary) << "[GENERAL]\nComport=4\n";
    fs::last_write_time(other, old);
    fs::rename(other, path);  // another file under the name
    EXPECT_EQ(ini.GetSetting("GENERAL", "Comport", 0), 4);
    ASSERT_TRUE(ini.WriteSetting("GENERAL", "Comport", "5"));  // our own write
    EXPECT_EQ(ini.GetSetting("GENERAL", "Comport", 0), 5);
    clsIni second;  // another reader of the same file
    second.Filename(path);
    EXPECT_EQ(second.GetSetting("GENERAL", "Comport", 0), 5);
    ASSERT_TRUE(ini.WriteSetting("GENERAL", "Comport", "6"));
    EXPECT_EQ(second.GetSetting("GENERAL", "Comport", 0), 6);
    fs::remove(path);
    EXPECT_EQ(second.GetSetting("GENERAL", "Comport", 0), 0);
}

// A file name in the index is the file system's: on POSIX its bytes stay as
// they are, UTF-8 or not; text values are read as Windows-1252 as ever.
TEST_F(IniTest, PathsKeepTheirBytes) {
    Put("[FILES]\n1KOVFile=/data/Gr\xf6\xdf" "e.kov \n2KOVFile=/data/Gr\xc3\xb6\xc3\x9f" "e.kov\n");
    EXPECT_EQ(ini.GetPath("FILES", "1KOVFile"), "/data/Gr\xf6\xdf" "e.kov");
    EXPECT_EQ(ini.GetSetting("FILES", "1KOVFile", ""), "/data/Größe.kov");
    EXPECT_EQ(ini.GetPath("files", "2kovfile"), "/data/Größe.kov");
    EXPECT_EQ(ini.GetPath("FILES", "3KOVFile"), "");
}

// KOV.ini through a link: followed when the user owns the link, refused
// when someone else does (they could steer the settings into any file).
TEST_F(IniTest, ALinkOfAnotherUserIsNotWrittenThrough) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to make a link of another user";
    Put("[A]\nx=1\n");
    const std::string link = (dir / "link.ini").string();
    fs::create_symlink(path, link);
    ASSERT_EQ(::lchown(link.c_str(), 65534, 65534), 0);
    clsIni viaLink;
    viaLink.Filename(link);
    EXPECT_EQ(viaLink.GetSetting("A", "x", 0), 1);  // reading does no harm
    std::string error;
    EXPECT_FALSE(viaLink.WriteSettings({{"A", "x", "2"}}, &error));
    EXPECT_EQ(error, link + ": a link of another user, not followed");
    EXPECT_EQ(Content(), "[A]\nx=1\n");
}

TEST_F(IniTest, EightBitValuesAreReadAsWindows1252) {
    Put("[Ger\xe4t]\nDescription=Halle 3 \x96 S\xfc" "d \x80\nUtf8=Gr\xc3\xbc\xc3\x9f" "e\n");
    EXPECT_EQ(ini.GetSetting("Gerät", "Description", ""), "Halle 3 – Süd €");
    EXPECT_EQ(ini.GetSetting("Gerät", "Utf8", ""), "Grüße");
    EXPECT_EQ(ini.GetSectionNames(), "Gerät");
}

TEST_F(IniTest, FilenameStartsBesideTheProgram) {
    modAPI::SetProgramFolder("/opt/kov");
    clsIni fresh;
    EXPECT_EQ(fresh.Filename(), "/opt/kov/" + modAPI::ExecutableName() + ".ini");
    modAPI::SetProgramFolder("");
    fresh.Filename("  /tmp/with blank.ini \t");
    EXPECT_EQ(fresh.Filename(), "/tmp/with blank.ini");
}

}  // namespace
