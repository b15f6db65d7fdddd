// The link object: port handling, reading, sending and the parameter wire texts.
#include "LinkTestSupport.h"

using namespace linktest;

TEST(LinkObject, FreshObjectHoldsTheDefaults) {
    clsKOV k;
    EXPECT_EQ(k.ReadTempInterval, 15000);
    EXPECT_EQ(k.DeviceType, "Serial");
    EXPECT_EQ(k.CommStatus, 0);
    EXPECT_FALSE(k.PortIsOpen());
    EXPECT_EQ(k.CommComPort(), 0);
    EXPECT_EQ(k.TypName(), "KOV");
    const std::int32_t expected[] = {3, 1, 1, 0, -1, 4, 1, 0, 0, 1, 0, -1, 20000, 512, 1000,
                                     1, 1000, 9000, 0, 1, 10000, 9900, 1, 1000, 900, 0, 1000, 200, 1013};
    const std::int32_t actual[] = {k.Baudrate, k.DistanceUnit, k.OutputFormat, k.OutputMode, k.NodeAddress,
                                   k.AverageDepth, k.TimeOut, k.MovingAverage, k.AutostartMode, k.EchoCheck,
                                   k.Blanking, k.RainFilter, k.DistanceWindow, k.EchoThreshold,
                                   k.DistanceLimit, k.MeasValid, k.AnalogMin, k.AnalogMax, k.AnalogOutput,
                                   k.S1Logic, k.S1OnThreshold, k.S1OffThreshold, k.S2Logic, k.S2OnThreshold,
                                   k.S2OffThreshold, k.Offset, k.ScaleFactor, k.Temperature, k.AirPressure};
    for (std::size_t i = 0; i < 29; ++i) EXPECT_EQ(actual[i], expected[i]) << "parameter #" << i;
}

TEST_F(LinkTest, OpenRefusesBadNumbersAndASecondOpen) {
    int created = 0;
    auto w = wire;
    link.SetPortFactory([&created, w](int, std::string*) -> std::unique_ptr<SerialLayer::Port> {
        ++created;
        return std::make_unique<FakePort>(w);
    });
    link.OpenComPort(0, 9600);
    link.OpenComPort(-1, 9600);
    EXPECT_EQ(created, 0);
    EXPECT_FALSE(link.PortIsOpen());

    link.OpenComPort(3, 57600);
    EXPECT_TRUE(link.PortIsOpen());
    EXPECT_EQ(link.CommComPort(), 3);
    EXPECT_EQ(link.CommBaudrate(), 57600);

    link.OpenComPort(4, 9600);  // already open: refused, even with another number
    EXPECT_EQ(created, 1);
    EXPECT_EQ(link.CommComPort(), 3);
    EXPECT_EQ(link.CommBaudrate(), 57600);

    link.CommBaudrate(14400);  // not a supported speed
    EXPECT_EQ(link.CommBaudrate(), 57600);
    link.CommBaudrate(38400);
    EXPECT_EQ(link.CommBaudrate(), 38400);

    link.CloseComPort();
    EXPECT_FALSE(link.PortIsOpen());
    EXPECT_FALSE(wire->isOpen);
    wire->baud = 4800;
    link.OpenComPort(3, 14400);  // opens, keeps the layer's speed
    EXPECT_TRUE(link.PortIsOpen());
    EXPECT_EQ(link.CommBaudrate(), 4800);
}

TEST_F(LinkTest, FailedOpenKeepsTheReasonAndCanBeRetried) {
    wire->failOpen = true;
    link.OpenComPort(2, 9600);
    EXPECT_FALSE(link.PortIsOpen());
    EXPECT_EQ(link.LastOpenError(), "Permission denied");
    EXPECT_EQ(link.DevicePath(), "/dev/fake2");
    EXPECT_LE(link.CommBaudrate(), 0);
    EXPECT_EQ(link.PortStatusByName(), "");

    link.SetPortFactory([](int, std::string*) { return std::unique_ptr<SerialLayer::Port>(); });
    link.OpenComPort(2, 9600);
    EXPECT_FALSE(link.PortIsOpen());
    EXPECT_FALSE(link.LastOpenError().empty());

    Attach(link, wire);
    wire->failOpen = false;
    link.OpenComPort(2, 9600);
    EXPECT_TRUE(link.PortIsOpen());
    EXPECT_EQ(link.LastOpenError(), "");
}

