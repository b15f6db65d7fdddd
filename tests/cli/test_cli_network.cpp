// Network ports against a real device server: Debian's ser2net in front of
// the simulated sensor's pseudo-terminal, both started here. The tool (run
// in-process as its main() runs it, or as a program) and the measurement
// loop on the real clock connect through ser2net's raw and RFC 2217
// accepters; the loop ticks on while a connection is awaited.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <optional>
#include <sstream>
#include <thread>

#include "CliCommands.h"
#include "MonitorLoop.h"
#include "NetworkPort.h"
#include "PtyServer.h"
#include "ScratchFolder.h"
#include "SensorModel.h"
#include "Ser2netProcess.h"
#include "clsKOV.h"
#include "modKOVComm.h"

using namespace testsupport;
namespace Exit = cli::ExitCode;
namespace Comm = modKOVComm::Comm;
using Steady = std::chrono::steady_clock;

namespace {

constexpr long long NoEcho = modKOVComm::NoEchoValue;

double MsSince(Steady::time_point t) { return std::chrono::duration<double, std::milli>(Steady::now() - t).count(); }

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

struct Result {
    int code = -1;
    std::string out, err;
};

// The measurement loop on the real clock, ticked every 50 ms, with a view
// that keeps the last status it was told.
class RealTimeLoop : public MonitorView {
public:
    explicit RealTimeLoop(const std::string& address) {
        link->SetPortFactory([address](int, std::string* device) {
            *device = address;
            return SerialLayer::CreateDevicePort(address);
        });
    }
    void ShowStatus(int id, const std::string& detail) override {
        statusId = id;
        status = detail;
    }
    // Ticks until `done` holds (true) or `limitMs` has passed (false).
    bool TickUntil(const std::function<bool()>& done, int limitMs) {
        auto next = Steady::now();
        const auto end = next + std::chrono::milliseconds(limitMs);
        while (Steady::now() < end) {
            std::this_thread::sleep_until(next);
            next += std::chrono::milliseconds(MonitorLoop::TickMs);
            loop.Tick();
            ++ticks;
            if (done()) return true;
        }
        return false;
    }
    bool PortNotOpenBecause(const std::string& reason) const {
        return statusId == MonitorText::PortNotOpen && status.find(reason) != std::string::npos;
    }

    std::shared_ptr<clsKOV> link = std::make_shared<clsKOV>();
    MonitorLoop loop{[this] { return link; }, this};
    int statusId = 0;
    std::string status;
    int ticks = 0;
};

// Attempts at one address come one at a time, each waiting up to the answer
// limit (3 s) for a server that never answers: about 60 ticks apart while the
// loop ticks on, one tick apart if a tick waited for the attempt. Counted,
// not timed: on a loaded machine the ticks that fell behind are made up at once.
constexpr int TicksBetweenAttempts = SerialLayer::NetworkAnswerLimitMs / MonitorLoop::TickMs / 2;

class Network : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(std::filesystem::exists(Ser2net::Program)) << "ser2net is missing (scripts/deps.sh installs it)";
    }
    void TearDown() override { modKOVComm::ResetHooks(); }
    // The tool at 38400 bit/s (RFC 2217 sets it; ser2net's raw accepter runs at it).
    Result Cli(std::vector<std::string> args) const {
        args.insert(args.end(), {"--baud", "38400", "--data-dir", folder});
        std::ostringstream out, err;
        Result r;
        r.code = cli::Run(args, out, err);
        r.out = out.str();
        r.err = err.str();
        return r;
    }
    // ser2net gives the device free a moment after a client left (on a
    // loaded machine a long one): a command that finds it still in use is
    // run again. (The tool says so and ends with exit 2, as it should.)
    Result CliWhenFree(const std::vector<std::string>& args) const {
        Result r;
        WaitFor([&] {
            r = Cli(args);
            return r.err.find("already in use") == std::string::npos;
        });
        return r;
    }
    const ScratchFolder scratch;
    const std::string folder = scratch.path;
};

}  // namespace

