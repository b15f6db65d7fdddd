// The *.rec format: time stamps, lines, file names, writing through, reading back.
#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <algorithm>
#include <fstream>
#include <sstream>
#include <random>
#ifndef _WIN32
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#endif
#include <vector>

#include "Measurement.h"
#include "ScratchFolder.h"
#include "clsKOV.h"
#include "clsRecordWriter.h"
#include "modAPI.h"
#include "modKOVComm.h"
#include "modRecFile.h"

namespace fs = std::filesystem;
using modRecFile::FormatTimeStamp;

namespace {

using testsupport::ScratchFolder;

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

void WriteAll(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary);
    out << text;
}

double At(int y, int mo, int d, int h, int mi, int s, int ms) { return modAPI::DayCount(y, mo, d, h, mi, s, ms); }

}  // namespace

// --- Time stamps -------------------------------------------------------------

TEST(RecTimeStamp, WholeSecondsAreNotWrittenOneMillisecondLow) {
    EXPECT_EQ(FormatTimeStamp(At(2026, 12, 7, 13, 45, 3, 0)), "07.12.2026 13:45:03,000");
    EXPECT_EQ(FormatTimeStamp(At(2026, 12, 7, 13, 45, 2, 250)), "07.12.2026 13:45:02,250");
    EXPECT_EQ(FormatTimeStamp(At(2026, 1, 1, 0, 0, 0, 0)), "01.01.2026 00:00:00,000");
}

TEST(RecTimeStamp, EveryMillisecondOfADayStretchIsExact) {
    // Every millisecond of several whole minutes, spread over the day.
    for (int hour : {0, 7, 13, 23}) {
        for (int ms = 0; ms < 60000; ++ms) {
            const double t = At(2026, 3, 15, hour, 59, ms / 1000, ms % 1000);
            char expected[40];
            std::snprintf(expected, sizeof expected, "15.03.2026 %02d:59:%02d,%03d", hour, ms / 1000, ms % 1000);
            ASSERT_EQ(FormatTimeStamp(t), expected) << "hour " << hour << " ms " << ms;
        }
    }
}

TEST(RecTimeStamp, RoundsToTheNearestMillisecondAndRollsOverTheDay) {
    const double ms = 1.0 / modAPI::MsPerDay;
    EXPECT_EQ(FormatTimeStamp(At(2026, 12, 7, 13, 45, 2, 250) + 0.4 * ms), "07.12.2026 13:45:02,250");
    EXPECT_EQ(FormatTimeStamp(At(2026, 12, 7, 13, 45, 2, 250) + 0.6 * ms), "07.12.2026 13:45:02,251");
    EXPECT_EQ(FormatTimeStamp(At(2026, 12, 31, 23, 59, 59, 999) + 0.7 * ms), "01.01.2027 00:00:00,000");
    EXPECT_EQ(FormatTimeStamp(At(2028, 2, 28, 23, 59, 59, 999) + 0.7 * ms), "29.02.2028 00:00:00,000");
    EXPECT_EQ(FormatTimeStamp(At(2026, 2, 28, 23, 59, 59, 999) + 0.7 * ms), "01.03.2026 00:00:00,000");
}

// --- Lines -------------------------------------------------------------------

