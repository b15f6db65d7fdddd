// The reply decoder: one step at a time, by protocol state.
#include "Crc16Loader.h"
#include "LinkTestSupport.h"

using namespace linktest;

namespace {

// BINARY+CRC frames go through the CRC16 library beside the test program.
bool CrcLibraryPresent() {
    const unsigned char probe[6] = {0x34, 0x12, 0x00, 0x00, 0xC5, 0x0B};
    std::uint16_t r = 1;
    return Crc16Loader::ByteBlock(probe, 6, -1, &r) && r == 0;
}

#define REQUIRE_CRC_LIBRARY() \
    if (!CrcLibraryPresent()) GTEST_SKIP() << "CRC16 library not built: " << Crc16Loader::LastError()

const std::string Block = MiniSensor::InfoBlock();

}  // namespace

TEST(ChecksumHelper, AgreesWithTheKnownFrames) {
    EXPECT_EQ(WithCrc(Bytes({0x34, 0x12, 0x00, 0x00})), Bytes({0x34, 0x12, 0x00, 0x00, 0xC5, 0x0B}));
    EXPECT_EQ(WithCrc(Bytes({0x17, 0x01})), Bytes({0x17, 0x01, 0x0E, 0x05}));
}

// ---------------------------------------------------------------- state 0

TEST_F(LinkTest, NotConnectedBannerAsksForTheBlock) {
    Open();
    for (const char* banner : {"Sensor ready\r\n", "KOV ready\r\n"}) {
        Await(0, "X");
        Decode(banner);
        EXPECT_EQ(wire->fromLink, "C");
        EXPECT_EQ(link.LastCommand, "C");
        EXPECT_EQ(link.EventNr, 0);
        EXPECT_EQ(link.InBuffer, "");
    }
}

TEST_F(LinkTest, NotConnectedBlockConnects) {
    Open();
    Await(0, "C");
    Decode(Block.substr(0, 60));  // no "end" yet
    EXPECT_EQ(link.EventNr, 0);
    EXPECT_EQ(link.InBuffer, Block.substr(0, 60));
    Decode(Block);
    EXPECT_EQ(link.EventNr, 4);
    EXPECT_EQ(link.CommStatus, 1);
    EXPECT_EQ(link.LastCommand, "");
    EXPECT_EQ(link.InBuffer, "");
    EXPECT_TRUE(modKOVComm::ConfigurationRead);
    EXPECT_EQ(link.SerialNo, "1234");
    EXPECT_EQ(link.sTemperature, "23 C, OK");
    EXPECT_EQ(link.TempStatus, 1);
    EXPECT_EQ(link.AverageDepth, 2);
    EXPECT_EQ(link.DistanceUnit, 0);
    EXPECT_EQ(link.NodeAddress, -1);  // serial device, whatever 610 says
}

TEST_F(LinkTest, NotConnectedPartialBlockExpires) {
    Open();
    Await(0, "C", -1);
    Decode("Type: Serial\r\nAttenuator: A\r\n");
    EXPECT_EQ(link.EventNr, -1);
    EXPECT_EQ(link.InBuffer, "");
    link.EvaluateInBuffer();  // empty buffer, command still awaited
    EXPECT_EQ(link.EventNr, -1);
    EXPECT_EQ(link.LastCommand, "");
    link.EvaluateInBuffer();
    EXPECT_EQ(wire->fromLink, "X");
}

TEST_F(LinkTest, EndInFrontOfTypeIsNoBlock) {
    Open();
    Await(0, "C");
    Decode("end\r\nType: Serial\r\nSerial-No: 99\r\n");
    EXPECT_EQ(link.EventNr, 0);
    EXPECT_EQ(link.CommStatus, 0);
    EXPECT_EQ(link.SerialNo, "");
    Decode("end\r\n" + Block);
    EXPECT_EQ(link.EventNr, 4);
    EXPECT_EQ(link.SerialNo, "1234");
    EXPECT_EQ(modKOVComm::ExtractInfoBlock("xx end Type: a\r\n"), "");
    EXPECT_EQ(modKOVComm::ExtractInfoBlock("Type: a\r\nend"), "Type: a\r\n");
}