// Both accepters, all four output formats: monitor rows are values the
// sensor sent (BINARY frames with 0xFF among them: "No Echo" is FF FF FF 7F),
// and a configuration read, written back and read again is the same file.
TEST_F(Network, MonitorAndTransferThroughBothAccepters) {
    for (int format = 0; format < 4; ++format) {
        SCOPED_TRACE("format " + std::to_string(format));
        const std::string dir = folder + "/f" + std::to_string(format);
        std::filesystem::create_directory(dir);
        // The sensor runs at the line's speed, so the set read from it writes
        // back the same speed (601) and the line stays where it is.
        SimulatorTool sim(ORA_SIM_TOOL, dir,
                          {"--format", std::to_string(format), "--unit", "0", "--no-echo", "0.5", "--baud", "38400"});
        ASSERT_TRUE(sim.Running());
        Ser2net server(dir, sim.link, "38400n81");
        ASSERT_TRUE(server.Start()) << server.Log();
        for (const std::string& address : {server.Raw(), server.Rfc2217()}) {
            SCOPED_TRACE(address);
            // Faster values (averaging 16) keep the test short.
            const Result set = CliWhenFree({"set", "301", "1", "--device", address});
            ASSERT_EQ(set.code, Exit::Ok) << set.err;
            const Result m = CliWhenFree({"monitor", "--count", "10", "--json", "--device", address});
            ASSERT_EQ(m.code, Exit::Ok) << m.err;
            const std::vector<std::string> rows = Lines(m.out);
            ASSERT_EQ(rows.size(), 10u);
            const std::vector<long long> sent = sim.Values();
            std::size_t at = 0, begin = 0;
            for (const std::string& row : rows) {
                const bool noEcho = row.find("\"state\":\"no echo\"") != std::string::npos;
                ASSERT_TRUE(noEcho || row.find("\"state\":\"ok\"") != std::string::npos) << row;
                const long long mm = noEcho ? NoEcho : std::atoll(row.c_str() + row.find("\"mm\":") + 5);
                while (at < sent.size() && sent[at] != mm) ++at;
                ASSERT_LT(at, sent.size()) << row << " is no value the sensor sent after the row before";
                if (&row == &rows.front()) begin = at;
                ++at;
            }
            const auto markers = std::count(sent.begin() + static_cast<long>(begin), sent.begin() + static_cast<long>(at), NoEcho);
            EXPECT_GT(markers, 0) << "no \"No Echo\" went over the line while monitoring";

            const std::string name = dir + "/" + address.substr(0, 3);
            const std::string first = name + "-first.kov", second = name + "-second.kov";
            for (const auto& args :
                 std::vector<std::vector<std::string>>{{"download", first}, {"upload", first}, {"download", second}}) {
                std::vector<std::string> withDevice = args;
                withDevice.insert(withDevice.end(), {"--device", address});
                const Result r = CliWhenFree(withDevice);
                ASSERT_EQ(r.code, Exit::Ok) << args[0] << ": " << r.err;
            }
            EXPECT_EQ(ReadFile(first), ReadFile(second));
        }
    }
}

