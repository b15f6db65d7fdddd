// The measurement loop without a window: the simulated sensor behind an
// in-process port, simulated time, and a view that records what it is told.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "Crc16Loader.h"
#include "MonitorLoop.h"
#include "SensorModel.h"
#include "SimulatedLoop.h"
#include "clsKOV.h"
#include "modKOVComm.h"

using namespace testsupport;
namespace Comm = modKOVComm::Comm;
namespace Event = modKOVComm::Event;

namespace {

struct RecordingView : MonitorView {
    std::vector<int> statusIds;
    std::string lastStatus;
    std::vector<bool> measuring;
    std::vector<std::string> failures;
    int cleared = 0;
    std::vector<std::int32_t> speeds;
    std::vector<std::string> checksumProblems;
    void ShowStatus(int id, const std::string& detail) override {
        statusIds.push_back(id);
        lastStatus = std::to_string(id) + detail;
    }
    void MeasuringChanged(bool on) override { measuring.push_back(on); }
    void StepFailed(const std::string& what) override { failures.push_back(what); }
    void ClearValue() override { ++cleared; }
    void SpeedChanged(std::int32_t bps) override { speeds.push_back(bps); }
    void ChecksumUnavailable(const std::string& text) override { checksumProblems.push_back(text); }
    bool Showed(int id) const { return std::find(statusIds.begin(), statusIds.end(), id) != statusIds.end(); }
};

class LoopTest : public SimulatedLoopTest {
protected:
    void SetUp() override { StartLoop({}, &view); }
    void Connect() { ASSERT_TRUE(TickUntil([this] { return link->CommStatus == Comm::Idle; })); }

    RecordingView view;
};

}  // namespace

// Every listener gets every new distance, in the order they subscribed; one
// that fails is reported and the others still get the value.
TEST_F(LoopTest, ListenersGetEveryDistance) {
    std::vector<std::int32_t> first, second;
    const int a = loop->Subscribe([&](const Measurement& m) { first.push_back(m.Mm); });
    loop->Subscribe([&](const Measurement&) { throw std::runtime_error("listener broke"); });
    loop->Subscribe([&](const Measurement& m) { second.push_back(m.Mm); });
    Connect();
    loop->StartStop();
    EXPECT_TRUE(loop->Measuring());
    Tick(40);
    ASSERT_GT(first.size(), 10u);
    EXPECT_EQ(first, second);
    EXPECT_EQ(loop->PublishedCount(), first.size());
    EXPECT_EQ(view.failures.size(), first.size());
    EXPECT_EQ(view.failures.front(), "listener broke");
    EXPECT_EQ(link->CommStatus, Comm::Measuring);
    loop->Unsubscribe(a);
    const std::size_t before = first.size();
    Tick(10);
    EXPECT_EQ(first.size(), before);
    EXPECT_GT(second.size(), before);
}

// A sensor with a temperature fault that falls silent while measuring is
// not answering like any other.
TEST_F(LoopTest, SilentSensorWithTemperatureFaultIsNoConnection) {
    Connect();
    loop->StartStop();
    Tick(20);
    link->TempStatus = 0;
    model->Faults().silent = true;
    ASSERT_TRUE(TickUntil([this] { return link->CommStatus == Comm::NotConnected; }, 30000 / 50));
    EXPECT_NE(std::find(view.statusIds.begin(), view.statusIds.end(), MonitorText::NoConnection), view.statusIds.end());
    EXPECT_TRUE(loop->Measuring()) << "resumed when the sensor answers again";
}

// A rejected or unanswered averaging write leaves the old value, says so,
// and the measurement goes on.
TEST_F(LoopTest, RejectedAveragingWriteKeepsTheOldValue) {
    model->Faults().rejectedCodes = {"301"};
    Connect();
    const std::int32_t old = link->AverageDepth;
    loop->StartStop();
    Tick(10);
    EXPECT_FALSE(loop->WriteAverage("301", old == 1 ? 2 : 1));
    EXPECT_EQ(link->AverageDepth, old);
    EXPECT_EQ(view.statusIds.back(), MonitorText::SettingRejected);
    EXPECT_EQ(link->CommStatus, Comm::Measuring);
    EXPECT_TRUE(loop->WriteAverage("304", 1));
    EXPECT_EQ(model->Param(304), 1);
    model->Faults().silent = true;
    EXPECT_FALSE(loop->WriteAverage("304", 0));
    EXPECT_EQ(link->MovingAverage, 1);
}