TEST_F(LinkTest, HangUpClosesThePortAndItReopensWhenBack) {
    Open();
    wire->toLink = "abc";
    link.ReadComportData();
    EXPECT_EQ(link.InBuffer, "abc");
    wire->lost = true;  // adapter unplugged
    link.ReadComportData();
    EXPECT_FALSE(link.PortIsOpen());
    EXPECT_EQ(link.NewInData, "");
    link.SendCommand("T");  // still safe: nothing is sent, the deadline is armed
    EXPECT_EQ(link.LastCommand, "T");
    EXPECT_NEAR(Ms(link.FailTime - link.CurrentTime), 1500, 1e-3);

    wire->lost = false;
    link.OpenComPort(1, 9600);
    EXPECT_TRUE(link.PortIsOpen());
}

TEST_F(LinkTest, CopyTakesTheFieldsButNotThePort) {
    Open();
    link.Description = "hall 3";
    link.Offset = -250;
    clsKOV copy(link);
    EXPECT_EQ(copy.Description, "hall 3");
    EXPECT_EQ(copy.Offset, -250);
    EXPECT_FALSE(copy.PortIsOpen());
    EXPECT_EQ(copy.CommComPort(), 0);
    EXPECT_TRUE(link.PortIsOpen());
}

TEST_F(LinkTest, ReadMovesEveryByteValueUnchanged) {
    Open();
    link.InBuffer = "kept";
    link.ReadComportData();
    EXPECT_EQ(link.NewInData, "");
    EXPECT_EQ(link.InBuffer, "kept");

    std::string all;
    for (int b = 0; b < 256; ++b) all.push_back(static_cast<char>(b));
    wire->toLink = all;
    link.ReadComportData();
    EXPECT_EQ(link.NewInData, all);
    EXPECT_EQ(link.InBuffer, "kept" + all);
    for (int b = 0; b < 256; ++b) EXPECT_EQ(modKOVComm::ByteAt(5 + b, link.InBuffer), b);
    EXPECT_EQ(modKOVComm::ByteAt(0, link.InBuffer), 0);
    EXPECT_EQ(modKOVComm::ByteAt(10000, link.InBuffer), 0);

    // A layer that delivers fewer bytes than it announced adds only those.
    wire->toLink = "0123456789";
    wire->maxRead = 4;
    link.ReadComportData();
    EXPECT_EQ(link.NewInData, "0123");
}

TEST_F(LinkTest, LineStatusTexts) {
    Open();
    EXPECT_EQ(link.PortStatusByName(5), "Parity Error|Overrun Error");
    EXPECT_EQ(link.PortStatusByName(15), "Parity Error|Framing Error|Overrun Error|Overflow Error");
    EXPECT_EQ(link.PortStatusByName(16), "");
    EXPECT_EQ(link.PortStatusByName(0), "");
    wire->status = 2;
    EXPECT_EQ(link.PortStatus(), 2);
    EXPECT_EQ(link.PortStatusByName(-1), "Framing Error");
}

TEST_F(LinkTest, SendTransmitsBytesAndArmsTheDeadline) {
    Open(9600);
    wire->toLink = "stale";
    link.InBuffer = "old";
    link.EventNr = 4;
    link.SendCommand("C");
    EXPECT_EQ(wire->toLink, "");  // input queue discarded
    EXPECT_EQ(wire->fromLink, "C");
    EXPECT_EQ(link.InBuffer, "");
    EXPECT_EQ(link.EventNr, 0);
    EXPECT_EQ(link.LastCommand, "C");
    EXPECT_NEAR(Ms(link.FailTime - link.CurrentTime), 1021, 1e-3);

    wire->fromLink.clear();
    link.DistanceWindow = 20000;
    link.SendCommand("352 " + modKOVComm::ParameterValueText(link, "352") + "\r");
    EXPECT_EQ(wire->fromLink, Bytes({0x33, 0x35, 0x32, 0x20, 0x32, 0x30, 0x30, 0x30, 0x30, 0x0D}));
    EXPECT_NEAR(Ms(link.FailTime - link.CurrentTime), 3500, 1e-3);

    wire->fromLink.clear();
    link.SendCommand("999 \r");
    EXPECT_EQ(wire->fromLink, "999 \r");
    EXPECT_NEAR(Ms(link.FailTime - link.CurrentTime), 3500, 1e-3);

    wire->fromLink.clear();
    link.InBuffer = "x";
    link.SendCommand("");
    EXPECT_EQ(wire->fromLink, "");
    EXPECT_EQ(link.InBuffer, "");
    EXPECT_NEAR(Ms(link.FailTime - link.CurrentTime), 2000, 1e-3);
    EXPECT_TRUE(slept.empty());
}

