// The link object against the simulated sensor, end to end: the link opens a
// real pseudo-terminal through the serial layer, the sensor sits on its
// master side. Time is simulated, the bytes really cross the kernel.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "PtyServer.h"
#include "SensorModel.h"
#include "SerialPort.h"
#include "SimPort.h"
#include "clsKOV.h"
#include "modAPI.h"
#include "modKOVComm.h"

namespace {

using Sim::SensorModel;

// Passes everything through and counts the bytes the link sends, so that the
// test knows when the sensor has heard all of them.
class CountingPort final : public SerialLayer::Port {
public:
    CountingPort(std::unique_ptr<SerialLayer::Port> inner, size_t* sent) : m_Inner(std::move(inner)), m_Sent(sent) {}
    bool Open(std::string* error) override { return m_Inner->Open(error); }
    void Close() override { m_Inner->Close(); }
    void SetBaud(int bps) override { m_Inner->SetBaud(bps); }
    int GetBaud() override { return m_Inner->GetBaud(); }
    int DataStatus() override { return m_Inner->DataStatus(); }
    int InQueue() override { return m_Inner->InQueue(); }
    int Read(unsigned char* buffer, int length) override { return m_Inner->Read(buffer, length); }
    void FlushInput() override { m_Inner->FlushInput(); }
    void PutChar(unsigned char byte) override {
        m_Inner->PutChar(byte);
        ++*m_Sent;
    }
    bool Lost() const override { return m_Inner->Lost(); }

private:
    std::unique_ptr<SerialLayer::Port> m_Inner;
    size_t* m_Sent;
};

std::string TempFolder() {
    char tmpl[] = "/tmp/ora-sim-XXXXXX";
    return ::mkdtemp(tmpl);
}

struct Reported {
    std::int32_t mm;
    double value;
    std::string text;
    size_t historySize;  // values the sensor had measured at that tick
};

class PtyLink : public ::testing::Test {
protected:
    double ms = 0;
    const double base = modAPI::DayCount(2026, 3, 2, 8, 0, 0, 0);
    std::string dir, linkPath;
    std::shared_ptr<SensorModel> model;
    std::unique_ptr<Sim::PtyServer> server;
    clsKOV link;
    size_t sent = 0, delivered = 0;
    std::vector<int> events;
    std::vector<Reported> reported;
    size_t maxInBuffer = 0;

    void SetUp() override {
        dir = TempFolder();
        linkPath = dir + "/sensor";
        modAPI::SetClock([this] { return base + ms / modAPI::MsPerDay; });
        modKOVComm::SetSleep([this](int pause) { ms += pause; });
        modKOVComm::SetEventPump([this] { Tick(); });
        link.SetPortFactory([this](int, std::string* device) -> std::unique_ptr<SerialLayer::Port> {
            if (device) *device = linkPath;
            return std::make_unique<CountingPort>(SerialLayer::CreateDevicePort(linkPath), &sent);
        });
    }
    void TearDown() override {
        link.CloseComPort();
        server.reset();
        modKOVComm::SetEventPump(nullptr);
        modKOVComm::SetSleep(nullptr);
        modAPI::SetClock(nullptr);
        ::unlink(linkPath.c_str());
        ::rmdir(dir.c_str());
    }

    void StartSensor(const Sim::Options& options = {}) {
        model = std::make_shared<SensorModel>(options, [this] { return ms; });
        Replug();
    }
    void Replug() {
        server = std::make_unique<Sim::PtyServer>(model);
        server->SetWaitForDelivery(true);
        std::string error;
        ASSERT_TRUE(server->Start(&error, linkPath)) << error;
    }
    void Unplug() { server.reset(); }

    void Sync() {
        if (sent > delivered && server) {
            EXPECT_TRUE(server->ReceiveFromProgram(sent - delivered, 2000));
        }
        delivered = sent;
    }

