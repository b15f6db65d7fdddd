// ora2orb2-cli as a user runs it, against the ora2orb2-sim tool through a
// pseudo-terminal: what it prints, the files it writes, its exit codes, and
// what the simulated sensor saw (its command and value logs).
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "ChildProcess.h"
#include "CliArgs.h"
#include "ScratchFolder.h"
#include "clsKOV.h"
#include "modKOVFile.h"
#include "modRecFile.h"

extern char** environ;

namespace {

using namespace testsupport;
using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point t) { return std::chrono::duration<double>(Clock::now() - t).count(); }

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::stringstream s(text);
    for (std::string line; std::getline(s, line);) lines.push_back(line);
    return lines;
}

// A number after "key": in a JSON line; false when the key is missing.
bool JsonNumber(const std::string& line, const std::string& key, long long* value) {
    const std::string k = "\"" + key + "\":";
    const std::size_t p = line.find(k);
    if (p == std::string::npos) return false;
    char* end = nullptr;
    const char* start = line.c_str() + p + k.size();
    *value = std::strtoll(start, &end, 10);
    return end != start;
}

pid_t Spawn(const std::vector<std::string>& args, int outFd, int errFd) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (outFd >= 0) posix_spawn_file_actions_adddup2(&actions, outFd, 1);
    if (errFd >= 0) posix_spawn_file_actions_adddup2(&actions, errFd, 2);
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

struct Result {
    int code = -1;  // exit code; -1 when it did not end in time (then killed)
    std::string out;
    std::string err;
    double firstOutputS = -1;  // seconds from start to the first byte on stdout
};