TEST_F(LinkTest, NotConnectedGarbageWakesTheSensorAfterTheDeadline) {
    Open();
    Await(0, "X");
    Decode("\x13\xff garbage");
    EXPECT_EQ(wire->fromLink, "");
    EXPECT_EQ(link.InBuffer, "\x13\xff garbage");
    Await(0, "X", -1);
    Decode("\x13\xff garbage");
    EXPECT_EQ(wire->fromLink, "X");
    EXPECT_EQ(link.InBuffer, "");
}

// ---------------------------------------------------------------- state 1

TEST_F(LinkTest, IdleParameterAnswers) {
    Open();
    struct Case { const char* text; int event; } cases[] = {{"OK\r\n", 5}, {"ERR\r\n", 6}, {"NOK\r\n", 5}};
    for (const Case& c : cases) {
        Await(1, "111 MM\r");
        Decode(c.text);
        EXPECT_EQ(link.EventNr, c.event) << c.text;
        EXPECT_EQ(link.LastCommand, "");
        EXPECT_EQ(link.InBuffer, "");
    }
}

TEST_F(LinkTest, IdleTemperatureAndKeepAlive) {
    Open();
    Await(1, "T");
    Decode("T=23 C, OK\r\n");
    EXPECT_EQ(link.EventNr, 3);
    EXPECT_EQ(link.sTemperature, "23 C, OK");
    EXPECT_EQ(link.LastCommand, "");
    // The deadline of that "T" stays: the keep-alive follows once it passes.
    link.EvaluateInBuffer();
    EXPECT_EQ(wire->fromLink, "");
    link.CurrentTime = link.FailTime + 1 / modAPI::MsPerDay;
    link.EvaluateInBuffer();
    EXPECT_EQ(wire->fromLink, "T");
}

TEST_F(LinkTest, IdleBlockTriggersTheKeepAliveAtOnce) {
    Open();
    Await(1, "C");
    Decode(Block);
    EXPECT_EQ(link.EventNr, 4);
    EXPECT_EQ(link.FailTime, 0);
    link.EvaluateInBuffer();
    EXPECT_EQ(wire->fromLink, "T");
}

// A restart banner while idle used to sit in the buffer for good: no
// keep-alive, no -1, nothing decoded after it.
TEST_F(LinkTest, IdleBannerIsClearedAndTheLinkGoesOn) {
    Open();
    Await(1, "", -1);
    Decode("KOV ready\r\n");
    EXPECT_EQ(link.InBuffer, "");
    link.EvaluateInBuffer();
    EXPECT_EQ(wire->fromLink, "T");
}

// " C," that cannot be cut out (no line end) and unusable text: once the
// deadline has passed the deadline action runs and the buffer starts afresh.
TEST_F(LinkTest, IdleStuckTextIsDroppedAtTheDeadline) {
    Open();
    Await(1, "");
    Decode("xx23 C, O");
    EXPECT_EQ(link.EventNr, 0);
    EXPECT_EQ(link.InBuffer, "xx23 C, O");
    Await(1, "", -1);
    Decode("xx23 C, O");
    EXPECT_EQ(wire->fromLink, "T");
    EXPECT_EQ(link.InBuffer, "");

    Await(1, "T", -1);
    Decode("xx23 C, O");
    EXPECT_EQ(link.EventNr, -1);
    EXPECT_EQ(link.LastCommand, "");
    EXPECT_EQ(link.InBuffer, "");

    Await(1, "C", -1);
    Decode("zzz");  // unrecognised
    EXPECT_EQ(link.EventNr, -1);
    EXPECT_EQ(link.InBuffer, "");

    Await(1, "S", -1);
    Decode("zzz");
    EXPECT_EQ(wire->fromLink, "C");
}

// ---------------------------------------------------------------- state 2

