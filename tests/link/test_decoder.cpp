// The reply decoder, one step at a time.
#include "LinkTestSupport.h"

using namespace linktest;

namespace {

struct StepCase {
    const char* name;
    int status, format, unit;
    const char* last;
    std::string input;
    int event;
    std::int32_t mm;     // MeasValue_mm afterwards (starts at 77)
    std::string rest;    // InBuffer afterwards
    int statusAfter = -1;  // CommStatus afterwards; -1: unchanged
    bool needsCrc = false;
    const char* sent = "";  // what the decoder sends of its own
};

const std::string Line2 = "0001234.5\r\n0001235.0\r\n";
const std::string Frame1234 = WithCrc(Frame4(4660));

// Bytes 43 2C 20 spell "C, " inside a frame.
const std::string FrameComma = WithCrc(Frame4(0x202C43));

const StepCase Steps[] = {
    // Binary frames in step with the sensor's: read at their place, a low
    // byte of 00 included.
    {"binary", 2, 2, 1, "m", Bytes({0x34, 0x12, 0, 0}), 2, 4660, ""},
    {"binary low byte 00", 2, 2, 0, "m", Bytes({0, 0x12, 0, 0, 1, 0x12, 0, 0}), 2, 4609, ""},
    {"binary minus one", 2, 2, 0, "m", Bytes({0xFF, 0xFF, 0xFF, 0xFF}), 2, -1, ""},
    // A frame that fits no distance: the decoder searches again and trusts a
    // place once three frames in a row fit; the first of them is passed over.
    {"binary rejected", 2, 2, 0, "m", Bytes({0, 0, 0xE0, 0xFF}), 0, 77, Bytes({0, 0xE0, 0xFF})},
    {"binary resync", 2, 2, 0, "m", Bytes({0x11, 0, 0x34, 0x12, 0, 0, 0x35, 0x12, 0, 0, 0x36, 0x12, 0, 0, 0x9}), 2, 0x1236, "\x09"},
    {"binary marker then value", 2, 2, 0, "m", Bytes({0xF0, 0xFF, 0xFF, 0x7F, 0x10, 0x27, 0, 0, 0x11}), 2, 10000, "\x11"},
    // The ready banner in the stream: the sensor restarted; it is connected anew at once.
    {"binary restart banner", 2, 2, 0, "m", Frame4(4660) + "\r\nKOV ready\r\n", 0, 4660, "", 0, false, "X"},
    {"crc", 2, 3, 0, "m", Frame1234, 2, 4660, "", -1, true},
    // A damaged frame: the next frame decides whether the place still holds.
    {"crc damaged waits", 2, 3, 0, "m", Bytes({0x34, 0x12, 0, 0, 0x0B, 0xC5}), 0, 77, Bytes({0x34, 0x12, 0, 0, 0x0B, 0xC5}), -1, true},
    {"crc good damaged good", 2, 3, 0, "m", WithCrc(Frame4(10)) + Bytes({0x34, 0x12, 0, 0, 0x0B, 0xC5}) + WithCrc(Frame4(11)), 2, 11, "", -1, true},
    {"crc after garbage", 2, 3, 0, "m", "\x99\x01" + WithCrc(Frame4(-1500)) + WithCrc(Frame4(-1499)), 2, -1499, "", -1, true},
    {"crc comma blank", 2, 3, 0, "m", FrameComma + Frame1234, 2, 4660, "", -1, true},
    // ASCII lines: the shape and the width of the sensor's lines; the width
    // is known once two lines agree.
    {"ascii newest line", 2, 0, 0, "m", Line2, 2, 1235, ""},
    {"ascii short line", 2, 0, 0, "m", "1234.5\r\n", 0, 77, ""},
    {"ascii ties to even", 2, 0, 0, "m", "   0000316.4 mm\r\n   0000316.5 mm\r\n", 2, 316, ""},
    {"ascii inch", 2, 1, 2, "m", "     10.1 in \r\n     10.0 in \r\n", 2, 254, ""},
    {"ascii huge saturates", 2, 0, 0, "m", "x\r\n99999999999999 mm\r\n99999999999999 mm\r\n", 2, 2147483647, ""},
    {"ascii no echo", 2, 0, 0, "m", "0000004.5 mm\r\nNo Echo     \r\n", 2, 0, ""},
    {"ascii damaged lines", 2, 0, 0, "m", Line2 + "00012x36.0\r\n0001\xA7" "236.0\r\n-01235.0\r\n", 2, 1235, ""},
    {"ascii digit added", 2, 0, 0, "m", Line2 + "00012736.0\r\n", 2, 1235, ""},
    {"temperature error", 2, 1, 1, "m", "TempErr!\r\n", 2, modKOVComm::TempErrorValue, ""},
    {"restart banner", 2, 1, 1, "m", "0001234.5 m\r\nKOV ready\r\n", 0, 77, "", 0, false, "X"},
    // "No Echo" and the temperature error are known by their content, whatever their width.
    {"ascii unit no echo narrower", 2, 1, 1, "m", "      6.0000 m\r\n      6.0010 m\r\n     No Echo\r\n", 2, 0, ""},
    {"ascii unit temp error narrower", 2, 1, 1, "m", "      6.0000 m\r\n      6.0010 m\r\n    TempErr\r\n", 2, 0, ""},
    {"restart banner idle", 1, 1, 1, "T", "KOV ready\r\n", 0, 77, ""},  // must not hide what follows
    {"unknown unit", 2, 2, 9, "m", Frame4(4660), 0, 77, Frame4(4660)},
    {"ok", 1, 1, 1, "101 ASCII\r", "OK\r\n", 5, 77, ""},
    {"err", 1, 1, 1, "101 ASCII\r", "ERR\r\n", 6, 77, ""},
    {"nok counts as o", 1, 1, 1, "101 ASCII\r", "NOK\r\n", 5, 77, ""},
    // An acknowledgement only answers a parameter write, and a binary
    // temperature is read before any text test.
    {"ok without a write", 1, 1, 1, "", "OK\r\n", 0, 77, "OK\r\n"},
    {"binary temperature O", 1, 3, 1, "T", WithCrc("\x4F\x01"), 3, 77, "", -1, true},
    {"binary temperature E", 1, 2, 1, "T", "\x45\x01", 3, 77, ""},
};

class DecoderStep : public LinkTest, public ::testing::WithParamInterface<StepCase> {};

std::string StepName(const ::testing::TestParamInfo<StepCase>& info) {
    std::string n = info.param.name;
    for (char& c : n)
        if (!isalnum(static_cast<unsigned char>(c))) c = '_';
    return n;
}

}  // namespace