// Runs the tool; `watch` sees stdout as it grows and may signal the tool.
Result RunCli(const std::vector<std::string>& args, double timeoutS = 30,
              const std::function<void(const std::string& out, pid_t pid)>& watch = {},
              const std::string& tool = ORA_CLI_TOOL) {
    int outPipe[2], errPipe[2];
    Result r;
    if (::pipe(outPipe) != 0 || ::pipe(errPipe) != 0) return r;
    std::vector<std::string> all = {tool};
    all.insert(all.end(), args.begin(), args.end());
    const auto start = Clock::now();
    const pid_t pid = Spawn(all, outPipe[1], errPipe[1]);
    ::close(outPipe[1]);
    ::close(errPipe[1]);
    bool outOpen = true, errOpen = true;
    while ((outOpen || errOpen) && SecondsSince(start) < timeoutS) {
        pollfd fds[2] = {{outPipe[0], POLLIN, 0}, {errPipe[0], POLLIN, 0}};
        ::poll(fds, 2, 50);
        char buffer[4096];
        if (outOpen && (fds[0].revents & (POLLIN | POLLHUP))) {
            const ssize_t n = ::read(outPipe[0], buffer, sizeof buffer);
            if (n <= 0) {
                outOpen = false;
            } else {
                if (r.firstOutputS < 0) r.firstOutputS = SecondsSince(start);
                r.out.append(buffer, static_cast<std::size_t>(n));
            }
        }
        if (errOpen && (fds[1].revents & (POLLIN | POLLHUP))) {
            const ssize_t n = ::read(errPipe[0], buffer, sizeof buffer);
            if (n <= 0) {
                errOpen = false;
            } else {
                r.err.append(buffer, static_cast<std::size_t>(n));
            }
        }
        if (watch && pid > 0) watch(r.out, pid);
    }
    ::close(outPipe[0]);
    ::close(errPipe[0]);
    int status = 0;
    if (pid > 0) {
        bool ended = false;
        while (!ended && SecondsSince(start) < timeoutS) {
            ended = ::waitpid(pid, &status, WNOHANG) == pid;
            if (!ended) std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        if (!ended) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
            return r;
        }
        r.code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    return r;
}

// The last command the sensor heard is "S". It has no answer, so the
// sensor may log it after the tool has ended.
bool StoppedLast(const SimulatorTool& sim) {
    return WaitFor([&] {
        const std::vector<std::string> commands = sim.Commands();
        return !commands.empty() && commands.back() == "S";
    });
}

class CliPty : public ::testing::Test {
protected:
    // The common options for the simulator behind `sim`.
    std::vector<std::string> On(const SimulatorTool& sim, std::vector<std::string> args) const {
        args.insert(args.end(), {"--device", sim.link, "--baud", "38400", "--data-dir", folder});
        return args;
    }
    const ScratchFolder scratch;
    const std::string folder = scratch.path;
};

namespace Exit = cli::ExitCode;

TEST_F(CliPty, InfoShowsTheSimulatorsIdentityAndParameters) {
    SimulatorTool sim(ORA_SIM_TOOL, folder, {"--format", "0", "--unit", "1", "--rain-filter", "--temperature", "31"});
    ASSERT_TRUE(sim.Running());
    const Result json = RunCli(On(sim, {"info", "--json", "--lang", "en"}));
    ASSERT_EQ(json.code, Exit::Ok) << json.err;
    ASSERT_EQ(Lines(json.out).size(), 1u);
    const std::string& j = json.out;
    EXPECT_NE(j.find("\"type\":\"Serial\""), std::string::npos) << j;
    EXPECT_NE(j.find("\"temperature_c\":31,"), std::string::npos) << j;
    EXPECT_NE(j.find("{\"code\":\"101\",\"field\":\"OutputFormat\",\"label\":\"Data Format\",\"value\":0,\"wire\":\"ASCII\"}"),
              std::string::npos)
        << j;
    EXPECT_NE(j.find("{\"code\":\"111\",\"field\":\"DistanceUnit\",\"label\":\"Distance Unit\",\"value\":1,\"wire\":\"M\"}"),
              std::string::npos);
    // The rain filter of this device variant is read (0 = OFF), not -1.
    EXPECT_NE(j.find("\"code\":\"351\",\"field\":\"RainFilter\",\"label\":\"Rainfilter\",\"value\":0,\"wire\":\"OFF\""),
              std::string::npos);

    const Result text = RunCli(On(sim, {"info", "--lang", "de"}));
    ASSERT_EQ(text.code, Exit::Ok) << text.err;
    EXPECT_NE(text.out.find("Temperature:  31 C, OK"), std::string::npos) << text.out;
    EXPECT_NE(text.out.find("111  Meßeinheit"), std::string::npos);
    EXPECT_EQ(Lines(text.out).size(), 8u + 1u + 29u);
}

TEST_F(CliPty, MonitorWritesRowsOfValuesTheSensorSentAndStopsItAtTheEnd) {
    SimulatorTool sim(ORA_SIM_TOOL, folder, {"--format", "3", "--unit", "0"});
    ASSERT_TRUE(sim.Running());
    // Faster values (averaging 16) keep the test short; set is tested on the way.
    ASSERT_EQ(RunCli(On(sim, {"set", "301", "1"})).code, Exit::Ok);
    const Result r = RunCli(On(sim, {"monitor", "--count", "100"}));
    ASSERT_EQ(r.code, Exit::Ok) << r.err;
    std::cout << "start to first row: " << r.firstOutputS << " s (header included)\n";
    const std::vector<std::string> rows = Lines(r.out);
    ASSERT_EQ(rows.size(), 101u);
    EXPECT_EQ(rows[0], "time,distance_mm,distance,unit,state");
    // Every row holds a value the sensor sent, in the order it sent them.
    const std::vector<long long> sent = sim.Values();
    std::size_t at = 0;
    for (std::size_t i = 1; i < rows.size(); ++i) {
        std::stringstream s(rows[i]);
        std::string time, mm, value, unit, state;
        std::getline(s, time, ',');
        std::getline(s, mm, ',');
        std::getline(s, value, ',');
        std::getline(s, unit, ',');
        std::getline(s, state, ',');
        ASSERT_EQ(state, "ok") << rows[i];
        EXPECT_EQ(mm, value);
        EXPECT_EQ(unit, "mm");
        const long long v = std::stoll(mm);
        while (at < sent.size() && sent[at] != v) ++at;
        ASSERT_LT(at, sent.size()) << "row " << i << " (" << v << ") is no value the sensor sent after the row before";
        ++at;
    }
    EXPECT_TRUE(StoppedLast(sim));
}

TEST_F(CliPty, CtrlCStopsTheMeasurementOnTheSensorAndLeavesWholeLines) {
    SimulatorTool sim(ORA_SIM_TOOL, folder, {"--format", "2", "--unit", "1"});
    ASSERT_TRUE(sim.Running());
    bool sent = false;
    const Result r = RunCli(On(sim, {"monitor", "--json", "--temperature"}), 30, [&](const std::string& out, pid_t pid) {
        if (!sent && Lines(out).size() >= 3) {
            ::kill(pid, SIGINT);
            sent = true;
        }
    });
    ASSERT_TRUE(sent);
    EXPECT_EQ(r.code, Exit::Ok) << r.err;
    ASSERT_FALSE(r.out.empty());
    EXPECT_EQ(r.out.back(), '\n');
    for (const std::string& line : Lines(r.out)) {
        EXPECT_EQ(line.front(), '{');
        EXPECT_EQ(line.back(), '}');
        EXPECT_NE(line.find("\"unit\":\"m\""), std::string::npos) << line;
        EXPECT_NE(line.find("\"temperature_c\":23"), std::string::npos) << line;
    }
    EXPECT_TRUE(StoppedLast(sim));
}

TEST_F(CliPty, UploadThenDownloadGivesTheSameFile) {
    SimulatorTool sim(ORA_SIM_TOOL, folder, {"--format", "0", "--rain-filter"});
    ASSERT_TRUE(sim.Running());
    clsKOV wanted;
    wanted.Filename = folder + "/wanted.kov";
    wanted.Description = "Bench 3, spare sensor";
    wanted.OutputFormat = 2;
    wanted.DistanceUnit = 0;
    wanted.AverageDepth = 2;
    wanted.TimeOut = 3;
    wanted.MovingAverage = 1;
    wanted.Blanking = 1;
    wanted.Offset = -250;
    wanted.ScaleFactor = 1010;
    wanted.Temperature = 215;
    wanted.AirPressure = 990;
    wanted.S1OnThreshold = 5000;
    wanted.S1OffThreshold = 4800;
    wanted.S2OnThreshold = 2000;
    wanted.S2OffThreshold = 1500;
    wanted.RainFilter = 1;
    ASSERT_TRUE(modKOVFile::WriteConfigFile(wanted));

    // The file sets 9600 bit/s: the rest of the upload and the read-back go
    // at that speed, and the tool says that later commands need it.
    const Result up = RunCli(On(sim, {"upload", wanted.Filename}));
    ASSERT_EQ(up.code, Exit::Ok) << up.err;
    EXPECT_NE(up.err.find("later commands need --baud 9600"), std::string::npos) << up.err;
    const std::vector<std::string> writes = sim.Commands();
    EXPECT_NE(std::find(writes.begin(), writes.end(), "351 DISTECHO"), writes.end()) << "after 601, at 9600";
    const auto At9600 = [](std::vector<std::string> args) {
        std::replace(args.begin(), args.end(), std::string("38400"), std::string("9600"));
        return args;
    };
    const std::string copy = folder + "/copy.kov";
    const Result down = RunCli(At9600(On(sim, {"download", copy, "--description", wanted.Description})));
    ASSERT_EQ(down.code, Exit::Ok) << down.err;
    EXPECT_EQ(ReadFile(copy), ReadFile(wanted.Filename));

    // Without --description an existing file keeps its own.
    ASSERT_EQ(RunCli(At9600(On(sim, {"download", copy}))).code, Exit::Ok);
    EXPECT_EQ(ReadFile(copy), ReadFile(wanted.Filename));
    EXPECT_EQ(RunCli(On(sim, {"info", "--timeout", "2"})).code, Exit::NoAnswer) << "38400 is over";

    // A file that is no configuration: said, nothing sent.
    const std::size_t before = sim.Commands().size();
    std::ofstream(folder + "/bad.kov") << "[KOV]\nDescription=x\nOffset=ten\n";
    const Result bad = RunCli(At9600(On(sim, {"upload", folder + "/bad.kov"})));
    EXPECT_EQ(bad.code, Exit::FileError);
    EXPECT_EQ(Lines(bad.err).size(), 1u) << bad.err;
    EXPECT_EQ(sim.Commands().size(), before);
}

TEST_F(CliPty, UploadFailuresFollowTheErrorOption) {
    SimulatorTool sim(ORA_SIM_TOOL, folder, {"--format", "0", "--reject", "302"});
    ASSERT_TRUE(sim.Running());
    clsKOV wanted;
    wanted.Filename = folder + "/wanted.kov";
    wanted.Description = "x";
    ASSERT_TRUE(modKOVFile::WriteConfigFile(wanted));
    auto writes = [&sim](const std::string& code) {
        int n = 0;
        for (const std::string& c : sim.Commands())
            if (c.compare(0, code.size() + 1, code + " ") == 0) ++n;
        return n;
    };
    const Result retry = RunCli(On(sim, {"upload", wanted.Filename, "--on-error=retry:2"}));
    EXPECT_EQ(retry.code, Exit::Rejected);
    EXPECT_EQ(writes("302"), 3);
    EXPECT_EQ(writes("304"), 0);  // aborted: the rest up to the rain filter is left out
    const Result ignore = RunCli(On(sim, {"upload", wanted.Filename, "--on-error", "ignore"}));
    EXPECT_EQ(ignore.code, Exit::Rejected);
    EXPECT_EQ(writes("302"), 4);
    EXPECT_EQ(writes("802"), 1);  // went on to the end
}

// What the sensor does not have is refused before anything is sent, and
// "set 601" moves the port along with the sensor.
TEST_F(CliPty, SetKnowsTheDeviceAndItsSpeed) {
    SimulatorTool sim(ORA_SIM_TOOL, folder, {"--format", "0", "--baud", "38400"});
    ASSERT_TRUE(sim.Running());
    struct Refused {
        const char* code;
        const char* why;
    };
    for (const Refused& r : {Refused{"351", "no rain filter"}, Refused{"353", "no rain filter"},
                             Refused{"610", "no Profibus address"}}) {
        const Result set = RunCli(On(sim, {"set", r.code, "1"}));
        EXPECT_EQ(set.code, Exit::Rejected) << r.code;
        EXPECT_NE(set.err.find(r.why), std::string::npos) << set.err;
        for (const std::string& c : sim.Commands()) EXPECT_NE(c.substr(0, 3), r.code) << "sent anyway";
    }
    const Result speed = RunCli(On(sim, {"set", "601", "19200"}));
    EXPECT_EQ(speed.code, Exit::Usage) << "an index or the text on the line";
    const Result set = RunCli(On(sim, {"set", "601", "4"}));
    ASSERT_EQ(set.code, Exit::Ok) << set.err;
    EXPECT_NE(set.err.find("later commands need --baud 19200"), std::string::npos) << set.err;
    std::vector<std::string> args = On(sim, {"info"});
    std::replace(args.begin(), args.end(), std::string("38400"), std::string("19200"));
    const Result info = RunCli(args);
    ASSERT_EQ(info.code, Exit::Ok) << info.err;
    EXPECT_NE(info.out.find("601  Baudrate                       4 (19200)"), std::string::npos) << info.out;
}

// monitor: a short temperature interval is warned of; the JSON time carries
// its offset from UTC.
TEST_F(CliPty, MonitorWarnsOfShortTemperatureIntervalsAndStampsWithTheOffset) {
    SimulatorTool sim(ORA_SIM_TOOL, folder, {"--format", "1"});
    ASSERT_TRUE(sim.Running());
    const Result r = RunCli(On(sim, {"monitor", "--count", "3", "--json", "--temperature-interval", "2"}));
    ASSERT_EQ(r.code, Exit::Ok) << r.err;
    EXPECT_NE(r.err.find("warning: a temperature reading every 2 s"), std::string::npos) << r.err;
    for (const std::string& line : Lines(r.out)) {
        const std::size_t t = line.find("\"time\":\"");
        ASSERT_NE(t, std::string::npos) << line;
        const std::string stamp = line.substr(t + 8, 29);  // 2026-12-07T13:45:02.250+01:00
        EXPECT_TRUE((stamp[23] == '+' || stamp[23] == '-') && stamp[26] == ':' && stamp[28] != '"') << stamp;
    }
}

// BINARY without checksum and about 10 stray bytes a second on the line:
// every row holds a value the sensor sent.
TEST_F(CliPty, MonitorInBinaryWithLineNoiseInventsNoValue) {
    SimulatorTool sim(ORA_SIM_TOOL, folder, {"--format", "2", "--unit", "0", "--noise-bytes", "10", "--seed", "5"});
    ASSERT_TRUE(sim.Running());
    ASSERT_EQ(RunCli(On(sim, {"set", "301", "0"})).code, Exit::Ok);  // a value every 2 ms
    const Result r = RunCli(On(sim, {"monitor", "--count", "100", "--json"}));
    ASSERT_EQ(r.code, Exit::Ok) << r.err;
    const std::vector<long long> values = sim.Values();
    const std::set<long long> sent(values.begin(), values.end());
    int rows = 0;
    for (const std::string& line : Lines(r.out)) {
        long long mm = 0;
        ASSERT_TRUE(JsonNumber(line, "mm", &mm)) << line;
        EXPECT_TRUE(sent.count(mm)) << mm << " was never sent";
        ++rows;
    }
    EXPECT_EQ(rows, 100);
}

// Without the CRC16 library beside the tool (nor anywhere else), a
// BINARY+CRC sensor is not reported as silent: the error says where the
// library was looked for and why it failed, with an exit status of its own.
TEST_F(CliPty, AMissingChecksumLibraryIsSaidWithItsOwnExitStatus) {
    SimulatorTool sim(ORA_SIM_TOOL, folder, {"--format", "3"});
    ASSERT_TRUE(sim.Running());
    const std::string alone = folder + "/ora2orb2-cli";
    std::filesystem::copy_file(ORA_CLI_TOOL, alone);
    std::filesystem::permissions(alone, std::filesystem::perms::owner_exec, std::filesystem::perm_options::add);
    const Result r = RunCli(On(sim, {"monitor", "--count", "5"}), 30, {}, alone);
    EXPECT_EQ(r.code, Exit::NoChecksum) << r.err;
    EXPECT_NE(r.err.find("CRC16 library not loaded (" + folder + "/libCRC16.so (not there), libCRC16.so): "),
              std::string::npos)
        << r.err;
    EXPECT_EQ(Lines(r.err).size(), 1u) << r.err;
}

TEST_F(CliPty, StoreAndDefaultsAnswerRejectionAndSilence) {
    {
        SimulatorTool sim(ORA_SIM_TOOL, folder, {});
        ASSERT_TRUE(sim.Running());
        EXPECT_EQ(RunCli(On(sim, {"store"})).code, Exit::Ok);
        EXPECT_EQ(RunCli(On(sim, {"defaults"})).code, Exit::Ok);
        const std::vector<std::string> c = sim.Commands();
        EXPECT_NE(std::find(c.begin(), c.end(), "999 "), c.end());
        EXPECT_NE(std::find(c.begin(), c.end(), "000 "), c.end());
    }
    {
        SimulatorTool sim(ORA_SIM_TOOL, folder, {"--reject", "999,000"});
        ASSERT_TRUE(sim.Running());
        const Result store = RunCli(On(sim, {"store", "--lang", "en"}));
        EXPECT_EQ(store.code, Exit::Rejected);
        EXPECT_NE(store.err.find("Saving current configuration into ORA-2 / ORB-2 failed"), std::string::npos)
            << store.err;
        EXPECT_EQ(RunCli(On(sim, {"defaults"})).code, Exit::Rejected);
        EXPECT_EQ(RunCli(On(sim, {"set", "111", "MM"})).code, Exit::Ok);
    }
    {
        SimulatorTool sim(ORA_SIM_TOOL, folder, {"--silent"});
        ASSERT_TRUE(sim.Running());
        const Result store = RunCli(On(sim, {"store", "--timeout", "1"}));
        EXPECT_EQ(store.code, Exit::NoAnswer);
        EXPECT_EQ(Lines(store.err).size(), 1u) << store.err;
        EXPECT_NE(store.err.find("no answer"), std::string::npos);
        EXPECT_EQ(RunCli(On(sim, {"defaults", "--timeout", "1"})).code, Exit::NoAnswer);
    }
}

TEST_F(CliPty, UnplugWhileRecordingIsToldAndLeavesOnlyWholeLines) {
    SimulatorTool sim(ORA_SIM_TOOL, folder, {"--format", "3", "--replug-ms", "5000"});
    ASSERT_TRUE(sim.Running());
    const std::string file = folder + "/day.rec";
    bool unplugged = false;
    // Pulled once a few lines are in the file (a fixed delay raced a slow start).
    const Result r = RunCli(On(sim, {"record", file}), 30, [&](const std::string&, pid_t) {
        if (!unplugged && Lines(ReadFile(file)).size() >= 4) {
            sim.Unplug();
            unplugged = true;
        }
    });
    ASSERT_TRUE(unplugged);
    EXPECT_EQ(r.code, Exit::Lost) << r.err;
    EXPECT_NE(r.err.find("lost"), std::string::npos) << r.err;
    const std::string content = ReadFile(file);
    ASSERT_FALSE(content.empty());
    ASSERT_EQ(content.substr(content.size() - 2), "\r\n");
    int lines = 0;
    for (std::string line : Lines(content)) {
        ASSERT_EQ(line.back(), '\r');
        line.pop_back();
        modRecFile::Line parsed;
        EXPECT_TRUE(modRecFile::ParseLine(line, parsed)) << line;
        ++lines;
    }
    EXPECT_GT(lines, 3);

    // A recording file that exists is not replaced without --force.
    const Result again = RunCli(On(sim, {"record", file, "--count", "1"}));
    EXPECT_EQ(again.code, Exit::FileError);
    EXPECT_EQ(ReadFile(file), content);
}

// record FILE --force replaces FILE only with a recording that has a line:
// a sensor whose frames all fail their checksum (no value) or Ctrl+C before
// the first value leave the old file as it was, and do not end with 0. A
// link at FILE is never written through.
TEST_F(CliPty, RecordReplacesAFileOnlyWithWhatItRecorded) {
    const std::string file = folder + "/day.rec", victim = folder + "/victim.txt";
    const std::string old = "01.01.2026 00:00:00,000; 1 mm; 23 \xB0" "C\r\n";
    std::ofstream(file, std::ios::binary) << old;
    std::ofstream(victim) << "keep";
    const auto leftovers = [&] {  // new files beside it (".day.rec.XXXXXX")
        int n = 0;
        for (const auto& entry : std::filesystem::directory_iterator(folder))
            n += entry.path().filename().string().rfind(".day.rec", 0) == 0;
        return n;
    };
    {
        SimulatorTool sim(ORA_SIM_TOOL, folder, {"--format", "3", "--crc-errors", "1"});
        ASSERT_TRUE(sim.Running());
        struct Case {
            std::vector<std::string> args;
            bool interrupt;
            int code;
        };
        for (const Case& c : {Case{{"--duration", "1"}, false, Exit::NoAnswer},
                              Case{{"--timeout", "1"}, false, Exit::NoAnswer}, Case{{}, true, Exit::Interrupted}}) {
            std::vector<std::string> args = {"record", file, "--force"};
            args.insert(args.end(), c.args.begin(), c.args.end());
            const auto starts = [&] {
                const auto commands = sim.Commands();
                return std::count(commands.begin(), commands.end(), "M");
            };
            const auto startsBefore = starts();
            bool sent = false;
            const Result r = RunCli(On(sim, args), 30, [&](const std::string&, pid_t pid) {
                if (c.interrupt && !sent && starts() > startsBefore) {
                    ::kill(pid, SIGINT);  // measuring, no value yet
                    sent = true;
                }
            });
            EXPECT_EQ(r.code, c.code) << r.err;
            EXPECT_EQ(ReadFile(file), old);
            EXPECT_EQ(leftovers(), 0);
        }
    }
    SimulatorTool sim(ORA_SIM_TOOL, folder, {"--format", "1"});
    ASSERT_TRUE(sim.Running());
    EXPECT_EQ(RunCli(On(sim, {"record", file, "--force", "--count", "2"})).code, Exit::Ok);
    EXPECT_EQ(Lines(ReadFile(file)).size(), 2u);

    const std::string link = folder + "/link.rec";
    std::filesystem::create_symlink(victim, link);
    EXPECT_EQ(RunCli(On(sim, {"record", link, "--count", "1"})).code, Exit::FileError);
    EXPECT_EQ(RunCli(On(sim, {"record", link, "--force", "--count", "1"})).code, Exit::Ok);
    EXPECT_FALSE(std::filesystem::is_symlink(link));
    EXPECT_EQ(Lines(ReadFile(link)).size(), 1u);
    EXPECT_EQ(ReadFile(victim), "keep");
}

TEST_F(CliPty, UnplugWhileMonitoringIsToldWithAnExitCodeOfItsOwn) {
    SimulatorTool sim(ORA_SIM_TOOL, folder, {"--format", "1", "--replug-ms", "5000"});
    ASSERT_TRUE(sim.Running());
    bool unplugged = false;
    const Result r = RunCli(On(sim, {"monitor", "--decimal", ","}), 30, [&](const std::string& out, pid_t) {
        if (!unplugged && Lines(out).size() >= 4) {
            sim.Unplug();
            unplugged = true;
        }
    });
    ASSERT_TRUE(unplugged);
    EXPECT_EQ(r.code, Exit::Lost) << r.err;
    EXPECT_EQ(Lines(r.err).size(), 1u) << r.err;
    EXPECT_EQ(r.out.back(), '\n');
    EXPECT_EQ(Lines(r.out)[0], "time;distance_mm;distance;unit;state");
    EXPECT_NE(Lines(r.out)[1].find(";m;ok"), std::string::npos) << r.out;
}

TEST_F(CliPty, BadArgumentsAndMissingPortsSayWhyInOneLine) {
    const Result unknown = RunCli({"frobnicate"});
    EXPECT_EQ(unknown.code, Exit::Usage);
    EXPECT_EQ(Lines(unknown.err).size(), 1u);
    EXPECT_TRUE(unknown.out.empty());

    const Result badBaud = RunCli({"info", "--baud", "1234"});
    EXPECT_EQ(badBaud.code, Exit::Usage);
    EXPECT_EQ(Lines(badBaud.err).size(), 1u);

    const Result missing = RunCli({"info", "--device", folder + "/nothing", "--data-dir", folder});
    EXPECT_EQ(missing.code, Exit::PortNotOpen);
    ASSERT_EQ(Lines(missing.err).size(), 1u) << missing.err;
    EXPECT_NE(missing.err.find("cannot open " + folder + "/nothing: "), std::string::npos) << missing.err;

    // A port number without a device in KOV.ini or on the machine.
    std::ofstream(folder + "/KOV.ini") << "[PORTS]\n7=" << folder << "/gone\n";
    const Result noDevice = RunCli({"store", "--port", "7", "--data-dir", folder});
    EXPECT_EQ(noDevice.code, Exit::PortNotOpen);
    EXPECT_NE(noDevice.err.find("COM 7 (" + folder + "/gone)"), std::string::npos) << noDevice.err;

    const Result ports = RunCli({"ports", "--data-dir", folder});
    EXPECT_EQ(ports.code, Exit::Ok);
    EXPECT_NE(ports.out.find("COM 7    " + folder + "/gone\n"), std::string::npos) << ports.out;
}

}  // namespace
