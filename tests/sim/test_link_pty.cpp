// The link object against the simulated sensor, end to end: the link opens a
// real pseudo-terminal through the serial layer, the sensor sits on its
// master side. Time is simulated, the bytes really cross the kernel.
#include <signal.h>
#include <sys/wait.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <thread>

#include "ChildProcess.h"
#include "PtyServer.h"
#include "SensorTestSupport.h"
#include "SimPort.h"

namespace {

using namespace testsupport;
namespace Comm = modKOVComm::Comm;
namespace Event = modKOVComm::Event;
using Sim::SensorModel;

// Passes everything through and counts the bytes the link sends, so that the
// test knows when the sensor has heard all of them.
class CountingPort final : public SerialLayer::Port {
public:
    CountingPort(std::unique_ptr<SerialLayer::Port> inner, size_t* sent) : in(std::move(inner)), sent(sent) {}
    bool Open(std::string* error) override { return in->Open(error); }
    void Close() override { in->Close(); }
    void SetBaud(int bps) override { in->SetBaud(bps); }
    int GetBaud() override { return in->GetBaud(); }
    int DataStatus() override { return in->DataStatus(); }
    int InQueue() override { return in->InQueue(); }
    int Read(unsigned char* buffer, int length) override { return in->Read(buffer, length); }
    void FlushInput() override { in->FlushInput(); }
    bool PutChar(unsigned char byte) override {
        if (!in->PutChar(byte)) return false;
        ++*sent;
        return true;
    }
    bool Lost() const override { return in->Lost(); }

private:
    std::unique_ptr<SerialLayer::Port> in;
    size_t* sent;
};

struct Reported {
    std::int32_t mm;
    double value;
    std::string text;
    size_t historySize;  // values the sensor had measured at that tick
};

class PtyLink : public ::testing::Test {
protected:
    CleanHooks hooks;
    SimulatedTime time;
    ScratchFolder dir;
    const std::string linkPath = dir.path + "/sensor";
    std::shared_ptr<SensorModel> model;
    std::unique_ptr<Sim::PtyServer> server;
    clsKOV link;
    size_t sent = 0, delivered = 0, maxInBuffer = 0;
    std::vector<int> events;
    std::vector<Reported> reported;