// While a write waits for its answer, the loop's ticks decode but send
// nothing of their own: a temperature answer does not start a measurement in
// the middle of the write.
TEST_F(LoopTest, NothingIsSentWhileAWriteWaits) {
    Connect();
    loop->StartStop();  // the user's measurement ...
    Tick(5);
    link->CommStatus = Comm::Idle;  // ... lost for a moment: resumed on the next temperature
    model->ClearHistory();
    bool busySeen = false;
    modKOVComm::SetEventPump([&](int) {
        busySeen = busySeen || loop->Busy();
        if (model->Commands().size() == 1) model->Receive("T");  // a temperature answer arrives meanwhile
        Tick();
    });
    model->Faults().replyDelayMs = 400;
    loop->WriteAverage("304", 1);
    EXPECT_TRUE(busySeen);
    for (const auto& c : model->Commands()) EXPECT_NE(c.text, "M") << "sent during the write";
}

// The caption follows the user's measurement: it stays on across a lost
// link and goes on by itself; Stop while the sensor is away cancels it.
TEST_F(LoopTest, MeasuringSurvivesALostLinkUntilStopped) {
    Connect();
    loop->StartStop();
    Tick(10);
    model->SetUnplugged(true);
    ASSERT_TRUE(TickUntil([this] { return link->CommStatus == Comm::NotConnected; }, 20));
    EXPECT_TRUE(loop->Measuring());
    model->SetUnplugged(false);
    ASSERT_TRUE(TickUntil([this] { return link->CommStatus == Comm::Measuring; }, 100));
    EXPECT_EQ(view.measuring, std::vector<bool>{true});
    model->SetUnplugged(true);
    ASSERT_TRUE(TickUntil([this] { return link->CommStatus == Comm::NotConnected; }, 20));
    loop->StartStop();
    EXPECT_FALSE(loop->Measuring());
    model->SetUnplugged(false);
    Tick(100);
    EXPECT_EQ(link->CommStatus, Comm::Idle);
    EXPECT_EQ(view.measuring, (std::vector<bool>{true, false}));
}

// A value every 100 ms and a tick every 50 ms: the status says "new distance"
// and does not blink empty in between; it clears once nothing has happened
// for half a second.
TEST_F(LoopTest, StatusDoesNotBlinkBetweenValues) {
    Connect();
    loop->StartStop();
    Tick(20);
    view.statusIds.clear();
    view.lastStatus.clear();
    Tick(40);
    for (int id : view.statusIds) EXPECT_EQ(id, MonitorText::NewDistance);
    ASSERT_FALSE(view.statusIds.empty());
    loop->StartStop();  // stopped: the text goes after a while
    Tick(20);
    EXPECT_EQ(view.lastStatus, "0");
}

// A reading that is no longer live does not stay on show, the same on every
// fault path: the sensor falls silent, restarts (its ready banner in the
// stream), or the adapter is pulled. On the banner the link is built up
// again at once ("X"), and the user's measurement goes on.
TEST_F(LoopTest, AValueNoLongerLiveIsClearedOnEveryFaultPath) {
    struct Fault {
        const char* name;
        std::function<void()> start, end;
        int ticks;  // the value is cleared within this many ticks
    };
    const Fault faults[] = {
        {"silence", [this] { model->Faults().silent = true; }, [this] { model->Faults().silent = false; }, 80},
        {"restart", [this] { model->PowerCycle(); }, [] {}, 10},
        {"unplugged", [this] { model->SetUnplugged(true); }, [this] { model->SetUnplugged(false); }, 2},
    };
    Connect();
    loop->StartStop();
    for (const Fault& f : faults) {
        SCOPED_TRACE(f.name);
        ASSERT_TRUE(
            TickUntil([this] { return link->CommStatus == Comm::Measuring && link->EventNr == Event::Distance; }));
        view.cleared = 0;
        view.statusIds.clear();
        const std::size_t before = model->Commands().size();
        f.start();
        EXPECT_TRUE(TickUntil([this] { return view.cleared > 0; }, f.ticks));
        if (std::string(f.name) == "restart") {
            EXPECT_TRUE(view.Showed(MonitorText::SensorRestarted));
            ASSERT_GT(model->Commands().size(), before);
            EXPECT_EQ(model->Commands()[before].text, "X") << "at once, not after a data deadline";
        }
        f.end();
        EXPECT_TRUE(loop->Measuring());
    }
    EXPECT_TRUE(TickUntil([this] { return link->CommStatus == Comm::Measuring; }));
}