TEST(RecLine, DistancesMarkersAndTemperature) {
    const double t = At(2026, 12, 7, 13, 45, 2, 250);
    EXPECT_EQ(modRecFile::FormatLine(t, 1234, "25 \xB0" "C"), "07.12.2026 13:45:02,250; 1234 mm; 25 \xB0" "C");
    EXPECT_EQ(modRecFile::FormatLine(t, -17, "25"), "07.12.2026 13:45:02,250; -17 mm; 25 \xB0" "C");
    EXPECT_EQ(modRecFile::FormatLine(t, 0, "25"), "07.12.2026 13:45:02,250; No Echo; 25 \xB0" "C");
    EXPECT_EQ(modRecFile::FormatLine(t, modKOVComm::NoEchoValue, "25"), "07.12.2026 13:45:02,250; No Echo; 25 \xB0" "C");
    EXPECT_EQ(modRecFile::FormatLine(t, modKOVComm::TempErrorValue, "25"), "07.12.2026 13:45:02,250; TempError; 25 \xB0" "C");
    // No temperature read yet: the field stays empty, the line is written.
    EXPECT_EQ(modRecFile::FormatLine(t, 5, ""), "07.12.2026 13:45:02,250; 5 mm;  \xB0" "C");
    // Whatever the link holds, the record stays one line.
    EXPECT_EQ(modRecFile::FormatLine(t, 5, "2\r\n5\x7F\t\x01"), "07.12.2026 13:45:02,250; 5 mm; 25 \xB0" "C");
    EXPECT_EQ(modRecFile::FormatLine(t, 5, "\xB0\xFF"), "07.12.2026 13:45:02,250; 5 mm; \xB0\xFF \xB0" "C");
}

TEST(RecLine, MarkersAreTakenFromTheMillimetreValue) {
    clsKOV link;
    link.CurrentTime = At(2026, 12, 7, 13, 45, 2, 250);
    link.sTemperature = "24.5 C";
    link.DistanceUnit = 1;  // m
    link.MeasValue = 0;     // 0.4 mm shown in metres with rounding
    link.MeasValue_mm = 1;
    EXPECT_EQ(modRecFile::FormatLine(MeasurementOf(link)),
              "07.12.2026 13:45:02,250; 1 mm; 24.5 \xB0"
              "C");
    link.MeasValue = 2147483.647;  // the no-echo marker in metres
    link.MeasValue_mm = modKOVComm::NoEchoValue;
    EXPECT_NE(modRecFile::FormatLine(MeasurementOf(link)).find("; No Echo; "), std::string::npos);
    link.MeasValue = 2147483.632;
    link.MeasValue_mm = modKOVComm::TempErrorValue;
    EXPECT_NE(modRecFile::FormatLine(MeasurementOf(link)).find("; TempError; "), std::string::npos);
    // Another value of the marker shape has no word of its own: its number is written.
    link.MeasValue_mm = 0x7F1234FF;
    EXPECT_NE(modRecFile::FormatLine(MeasurementOf(link)).find("; 2131899647 mm; "), std::string::npos);
}

TEST(RecLine, ParseReadsWhatIsWritten) {
    modRecFile::Line line;
    ASSERT_TRUE(modRecFile::ParseLine("07.12.2026 13:45:02,250; 1234 mm; 25 \xB0" "C", line));
    EXPECT_EQ(modRecFile::DateToMs(line.Time), modRecFile::DateToMs(At(2026, 12, 7, 13, 45, 2, 250)));
    EXPECT_EQ(line.Distance, 1234);
    ASSERT_TRUE(modRecFile::ParseLine("07.12.2026 13:45:02,300; No Echo; 25 \xB0" "C", line));
    EXPECT_EQ(line.Distance, modKOVComm::NoEchoValue);
    ASSERT_TRUE(modRecFile::ParseLine("07.12.2026 13:45:02,350; TempError; 25 \xB0" "C", line));
    EXPECT_EQ(line.Distance, modKOVComm::TempErrorValue);
    ASSERT_TRUE(modRecFile::ParseLine("07.12.2026 13:45:02,350; -17 mm; \xFF\xFE garbage", line));
    EXPECT_EQ(line.Distance, -17);
    // The temperature is not read: a line cut after the distance still loads.
    ASSERT_TRUE(modRecFile::ParseLine("07.12.2026 13:45:02,350; 88 mm", line));
    EXPECT_EQ(line.Distance, 88);
}