// Speed changes go to the sensor's line through RFC 2217 (ser2net sets
// them on the pseudo-terminal, where the simulated sensor reads them), and
// the sensor answers at each.
TEST_F(Network, SpeedChangesReachTheSensorsLine) {
    auto sensor = std::make_shared<Sim::SensorModel>(Sim::Options{}, [start = Steady::now()] { return MsSince(start); });
    Sim::PtyServer pty(sensor);
    std::string error;
    ASSERT_TRUE(pty.Start(&error, folder + "/ttySIM")) << error;
    std::atomic<int> lineSpeed{0};
    std::atomic<bool> stop{false};
    std::thread serving([&] {
        while (!stop) {
            pty.Serve(10);
            lineSpeed = sensor->LineSpeed();
        }
    });
    Ser2net server(folder, folder + "/ttySIM", "4800n81");
    ASSERT_TRUE(server.Start()) << server.Log();

    auto port = SerialLayer::CreateDevicePort(server.Rfc2217());
    ASSERT_TRUE(WaitFor([&] { return port->Open(&error); })) << error;
    for (int speed : {38400, 1200, 9600}) {
        port->SetBaud(speed);
        EXPECT_TRUE(WaitFor([&] { return port->InQueue() >= 0 && port->GetBaud() == speed && lineSpeed == speed; }))
            << speed << ": the port says " << port->GetBaud() << ", the sensor's line runs at " << lineSpeed;
        port->FlushInput();
        ASSERT_TRUE(port->PutChar('X'));
        std::string answer;
        EXPECT_TRUE(WaitFor([&] {
            unsigned char b[256];
            const int n = port->Read(b, std::min(port->InQueue(), 256));
            answer.append(reinterpret_cast<const char*>(b), static_cast<std::size_t>(std::max(n, 0)));
            return answer.find("KOV ready") != std::string::npos;
        })) << speed << ": " << answer;
    }
    port->Close();
    stop = true;
    serving.join();
}

// An upload that changes the sensor's speed (601) through RFC 2217: the
// sensor answers "OK" at the old speed and switches, the port asks ser2net
// for the new speed, and the rest of the upload and the read-back go at it;
// afterwards the sensor answers at the new speed only.
TEST_F(Network, UploadOfANewSpeedMovesTheDeviceServersLine) {
    SimulatorTool sim(ORA_SIM_TOOL, folder, {"--format", "1", "--baud", "38400"});
    ASSERT_TRUE(sim.Running());
    Ser2net server(folder, sim.link, "38400n81");
    ASSERT_TRUE(server.Start()) << server.Log();
    const std::string file = folder + "/speed.kov";
    Result r;
    ASSERT_TRUE(WaitFor([&] { return (r = Cli({"download", file, "--device", server.Rfc2217()})).code == Exit::Ok; }))
        << r.err;
    std::string kov = ReadFile(file);
    const std::size_t at = kov.find("Baudrate=");
    ASSERT_NE(at, std::string::npos) << kov;
    kov.replace(at, kov.find_first_of("\r\n", at) - at, "Baudrate=3");  // 9600
    std::ofstream(file, std::ios::binary | std::ios::trunc) << kov;

    r = CliWhenFree({"upload", file, "--device", server.Rfc2217()});
    ASSERT_EQ(r.code, Exit::Ok) << r.err;
    EXPECT_NE(r.err.find("--baud 9600"), std::string::npos) << r.err;
    const std::vector<std::string> writes = sim.Commands();
    const auto speed = std::find(writes.begin(), writes.end(), "601 9600");
    ASSERT_NE(speed, writes.end());
    EXPECT_EQ(writes.back(), "C") << "the set is read back after the writes that followed 601";

    std::vector<std::string> args = {"info", "--device", server.Rfc2217(), "--data-dir", folder, "--baud", "9600"};
    int code = -1;
    std::string error;
    WaitFor([&] {
        std::ostringstream out, err;
        code = cli::Run(args, out, err);
        error = err.str();
        return error.find("already in use") == std::string::npos;
    });
    EXPECT_EQ(code, Exit::Ok) << error;
}

