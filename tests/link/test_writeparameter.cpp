// Parameter writes: the wait for "O" / "E" through the event pump.
#include "LinkTestSupport.h"

using namespace linktest;

namespace {

class WriteTest : public LinkTest {
protected:
    void SetUp() override {
        LinkTest::SetUp();
        Open();
        link.CommStatus = 1;
        pump = [this] {
            ++pumps;
            if (beforeStep) beforeStep();
            Tick();
        };
    }
    modKOVComm::EventPump pump;
    std::function<void()> beforeStep;
    int pumps = 0;
};

}  // namespace

TEST_F(WriteTest, AcceptedRejectedAndUnanswered) {
    MiniSensor sensor(wire);
    link.DistanceUnit = 0;
    modKOVComm::WriteParameter(link, "111", pump);
    EXPECT_EQ(sensor.commands.back(), "111 MM\r");
    EXPECT_EQ(link.EventNr, 5);
    EXPECT_EQ(pumps, 1);

    sensor.rejectWrites = true;
    modKOVComm::WriteParameter(link, "999", pump);
    EXPECT_EQ(sensor.commands.back(), "999 \r");
    EXPECT_EQ(link.EventNr, 6);

    sensor.silent = true;
    pumps = 0;
    modKOVComm::WriteParameter(link, "304", pump);
    EXPECT_EQ(link.EventNr, -1);
    EXPECT_GE(pumps, 40);  // 1500 + 500 ms in steps of 50 ms
    EXPECT_LE(pumps, 41);
    EXPECT_TRUE(slept.empty());
}

TEST_F(WriteTest, TheModulePumpIsUsedWhenSet) {
    MiniSensor sensor(wire);
    modKOVComm::SetEventPump(pump);
    modKOVComm::WriteParameter(link, "701");
    EXPECT_EQ(link.EventNr, 5);
    EXPECT_EQ(pumps, 1);
}

TEST_F(WriteTest, TemperatureOrBlockInsteadCountsAsRejected) {
    beforeStep = [this] { wire->toLink = "T=23 C, OK\r\n"; };
    modKOVComm::WriteParameter(link, "401", pump);
    EXPECT_EQ(link.EventNr, 6);
    beforeStep = [this] { wire->toLink = MiniSensor::InfoBlock(); };
    modKOVComm::WriteParameter(link, "401", pump);
    EXPECT_EQ(link.EventNr, 6);
}

TEST_F(WriteTest, DistancesDoNotEndTheWait) {
    link.CommStatus = 2;
    link.OutputFormat = 0;
    link.DistanceUnit = 0;
    int distances = 0;
    beforeStep = [this, &distances] {
        if (distances < 4) {
            wire->toLink = "   0001234.0 mm\r\n";
            ++distances;
        }
    };
    modKOVComm::WriteParameter(link, "302", pump);
    EXPECT_EQ(link.MeasValue_mm, 1234);
    EXPECT_GT(pumps, 4);
    EXPECT_EQ(link.EventNr, -1);  // the answer never came
}

// The program's pump may run more than one decoding step; the answer of the
// first must not be lost to the reset of the second.
TEST_F(WriteTest, AnAnswerSeenInsideThePumpIsKept) {
    MiniSensor sensor(wire);
    modKOVComm::WriteParameter(link, "503", [this] {
        Tick();
        Tick();
        Tick();
    });
    EXPECT_EQ(link.EventNr, 5);
}

TEST_F(WriteTest, PortLossOrClosingEndTheWait) {
    beforeStep = [this] {
        if (pumps == 3) wire->lost = true;
    };
    modKOVComm::WriteParameter(link, "801", pump);
    EXPECT_EQ(link.EventNr, -1);
    EXPECT_EQ(pumps, 3);
    EXPECT_FALSE(link.PortIsOpen());

    wire->lost = false;
    Open();
    ASSERT_TRUE(link.PortIsOpen());
    pumps = 0;
    beforeStep = [this] {
        if (pumps == 2) modKOVComm::SetClosing(true);
    };
    modKOVComm::WriteParameter(link, "801", pump);
    EXPECT_EQ(link.EventNr, -1);
    EXPECT_EQ(pumps, 2);
}

// A pump that never decodes (the timer stopped) must not hang the caller.
TEST_F(WriteTest, APumpThatDoesNotDecodeStillEnds) {
    modKOVComm::WriteParameter(link, "801", [this] { clock.Advance(1000); });
    EXPECT_EQ(link.EventNr, -1);
}

// Without a pump the write decodes by itself, once per 50 ms.
TEST_F(WriteTest, WithoutAPumpItDecodesItself) {
    MiniSensor sensor(wire);
    modKOVComm::SetSleep([this](int ms) { clock.Advance(ms); });
    modKOVComm::WriteParameter(link, "305");
    EXPECT_EQ(link.EventNr, 5);
}