TEST(RecLine, BadLinesAreRefused) {
    modRecFile::Line line;
    for (const char* bad : {"", "garbage", "07.12.2026 13:4", "07.12.2026 13:45:02,250",
                            "07.12.2026 13:45:02,250;", "07.12.2026 13:45:02,250; abc mm; 25",
                            "07.12.2026 13:45:02,250; 99999999999 mm; 25", "2026-12-07 13:45:02,250; 5 mm; 25",
                            "07.12 13:45:02,250; 5 mm; 25", "07.12.2026.1 13:45:02,250; 5 mm; 25",
                            "31.02.2026 13:45:02,250; 5 mm; 25", "07.13.2026 13:45:02,250; 5 mm; 25",
                            "07.12.2026 24:00:00,000; 5 mm; 25", "07.12.2026 13:45:02,2500; 5 mm; 25",
                            "07.12.2026 13:45:02; 5 mm; 25", "07122026 13:45:02,250; 5 mm; 25",
                            "07.12.2026 13:x5:02,250; 5 mm; 25", "\x80\x81\x82;\x83"}) {
        EXPECT_FALSE(modRecFile::ParseLine(bad, line)) << bad;
    }
}

// --- File names --------------------------------------------------------------

// Automatic names: the first free number, each taken by an exclusive
// create, so a second recorder (or a name taken meanwhile, a planted link
// too) moves on to the next number and nothing is written through a link.
TEST(RecFiles, TheNextFreeNumberIsCreatedExclusively) {
    ScratchFolder dir;
    clsRecordWriter first, second, third;
    ASSERT_TRUE(first.CreateNext(dir.path));
    EXPECT_EQ(first.Path(), dir.File("SAVE0001.rec"));
    WriteAll(dir.File("SAVE0003.rec"), "x");
    fs::create_symlink(dir.File("outside.txt"), dir.File("SAVE0002.rec"));  // dangling
    ASSERT_TRUE(second.CreateNext(dir.path));
    EXPECT_EQ(second.Path(), dir.File("SAVE0004.rec"));
    ASSERT_TRUE(third.CreateNext(dir.path));  // while the others record
    EXPECT_EQ(third.Path(), dir.File("SAVE0005.rec"));
    EXPECT_FALSE(fs::exists(dir.File("outside.txt")));
    EXPECT_EQ(ReadAll(dir.File("SAVE0003.rec")), "x");
    EXPECT_EQ(modRecFile::FileName(12345), "SAVE12345.rec");

    // A name given: never one that is there, a link included.
    clsRecordWriter named;
    std::string error;
    for (const char* taken : {"SAVE0003.rec", "SAVE0002.rec"}) {
        EXPECT_FALSE(named.Create(dir.File(taken), &error)) << taken;
        EXPECT_EQ(error, std::strerror(EEXIST));
    }
    EXPECT_EQ(ReadAll(dir.File("SAVE0003.rec")), "x");
    EXPECT_FALSE(fs::exists(dir.File("outside.txt")));
}

// Replace: the old file stays until the first line is there to replace it;
// a recording without lines leaves it as it was, and a link is replaced,
// not followed.
TEST(RecFiles, AReplacedRecordingTakesThePlaceOnlyWithItsFirstLine) {
    ScratchFolder dir;
    const std::string file = dir.File("day.rec");
    WriteAll(file, "old\r\n");
    {
        clsRecordWriter writer;
        ASSERT_TRUE(writer.Replace(file));
        EXPECT_EQ(writer.Path(), file);
        EXPECT_TRUE(writer.Close());  // nothing recorded
    }
    EXPECT_EQ(ReadAll(file), "old\r\n");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path), {}), 1);  // nothing left beside it
    {
        clsRecordWriter writer;
        ASSERT_TRUE(writer.Replace(file));
        EXPECT_EQ(ReadAll(file), "old\r\n");
        ASSERT_TRUE(writer.WriteLine("one"));
        EXPECT_EQ(ReadAll(file), "one\r\n");
        ASSERT_TRUE(writer.WriteLine("two"));
        EXPECT_FALSE(writer.Close());
    }
    EXPECT_EQ(ReadAll(file), "one\r\ntwo\r\n");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path), {}), 1);

    const std::string link = dir.File("link.rec");
    fs::create_symlink(file, link);
    clsRecordWriter writer;
    ASSERT_TRUE(writer.Replace(link));
    ASSERT_TRUE(writer.WriteLine("new"));
    writer.Close();
    EXPECT_FALSE(fs::is_symlink(link));
    EXPECT_EQ(ReadAll(link), "new\r\n");
    EXPECT_EQ(ReadAll(file), "one\r\ntwo\r\n");
}