TEST_F(LinkTest, BinaryFrames) {
    Open();
    link.OutputFormat = 2;
    link.DistanceUnit = 1;
    Await(2, "m");
    Decode(Bytes({0x34, 0x12, 0x00, 0x00}));
    EXPECT_EQ(link.EventNr, 2);
    EXPECT_EQ(link.MeasValue_mm, 4660);
    EXPECT_DOUBLE_EQ(link.MeasValue, 4.66);
    EXPECT_NEAR(Ms(link.FailTime - link.CurrentTime), 3000, 1e-3);

    Decode(Bytes({0x00, 0x12, 0x34, 0x00, 0x56}));  // first position rejected, then 12 34 00 56 rejected
    EXPECT_EQ(link.EventNr, 0);
    EXPECT_EQ(link.InBuffer, Bytes({0x34, 0x00, 0x56}));
    EXPECT_EQ(link.MeasValue_mm, 4660);

    Decode(Bytes({0xFF, 0xFF, 0xFF, 0xFF}));
    EXPECT_EQ(link.MeasValue_mm, -1);
    Decode(Bytes({0x00, 0x00, 0xE0, 0xFF}));
    EXPECT_EQ(link.EventNr, 0);
    Decode(Bytes({0xFF, 0xFF, 0xFF, 0x7F}));
    EXPECT_EQ(link.MeasValue_mm, modKOVComm::NoEchoValue);
    Decode(Bytes({0xF0, 0xFF, 0xFF, 0x7F, 0x10, 0x27, 0x00, 0x00, 0x11}));  // marker, then 10000: the last wins
    EXPECT_EQ(link.MeasValue_mm, 10000);
    EXPECT_EQ(link.InBuffer, "\x11");
}

TEST_F(LinkTest, BinaryCrcFrames) {
    REQUIRE_CRC_LIBRARY();
    Open();
    link.OutputFormat = 3;
    link.DistanceUnit = 0;
    Await(2, "m");
    Decode(Bytes({0x34, 0x12, 0x00, 0x00, 0xC5, 0x0B}));
    EXPECT_EQ(link.EventNr, 2);
    EXPECT_EQ(link.MeasValue_mm, 4660);
    EXPECT_EQ(link.InBuffer, "");

    Decode(Bytes({0x34, 0x12, 0x00, 0x00, 0x0B, 0xC5}));
    EXPECT_EQ(link.EventNr, 7);
    EXPECT_EQ(link.InBuffer, Bytes({0x12, 0x00, 0x00, 0x0B, 0xC5}));  // retried one byte later

    // A damaged frame in front of a good one: the good one is found.
    Decode(Bytes({0x99, 0x01, 0x00}) + WithCrc(Frame4(-1500)));
    EXPECT_EQ(link.EventNr, 2);
    EXPECT_EQ(link.MeasValue_mm, -1500);
}

TEST_F(LinkTest, BinaryTemperatureReplies) {
    Open();
    link.OutputFormat = 2;
    Await(2, "T");
    Decode(Bytes({0xF6, 0x01, 0x55}));
    EXPECT_EQ(link.EventNr, 3);
    EXPECT_EQ(link.TempStatus, 1);
    EXPECT_EQ(link.sTemperature, "-10 C,  OK");
    EXPECT_EQ(link.InBuffer, "\x55");
    Decode(Bytes({0x17, 0x00}));
    EXPECT_EQ(link.sTemperature, "23 C, NOK");
    EXPECT_EQ(link.TempStatus, 0);
    Decode("\x17");  // half a reply: wait
    EXPECT_EQ(link.EventNr, 0);
}

TEST_F(LinkTest, BinaryCrcTemperatureReplies) {
    REQUIRE_CRC_LIBRARY();
    Open();
    link.OutputFormat = 3;
    Await(2, "T");
    Decode(Bytes({0x17, 0x01, 0x0E, 0x05}));
    EXPECT_EQ(link.EventNr, 3);
    EXPECT_EQ(link.sTemperature, "23 C,  OK");
    Decode(Bytes({0x17, 0x01, 0x05, 0x0E, 0x42}));
    EXPECT_EQ(link.EventNr, 7);
    EXPECT_EQ(link.InBuffer, "\x42");
}

