// The link object: port handling, reading and sending.
#include "LinkTestSupport.h"

using namespace linktest;

TEST_F(LinkTest, OpenRefusesBadNumbersAndASecondOpen) {
    link.OpenComPort(0, 9600);
    link.OpenComPort(-1, 9600);
    EXPECT_FALSE(link.PortIsOpen());
    EXPECT_EQ(link.CommComPort(), 0);

    link.OpenComPort(3, 57600);
    EXPECT_TRUE(link.PortIsOpen());
    EXPECT_EQ(link.CommBaudrate(), 57600);
    link.OpenComPort(4, 9600);  // already open: refused, even with another number
    EXPECT_EQ(link.CommComPort(), 3);
    EXPECT_EQ(link.CommBaudrate(), 57600);
    link.CommBaudrate(14400);   // not a supported speed: ignored
    EXPECT_EQ(link.CommBaudrate(), 57600);

    // A copy (a configuration entry) takes the fields but never the port.
    clsKOV copy(link);
    EXPECT_FALSE(copy.PortIsOpen());
    EXPECT_TRUE(link.PortIsOpen());
}

TEST_F(LinkTest, FailureReasonHangUpAndReopen) {
    wire->failOpen = true;
    link.OpenComPort(2, 9600);
    EXPECT_FALSE(link.PortIsOpen());
    EXPECT_EQ(link.LastOpenError(), "Permission denied");
    EXPECT_EQ(link.DevicePath(), "/dev/fake2");

    wire->failOpen = false;
    link.OpenComPort(2, 9600);
    ASSERT_TRUE(link.PortIsOpen());
    EXPECT_EQ(link.LastOpenError(), "");

    wire->lost = true;  // adapter unplugged
    link.ReadComportData();
    EXPECT_FALSE(link.PortIsOpen());
    EXPECT_FALSE(wire->isOpen);
    link.SendCommand("T");  // still safe: nothing sent, the deadline armed
    EXPECT_NEAR(Ms(link.FailTime - link.CurrentTime), 1500, 1e-3);
    wire->lost = false;
    link.OpenComPort(2, 9600);
    EXPECT_TRUE(link.PortIsOpen());
}

TEST_F(LinkTest, SendTransmitsBytesAndArmsTheDeadline) {
    link.OpenComPort(1, 9600);
    struct Case { std::string command; double ms; } cases[] = {
        {"C", 1021}, {"352 20000\r", 3500}, {"999 \r", 3500}, {"", 2000}, {"M", 3500}, {"T", 1500}};
    for (const Case& c : cases) {
        wire->fromLink.clear();
        wire->toLink = "stale";
        link.InBuffer = "old";
        link.EventNr = 4;
        link.SendCommand(c.command);
        EXPECT_EQ(wire->fromLink, c.command);
        EXPECT_EQ(wire->toLink, "");  // input queue discarded
        EXPECT_EQ(link.InBuffer, "");
        EXPECT_EQ(link.EventNr, 0);
        EXPECT_EQ(link.LastCommand, c.command);
        EXPECT_NEAR(Ms(link.FailTime - link.CurrentTime), c.ms, 1e-3) << c.command;
    }
    EXPECT_TRUE(slept.empty());
    EXPECT_EQ(modKOVComm::CommandTimeout("C", 1200), 4167);
    EXPECT_EQ(modKOVComm::CommandTimeout("C", 38400), 130);
}

TEST_F(LinkTest, PauseAfterStopFollowsTheSpeedAndNeedsOne) {
    link.OpenComPort(1, 9600);
    modKOVComm::StopContinuous(link);
    EXPECT_EQ(link.CommStatus, 1);
    link.CommBaudrate(1200);
    link.SendCommand("S");
    EXPECT_EQ(slept, (std::vector<int>{18, 142}));

    // Port lost: no speed to divide by, so no pause and the plain time-out.
    wire->lost = true;
    link.SendCommand("S");
    EXPECT_EQ(slept.size(), 2u);
    link.SendCommand("C");
    EXPECT_NEAR(Ms(link.FailTime - link.CurrentTime), 2000, 1e-3);
    EXPECT_EQ(modKOVComm::CommandTimeout("C", 0), 1500);
}