TEST(RecFiles, FolderIsMadeBelowTheProgramFolder) {
    ScratchFolder dir;
    const std::string folder = modRecFile::MakeFolder(dir.path);
    EXPECT_EQ(folder, dir.File("REC"));
    EXPECT_TRUE(fs::is_directory(folder));
    EXPECT_EQ(modRecFile::MakeFolder(dir.path), folder);  // already there
    WriteAll(dir.File("plain"), "x");
    std::string error;
    EXPECT_EQ(modRecFile::MakeFolder(dir.File("plain"), &error), "");
    EXPECT_FALSE(error.empty());
}

// --- Writer ------------------------------------------------------------------

TEST(RecWriter, EveryLineIsInTheFileAsSoonAsItIsWritten) {
    ScratchFolder dir;
    clsRecordWriter writer;
    ASSERT_TRUE(writer.Create(dir.File("SAVE0001.rec")));
    ASSERT_TRUE(writer.WriteLine("one"));
    EXPECT_EQ(ReadAll(dir.File("SAVE0001.rec")), "one\r\n");
    ASSERT_TRUE(writer.WriteLine("two"));
    EXPECT_EQ(ReadAll(dir.File("SAVE0001.rec")), "one\r\ntwo\r\n");
    EXPECT_FALSE(writer.Close());
    EXPECT_TRUE(fs::exists(dir.File("SAVE0001.rec")));
}

TEST(RecWriter, AnEmptyRecordingLeavesNoFile) {
    ScratchFolder dir;
    clsRecordWriter writer;
    ASSERT_TRUE(writer.Create(dir.File("SAVE0001.rec")));
    EXPECT_TRUE(fs::exists(dir.File("SAVE0001.rec")));
    EXPECT_TRUE(writer.Close());
    EXPECT_FALSE(fs::exists(dir.File("SAVE0001.rec")));
}

TEST(RecWriter, AFileThatCannotBeCreatedIsReported) {
    ScratchFolder dir;
    clsRecordWriter writer;
    std::string error;
    EXPECT_FALSE(writer.Create(dir.File("missing/SAVE0001.rec"), &error));
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(writer.IsOpen());
    EXPECT_FALSE(writer.WriteLine("x", &error));
#ifndef _WIN32
    if (::geteuid() != 0) {  // root writes into read-only folders
        fs::permissions(dir.path, fs::perms::owner_write, fs::perm_options::remove);
        error.clear();
        EXPECT_FALSE(writer.Create(dir.File("SAVE0001.rec"), &error));
        EXPECT_FALSE(error.empty());
    }
#endif
}

#ifndef _WIN32
TEST(RecWriter, ALineThatDoesNotFitIsTakenBackOut) {
    // A file size limit lets a line in only in part, as a full disk does:
    // the file must end with the last whole line, and a file without one
    // is removed.
    ScratchFolder dir;
    const std::string line = "07.12.2026 13:45:02,250; 1234 mm; 25 C";  // 38 bytes + CR LF
    for (const rlim_t limit : {rlim_t{100}, rlim_t{10}}) {
        const std::string file = dir.File("SAVE" + std::to_string(limit) + ".rec");
        const long long whole = static_cast<long long>(limit) / 40;
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            std::signal(SIGXFSZ, SIG_IGN);
            rlimit fileSize{limit, limit};
            ::setrlimit(RLIMIT_FSIZE, &fileSize);
            clsRecordWriter writer;
            std::string error;
            bool ok = writer.Create(file);
            for (long long i = 0; ok && i < whole; ++i) ok = writer.WriteLine(line);
            ok = ok && !writer.WriteLine(line, &error) && !error.empty() && writer.Lines() == whole;
            ok = writer.Close() == (whole == 0) && ok;
            ::_exit(ok ? 0 : 1);
        }
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), 0) << limit;
        if (whole > 0)
            EXPECT_EQ(ReadAll(file), line + "\r\n" + line + "\r\n");
        else
            EXPECT_FALSE(fs::exists(file));
    }
}
#endif