TEST_F(LinkTest, AsciiLines) {
    Open();
    link.OutputFormat = 0;
    link.DistanceUnit = 0;
    Await(2, "m");
    Decode("0001234.5\r\n0001235.0\r\n");
    EXPECT_EQ(link.EventNr, 2);
    EXPECT_EQ(link.sDistance, "0001235.0");
    EXPECT_EQ(link.MeasValue, 1235);
    EXPECT_EQ(link.MeasValue_mm, 1235);

    Decode("1234.5\r\n");  // too short to be a whole line
    EXPECT_EQ(link.EventNr, 0);
    EXPECT_EQ(link.InBuffer, "");
    EXPECT_EQ(link.sDistance, "0001235.0");  // the last value stays
    Await(2, "m", -1);
    Decode("1234.5\r\n");
    EXPECT_EQ(link.EventNr, -1);

    Await(2, "m");
    link.DistanceUnit = 2;
    Decode("     10.0 in  \r\n");
    EXPECT_EQ(link.sDistance, "10.0 in");
    EXPECT_EQ(link.MeasValue_mm, 254);
    link.DistanceUnit = 0;
    Decode("   0000316.5 mm\r\n");
    EXPECT_EQ(link.MeasValue_mm, 316);  // ties go to the even neighbour
    Decode("0000004.5 mm\r\nNo Echo     \r\n");
    EXPECT_EQ(link.sDistance, "No Echo");
    EXPECT_EQ(link.MeasValue_mm, 0);
    Decode("x\r\n  TempErr \r\n");
    EXPECT_EQ(link.sDistance, "TempError");
    link.DistanceUnit = 0;
    Decode("x\r\n99999999999999 mm\r\n");  // saturates instead of overflowing
    EXPECT_EQ(link.MeasValue_mm, 2147483647);
}

TEST_F(LinkTest, MeasuringMarkersAndBanner) {
    Open();
    link.OutputFormat = 1;
    Await(2, "m");
    Decode("0001234.5 m\r\nTempErr!\r\n");
    EXPECT_EQ(link.EventNr, 2);
    EXPECT_EQ(link.MeasValue_mm, modKOVComm::TempErrorValue);
    EXPECT_EQ(link.TempStatus, 0);
    EXPECT_EQ(link.InBuffer, "");

    Decode("0001234.5 m\r\nKOV ready\r\n");
    EXPECT_EQ(link.CommStatus, 1);
    EXPECT_EQ(link.InBuffer, "");
}

TEST_F(LinkTest, FirstDataMarksTheStreamAndSilenceIsReported) {
    Open();
    link.OutputFormat = 0;
    link.DistanceUnit = 0;
    Await(2, "M", 3500);
    Decode("00001000.0 mm\r\n");
    EXPECT_EQ(link.LastCommand, "m");
    EXPECT_EQ(link.EventNr, 2);
    for (int i = 0; i < 59; ++i) Tick();
    EXPECT_EQ(link.EventNr, 0);
    Tick(100);
    EXPECT_EQ(link.EventNr, -1);
    Tick();
    EXPECT_EQ(link.EventNr, -1);  // on every step until a new command
}

TEST_F(LinkTest, AsciiTemperatureOnlyWhenTheLineIsComplete) {
    Open();
    link.OutputFormat = 1;
    Await(2, "T");
    link.sTemperature = "21 C, OK";
    Decode("T=-10 C,");
    EXPECT_EQ(link.EventNr, 0);
    EXPECT_EQ(link.sTemperature, "21 C, OK");
    Decode("T=-10 C, NOK\r\n");
    EXPECT_EQ(link.EventNr, 3);
    EXPECT_EQ(link.sTemperature, "-10 C, NOK");
    EXPECT_EQ(link.TempStatus, 0);
}

TEST_F(LinkTest, TemperatureInterleaveAsksAfterTheStop) {
    Open();
    link.OutputFormat = 0;
    Await(2, "m");
    link.SendCommand("S");  // the monitor's temperature request
    wire->fromLink.clear();
    for (int i = 0; i < 39; ++i) {
        wire->toLink += "0001234.5 mm\r\n";  // the sensor has not stopped yet
        Tick();
        EXPECT_EQ(link.InBuffer, "");
        EXPECT_EQ(link.EventNr, 0);
    }
    EXPECT_EQ(wire->fromLink, "");
    wire->toLink += "0001234.5 mm\r\n";  // still sending when the stop's deadline passes
    Tick(60);
    EXPECT_EQ(wire->fromLink, "T");
    EXPECT_EQ(link.LastCommand, "T");
    EXPECT_EQ(link.CommStatus, 2);
}