    // One 50 ms tick of the monitor: a closed port is reopened and the link
    // starts over; read, decode; a missing answer steps the state down.
    void Tick() {
        Sync();
        ms += 50;
        if (server) server->Serve(0);
        link.CurrentTime = modAPI::NowWithMs();
        if (!link.PortIsOpen()) {
            link.OpenComPort(1, 9600);
            link.CommStatus = 0;
        }
        if (link.PortIsOpen()) {
            link.ReadComportData();
            link.EvaluateInBuffer();
            maxInBuffer = std::max(maxInBuffer, link.InBuffer.size());
            if (link.EventNr == -1 && link.CommStatus > 0) --link.CommStatus;
            if (link.EventNr == 2) {
                reported.push_back({link.MeasValue_mm, link.MeasValue, link.sDistance, model->History().size()});
            }
        }
        events.push_back(link.PortIsOpen() ? link.EventNr : -100);
        Sync();
    }
    bool RunUntil(const std::function<bool()>& done, double limitMs) {
        const double end = ms + limitMs;
        while (ms < end) {
            Tick();
            if (done()) return true;
        }
        return false;
    }
    void Run(double durationMs) {
        RunUntil([] { return false; }, durationMs);
    }
    void Connect() {
        ASSERT_TRUE(RunUntil([this] { return link.CommStatus == 1; }, 5000));
    }
    size_t Count(int event) const { return static_cast<size_t>(std::count(events.begin(), events.end(), event)); }
    std::vector<double> CommandTimes(const std::string& text) const {
        std::vector<double> times;
        for (const auto& c : model->Commands()) {
            if (c.text == text) times.push_back(c.timeMs);
        }
        return times;
    }
    void WriteParameter(const std::string& code, int expected) {
        modKOVComm::WriteParameter(link, code);
        EXPECT_EQ(link.EventNr, expected) << code;
    }