// A stop is only a stop: stray bytes on the line afterwards do not make the
// link read the whole block again ("C"), nor look like a stream ("S").
TEST_F(LoopTest, NoInformationRequestAfterAStop) {
    Connect();
    loop->StartStop();
    Tick(20);
    model->Faults().noiseBytesPerSecond = 20;
    model->Faults().noiseBurst = 3;
    loop->StartStop();
    const std::size_t before = model->Commands().size();
    Tick(200);
    for (std::size_t i = before; i < model->Commands().size(); ++i) {
        EXPECT_NE(model->Commands()[i].text, "C");
        EXPECT_NE(model->Commands()[i].text, "S");
    }
    EXPECT_EQ(link->CommStatus, Comm::Idle);
}

// Without the CRC16 library a BINARY+CRC sensor is not "silent": the view
// is told once that the library is missing, where it was looked for and why,
// and the status panel keeps saying so.
TEST_F(LoopTest, AMissingChecksumLibraryIsSaidAsSuch) {
    model->StoreParam(101, 3);
    Crc16Loader::Unload();
    Crc16Loader::SetLibraryOverride("/nonexistent/folder/libCRC16.so");
    Connect();
    loop->StartStop();
    EXPECT_TRUE(TickUntil([this] { return !view.checksumProblems.empty(); }, 40));
    Tick(80);
    Crc16Loader::SetLibraryOverride("");
    Crc16Loader::Unload();
    ASSERT_EQ(view.checksumProblems.size(), 1u);
    EXPECT_EQ(view.checksumProblems[0].rfind("CRC16 library not loaded (/nonexistent/folder/libCRC16.so): ", 0), 0u)
        << view.checksumProblems[0];
    EXPECT_GT(view.checksumProblems[0].size(), 60u) << "the reason follows";
    EXPECT_EQ(view.statusIds.back(), MonitorText::ChecksumLibrary);
    EXPECT_EQ(view.lastStatus.find("1144 (/nonexistent/folder/libCRC16.so): "), 0u) << view.lastStatus;
}

// A new speed of the port (the sensor took a speed write) reaches the view
// and is the speed a lost port is opened again with.
TEST_F(LoopTest, TheViewFollowsTheSpeed) {
    Connect();
    link->CommBaudrate(38400);
    link->CommBaudrate(38400);
    EXPECT_EQ(view.speeds, std::vector<std::int32_t>{38400});
    EXPECT_EQ(loop->Baudrate(), 38400);
}

// What the controls may do follows the connection, the measurement and the
// output mode; the marker laser is not switched on during a temperature fault.
TEST_F(LoopTest, ControlsAndTheLaserFollowTheState) {
    const auto sent = [this](const std::string& command) {
        for (const auto& c : model->Commands())
            if (c.text == command) return true;
        return false;
    };
    MonitorLoop::Controls may = loop->ControlsNow();
    EXPECT_FALSE(may.Sensor || may.Start || may.SingleRequest);
    EXPECT_TRUE(may.Port);
    Connect();
    may = loop->ControlsNow();
    EXPECT_TRUE(may.Sensor && may.Start && may.Port);
    EXPECT_FALSE(may.SingleRequest);

    link->TempStatus = 0;
    EXPECT_FALSE(loop->SetLaser(true));
    EXPECT_FALSE(sent("P"));
    EXPECT_TRUE(loop->SetLaser(false));  // off is always allowed
    EXPECT_TRUE(sent("O"));
    link->TempStatus = 1;
    Tick(10);
    EXPECT_TRUE(loop->SetLaser(true));
    EXPECT_TRUE(sent("P"));

    link->OutputMode = modKOVComm::OutputMode::OnRequest;
    Tick(10);
    loop->StartStop();
    EXPECT_TRUE(loop->ControlsNow().SingleRequest);
    link->OutputMode = modKOVComm::OutputMode::Continuous;
    EXPECT_FALSE(loop->ControlsNow().SingleRequest);
}