// ------------------------------------------------------------ run-time errors

TEST_F(LinkTest, UnknownUnitEndsTheStepQuietly) {
    Open();
    link.OutputFormat = 2;
    link.DistanceUnit = 9;
    link.MeasValue_mm = 77;
    Await(2, "m");
    Decode(Frame4(4660));
    EXPECT_EQ(link.EventNr, 0);
    EXPECT_EQ(link.MeasValue_mm, 77);
    link.OutputFormat = 0;
    Decode("0001234.5 mm\r\n0001234.5 mm\r\n");
    EXPECT_EQ(link.EventNr, 0);
    EXPECT_EQ(link.MeasValue_mm, 77);
    // The buffer does not grow for ever: it goes at the deadline.
    for (int i = 0; i < 100; ++i) {
        wire->toLink += Frame4(4660);
        Tick();
        EXPECT_LT(link.InBuffer.size(), 300u);
    }
    EXPECT_EQ(link.MeasValue_mm, 77);
}

TEST_F(LinkTest, MissingChecksumLibraryEndsTheStepQuietly) {
    Open();
    modKOVComm::SetChecksumFunction([](const unsigned char*, unsigned, std::int32_t, std::uint16_t*) { return false; });
    link.OutputFormat = 3;
    link.MeasValue_mm = 77;
    Await(2, "m");
    const std::string frames = WithCrc(Frame4(4660)) + WithCrc(Frame4(4661));
    Decode(frames);
    EXPECT_EQ(link.EventNr, 0);
    EXPECT_EQ(link.MeasValue_mm, 77);
    EXPECT_EQ(link.InBuffer, frames);
    Await(2, "T");
    Decode(WithCrc(Bytes({0x17, 0x01})));
    EXPECT_EQ(link.EventNr, 0);
    EXPECT_EQ(link.sTemperature, "");
}

// ------------------------------------------------------------- deadline table

TEST_F(LinkTest, DeadlineTable) {
    Open();
    struct Row {
        int status;
        const char* last;
        int event;
        const char* lastAfter;
        const char* sent;
    } rows[] = {
        {0, "", 0, "X", "X"},         {0, "C", -1, "", ""},       {1, "m", -1, "m", ""},
        {2, "m", -1, "m", ""},        {2, "M", 0, "M", ""},       {1, "M", 0, "S", "S"},
        {1, "O", 0, "", ""},          {2, "P", 0, "", ""},        {2, "S", 0, "T", "T"},
        {1, "S", 0, "", ""},          {1, "T", -1, "", ""},       {2, "T", -1, "", ""},
        {1, "", 0, "T", "T"},         {2, "", 0, "T", "T"},       {2, "G", 0, "G", ""},
        {1, "C", -1, "C", ""},        {2, "101 ASCII\r", -1, "101 ASCII\r", ""},
    };
    for (const Row& r : rows) {
        Await(r.status, r.last, 1);
        link.InBuffer.clear();
        link.EvaluateInBuffer();  // not yet due
        EXPECT_EQ(link.EventNr, 0);
        EXPECT_EQ(wire->fromLink, "");
        link.FailTime = link.CurrentTime - 1 / modAPI::MsPerDay;
        link.EvaluateInBuffer();
        const std::string row = std::to_string(r.status) + "/" + r.last;
        EXPECT_EQ(link.EventNr, r.event) << row;
        EXPECT_EQ(link.LastCommand, r.lastAfter) << row;
        EXPECT_EQ(wire->fromLink, r.sent) << row;
    }
}

// ------------------------------------------------------------ text helpers