TEST(CommandTimeout, Table) {
    using modKOVComm::CommandTimeout;
    EXPECT_EQ(CommandTimeout("S", 9600), 1500);
    EXPECT_EQ(CommandTimeout("T", 9600), 1000);
    EXPECT_EQ(CommandTimeout("M", 9600), 3000);
    EXPECT_EQ(CommandTimeout("C", 1200), 4167);
    EXPECT_EQ(CommandTimeout("C", 9600), 521);
    EXPECT_EQ(CommandTimeout("C", 38400), 130);
    EXPECT_EQ(CommandTimeout("000 \r", 9600), 3000);
    EXPECT_EQ(CommandTimeout("G", 9600), 1500);
    EXPECT_EQ(CommandTimeout("111 MM\r", 9600), 1500);
    // No speed (port lost): no division, the ordinary time-out.
    EXPECT_EQ(CommandTimeout("C", 0), 1500);
    EXPECT_EQ(CommandTimeout("C", -1), 1500);
}

TEST_F(LinkTest, StopPausesByTheSpeedAndNotAtAllWithoutOne) {
    Open(9600);
    modKOVComm::StopContinuous(link);
    EXPECT_EQ(slept, std::vector<int>{18});
    EXPECT_EQ(link.CommStatus, 1);
    link.CommBaudrate(1200);
    link.SendCommand("S");
    EXPECT_EQ(slept.back(), 142);

    slept.clear();
    wire->lost = true;  // the port went away: speed reads as an error
    link.SendCommand("S");
    link.SendCommand("C");
    EXPECT_TRUE(slept.empty());
    EXPECT_NEAR(Ms(link.FailTime - link.CurrentTime), 2000, 1e-3);

    modKOVComm::StartContinuous(link);
    EXPECT_EQ(link.CommStatus, 2);
    EXPECT_EQ(link.LastCommand, "M");
}

TEST(ParameterValueText, WireTexts) {
    using modKOVComm::ParameterValueText;
    clsKOV k;
    k.Baudrate = 3;
    EXPECT_EQ(ParameterValueText(k, "601"), "9600");
    k.Baudrate = 7;
    EXPECT_EQ(ParameterValueText(k, "601"), "9600");
    k.Baudrate = 5;
    EXPECT_EQ(ParameterValueText(k, "601"), "38400");
    k.DistanceUnit = 9;
    EXPECT_EQ(ParameterValueText(k, "111"), "M");
    k.DistanceUnit = 0;
    EXPECT_EQ(ParameterValueText(k, "111"), "MM");
    k.AverageDepth = -1;
    EXPECT_EQ(ParameterValueText(k, "301"), "1024");
    k.OutputFormat = 3;
    EXPECT_EQ(ParameterValueText(k, "101"), "BINARY+CRC");
    k.TimeOut = 4;
    EXPECT_EQ(ParameterValueText(k, "302"), "200");
    k.OutputMode = 2;
    EXPECT_EQ(ParameterValueText(k, "603"), "R");
    EXPECT_EQ(ParameterValueText(k, "351"), "");  // no rain filter
    k.RainFilter = 1;
    EXPECT_EQ(ParameterValueText(k, "351"), "DISTECHO");
    k.Offset = -250;
    EXPECT_EQ(ParameterValueText(k, "701"), "-250");
    EXPECT_EQ(ParameterValueText(k, "802"), "1013");
    EXPECT_EQ(ParameterValueText(k, "999"), "");
    EXPECT_EQ(ParameterValueText(k, "000"), "");
    EXPECT_EQ(ParameterValueText(k, "42"), "");
}

TEST(Units, FactorTable) {
    double f = -1;
    EXPECT_TRUE(modKOVComm::UnitFactor(2, &f));
    EXPECT_DOUBLE_EQ(f, 25.4);
    EXPECT_TRUE(modKOVComm::UnitFactor(6, &f));
    EXPECT_DOUBLE_EQ(f, 1852000.0);
    f = -1;
    EXPECT_FALSE(modKOVComm::UnitFactor(7, &f));
    EXPECT_FALSE(modKOVComm::UnitFactor(-1, &f));
    EXPECT_EQ(f, -1);
    EXPECT_STREQ(modKOVComm::UnitShortText(3), "ft");
    EXPECT_STREQ(modKOVComm::UnitShortText(9), "");
}
