// The link object: port handling, reading and sending.
#include "LinkTestSupport.h"

using namespace linktest;

// Opening, a failure and its reason, a hang-up, and opening again.
TEST_F(LinkTest, OpenFailHangUpReopen) {
    link.OpenComPort(0, 9600);
    link.OpenComPort(-1, 9600);
    EXPECT_FALSE(link.PortIsOpen());

    link.OpenComPort(3, 57600);
    EXPECT_TRUE(link.PortIsOpen());
    link.OpenComPort(4, 9600);  // already open: refused, even with another number
    link.CommBaudrate(14400);   // not a supported speed: ignored
    EXPECT_EQ(link.CommComPort(), 3);
    EXPECT_EQ(link.CommBaudrate(), 57600);

    // A copy (a configuration entry) takes the fields but never the port.
    clsKOV copy(link);
    EXPECT_FALSE(copy.PortIsOpen());
    EXPECT_TRUE(link.PortIsOpen());
    link.CloseComPort();

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
        link.EventNr = Event::Configuration;
        link.SendCommand(c.command);
        EXPECT_EQ(wire->fromLink, c.command);
        EXPECT_EQ(wire->toLink, "");  // input queue discarded
        EXPECT_EQ(link.InBuffer, "");
        EXPECT_EQ(link.EventNr, Event::Nothing);
        EXPECT_EQ(link.LastCommand, c.command);
        EXPECT_NEAR(MsLeft(), c.ms, 1e-3) << c.command;
    }
    EXPECT_TRUE(time.slept.empty());
    EXPECT_EQ(modKOVComm::CommandTimeout("C", 1200), 4167);  // the block's time-out follows the speed
}

// A port on the network: its round trip lengthens every deadline, an open
// still under way is told apart from a failure, and the reason a connection
// ended is kept.
TEST_F(LinkTest, NetworkPortAllowancePendingAndReason) {
    wire->failOpen = wire->pending = true;
    link.OpenComPort(1, 9600);
    EXPECT_TRUE(link.OpenPending());
    wire->failOpen = false;
    link.OpenComPort(1, 9600);
    ASSERT_TRUE(link.PortIsOpen());
    EXPECT_FALSE(link.OpenPending());
    wire->allowance = 500;
    for (const auto& [command, ms] : {std::pair<const char*, double>{"C", 1521}, {"T", 2000}, {"M", 4000}}) {
        link.SendCommand(command);
        EXPECT_NEAR(MsLeft(), ms, 1e-3) << command;
    }
    wire->lost = true;
    wire->lostReason = "the device server closed the connection";
    link.ReadComportData();
    EXPECT_FALSE(link.PortIsOpen());
    EXPECT_EQ(link.LastOpenError(), wire->lostReason);
}

// The pause after "S" lets the sensor finish its value; with the port lost
// there is no speed to divide by: no pause, and the plain time-out for "C".
TEST_F(LinkTest, PauseAfterStopAndNoSpeed) {
    link.OpenComPort(1, 9600);
    modKOVComm::StopContinuous(link);
    EXPECT_EQ(link.CommStatus, Comm::Idle);
    link.CommBaudrate(1200);
    link.SendCommand("S");
    EXPECT_EQ(time.slept, (std::vector<int>{18, 142}));

    wire->lost = true;
    for (const char* command : {"S", "T"}) link.SendCommand(command);
    EXPECT_EQ(wire->fromLink, "SS");  // nothing sent once lost
    EXPECT_EQ(time.slept.size(), 2u);
    EXPECT_NEAR(MsLeft(), 1500, 1e-3);  // the deadline armed all the same
    EXPECT_EQ(modKOVComm::CommandTimeout("C", 0), 1500);
    EXPECT_EQ(modKOVComm::CommandTimeout("C", -1), 1500);
}