TEST(TextHelpers, ExtractTemperature) {
    using modKOVComm::ExtractTemperature;
    std::string s = "xx23 C, OK\r\n";
    EXPECT_EQ(ExtractTemperature(s), "23 C, OK");
    EXPECT_EQ(s, "");
    s = "T=-10 C, OK\r\n";  // a minus sign and a third digit are kept
    EXPECT_EQ(ExtractTemperature(s), "-10 C, OK");
    s = "x-5 C, OK\r\n";
    EXPECT_EQ(ExtractTemperature(s), "-5 C, OK");
    s = "T=105 C, NOK\r\nT=-105 C, NOK\r\nrest";
    EXPECT_EQ(ExtractTemperature(s), "-105 C, NOK");
    EXPECT_EQ(s, "rest");
    s = "T=23 C, OK";  // no line end yet
    EXPECT_EQ(ExtractTemperature(s), "");
    EXPECT_EQ(s, "T=23 C, OK");
    s = " C, OK\r\n";  // nothing in front
    EXPECT_EQ(ExtractTemperature(s), "");
}

TEST(TextHelpers, ExtractAsciiDistance) {
    using modKOVComm::ExtractAsciiDistance;
    std::string s = "ail\r\n  0001234.5 m  \r\n0001";
    EXPECT_EQ(ExtractAsciiDistance(s), "0001234.5 m");
    EXPECT_EQ(s, "0001");
    s = "  0001234.5 m\r\n";  // 13 characters: a whole line
    EXPECT_EQ(ExtractAsciiDistance(s), "0001234.5 m");
    s = "l1 no number\r\n";
    EXPECT_EQ(ExtractAsciiDistance(s), "l1 no number");
    s = "a\r\nb\r\nshort\r\n";  // the last r wins, even when it is empty
    EXPECT_EQ(ExtractAsciiDistance(s), "");
}

TEST(TextHelpers, NumbersAndInfoValues) {
    using modKOVComm::InfoValue;
    using modKOVComm::LeadingNumber;
    EXPECT_EQ(LeadingNumber("  -12.5 mm"), -12.5);
    EXPECT_EQ(LeadingNumber("+3e2x"), 300);
    EXPECT_EQ(LeadingNumber(".5"), 0.5);
    EXPECT_EQ(LeadingNumber("No Echo"), 0);
    EXPECT_EQ(LeadingNumber("inf"), 0);
    EXPECT_EQ(LeadingNumber("nan"), 0);
    EXPECT_EQ(LeadingNumber("1e999999"), 0);
    EXPECT_EQ(LeadingNumber(""), 0);
    EXPECT_EQ(InfoValue("Type:  Serial  \r\n", "Type:"), "Serial");
    EXPECT_EQ(InfoValue("Type: Serial", "Type:"), "");
    EXPECT_EQ(InfoValue("a\r\n", "Type:"), "");
    EXPECT_EQ(modKOVComm::TemperatureStatus("23 C, NOK"), 0);
    EXPECT_EQ(modKOVComm::TemperatureStatus("23 C, OK"), 1);
}

TEST(InfoBlock, RainFilterProfibusAndBadNumbers) {
    clsKOV k;
    k.DistanceWindow = 1;
    k.AnalogMin = 4242;
    modKOVComm::ParseInfoBlock(k,
        "Type: Profibus\r\nAttenuator: E2\r\n610: 17\r\n351: 1\r\n352: 30000\r\n3 06: 0\r\n"
        "401: abc\r\n702: 1000.5\r\n701: -250\r\n");
    EXPECT_EQ(k.DeviceType, "Profibus");
    EXPECT_EQ(k.NodeAddress, 17);
    EXPECT_EQ(k.RainFilter, 1);
    EXPECT_EQ(k.DistanceWindow, 30000);
    EXPECT_EQ(k.EchoCheck, 0);     // the spelling with a blank is taken when 306 is missing
    EXPECT_EQ(k.AnalogMin, 4242);  // no number: kept
    EXPECT_EQ(k.ScaleFactor, 1000);  // 1000.5 rounds to even
    EXPECT_EQ(k.Offset, -250);
    EXPECT_EQ(k.SerialNo, "");
    EXPECT_TRUE(modKOVComm::ConfigurationRead);

    modKOVComm::ParseInfoBlock(k, "Type: Serial\r\nAttenuator: A\r\n610: 17\r\n351: 1\r\n352: 5\r\n");
    EXPECT_EQ(k.RainFilter, -1);
    EXPECT_EQ(k.DistanceWindow, 30000);
    EXPECT_EQ(k.NodeAddress, -1);
}
