// Parameter writes: the wait for "O" / "E" through the event pump.
#include "LinkTestSupport.h"

using namespace linktest;

namespace {

class WriteTest : public LinkTest {
protected:
    void SetUp() override {
        LinkTest::SetUp();
        link.OpenComPort(1, 9600);
        link.CommStatus = 1;
    }
    // The tests' pump: something may arrive, then one monitor tick.
    modKOVComm::EventPump pump = [this] {
        ++pumps;
        if (beforeStep) beforeStep();
        Tick();
    };
    std::function<void()> beforeStep;
    int pumps = 0;
};

}  // namespace

TEST_F(WriteTest, AcceptedRejectedAndUnanswered) {
    MiniSensor sensor(wire);
    link.DistanceUnit = 0;
    modKOVComm::SetEventPump(pump);
    modKOVComm::WriteParameter(link, "111");
    EXPECT_EQ(sensor.commands.back(), "111 MM\r");
    EXPECT_EQ(link.EventNr, 5);

    sensor.rejectWrites = true;
    modKOVComm::WriteParameter(link, "999");
    EXPECT_EQ(sensor.commands.back(), "999 \r");
    EXPECT_EQ(link.EventNr, 6);

    sensor.silent = true;
    pumps = 0;
    modKOVComm::WriteParameter(link, "304");
    EXPECT_EQ(link.EventNr, -1);
    EXPECT_NEAR(pumps, 41, 1);  // 1500 + 500 ms in ticks of 50 ms
    EXPECT_TRUE(slept.empty());
}

TEST_F(WriteTest, TemperatureOrBlockInsteadCountsAsRejected) {
    for (const std::string& reply : {std::string("T=23 C, OK\r\n"), MiniSensor::InfoBlock()}) {
        beforeStep = [&] { wire->toLink = reply; };
        modKOVComm::WriteParameter(link, "401", pump);
        EXPECT_EQ(link.EventNr, 6);
    }
}

// The program's pump may run several decoding steps; the answer seen by the
// first must not be lost to the reset of the next.
TEST_F(WriteTest, AnAnswerInsideThePumpIsKept) {
    MiniSensor sensor(wire);
    modKOVComm::WriteParameter(link, "503", [this] {
        Tick();
        Tick();
    });
    EXPECT_EQ(link.EventNr, 5);
}

TEST_F(WriteTest, PortLossClosingOrAStoppedTimerEndTheWait) {
    beforeStep = [this] { wire->lost = pumps == 3; };
    modKOVComm::WriteParameter(link, "801", pump);
    EXPECT_EQ(link.EventNr, -1);
    EXPECT_EQ(pumps, 3);

    wire->lost = false;
    link.OpenComPort(1, 9600);
    pumps = 0;
    beforeStep = [this] { modKOVComm::SetClosing(pumps == 2); };
    modKOVComm::WriteParameter(link, "801", pump);
    EXPECT_EQ(link.EventNr, -1);
    EXPECT_EQ(pumps, 2);

    // A pump that never decodes: the clock still ends the wait.
    modKOVComm::SetClosing(false);
    modKOVComm::WriteParameter(link, "801", [this] { now += 1000 / modAPI::MsPerDay; });
    EXPECT_EQ(link.EventNr, -1);
}