// ser2net dies while the loop measures: the status says why, values resume
// by themselves once it is back (the sensor streamed on and is taken over).
// The tool, in the same case, ends with the reason and its own exit code.
TEST_F(Network, DeviceServerKilledAndRestartedWhileMeasuring) {
    SimulatorTool sim(ORA_SIM_TOOL, folder, {"--format", "3"});
    ASSERT_TRUE(sim.Running());
    Ser2net server(folder, sim.link);
    ASSERT_TRUE(server.Start()) << server.Log();

    {
    const auto start = Steady::now();
    RealTimeLoop r(server.Rfc2217());
    ASSERT_TRUE(r.TickUntil([&] { return r.link->CommStatus == Comm::Idle; }, 20000)) << r.status;
    r.loop.StartStop();
    ASSERT_TRUE(r.TickUntil([&] { return r.loop.PublishedCount() > 0; }, 20000)) << r.status;
    const double firstValueMs = MsSince(start);
    ASSERT_TRUE(r.TickUntil([&] { return r.loop.PublishedCount() >= 10; }, 20000));

    server.Kill();
    const auto killed = Steady::now();
    ASSERT_TRUE(r.TickUntil([&] { return r.statusId == MonitorText::PortNotOpen; }, 20000));
    const double noticedMs = MsSince(killed);
    EXPECT_NE(r.status, "") << "a reason";
    std::cout << "ser2net killed: \"" << r.status << "\"\n";
    r.TickUntil([] { return false; }, 1500);  // a few retries while it is away
    EXPECT_TRUE(r.PortNotOpenBecause("Connection refused")) << r.status;

    ASSERT_TRUE(server.Start()) << server.Log();
    const auto restarted = Steady::now();
    const std::uint64_t before = r.loop.PublishedCount();
    ASSERT_TRUE(r.TickUntil([&] { return r.loop.PublishedCount() >= before + 10; }, 30000)) << r.status;
    EXPECT_TRUE(r.loop.Measuring());
    std::cout << "RFC 2217 over loopback: start to first value " << firstValueMs << " ms, drop noticed after "
              << noticedMs << " ms, values again " << MsSince(restarted) << " ms after ser2net was back\n";
    }

    // The tool: rows, then the server goes; a message with the reason, exit 6.
    const std::string output = folder + "/monitor.out";
    ChildProcess tool;
    WaitFor([&] {  // started again while ser2net still holds the device for the loop's connection
        std::ofstream(output, std::ios::trunc).close();
        tool.Start({ORA_CLI_TOOL, "monitor", "--device", server.Rfc2217(), "--data-dir", folder}, output);
        WaitFor([&] { return Lines(ReadFile(output)).size() >= 4 || !tool.Running(); });
        return ReadFile(output).find("already in use") == std::string::npos;
    });
    ASSERT_GE(Lines(ReadFile(output)).size(), 4u) << ReadFile(output);
    server.Kill();
    int code = -1;
    ASSERT_TRUE(WaitFor([&] { return tool.Ended(&code); }, 20000));
    EXPECT_EQ(code, Exit::Lost) << ReadFile(output);
    EXPECT_NE(ReadFile(output).find(server.Rfc2217() + " went away (the device server closed the connection)"),
              std::string::npos)
        << ReadFile(output);
}