    void SetUp() override {
        modKOVComm::SetEventPump([this](int) { Tick(); });
        link.SetPortFactory([this](int, std::string* device) -> std::unique_ptr<SerialLayer::Port> {
            *device = linkPath;
            return std::make_unique<CountingPort>(SerialLayer::CreateDevicePort(linkPath), &sent);
        });
    }
    void TearDown() override { link.CloseComPort(); }
    void StartSensor(const Sim::Options& options = {}) {
        model = std::make_shared<SensorModel>(options, [this] { return time.ms; });
        Replug();
    }
    void Replug() {
        server = std::make_unique<Sim::PtyServer>(model);
        server->SetWaitForDelivery(true);
        std::string error;
        ASSERT_TRUE(server->Start(&error, linkPath)) << error;
    }
    void Sync() {
        if (sent > delivered && server) {
            EXPECT_TRUE(server->ReceiveFromProgram(sent - delivered, PatienceMs));
        }
        delivered = sent;
    }
    // One 50 ms tick of the monitor, the sensor served on the way.
    void Tick() {
        Sync();
        time.ms += 50;
        if (server) server->Serve(0);
        MonitorTick(link);
        const bool open = link.PortIsOpen();
        maxInBuffer = std::max(maxInBuffer, link.InBuffer.size());
        if (open && link.EventNr == Event::Distance)
            reported.push_back({link.MeasValue_mm, link.MeasValue, link.sDistance, model->History().size()});
        events.push_back(open ? link.EventNr : -100);
        Sync();
    }
    bool RunUntil(const std::function<bool()>& done, double limitMs) {
        for (const double end = time.ms + limitMs; time.ms < end;) {
            Tick();
            if (done()) return true;
        }
        return false;
    }
    void Run(double ms) { RunUntil([] { return false; }, ms); }
    void Connect() {
        ASSERT_TRUE(RunUntil([this] { return link.CommStatus == Comm::Idle; }, 5000));
    }
    size_t Count(int event) const { return static_cast<size_t>(std::count(events.begin(), events.end(), event)); }
    std::vector<double> CommandTimes(const std::string& text) const {
        std::vector<double> times;
        for (const auto& c : model->Commands())
            if (c.text == text) times.push_back(c.timeMs);
        return times;
    }
    void Write(const std::string& code, int expected) {
        modKOVComm::WriteParameter(link, code);
        EXPECT_EQ(link.EventNr, expected) << code;
    }
    // Every reported value is one the sensor sent, in the order sent, and each
    // step reported the newest value that had arrived.
    void ExpectReportedAsSent(bool asciiText) {
        const auto& history = model->History();
        size_t at = 0;
        for (const auto& r : reported) {
            // The newest value of that size already measured (a target
            // standing still sends the same value more than once).
            size_t found = history.size();
            for (size_t i = std::min(r.historySize, history.size()); i-- > at;) {
                if (history[i].mm == r.mm) {
                    found = i;
                    break;
                }
            }
            ASSERT_LT(found, history.size()) << "value " << r.mm << " was never sent (or out of order)";
            at = found;
            EXPECT_GE(at + 2, r.historySize) << "an older value than the newest one";
            const double factor = SensorModel::UnitFactor(history[at].unit);
            EXPECT_NEAR(r.value, r.mm / factor, 0.51 / factor);
            const std::string& text = history[at].text;
            if (asciiText) {
                EXPECT_EQ(r.text, text.substr(text.find_first_not_of(' ')));
            }
            ++at;
        }
    }
};

// Connecting: "X", the banner, "C", the block; then the keep-alive.
TEST_F(PtyLink, ConnectingAndKeepAliveAboutEveryOneAndAHalfSeconds) {
    StartSensor();
    Connect();
    ASSERT_GE(model->Commands().size(), 2u);
    EXPECT_EQ(model->Commands()[0].text, "X");
    EXPECT_EQ(model->Commands()[1].text, "C");
    EXPECT_EQ(Count(4), 1u);
    EXPECT_TRUE(modKOVComm::ConfigurationRead);
    EXPECT_EQ(link.SerialNo, "30514");
    EXPECT_EQ(link.sTemperature, "23 C, OK");
    EXPECT_EQ(link.NodeAddress, -1);
    EXPECT_EQ(link.RainFilter, -1);
    EXPECT_EQ(model->LineSpeed(), 9600);
    EXPECT_LT(time.ms, 1500);

    Run(10000);
    const auto times = CommandTimes("T");
    ASSERT_GE(times.size(), 6u);
    for (size_t i = 1; i < times.size(); ++i) {
        EXPECT_GE(times[i] - times[i - 1], 1500);
        EXPECT_LE(times[i] - times[i - 1], 1600);
    }
    EXPECT_GE(Count(3), times.size() - 1);
    EXPECT_EQ(Count(-1), 0u);
    EXPECT_EQ(link.TempStatus, 1);
    EXPECT_EQ(link.CommStatus, Comm::Idle);
}

TEST_F(PtyLink, ContinuousMeasurementInAllFourFormats) {
    struct Case { int format, unit, speed; };
    for (const Case c : {Case{0, 0, 9600}, Case{1, 1, 9600}, Case{1, 3, 1200}, Case{2, 1, 9600}, Case{3, 0, 38400}}) {
        SCOPED_TRACE("format " + std::to_string(c.format) + " unit " + std::to_string(c.unit));
        StartSensor();
        Connect();
        link.CommBaudrate(c.speed);
        Tick();
        EXPECT_EQ(model->LineSpeed(), c.speed) << "the sensor follows the port's speed";
        link.OutputFormat = c.format;
        link.DistanceUnit = c.unit;
        Write("101", 5);
        Write("111", 5);
        model->ClearHistory();
        reported.clear();
        events.clear();
        modKOVComm::StartContinuous(link);
        Run(4000);
        EXPECT_EQ(link.CommStatus, Comm::Measuring);
        EXPECT_EQ(Count(-1), 0u);
        ASSERT_GE(reported.size(), 20u);
        ExpectReportedAsSent(c.format <= 1);
        // At 1200 bit/s the line is the limit, and still no value is cut.
        EXPECT_GE(reported.size() + 3, model->History().size() / (c.speed == 1200 ? 1 : 2));
        modKOVComm::StopContinuous(link);
        Run(3000);
        EXPECT_FALSE(model->Measuring());
        link.CloseComPort();
    }
}

TEST_F(PtyLink, TemperatureInterleavedIntoAMeasurement) {
    StartSensor();
    Connect();
    modKOVComm::StartContinuous(link);
    Run(1000);
    const size_t before = reported.size();
    EXPECT_GT(before, 5u);
    link.SendCommand("S");  // the monitor's temperature request: CommStatus stays 2
    ASSERT_TRUE(RunUntil([this] { return link.EventNr == Event::Temperature; }, 4000));
    EXPECT_EQ(link.sTemperature, "23 C, OK");
    const auto s = CommandTimes("S"), t = CommandTimes("T");
    ASSERT_EQ(s.size(), 1u);
    ASSERT_FALSE(t.empty());
    EXPECT_NEAR(t.back() - s.back(), 2050, 60) << "T follows once the stop deadline has passed";
    EXPECT_EQ(reported.size(), before) << "output after the stop is thrown away";
    modKOVComm::StartContinuous(link);
    Run(1000);
    EXPECT_GT(reported.size(), before + 5);
    ExpectReportedAsSent(false);
}

TEST_F(PtyLink, ParameterWritesAndASilentSensor) {
    Sim::Options options;
    options.rejectedCodes = {"302"};
    StartSensor(options);
    Connect();
    link.DistanceUnit = 0;
    link.S1OnThreshold = 12000;
    Write("111", 5);
    Write("501", 5);
    Write("302", 6);
    link.RainFilter = 1;  // this device has no rain filter
    Write("351", 6);
    Write("999", 5);
    EXPECT_EQ(model->Param(111), 0);
    EXPECT_EQ(model->StoredParam(501), 12000);

    // No answer: -1, the link starts over with a wake-up every 2 s, and a
    // write ends as unanswered.
    model->Faults().silent = true;
    ASSERT_TRUE(RunUntil([this] { return link.EventNr == Event::NoAnswer; }, 6000));
    EXPECT_EQ(link.CommStatus, Comm::NotConnected);
    model->ClearHistory();
    Run(6100);
    EXPECT_EQ(CommandTimes("X").size(), 3u);
    Write("304", -1);
    model->Faults().silent = false;
    Connect();
}

TEST_F(PtyLink, UnpluggedPortIsClosedAndReopenedWhenBack) {
    StartSensor();
    Connect();
    server.reset();
    ASSERT_TRUE(RunUntil([this] { return !link.PortIsOpen(); }, 200));
    Run(1000);
    EXPECT_FALSE(link.PortIsOpen());
    EXPECT_EQ(link.LastOpenError(), "No such file or directory");
    Replug();
    Tick();
    EXPECT_TRUE(link.PortIsOpen());
    // The link finds the sensor again, whichever way round.
    ASSERT_TRUE(RunUntil(
        [this] {
            return link.CommStatus == Comm::Idle &&
                   (link.EventNr == Event::Temperature || link.EventNr == Event::Configuration);
        },
        6000));
}

TEST_F(PtyLink, PowerCycleWhileIdleAndWhileMeasuring) {
    StartSensor();
    Connect();
    Run(500);
    model->PowerCycle();
    Run(1000);
    ASSERT_TRUE(RunUntil([this] { return link.EventNr == Event::Temperature; }, 5000)) << "keep-alive answered again";
    EXPECT_EQ(link.CommStatus, Comm::Idle);

    modKOVComm::StartContinuous(link);
    Run(1000);
    model->PowerCycle();
    ASSERT_TRUE(RunUntil([this] { return link.CommStatus == Comm::Idle; }, 2000)) << "the banner ends the measurement";
    ASSERT_TRUE(RunUntil([this] { return link.EventNr == Event::Temperature; }, 5000));
    // The sensor restarts by itself during the next measurement, too.
    model->Faults().restartAfterMs = 800;
    modKOVComm::StartContinuous(link);
    ASSERT_TRUE(RunUntil([this] { return link.CommStatus == Comm::Idle; }, 3000));
    ASSERT_TRUE(RunUntil([this] { return link.EventNr == Event::Temperature; }, 5000));
    EXPECT_LT(maxInBuffer, 600u);
}

// A sensor that streams from power-on (autostart), in every output format:
// the link stops it and connects within 2.5 s of the power-on.
TEST_F(PtyLink, AutostartSensorIsTakenOverInEveryFormat) {
    for (int format = 0; format <= 3; ++format) {
        SCOPED_TRACE("format " + std::to_string(format));
        Sim::Options options;
        options.autostart = true;
        options.lineSpeed = 38400;
        StartSensor(options);
        model->StoreParam(101, format);
        model->PowerCycle();
        const double on = time.ms;
        MonitorTick(link, 1, 38400);
        ASSERT_TRUE(RunUntil([this] { return link.CommStatus == Comm::Idle; }, 6000));
        const double took = time.ms - on;
        EXPECT_LT(took, 2500);
        std::printf("[ figures  ] autostart format %d: connected %.0f ms after power-on\n", format, took);
        EXPECT_FALSE(model->Measuring());
        EXPECT_FALSE(CommandTimes("S").empty());
        Run(3000);
        EXPECT_EQ(link.CommStatus, Comm::Idle);
        EXPECT_EQ(Count(-1), 0u);
        link.CloseComPort();
        events.clear();
    }
}

// The cable is pulled while measuring and put back while the sensor (with a
// power supply of its own) goes on streaming: the link stops the stream,
// connects, and the measurement the user had running goes on, in under 3 s.
TEST_F(PtyLink, ReplugWhileMeasuringResumesInEveryFormat) {
    for (int format = 0; format <= 3; ++format) {
        SCOPED_TRACE("format " + std::to_string(format));
        Sim::Options options;
        options.lineSpeed = 38400;
        StartSensor(options);
        model->StoreParam(101, format);
        MonitorTick(link, 1, 38400);
        Connect();
        modKOVComm::StartContinuous(link);
        Run(1000);
        ASSERT_GT(reported.size(), 5u);
        server->Stop();
        Run(500);
        EXPECT_FALSE(link.PortIsOpen());
        EXPECT_TRUE(model->Measuring());
        Replug();
        const double back = time.ms;
        reported.clear();
        model->ClearHistory();  // the values sent meanwhile went nowhere
        // The monitor restarts the measurement on the first temperature
        // after connecting, as the main window does for a user's measurement.
        ASSERT_TRUE(RunUntil(
            [this] {
                if (link.CommStatus == Comm::Idle && link.EventNr == Event::Temperature)
                    modKOVComm::StartContinuous(link);
                return !reported.empty();
            },
            6000));
        const double took = time.ms - back;
        EXPECT_LT(took, 3000);
        std::printf("[ figures  ] replug format %d: values again %.0f ms after the replug\n", format, took);
        Run(1000);
        ExpectReportedAsSent(format <= 1);
        link.CloseComPort();
    }
}

// 2 % line noise on an idle connection: it stays connected for ten minutes
// (the keep-alive is answered, stray bytes are passed over).
TEST_F(PtyLink, IdleConnectionSurvivesLineNoise) {
    for (int format : {1, 2, 3}) {
        SCOPED_TRACE("format " + std::to_string(format));
        Sim::Options options;
        options.noiseRate = 0.02;
        options.seed = 20 + static_cast<unsigned>(format);
        StartSensor(options);
        model->StoreParam(101, format);
        Connect();
        events.clear();
        Run(format == 1 ? 600000 : 120000);
        EXPECT_EQ(Count(-1), 0u);
        EXPECT_EQ(link.CommStatus, Comm::Idle);
        EXPECT_GT(Count(3), format == 1 ? 300u : 60u);
        std::printf("[ figures  ] noise format %d: %zu ticks, %zu temperatures, %zu unanswered\n", format, events.size(), Count(3), Count(-1));
        link.CloseComPort();
    }
}

// About 20 random bytes a second in bursts of 1 to 3 on an idle connection
// (2 % of a 9600 bit/s line) are no stream: no takeover, no information
// request ("C") that re-reads the block, no connection lost.
TEST_F(PtyLink, IdleNoiseIsNoStream) {
    for (int format : {1, 2, 3}) {
        SCOPED_TRACE("format " + std::to_string(format));
        Sim::Options options;
        options.noiseBytesPerSecond = 20;
        options.noiseBurst = 3;
        options.seed = 40 + static_cast<unsigned>(format);
        StartSensor(options);
        model->StoreParam(101, format);
        Connect();
        const size_t before = CommandTimes("C").size();
        events.clear();
        Run(40000);
        const size_t requests = CommandTimes("C").size() - before;
        EXPECT_LE(requests, 2u);
        EXPECT_TRUE(CommandTimes("S").empty());
        EXPECT_EQ(Count(-1), 0u);
        std::printf("[ figures  ] idle noise format %d: %zu information requests in 40 s\n", format, requests);
        link.CloseComPort();
    }
}

// The SIMULATOR port number, served in-process on the program's clock at the
// speed set. The port buffers like a driver: a program that stops reading
// loses bytes and is told so. A pulled plug is a lost port until it is back.
TEST(InProcessSimulator, PortNumberPaceBufferAndPlug) {
    SimulatedTime time;
    ScratchFolder folder;
    std::ofstream(folder.path + "/KOV.ini") << "[PORTS]\n4=SIMULATOR\n";
    modAPI::SetProgramFolder(folder.path);
    clsKOV link;
    link.OpenComPort(4, 1200);
    EXPECT_FALSE(link.PortIsOpen()) << "nothing registered";
    auto model = Sim::RegisterInProcessSimulator({});
    link.OpenComPort(4, 1200);
    ASSERT_TRUE(link.PortIsOpen());
    EXPECT_EQ(link.DevicePath(), "SIMULATOR");

    link.SendCommand("C");
    time.ms += 1000;
    link.ReadComportData();
    EXPECT_NEAR(link.InBuffer.size(), 120, 2) << "ten bits per byte at 1200 bit/s";
    time.ms += model->InfoBlock().size() * 10000.0 / 1200;
    link.ReadComportData();
    EXPECT_EQ(link.InBuffer, model->InfoBlock());

    link.CommBaudrate(38400);
    model->SetParam(301, 0);  // fastest measuring: the line is the limit
    link.SendCommand("M");
    time.ms += 1900;
    EXPECT_EQ(link.SerialPort()->InQueue(), static_cast<int>(Sim::InProcessPort::InputLimit));
    EXPECT_EQ(link.PortStatus(), 8);
    EXPECT_EQ(link.PortStatus(), 0);

    model->SetUnplugged(true);
    EXPECT_FALSE(link.PortIsOpen());
    link.OpenComPort(4, 1200);
    EXPECT_FALSE(link.LastOpenError().empty());
    model->SetUnplugged(false);
    link.OpenComPort(4, 1200);
    EXPECT_TRUE(link.PortIsOpen());
    link.CloseComPort();
    SerialLayer::RegisterSimulator(nullptr);
}

// The sensor has its own power: an adapter pulled and plugged back in finds
// it still streaming, without a restart and without being asked.
TEST(InProcessSimulator, ReplugFindsTheSensorStillStreaming) {
    double now = 0;
    Sim::Options options;
    options.autostart = true;
    auto model = std::make_shared<SensorModel>(options, [&now] { return now; });
    Sim::InProcessPort port(model);
    std::string error;
    ASSERT_TRUE(port.Open(&error)) << error;
    auto second = [&] {
        now += 1000;
        unsigned char buffer[4096];
        return std::string(reinterpret_cast<char*>(buffer), static_cast<size_t>(port.Read(buffer, sizeof buffer)));
    };
    EXPECT_EQ(second().substr(0, 13), "\r\nKOV ready\r\n");
    model->SetUnplugged(true);
    EXPECT_EQ(port.InQueue(), 0);
    EXPECT_TRUE(port.Lost());
    EXPECT_FALSE(port.Open(&error));
    now += 5000;
    model->SetUnplugged(false);
    ASSERT_TRUE(port.Open(&error)) << error;
    const size_t before = model->History().size();
    const std::string again = second();
    EXPECT_GE(model->History().size(), before + 8);
    EXPECT_EQ(again.find("KOV ready"), std::string::npos) << "no restart";
    EXPECT_NE(again.find(model->History()[model->History().size() - 2].text), std::string::npos);
    EXPECT_TRUE(model->Commands().empty());
}

#ifdef ORA_SIM_TOOL
// The tool as a separate process, in real time, found through KOV.ini; it
// refuses bad options.
TEST(PtyServerLink, AFileInTheLinksPlaceIsLeftAlone) {
    ScratchFolder folder;
    const std::string path = folder.path + "/notes.txt";
    std::ofstream(path) << "keep me";
    Sim::PtyServer server(std::make_shared<SensorModel>(Sim::Options{}, [] { return 0.0; }));
    std::string error;
    EXPECT_FALSE(server.Start(&error, path));
    EXPECT_NE(error.find(path), std::string::npos) << error;
    EXPECT_FALSE(server.Running());
    std::string text;
    std::getline(std::ifstream(path), text);
    EXPECT_EQ(text, "keep me");
}

TEST(SimulatorTool, ServesTheLinkAndRefusesBadOptions) {
    for (const char* bad : {" --no-echo 2", " --format 4", " --format nan --help", " --bogus", " --noise 1.5",
                            " --damage -0.1", " --replug-ms x", " --log /nonexistent/folder/log"})
        EXPECT_EQ(std::system((ORA_SIM_TOOL + std::string(bad) + " >/dev/null 2>&1").c_str()), 2 << 8) << bad;
    ScratchFolder folder;
    const std::string device = folder.path + "/ora-sensor";
    std::ofstream(folder.path + "/KOV.ini") << "[PORTS]\n5=" << device << "\n";
    modAPI::SetProgramFolder(folder.path);
    ChildProcess sim({ORA_SIM_TOOL, "--link", device, "--format", "0", "--unit", "0", "--reject", "302"});
    clsKOV link;
    auto runUntil = [&link](const std::function<bool()>& done) {  // one tick every 50 ms
        for (int i = 0; i < PatienceMs / 50; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            MonitorTick(link, 5, 19200);
            if (done()) return true;
        }
        return false;
    };
    EXPECT_TRUE(runUntil([&] { return link.CommStatus == Comm::Idle; })) << link.LastOpenError();
    EXPECT_EQ(link.DevicePath(), device);
    modKOVComm::WriteParameter(link, "302");
    EXPECT_EQ(link.EventNr, Event::Rejected);
    modKOVComm::StartContinuous(link);
    EXPECT_TRUE(runUntil([&] { return link.EventNr == Event::Distance; }));
    EXPECT_GT(link.MeasValue_mm, 1000);
    EXPECT_EQ(link.MeasValue, link.MeasValue_mm);
    sim.Kill(SIGTERM);
    EXPECT_TRUE(runUntil([&] { return !link.PortIsOpen(); })) << "the sensor went away";
}

// SIGUSR1 pulls the adapter: the open port is lost and the device is gone;
// after --replug-ms it is back at the same link, and the sensor, which kept
// running (autostart), is still streaming into it.
TEST(SimulatorTool, UnplugSignalAndReplugAtTheSameLink) {
    ScratchFolder folder;
    const std::string device = folder.path + "/ora-sensor";
    ChildProcess sim({ORA_SIM_TOOL, "--link", device, "--autostart", "--format", "0", "--replug-ms", "1000"});
    std::unique_ptr<SerialLayer::Port> port;
    auto plugged = [&] {
        port = SerialLayer::CreateDevicePort(device);
        return port->Open(nullptr);
    };
    // Values as they arrive, without a command (format 0: 12 characters a line).
    auto values = [&port](std::string* text) {
        unsigned char buffer[512];
        text->append(reinterpret_cast<char*>(buffer), static_cast<size_t>(port->Read(buffer, sizeof buffer)));
        size_t n = 0, start = text->find("\r\n");  // the first line may be cut
        for (size_t p; start != std::string::npos && (p = text->find("\r\n", start + 2)) != std::string::npos; start = p)
            n += p - start - 2 == 12 && text->find('.', start) < p;
        return n;
    };
    std::string before, after;
    ASSERT_TRUE(WaitFor(plugged));
    EXPECT_TRUE(WaitFor([&] { return values(&before) >= 3; })) << before;

    sim.Signal(SIGUSR1);
    const auto pulled = std::chrono::steady_clock::now();
    EXPECT_TRUE(WaitFor([&] { return port->InQueue() == 0 && port->Lost(); }));
    // The link goes too: left dangling, it would lead to the next program's
    // terminal of the same number.
    struct stat st {};
    EXPECT_TRUE(WaitFor([&] { return ::lstat(device.c_str(), &st) != 0; })) << "the device vanished";
    EXPECT_TRUE(WaitFor(plugged)) << "back at " << device;
    const double outMs =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - pulled).count();
    EXPECT_GE(outMs, 950) << "out for the second it was told";
    EXPECT_TRUE(WaitFor([&] { return values(&after) >= 3; })) << after;
    EXPECT_EQ(after.find("KOV ready"), std::string::npos) << "the sensor did not restart";

    sim.Signal(SIGTERM);
    int code = -1;
    EXPECT_TRUE(WaitFor([&] { return sim.Ended(&code); }));
    EXPECT_EQ(code, 0);
    EXPECT_NE(::access(device.c_str(), F_OK), 0);
}
#endif

}  // namespace