TEST_P(DecoderStep, Decodes) {
    const StepCase& c = GetParam();
    if (c.needsCrc && !CrcLibraryPresent()) GTEST_SKIP() << "CRC16 library not built";
    link.OpenComPort(1, 9600);
    link.OutputFormat = c.format;
    link.DistanceUnit = c.unit;
    link.MeasValue_mm = 77;
    // A measurement starts with "M": the sensor's output begins with a frame or line.
    // ... and the decoder is in step with it.
    if (c.status == 2 && std::string(c.last) == "m") {
        link.SendCommand("M");
        link.Decoder.FrameLocked = true;
    }
    Await(c.status, c.last);
    Decode(c.input);
    EXPECT_EQ(link.EventNr, c.event);
    EXPECT_EQ(link.MeasValue_mm, c.mm);
    EXPECT_EQ(link.InBuffer, c.rest);
    EXPECT_EQ(link.CommStatus, c.statusAfter < 0 ? c.status : c.statusAfter);
    EXPECT_EQ(wire->fromLink, c.sent);
    if (c.event == 2 && c.mm != modKOVComm::TempErrorValue && *c.sent == 0) {  // each value re-arms the deadline
        EXPECT_NEAR(MsLeft(), 3000, 1e-3);
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, DecoderStep, ::testing::ValuesIn(Steps), StepName);

TEST_F(LinkTest, DeadlineTable) {
    link.OpenComPort(1, 9600);
    struct Row { int status; const char* last; int event; const char* after; const char* sent; } rows[] = {
        {0, "", 0, "X", "X"},   {0, "C", -1, "", ""},  {1, "m", -1, "m", ""}, {2, "m", -1, "m", ""},
        {2, "M", -1, "M", ""},  {1, "M", 0, "S", "S"}, {1, "O", 0, "", ""},   {2, "P", 0, "", ""},
        {2, "S", 0, "T", "T"},  {1, "S", 0, "", ""},   {1, "T", -1, "", ""},  {2, "T", -1, "", ""},
        {1, "", 0, "T", "T"},   {2, "", 0, "T", "T"},  {2, "G", 0, "G", ""},  {1, "C", -1, "C", ""},
        {2, "101 ASCII\r", -1, "101 ASCII\r", ""},
    };
    // The same action when the buffer holds text the step can do nothing
    // with (" C," without its line end): it waits for more until the
    // deadline, never for ever, and then the text goes. (While "M" awaits
    // data, any text re-arms the deadline; after "S" all text is dropped, the
    // tail of the stream it stopped.)
    for (const std::string stuck : {"", "xx23 C, O"}) {
        for (const Row& r : rows) {
            const std::string last = r.last, row = std::to_string(r.status) + "/" + last + "/" + stuck;
            if (!stuck.empty() && r.status == 2 && last == "M") continue;
            Await(r.status, r.last, 1);
            Decode(stuck);  // not yet due
            EXPECT_EQ(link.EventNr, Event::Nothing) << row;
            EXPECT_EQ(link.InBuffer, last == "S" ? "" : stuck) << row;
            EXPECT_EQ(wire->fromLink, "") << row;
            link.FailTime = link.CurrentTime - 1 / modAPI::MsPerDay;
            link.EvaluateInBuffer();
            if (!stuck.empty() && last == "T") {
                // Something came back, but nothing readable: asked again.
                EXPECT_EQ(link.EventNr, Event::Nothing) << row;
                EXPECT_EQ(wire->fromLink, "T") << row;
                continue;
            }
            EXPECT_EQ(link.EventNr, r.event) << row;
            EXPECT_EQ(link.LastCommand, r.after) << row;
            EXPECT_EQ(wire->fromLink, r.sent) << row;
            EXPECT_EQ(link.InBuffer, "") << row;
        }
    }
}

TEST_F(LinkTest, BlockOnlyWithItsOwnEnd) {
    link.OpenComPort(1, 9600);
    const std::string block = "Type: Serial\r\nAttenuator: A\r\nSerial-No: 1234\r\nVersion: 2.1\r\nPointer: off\r\n"
                          "Temperature: 23 C, OK\r\n101: 0\r\n111: 0\r\n610: 5\r\n301: 2\r\n702: 1000\r\nend\r\n";
    Await(0, "C");
    Decode("end\r\n" + block.substr(0, 40));  // an old "end" does not close a new block
    EXPECT_EQ(link.EventNr, Event::Nothing);
    EXPECT_EQ(link.CommStatus, Comm::NotConnected);
    Decode("end\r\n" + block);
    EXPECT_EQ(link.EventNr, Event::Configuration);
    EXPECT_EQ(link.CommStatus, Comm::Idle);
    EXPECT_TRUE(modKOVComm::ConfigurationRead);
    EXPECT_EQ(link.SerialNo, "1234");
    EXPECT_EQ(link.NodeAddress, -1);  // serial device, whatever 610 says

    Await(0, "C", -1);
    Decode(block.substr(0, 40));  // partial block past the deadline
    EXPECT_EQ(link.EventNr, Event::NoAnswer);
    EXPECT_EQ(link.InBuffer, "");
}

// While connecting, a block whose format or unit line noise made unreadable
// is asked for again (twice at most), so that the stream is not read in the
// wrong format.
TEST_F(LinkTest, ABlockSpoiltByNoiseIsAskedForAgain) {
    link.OpenComPort(1, 9600);
    const std::string spoilt = "Type: Serial\r\n101: 2%\r\n111: 0\r\nend\r\n";
    Await(0, "C");
    for (const char* sent : {"C", "CC", "CC"}) {
        Decode(spoilt);
        EXPECT_EQ(wire->fromLink, sent);
    }
    EXPECT_EQ(link.EventNr, Event::Configuration) << "the third is taken as it is";
    EXPECT_EQ(link.CommStatus, Comm::Idle);
}

TEST(InfoBlock, VariantsAndBadNumbers) {
    clsKOV k;
    k.AnalogMin = 4242;
    modKOVComm::ParseInfoBlock(k, "Type: Profibus\r\nAttenuator: E2\r\n610: 17\r\n351: 1\r\n352: 30000\r\n"
                                  "3 06: 0\r\n401: abc\r\n702: 1000.5\r\n701: -250\r\n");
    EXPECT_EQ(k.NodeAddress, 17);
    EXPECT_EQ(k.RainFilter, 1);
    EXPECT_EQ(k.DistanceWindow, 30000);
    EXPECT_EQ(k.EchoCheck, 0);       // the spelling with a blank when 306 is missing
    EXPECT_EQ(k.AnalogMin, 4242);    // no number: kept
    EXPECT_EQ(k.ScaleFactor, 1000);  // rounded, ties to even
    EXPECT_EQ(k.Offset, -250);
    modKOVComm::ParseInfoBlock(k, "Type: Serial\r\nAttenuator: A\r\n351: 1\r\n352: 5\r\n");
    EXPECT_EQ(k.RainFilter, -1);
    EXPECT_EQ(k.DistanceWindow, 30000);
    EXPECT_EQ(modKOVComm::InfoValue("Type: Serial", "Type:"), "");  // no line end
}

TEST_F(LinkTest, TemperatureReplies) {
    link.OpenComPort(1, 9600);
    link.OutputFormat = 1;
    link.sTemperature = "21 C, OK";
    Await(2, "T");
    Decode("T=-10 C,");  // the line is not complete yet: nothing to report
    EXPECT_EQ(link.EventNr, Event::Nothing);
    EXPECT_EQ(link.sTemperature, "21 C, OK");
    Decode("T=-10 C, NOK\r\n");
    EXPECT_EQ(link.EventNr, Event::Temperature);
    EXPECT_EQ(link.sTemperature, "-10 C, NOK");  // minus sign kept
    EXPECT_EQ(link.TempStatus, 0);

    link.OutputFormat = 2;
    Decode(Bytes({0xF6, 0x01, 0x55}));  // one stray byte behind the answer
    EXPECT_EQ(link.sTemperature, "-10 C,  OK");
    EXPECT_EQ(link.InBuffer, "");
    Decode(Bytes({0x17, 0x00}));
    EXPECT_EQ(link.sTemperature, "23 C, NOK");
    std::string two = "T=105 C, OK\r\nxx23 C, OK\r\nrest";  // a third digit is kept, others are not
    EXPECT_EQ(modKOVComm::ExtractTemperature(two), "23 C, OK");
    two = "T=105 C, OK\r\n";
    EXPECT_EQ(modKOVComm::ExtractTemperature(two), "105 C, OK");
    if (CrcLibraryPresent()) {
        link.OutputFormat = 3;
        Decode(Bytes({0x17, 0x01, 0x0E, 0x05}));
        EXPECT_EQ(link.sTemperature, "23 C,  OK");
        Decode(Bytes({0x33, 0x17, 0x01, 0x0E, 0x05}));  // a stray byte in front
        EXPECT_EQ(link.EventNr, Event::Temperature);
        Decode(Bytes({0x17, 0x01, 0x05, 0x0E, 0x42}));
        EXPECT_EQ(link.EventNr, Event::ChecksumError);
        EXPECT_EQ(link.InBuffer, Bytes({0x05, 0x0E, 0x42}));  // may begin the next answer
    }
}

TEST_F(LinkTest, RunTimeErrorsEndTheStepQuietly) {
    link.OpenComPort(1, 9600);
    link.MeasValue_mm = 77;
    // Unit index outside the table: nothing decoded, and the buffer does not
    // grow for ever: it goes at the deadline.
    link.OutputFormat = 2;
    link.DistanceUnit = 9;
    Await(2, "m");
    for (int i = 0; i < 60; ++i) {
        wire->toLink += Frame4(4660);
        Tick();
        EXPECT_LE(link.InBuffer.size(), 4u * 20);
    }
    EXPECT_EQ(link.MeasValue_mm, 77);
    // Checksum library missing.
    modKOVComm::SetChecksumFunction([](const unsigned char*, unsigned, std::int32_t, std::uint16_t*) { return false; });
    link.OutputFormat = 3;
    link.DistanceUnit = 0;
    Await(2, "m");
    const std::string frames = WithCrc(Frame4(4660)) + WithCrc(Frame4(4661));
    Decode(frames);
    EXPECT_EQ(link.EventNr, Event::Nothing);
    EXPECT_EQ(link.MeasValue_mm, 77);
    EXPECT_EQ(link.InBuffer, frames);
    Await(2, "T");
    Decode(WithCrc("\x17\x01"));
    EXPECT_EQ(link.EventNr, Event::Nothing);
    EXPECT_EQ(link.sTemperature, "");
}

TEST_F(LinkTest, TemperatureRequestFollowsTheStopEvenIfDataGoesOn) {
    link.OpenComPort(1, 9600);
    link.OutputFormat = 0;
    Await(2, "m");
    link.SendCommand("S");  // the monitor's temperature request
    wire->fromLink.clear();
    for (int i = 0; i < 39; ++i) {
        wire->toLink += "0001234.5 mm\r\n";  // the sensor has not stopped
        Tick();
        EXPECT_EQ(link.InBuffer, "");
    }
    EXPECT_EQ(wire->fromLink, "");
    wire->toLink += "0001234.5 mm\r\n";
    Tick(60);  // past the stop's 2000 ms
    EXPECT_EQ(wire->fromLink, "T");
    EXPECT_EQ(link.CommStatus, Comm::Measuring);
}