// Addresses that give no sensor: each says why in the status bar and in the
// tool's error output, is tried again, and no tick waits for it. Where the
// sensor can come afterwards (ser2net takes over the port, or finds its
// device), the loop then connects by itself.
TEST_F(Network, UnreachableRefusedSilentAndUnknown) {
    enum class Setup { Nothing, FullQueue, Silent, NoDevice, UnknownName };
    struct Case {
        const char* name;
        const char* scheme;
        Setup setup;
        const char* reason;
    } cases[] = {
        {"closed port", "tcp://", Setup::Nothing, "Connection refused"},
        {"no answer to the connect", "rfc2217://", Setup::FullQueue, "no connection to 127.0.0.1:"},
        {"server that never answers", "rfc2217://", Setup::Silent, "does not answer (no Telnet negotiation within 3 s; a raw port takes tcp://)"},
        {"device missing at the server", "rfc2217://", Setup::NoDevice,
         "the device server closed the connection: Device open failure"},
        {"unknown name", "rfc2217://", Setup::UnknownName, "cannot resolve sensor.invalid"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string dir = folder + "/" + std::to_string(&c - cases);
        std::filesystem::create_directory(dir);
        std::optional<SimulatorTool> sim;
        const auto plugIn = [&] {
            sim.emplace(ORA_SIM_TOOL, dir, std::vector<std::string>{});
            ASSERT_TRUE(sim->Running());
        };
        if (c.setup != Setup::NoDevice) plugIn();
        Ser2net server(dir, dir + "/ttySIM");
        if (c.setup == Setup::NoDevice) {
            ASSERT_TRUE(server.Start()) << server.Log();
        }
        const int port = c.scheme[0] == 't' ? server.rawPort : server.rfc2217Port;
        const std::string address = c.scheme + std::string(c.setup == Setup::UnknownName ? "sensor.invalid" : "127.0.0.1") +
                                    ":" + std::to_string(port);

        int listener = -1, filler = -1;
        if (c.setup == Setup::FullQueue || c.setup == Setup::Silent) {
            // Its port is ser2net's later: nothing of it may stay behind (reuse, and closed with a reset).
            listener = ::socket(AF_INET, SOCK_STREAM, 0);
            const int on = 1;
            ASSERT_EQ(::setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on), 0);
            sockaddr_in a{};
            a.sin_family = AF_INET;
            a.sin_port = htons(static_cast<std::uint16_t>(port));
            a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
            ASSERT_EQ(::listen(listener, c.setup == Setup::FullQueue ? 0 : 8), 0);
            ASSERT_EQ(::fcntl(listener, F_SETFL, O_NONBLOCK), 0);
            if (c.setup == Setup::FullQueue) {  // the one place in the queue taken: further connects hang
                filler = ::socket(AF_INET, SOCK_STREAM, 0);
                ASSERT_EQ(::connect(filler, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
            }
        }

        const Result tool = Cli({"info", "--device", address});
        EXPECT_EQ(tool.code, Exit::PortNotOpen);
        EXPECT_NE(tool.err.find(address), std::string::npos) << tool.err;
        EXPECT_NE(tool.err.find(c.reason), std::string::npos) << tool.err;

        std::vector<int> accepted, ticksAtAccept;
        const auto acceptAll = [&](int ticks) {
            for (int s; listener >= 0 && (s = ::accept4(listener, nullptr, nullptr, SOCK_NONBLOCK)) >= 0;) {
                accepted.push_back(s);
                ticksAtAccept.push_back(ticks);
            }
        };
        acceptAll(0);  // the tool's
        ticksAtAccept.clear();

        RealTimeLoop r(address);
        EXPECT_TRUE(r.TickUntil([&] { return r.PortNotOpenBecause(c.reason); }, 20000)) << r.status;
        if (c.setup == Setup::Silent) {
            // Tried again: connections keep coming while the status keeps the
            // reason, and the loop ticks on meanwhile.
            EXPECT_TRUE(r.TickUntil(
                [&] {
                    acceptAll(r.ticks);
                    return ticksAtAccept.size() >= 2 && r.PortNotOpenBecause(c.reason);
                },
                20000))
                << ticksAtAccept.size() << " connections";
            if (ticksAtAccept.size() >= 2) {
                EXPECT_GE(ticksAtAccept[1] - ticksAtAccept[0], TicksBetweenAttempts) << "a tick waited for the attempt";
            }
        }
        for (int s : accepted) {
            const linger reset{1, 0};
            ::setsockopt(s, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
            ::close(s);
        }
        if (listener >= 0) ::close(listener);
        if (filler >= 0) ::close(filler);
        if (c.setup == Setup::UnknownName) {
            r.TickUntil([] { return false; }, 2500);
            EXPECT_TRUE(r.PortNotOpenBecause(c.reason)) << r.status;
        } else {
            if (c.setup == Setup::NoDevice) {
                plugIn();
            } else {
                ASSERT_TRUE(server.Start()) << server.Log();
            }
            EXPECT_TRUE(r.TickUntil([&] { return r.link->CommStatus == Comm::Idle; }, 20000)) << r.status;
        }
    }
}