TEST(RecWriter, LinesAreInTheFileWhateverTheSyncInterval) {
    ScratchFolder dir;
    for (double interval : {0.0, -1.0, 1000.0}) {
        const std::string file = dir.File(std::to_string(interval) + ".rec");
        clsRecordWriter writer;
        writer.SetSyncInterval(interval);
        ASSERT_TRUE(writer.Create(file));
        ASSERT_TRUE(writer.WriteLine("one"));
        ASSERT_TRUE(writer.WriteLine("two"));
        EXPECT_EQ(ReadAll(file), "one\r\ntwo\r\n") << interval;
        EXPECT_EQ(writer.Bytes(), 10);
        EXPECT_TRUE(writer.Sync());
        EXPECT_FALSE(writer.Close());
    }
}

// --- Loading -----------------------------------------------------------------

TEST(RecLoad, RecordThenPlayBackGivesTheSamePoints) {
    ScratchFolder dir;
    struct Point {
        double Time;
        std::int32_t Distance;
    };
    std::vector<Point> recorded;
    const double start = At(2026, 12, 31, 23, 59, 58, 0);
    const std::int32_t distances[] = {1234, -17, 0, modKOVComm::NoEchoValue, modKOVComm::TempErrorValue, 99999, 5};
    for (int i = 0; i < 70; ++i)
        recorded.push_back({start + (i * 50 + 0.3) / modAPI::MsPerDay, distances[i % 7]});

    clsRecordWriter writer;
    ASSERT_TRUE(writer.Create(dir.File("SAVE0001.rec")));
    for (const Point& p : recorded) ASSERT_TRUE(writer.WriteLine(modRecFile::FormatLine(p.Time, p.Distance, "25.0 C")));
    writer.Close();

    std::vector<modRecFile::Line> loaded;
    const auto result = modRecFile::Load(dir.File("SAVE0001.rec"), [&](const modRecFile::Line& l) { loaded.push_back(l); });
    ASSERT_TRUE(result.Ok);
    ASSERT_EQ(loaded.size(), recorded.size());
    for (size_t i = 0; i < loaded.size(); ++i) {
        EXPECT_EQ(modRecFile::DateToMs(loaded[i].Time), modRecFile::DateToMs(recorded[i].Time)) << i;
        const std::int32_t expected = recorded[i].Distance == 0 ? modKOVComm::NoEchoValue : recorded[i].Distance;
        EXPECT_EQ(loaded[i].Distance, expected) << i;
    }
    EXPECT_EQ(result.First, loaded.front().Time);
    EXPECT_EQ(result.Last, loaded.back().Time);
}

TEST(RecLoad, AnUnreadableLineStopsLoadingAndKeepsWhatCameBefore) {
    ScratchFolder dir;
    WriteAll(dir.File("a.rec"),
             "07.12.2026 13:45:02,250; 1; 25 \xB0" "C\r\n07.12.2026 13:45:02,300; 2; 25\r\n\x01\x02garbage\r\n"
             "07.12.2026 13:45:02,350; 3; 25\r\n");
    std::vector<std::int32_t> got;
    const auto result = modRecFile::Load(dir.File("a.rec"), [&](const modRecFile::Line& l) { got.push_back(l.Distance); });
    EXPECT_FALSE(result.Ok);
    EXPECT_EQ(result.ErrorLine, 3);
    EXPECT_EQ(got, (std::vector<std::int32_t>{1, 2}));

    // A last line cut off in its time stamp.
    WriteAll(dir.File("b.rec"), "07.12.2026 13:45:02,250; 1 mm; 25\r\n07.12.2026 13:4");
    got.clear();
    EXPECT_FALSE(modRecFile::Load(dir.File("b.rec"), [&](const modRecFile::Line& l) { got.push_back(l.Distance); }).Ok);
    EXPECT_EQ(got.size(), 1u);
}

