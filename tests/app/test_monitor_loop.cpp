// The measurement loop without a window: the simulated sensor behind an
// in-process port, simulated time, and a view that records what it is told.
#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "MonitorLoop.h"
#include "SensorModel.h"
#include "SensorTestSupport.h"
#include "SimPort.h"
#include "clsKOV.h"
#include "modKOVComm.h"

using namespace testsupport;
namespace Comm = modKOVComm::Comm;

namespace {

struct RecordingView : MonitorView {
    std::vector<int> statusIds;
    std::string lastStatus;
    std::vector<bool> measuring;
    std::vector<std::string> failures;
    void ShowStatus(int id, const std::string& detail) override {
        statusIds.push_back(id);
        lastStatus = std::to_string(id) + detail;
    }
    void MeasuringChanged(bool on) override { measuring.push_back(on); }
    void StepFailed(const std::string& what) override { failures.push_back(what); }
};

class LoopTest : public ::testing::Test {
protected:
    void SetUp() override {
        modKOVComm::ResetHooks();
        time.ms = 0;
        modKOVComm::SetSleep([this](int ms) { time.ms += ms; });
        model = std::make_shared<Sim::SensorModel>(Sim::Options{}, [this] { return time.ms; });
        link = std::make_shared<clsKOV>();
        link->SetPortFactory([this](int, std::string* device) {
            *device = "simulated";
            return std::make_unique<Sim::InProcessPort>(model);
        });
        loop = std::make_unique<MonitorLoop>([this] { return link; }, &view);
        loop->SetClock([this] { return time.Now(); });
        loop->SetMonotonicClock([this] { return time.ms; });
        loop->SetWaitFunction([this](int ms) {
            time.ms += ms;
            return true;
        });
        // The link's own waits (parameter writes) run the loop's ticks.
        modKOVComm::SetEventPump([this](int) { Tick(); });
    }
    void TearDown() override { modKOVComm::ResetHooks(); }
    void Tick(int n = 1) {
        for (int i = 0; i < n; ++i) {
            time.ms += MonitorLoop::TickMs;
            loop->Tick();
        }
    }
    bool TickUntil(const std::function<bool()>& done, int limit = 400) {
        for (int i = 0; i < limit; ++i) {
            Tick();
            if (done()) return true;
        }
        return false;
    }
    void Connect() { ASSERT_TRUE(TickUntil([this] { return link->CommStatus == Comm::Idle; })); }

    SimulatedTime time;
    std::shared_ptr<Sim::SensorModel> model;
    std::shared_ptr<clsKOV> link;
    RecordingView view;
    std::unique_ptr<MonitorLoop> loop;
};

}  // namespace

// Every listener gets every new distance, in the order they subscribed; one
// that fails is reported and the others still get the value.
TEST_F(LoopTest, ListenersGetEveryDistance) {
    std::vector<std::int32_t> first, second;
    const int a = loop->Subscribe([&](clsKOV& k) { first.push_back(k.MeasValue_mm); });
    loop->Subscribe([&](clsKOV&) { throw std::runtime_error("listener broke"); });
    loop->Subscribe([&](clsKOV& k) { second.push_back(k.MeasValue_mm); });
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
    EXPECT_NE(std::find(view.statusIds.begin(), view.statusIds.end(), 1134), view.statusIds.end());
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
    EXPECT_EQ(view.statusIds.back(), 1137);
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
    for (int id : view.statusIds) EXPECT_EQ(id, 1132);
    ASSERT_FALSE(view.statusIds.empty());
    loop->StartStop();  // stopped: the text goes after a while
    Tick(20);
    EXPECT_EQ(view.lastStatus, "0");
}