    // Every reported value is one the sensor sent, in the order sent, and each
    // step reported the newest value that had arrived.
    void ExpectReportedAsSent(bool asciiText) {
        const auto& history = model->History();
        size_t at = 0;
        for (const auto& r : reported) {
            while (at < history.size() && history[at].mm != r.mm) ++at;
            ASSERT_LT(at, history.size()) << "value " << r.mm << " was never sent (or out of order)";
            EXPECT_GE(at + 2, r.historySize) << "an older value than the newest one";
            const double factor = SensorModel::UnitFactor(history[at].unit);
            EXPECT_NEAR(r.value, r.mm / factor, 0.51 / factor);
            if (asciiText) {
                const std::string& text = history[at].text;
                EXPECT_EQ(r.text, text.substr(text.find_first_not_of(' ')));
            }
            ++at;
        }
    }
};

TEST_F(PtyLink, ConnectingReadsTheInformationBlock) {
    StartSensor();
    modKOVComm::ConfigurationRead = false;
    Connect();
    ASSERT_GE(model->Commands().size(), 2u);
    EXPECT_EQ(model->Commands()[0].text, "X");
    EXPECT_EQ(model->Commands()[1].text, "C");
    EXPECT_EQ(Count(4), 1u);
    EXPECT_TRUE(modKOVComm::ConfigurationRead);
    EXPECT_EQ(link.DeviceType, "Serial");
    EXPECT_EQ(link.SerialNo, "30514");
    EXPECT_EQ(link.HWPointer, "off");
    EXPECT_EQ(link.sTemperature, "23 C, OK");
    EXPECT_EQ(link.NodeAddress, -1);
    EXPECT_EQ(link.RainFilter, -1);
    EXPECT_EQ(link.CommBaudrate(), 9600);
    EXPECT_EQ(model->LineSpeed(), 9600);
    EXPECT_LT(ms, 1500);
}

TEST_F(PtyLink, ConnectingToAProfibusDeviceWithRainFilter) {
    Sim::Options options;
    options.profibus = true;
    options.rainFilter = true;
    StartSensor(options);
    model->SetParam(352, 1500);
    Connect();
    EXPECT_EQ(link.DeviceType, "Profibus");
    EXPECT_EQ(link.NodeAddress, 3);
    EXPECT_EQ(link.RainFilter, 0);
    EXPECT_EQ(link.DistanceWindow, 1500);
}

TEST_F(PtyLink, KeepAliveTemperatureAboutEveryOneAndAHalfSeconds) {
    StartSensor();
    Connect();
    Run(10000);
    const auto times = CommandTimes("T");
    ASSERT_GE(times.size(), 6u);
    for (size_t i = 1; i < times.size(); ++i) {
        EXPECT_GE(times[i] - times[i - 1], 1500);
        EXPECT_LE(times[i] - times[i - 1], 1600);
    }
    EXPECT_GE(Count(3), times.size() - 1);
    EXPECT_EQ(Count(-1), 0u);
    EXPECT_EQ(link.sTemperature, "23 C, OK");
    EXPECT_EQ(link.TempStatus, 1);
    EXPECT_EQ(link.CommStatus, 1);
}

TEST_F(PtyLink, ContinuousMeasurementInAllFourFormats) {
    struct Case {
        int format, unit, speed;
    };
    for (const Case c : {Case{0, 0, 9600}, Case{1, 1, 9600}, Case{1, 3, 1200}, Case{2, 1, 9600}, Case{3, 0, 38400}}) {
        SCOPED_TRACE("format " + std::to_string(c.format) + " unit " + std::to_string(c.unit));
        StartSensor();
        Connect();
        link.CommBaudrate(c.speed);
        link.OutputFormat = c.format;
        link.DistanceUnit = c.unit;
        WriteParameter("101", 5);
        WriteParameter("111", 5);
        model->ClearHistory();
        reported.clear();
        events.clear();
        modKOVComm::StartContinuous(link);
        Run(4000);
        EXPECT_EQ(link.CommStatus, 2);
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
    ASSERT_TRUE(RunUntil([this] { return link.EventNr == 3; }, 4000));
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

TEST_F(PtyLink, ParameterWriteAcceptedAndRejected) {
    Sim::Options options;
    options.rejectedCodes = {"302"};
    StartSensor(options);
    Connect();
    link.DistanceUnit = 0;
    WriteParameter("111", 5);
    EXPECT_EQ(model->Param(111), 0);
    link.S1OnThreshold = 12000;
    WriteParameter("501", 5);
    EXPECT_EQ(model->Param(501), 12000);
    WriteParameter("302", 6);
    link.RainFilter = 1;  // this device has no rain filter
    WriteParameter("351", 6);
    WriteParameter("999", 5);
    EXPECT_EQ(model->StoredParam(501), 12000);
    // Read back: the link holds what the sensor holds.
    link.S1OnThreshold = 0;
    link.SendCommand("C");
    ASSERT_TRUE(RunUntil([this] { return link.EventNr == 4; }, 2000));
    EXPECT_EQ(link.S1OnThreshold, 12000);
    EXPECT_EQ(link.DistanceUnit, 0);
}

TEST_F(PtyLink, NoAnswerReportsMinusOneAndReconnects) {
    StartSensor();
    Connect();
    model->Faults().silent = true;
    ASSERT_TRUE(RunUntil([this] { return link.EventNr == -1; }, 3000));
    EXPECT_EQ(link.CommStatus, 0);
    model->ClearHistory();
    Run(6100);
    EXPECT_EQ(CommandTimes("X").size(), 3u) << "a wake-up every 2 s";
    // A parameter write to a silent sensor ends as "no answer".
    WriteParameter("304", -1);
    model->Faults().silent = false;
    Connect();
}

TEST_F(PtyLink, UnpluggedPortIsClosedAndReopenedWhenBack) {
    StartSensor();
    Connect();
    Unplug();
    ASSERT_TRUE(RunUntil([this] { return !link.PortIsOpen(); }, 200));
    Run(1000);
    EXPECT_FALSE(link.PortIsOpen());
    EXPECT_EQ(link.LastOpenError(), "No such file or directory");
    Replug();
    Tick();
    EXPECT_TRUE(link.PortIsOpen());
    events.clear();
    // The link finds the sensor again, whichever way round.
    ASSERT_TRUE(RunUntil([this] { return link.CommStatus == 1 && (link.EventNr == 3 || link.EventNr == 4); }, 6000));
}

TEST_F(PtyLink, PowerCycleWhileIdleAndWhileMeasuring) {
    StartSensor();
    Connect();
    Run(500);
    model->PowerCycle();
    Run(1000);
    events.clear();
    ASSERT_TRUE(RunUntil([this] { return link.EventNr == 3; }, 5000)) << "keep-alive answered again";
    EXPECT_EQ(link.CommStatus, 1);

    modKOVComm::StartContinuous(link);
    Run(1000);
    model->PowerCycle();
    ASSERT_TRUE(RunUntil([this] { return link.CommStatus == 1; }, 2000)) << "the banner ends the measurement";
    events.clear();
    ASSERT_TRUE(RunUntil([this] { return link.EventNr == 3; }, 5000));
    // The sensor restarts by itself during the next measurement, too.
    model->Faults().restartAfterMs = 800;
    modKOVComm::StartContinuous(link);
    ASSERT_TRUE(RunUntil([this] { return link.CommStatus == 1; }, 3000));
    events.clear();
    ASSERT_TRUE(RunUntil([this] { return link.EventNr == 3; }, 5000));
    EXPECT_LT(maxInBuffer, 600u);
}

TEST_F(PtyLink, DamagedStreamResynchronises) {
    StartSensor();
    Connect();
    link.OutputFormat = 3;
    WriteParameter("101", 5);
    model->ClearHistory();
    model->Faults().crcErrorRate = 0.2;
    model->Faults().garbageRate = 0.2;
    model->SetParam(301, 2);  // 100 values a second
    link.CommBaudrate(38400);
    modKOVComm::StartContinuous(link);
    Run(5000);
    EXPECT_GT(Count(7), 5u);
    EXPECT_GT(Count(2), 40u);
    for (const auto& r : reported) {
        const auto& h = model->History();
        const bool sentIntact = std::any_of(h.begin(), h.end(), [&](const Sim::SentValue& v) {
            return v.mm == r.mm && !v.damaged;
        });
        EXPECT_TRUE(sentIntact) << r.mm;
    }
    EXPECT_LT(maxInBuffer, 600u);
}

// The SIMULATOR port number, served in-process on the program's clock.
TEST(InProcessSimulator, ConnectsThroughTheSimulatorPortNumber) {
    const std::string folder = TempFolder();
    std::ofstream(folder + "/KOV.ini") << "[PORTS]\n4=SIMULATOR\n";
    modAPI::SetProgramFolder(folder);
    double ms = 0;
    const double base = modAPI::DayCount(2026, 3, 2, 8, 0, 0, 0);
    modAPI::SetClock([&] { return base + ms / modAPI::MsPerDay; });
    modKOVComm::SetSleep([&](int pause) { ms += pause; });
    Sim::Options options;
    auto model = Sim::RegisterInProcessSimulator(options);
    model->SetParam(101, 0);
    {
        clsKOV link;
        link.OpenComPort(4, 38400);
        ASSERT_TRUE(link.PortIsOpen()) << link.LastOpenError();
        EXPECT_EQ(link.DevicePath(), "SIMULATOR");
        int values = 0;
        for (int tick = 0; tick < 100; ++tick) {
            ms += 50;
            link.CurrentTime = modAPI::NowWithMs();
            link.ReadComportData();
            link.EvaluateInBuffer();
            if (link.CommStatus == 1 && link.LastCommand.empty()) modKOVComm::StartContinuous(link);
            values += link.EventNr == 2;
        }
        EXPECT_EQ(model->LineSpeed(), 38400);
        EXPECT_GT(values, 20);
        EXPECT_EQ(link.sDistance, model->History().back().text.substr(model->History().back().text.find_first_not_of(' ')));
        model->SetUnplugged(true);
        link.ReadComportData();
        EXPECT_FALSE(link.PortIsOpen());
    }
    SerialLayer::RegisterSimulator(nullptr);
    modKOVComm::SetSleep(nullptr);
    modAPI::SetClock(nullptr);
    std::remove((folder + "/KOV.ini").c_str());
    ::rmdir(folder.c_str());
}

#ifdef ORA_SIM_TOOL
// The tool as a separate process, in real time, found through KOV.ini.
class Tool {
public:
    explicit Tool(const std::string& linkPath) {
        m_Pid = ::fork();
        if (m_Pid == 0) {
            std::freopen("/dev/null", "w", stdout);
            std::freopen("/dev/null", "w", stderr);
            ::execl(ORA_SIM_TOOL, ORA_SIM_TOOL, "--link", linkPath.c_str(), "--format", "0", "--unit", "0",
                    static_cast<char*>(nullptr));
            ::_exit(127);
        }
        struct stat st{};
        for (int i = 0; i < 200 && ::lstat(linkPath.c_str(), &st) != 0; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
    ~Tool() {
        if (m_Pid > 0) {
            ::kill(m_Pid, SIGTERM);
            ::waitpid(m_Pid, nullptr, 0);
        }
    }

private:
    pid_t m_Pid = -1;
};

TEST(SimulatorTool, OptionsAreListedAndChecked) {
    std::string help;
    if (FILE* p = ::popen(ORA_SIM_TOOL " --help", "r")) {
        char buffer[4096];
        size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, p)) > 0) help.append(buffer, n);
        EXPECT_EQ(::pclose(p), 0);
    }
    for (const char* option : {"--link", "--profibus", "--rain-filter", "--silent", "--no-echo", "--temp-error",
                               "--restart-after", "--garbage", "--crc-errors", "--reject", "--delay"}) {
        EXPECT_NE(help.find(option), std::string::npos) << option;
    }
    EXPECT_EQ(std::system(ORA_SIM_TOOL " --no-echo 2 >/dev/null 2>&1"), 2 << 8) << "a rate above 1";
    EXPECT_EQ(std::system(ORA_SIM_TOOL " --format 4 >/dev/null 2>&1"), 2 << 8);
    EXPECT_EQ(std::system(ORA_SIM_TOOL " --bogus >/dev/null 2>&1"), 2 << 8);
}

TEST(SimulatorTool, ServesTheLinkAndComesBackAfterARestart) {
    const std::string folder = TempFolder();
    const std::string device = folder + "/ora-sensor";
    std::ofstream(folder + "/KOV.ini") << "[PORTS]\n5=" << device << "\n";
    modAPI::SetProgramFolder(folder);
    clsKOV link;
    auto tick = [&link] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        link.CurrentTime = modAPI::NowWithMs();
        if (!link.PortIsOpen()) {
            link.OpenComPort(5, 19200);
            link.CommStatus = 0;
        }
        if (!link.PortIsOpen()) return;
        link.ReadComportData();
        link.EvaluateInBuffer();
        if (link.EventNr == -1 && link.CommStatus > 0) --link.CommStatus;
    };
    auto runUntil = [&](const std::function<bool()>& done, int ticks) {
        for (int i = 0; i < ticks; ++i) {
            tick();
            if (done()) return true;
        }
        return false;
    };
    {
        auto tool = std::make_unique<Tool>(device);
        ASSERT_TRUE(runUntil([&] { return link.CommStatus == 1; }, 60)) << link.LastOpenError();
        EXPECT_EQ(link.DevicePath(), device);
        EXPECT_EQ(link.OutputFormat, 0);
        modKOVComm::StartContinuous(link);
        ASSERT_TRUE(runUntil([&] { return link.EventNr == 2; }, 30));
        EXPECT_GT(link.MeasValue_mm, 1000);
        EXPECT_EQ(link.MeasValue, link.MeasValue_mm);
        tool.reset();  // the sensor goes away
        ASSERT_TRUE(runUntil([&] { return !link.PortIsOpen(); }, 10));
        tool = std::make_unique<Tool>(device);
        ASSERT_TRUE(runUntil([&] { return link.PortIsOpen(); }, 10));
        // A fresh sensor: the link connects again from the start.
        ASSERT_TRUE(runUntil([&] { return link.CommStatus == 1 && link.EventNr == 3; }, 120));
    }
    link.CloseComPort();
    std::remove((folder + "/KOV.ini").c_str());
    ::rmdir(folder.c_str());
}
#endif

}  // namespace