TEST(RecLoad, EmptyFilesMissingFilesAndLinesWithoutEnds) {
    ScratchFolder dir;
    WriteAll(dir.File("empty.rec"), "");
    int count = 0;
    auto result = modRecFile::Load(dir.File("empty.rec"), [&](const modRecFile::Line&) { ++count; });
    EXPECT_TRUE(result.Ok);
    EXPECT_EQ(result.Lines, 0);
    result = modRecFile::Load(dir.File("none.rec"), [&](const modRecFile::Line&) { ++count; });
    EXPECT_FALSE(result.Ok);
    EXPECT_FALSE(result.Opened);
    WriteAll(dir.File("unix.rec"), "07.12.2026 13:45:02,250; 1 mm; 25\n\n07.12.2026 13:45:03,250; 2 mm; 25");
    result = modRecFile::Load(dir.File("unix.rec"), [&](const modRecFile::Line&) { ++count; });
    EXPECT_TRUE(result.Ok);
    EXPECT_EQ(result.Lines, 2);
    EXPECT_EQ(count, 2);
}

// Bad input: each file loads, or stops at its first unreadable line with the
// lines before it handed over; none takes unbounded memory or time.
TEST(RecLoad, BadInput) {
    ScratchFolder dir;
    const std::string good = "07.12.2026 13:45:02,250; 1234 mm; 25 \xB0" "C\r\n";
    struct Case {
        const char* name;
        std::string text;
        bool ok;
        long long lines;      // handed over
        long long errorLine;  // 0: none
    };
    const std::vector<Case> cases = {
        {"garbage", good + std::string("\x00\x01\xFF\xFEjunk;;;\r\n", 13) + good, false, 1, 2},
        {"binary", std::string("\x7F" "ELF\x02\x01\x01\x00\x00\x00", 10), false, 0, 1},
        {"truncated last line", good + good + "07.12.2026 13:45:0", false, 2, 3},
        {"cut after the distance", good + "07.12.2026 13:45:02,300; 12 mm", true, 2, 0},
        {"8-bit temperature", "07.12.2026 13:45:02,250; 5 mm; \xB0\xFF\x80\xE4 \xB0" "C\r\n" + good, true, 2, 0},
        {"UTF-8 temperature", "07.12.2026 13:45:02,250; 5 mm; 25 \xC2\xB0" "C\r\n", true, 1, 0},
        {"no lines", "", true, 0, 0},
        {"only line ends", "\r\n\r\n  \r\n\n", true, 0, 0},
        {"ISO date", good + "2026-12-07 13:45:02,250; 5 mm; 25\r\n", false, 1, 2},
        {"American date", "12/07/2026 13:45:02,250; 5 mm; 25\r\n", false, 0, 1},
        {"two-part date", "07.12 13:45:02,250; 5 mm; 25\r\n", false, 0, 1},
        {"no day", ".12.2026 13:45:02,250; 5 mm; 25\r\n", false, 0, 1},
        {"30 February", "30.02.2026 13:45:02,250; 5 mm; 25\r\n", false, 0, 1},
        {"two-digit year", "07.12.26 13:45:02,250; 5 mm; 25\r\n", false, 0, 1},
        {"decimal point", "07.12.2026 13:45:02.250; 5 mm; 25\r\n", false, 0, 1},
        {"tab before time", "07.12.2026\t13:45:02,250; 5 mm; 25\r\n", false, 0, 1},
        {"huge distance", "07.12.2026 13:45:02,250; 2147483648 mm; 25\r\n", false, 0, 1},
        {"line without end of 10 MB", std::string(10 << 20, '7'), false, 0, 1},
        {"long line", good + "07.12.2026 13:45:02,250; 5 mm; " + std::string(5000, 'x') + "\r\n" + good, false, 1, 2},
    };
    for (const Case& c : cases) {
        WriteAll(dir.File("bad.rec"), c.text);
        long long taken = 0;
        const auto result = modRecFile::Load(dir.File("bad.rec"), [&](const modRecFile::Line&) { ++taken; });
        EXPECT_EQ(result.Ok, c.ok) << c.name;
        EXPECT_TRUE(result.Opened) << c.name;
        EXPECT_EQ(result.Lines, c.lines) << c.name;
        EXPECT_EQ(taken, c.lines) << c.name;
        EXPECT_EQ(result.ErrorLine, c.errorLine) << c.name;
    }
}

TEST(RecLoad, AMillionLinesWithProgressAndCancel) {
    ScratchFolder dir;
    const std::string file = dir.File("long.rec");
    {
        std::ofstream out(file, std::ios::binary);
        const double start = At(2026, 12, 7, 0, 0, 0, 0);
        for (int i = 0; i < 1000000; ++i)
            out << modRecFile::FormatLine(start + i * 50.0 / modAPI::MsPerDay, 1000 + i % 100, "25") << "\r\n";
    }
    long long count = 0;
    const std::int64_t startMs = modRecFile::DateToMs(At(2026, 12, 7, 0, 0, 0, 0));
    bool inOrder = true;
    std::vector<int> percents;
    const auto result = modRecFile::Load(
        file,
        [&](const modRecFile::Line& l) {
            inOrder = inOrder && modRecFile::DateToMs(l.Time) == startMs + count * 50 && l.Distance == 1000 + count % 100;
            ++count;
        },
        [&](int percent) {
            percents.push_back(percent);
            return true;
        });
    EXPECT_TRUE(result.Ok);
    EXPECT_EQ(result.Lines, 1000000);
    EXPECT_EQ(count, 1000000);
    EXPECT_TRUE(inOrder);
    EXPECT_EQ(modRecFile::DateToMs(result.Last - result.First), 999999LL * 50);
    // Progress only grows and stays within 0..100 (how often it comes depends
    // on the machine's speed).
    EXPECT_TRUE(std::is_sorted(percents.begin(), percents.end()));
    for (int p : percents) EXPECT_TRUE(p >= 0 && p <= 100) << p;

    // A progress that says stop ends the load at once, keeping what came before.
    count = 0;
    const auto stopped = modRecFile::Load(
        file, [&](const modRecFile::Line&) { ++count; },
        [&](int) {
            return false;
        });
    if (stopped.Cancelled) {
        EXPECT_LT(count, 1000000);
        EXPECT_EQ(stopped.Lines, count);
    } else {
        EXPECT_EQ(count, 1000000);  // a machine fast enough to need no progress
    }
}

// --- Chart window of a playback ------------------------------------------------

TEST(RecPlayback, WindowFollowsTheRecordingsSpan) {
    const double t0 = At(2026, 12, 7, 13, 0, 0, 0);
    const double ms = 1.0 / modAPI::MsPerDay;
    EXPECT_EQ(modRecFile::PlaybackWindowMs(t0, t0 + 30000 * ms), 0);   // keeps the current window
    EXPECT_EQ(modRecFile::PlaybackWindowMs(t0, t0 + 60000 * ms), 0);
    EXPECT_EQ(modRecFile::PlaybackWindowMs(t0, t0 + 300000 * ms), 300000);
    EXPECT_EQ(modRecFile::PlaybackWindowMs(t0, t0 + 14.0), 14 * 86400000);
    EXPECT_EQ(modRecFile::PlaybackWindowMs(t0, t0 + 20.0), 86400000);
    EXPECT_EQ(modRecFile::PlaybackWindowMs(t0, t0), 0);
}

TEST(RecPlayback, RangeCoversEveryPoint) {
    double low, high;
    modRecFile::PlaybackRange(1000, 1000, low, high);
    EXPECT_EQ(low, 975);
    EXPECT_EQ(high, 1025);
    modRecFile::PlaybackRange(-17, 5000, low, high);
    EXPECT_LT(low, -17);
    EXPECT_GT(high, 5000);
}
