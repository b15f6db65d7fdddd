// The decoder against the line as it really is: a sensor that streams
// without being asked, stray and damaged bytes, answers that come in pieces,
// and a port that stops taking bytes.
#include <algorithm>
#include <cstdio>
#include <random>
#include <set>
#include <stdexcept>

#include "LinkTestSupport.h"

using namespace linktest;

namespace {

// What an idle sensor answers to "T" in the ASCII formats.
const std::string TempLine = "Temp.  23 C, OK\r\n";

class Robust : public LinkTest {
protected:
    void SetUp() override {
        LinkTest::SetUp();
        link.OpenComPort(1, 38400);
    }
    // Feeds `stream` in random pieces of 1..maxPiece bytes, one step each,
    // and returns the distances reported.
    std::vector<std::int32_t> Feed(const std::string& stream, unsigned seed, int maxPiece) {
        std::mt19937 rng(seed);
        std::vector<std::int32_t> reported;
        for (std::size_t pos = 0; pos < stream.size();) {
            const std::size_t n = 1 + rng() % static_cast<unsigned>(maxPiece);
            wire->toLink += stream.substr(pos, n);
            pos += n;
            Tick();
            if (link.EventNr == Event::Distance) reported.push_back(link.MeasValue_mm);
            EXPECT_LE(link.InBuffer.size(), 64u);
        }
        return reported;
    }
    // Random bytes put in front of a share of the bytes (inserted), or in
    // their place (damaged).
    static std::string Noisy(const std::string& clean, double share, bool insert, unsigned seed) {
        std::mt19937 rng(seed);
        std::uniform_real_distribution<double> chance(0, 1);
        std::string out;
        for (char c : clean) {
            if (chance(rng) < share) {
                const char r = static_cast<char>(rng() & 0xFF);
                out.push_back(r);
                if (!insert) continue;
            }
            out.push_back(c);
        }
        return out;
    }
};

}  // namespace

// BINARY: a target standing at 4608 mm (12 00 in the low bytes) with 1 mm of
// jitter. Read out of step, two frames with the low byte 00 make a window
// that passes the frame pattern and reads as 18 mm; in step, every value is
// one the sensor sent, and a low byte of 00 is read like any other.
TEST_F(Robust, BinaryStationaryTargetGivesOnlySentValues) {
    link.OutputFormat = 2;
    link.DistanceUnit = 0;
    std::mt19937 rng(3);
    std::string stream;
    for (int i = 0; i < 100000 * 5 / 4; ++i) stream += Frame4(4607 + static_cast<std::int32_t>(rng() % 3));
    modKOVComm::StartContinuous(link);
    const auto reported = Feed(stream, 11, 8);  // 100,000 steps of 4 bytes on average
    std::set<std::int32_t> seen(reported.begin(), reported.end());
    EXPECT_EQ(seen, (std::set<std::int32_t>{4607, 4608, 4609}));
    EXPECT_GT(reported.size(), 90000u);
}

// BINARY without checksum at 38400 bit/s, a value every 2 ms, 100,000 frames
// with 10 random bytes a second put in at random places (in front of a frame
// or inside one). A window across a stray byte reads a value shifted by a
// byte; none may be reported. The values rise by 3 mm a frame (and fall back
// every 1000), so each one identifies its frame: a reported value must be
// one of the frames just fed. Fed one frame time a step, so that nearly
// every value taken is also reported; the frames that came through whole
// and were not taken are counted as lost.
TEST_F(Robust, BinaryWithStrayBytesReportsOnlySentValues) {
    link.OutputFormat = 2;
    link.DistanceUnit = 0;
    link.OutputMode = 0;
    modKOVComm::StartContinuous(link);
    std::mt19937 rng(19);
    std::uniform_real_distribution<double> chance(0, 1);
    constexpr int Frames = 100000;
    constexpr double StrayPerFrame = 10.0 / 500;  // 10 bytes a second, 500 frames a second
    int whole = 0, wrong = 0, reportedCount = 0, strays = 0;
    std::vector<std::int32_t> recent;  // the values of the last frames fed
    const std::uint64_t takenBefore = link.Decoder.FramesTaken;
    for (int i = 0; i < Frames; ++i) {
        const std::int32_t mm = 5000 + 3 * (i % 1000);
        std::string frame = Frame4(mm);
        bool hit = false;
        if (chance(rng) < StrayPerFrame) {
            frame.insert(rng() % 4, 1, static_cast<char>(rng() & 0xFF));  // 0: in front of the frame
            hit = frame[0] != Frame4(mm)[0] || frame.size() != 4;
            ++strays;
        }
        if (!hit || frame.substr(1) == Frame4(mm)) ++whole;
        wire->toLink += frame;
        recent.push_back(mm);
        if (recent.size() > 3) recent.erase(recent.begin());
        Tick(2);
        if (link.EventNr == Event::Distance) {
            ++reportedCount;
            if (std::find(recent.begin(), recent.end(), link.MeasValue_mm) == recent.end()) ++wrong;
        }
    }
    const double taken = static_cast<double>(link.Decoder.FramesTaken - takenBefore);
    const double lost = 100.0 * (1.0 - taken / whole);
    std::printf("[ figures  ] BINARY, %d frames, %d stray bytes: %d values reported, %d wrong, %.2f %% of the "
                "whole frames lost\n",
                Frames, strays, reportedCount, wrong, lost);
    EXPECT_EQ(wrong, 0);
    EXPECT_LE(lost, 5.0);
    EXPECT_GT(reportedCount, Frames * 9 / 10);
}

// ASCII with 2 % of random bytes added: a damaged line is never taken for a
// distance, so no value near 0 and no "No Echo" while the sensor sends 5 m.
TEST_F(Robust, AsciiWithLineNoiseGivesOnlySentValues) {
    for (int format : {0, 1}) {
        link.OutputFormat = format;
        link.DistanceUnit = 1;
        std::string clean;
        std::set<std::int32_t> sent;
        for (int i = 0; i < 20000; ++i) {
            char line[40];
            const int mm = 5000 + (i % 7) - 3;
            std::snprintf(line, sizeof line, format == 0 ? "%12.4f\r\n" : "%12.4f m\r\n", mm / 1000.0);
            clean += line;
            sent.insert(mm);
        }
        modKOVComm::StartContinuous(link);
        const auto reported = Feed(Noisy(clean, 0.02, true, 5 + format), 17, 40);
        ASSERT_GT(reported.size(), 5000u);
        for (std::int32_t mm : reported) ASSERT_TRUE(sent.count(mm)) << "format " << format << ": " << mm;
    }
}

// BINARY+CRC with 1 % of the bytes damaged: only intact frames are read,
// a step with a value and a damaged frame keeps the value and counts the
// damage.
TEST_F(Robust, BinaryCrcWithDamagedBytesGivesOnlySentValues) {
    if (!CrcLibraryPresent()) GTEST_SKIP() << "CRC16 library not built";
    link.OutputFormat = 3;
    link.DistanceUnit = 0;
    std::mt19937 rng(8);
    std::string clean;
    std::set<std::int32_t> sent;
    for (int i = 0; i < 60000; ++i) {
        const std::int32_t mm = 1000 + static_cast<std::int32_t>(rng() % 60000);
        sent.insert(mm);
        clean += WithCrc(Frame4(mm));
    }
    modKOVComm::StartContinuous(link);
    int withDamage = 0;
    std::mt19937 cut(9);
    const std::string stream = Noisy(clean, 0.01, false, 10);
    for (std::size_t pos = 0; pos < stream.size();) {
        const std::size_t n = 1 + cut() % 60;
        wire->toLink += stream.substr(pos, n);
        pos += n;
        Tick();
        if (link.EventNr == Event::Distance) {
            ASSERT_TRUE(sent.count(link.MeasValue_mm)) << link.MeasValue_mm;
            if (link.Decoder.ChecksumErrors > 0) ++withDamage;
        }
    }
    EXPECT_GT(withDamage, 100);
}

// A marker frame is passed on as it came, in MeasValue as well (every
// reader tests MeasValue for it); and "C, " inside the frames does not hold
// up the decoding.
TEST_F(Robust, BinaryMarkersAndTextLikeBytes) {
    link.OutputFormat = 2;
    link.DistanceUnit = 1;
    modKOVComm::StartContinuous(link);
    const std::int32_t comma = 0x202C43;  // bytes 43 2C 20 spell "C, "
    Decode(Frame4(comma - 2) + Frame4(comma - 1) + Frame4(comma - 1));  // in step
    ASSERT_EQ(link.EventNr, Event::Distance);
    Decode(Frame4(modKOVComm::NoEchoValue));
    EXPECT_EQ(link.EventNr, Event::Distance);
    EXPECT_EQ(link.MeasValue, modKOVComm::NoEchoValue);
    Decode(Frame4(modKOVComm::TempErrorValue));
    EXPECT_EQ(link.MeasValue, modKOVComm::TempErrorValue);
    Decode(Frame4(comma) + Frame4(comma + 1));
    EXPECT_EQ(link.EventNr, Event::Distance);
    EXPECT_DOUBLE_EQ(link.MeasValue, (comma + 1) / 1000.0);
    EXPECT_EQ(link.InBuffer, "");
}

// The sensor streams although nobody asked (autostart, a replugged cable):
// the link stops it and connects as usual, not connected and connected alike.
TEST_F(Robust, AStreamNobodyAskedForIsStopped) {
    for (int status : {0, 1}) {
        Await(status, status == 0 ? "X" : "", 1000);
        const std::string frame = Frame4(6000);
        for (int i = 0; i < 3; ++i) {
            wire->toLink += frame + frame + frame;
            Tick();
        }
        EXPECT_EQ(wire->fromLink, "S") << status;
        EXPECT_EQ(link.CommStatus, status);
        // The sensor has not stopped yet: more comes and goes.
        wire->toLink += frame + frame;
        Tick();
        EXPECT_EQ(link.InBuffer, "");
        EXPECT_EQ(wire->fromLink, "S");
        // Quiet: the usual way in.
        Tick();
        Tick();
        Tick();
        EXPECT_EQ(wire->fromLink, status == 0 ? "SX" : "SC") << status;
        EXPECT_NE(link.EventNr, Event::NoAnswer);
    }
    // A sensor that does not stop is asked again at the deadline.
    Await(0, "X", 1000);
    for (int i = 0; i < 60; ++i) {
        wire->toLink += "      1.2345\r\n      1.2346\r\n";
        Tick();
    }
    EXPECT_EQ(wire->fromLink, "SS");
}

// Stray bytes while connected and idle: no connection lost as long as the
// sensor answers its keep-alive; an answer spoilt by noise is asked for again.
TEST_F(Robust, StrayBytesDoNotDropAnIdleConnection) {
    link.OutputFormat = 1;
    Await(1, "", -1);
    std::mt19937 rng(4);
    int answered = 0;
    for (int tick = 0; tick < 20 * 600; ++tick) {  // ten minutes
        if (rng() % 20 == 0) wire->toLink.push_back(static_cast<char>(rng() & 0xFF));
        if (!wire->fromLink.empty()) {
            // Every fourth answer gets a stray byte in the middle.
            std::string answer = TempLine;
            if (++answered % 4 == 0) answer.insert(8, 1, '\x8F');
            if (answered % 9 == 0) answer.insert(3, 1, '7');
            wire->toLink += answer;
            wire->fromLink.clear();
        }
        Tick();
        ASSERT_NE(link.EventNr, Event::NoAnswer) << "tick " << tick;
    }
    EXPECT_GT(answered, 300);
    EXPECT_EQ(link.sTemperature, "23 C, OK");
    // A sensor that falls silent is still noticed.
    link.CommStatus = Comm::Idle;
    int silentTicks = 0;
    while (link.EventNr != Event::NoAnswer && silentTicks < 100) {
        wire->fromLink.clear();
        Tick();
        ++silentTicks;
    }
    EXPECT_EQ(link.EventNr, Event::NoAnswer);
}

// An acknowledgement is only the answer to a parameter write: a binary
// temperature whose first byte is "O" or "E" is a temperature.
TEST_F(Robust, BinaryTemperatureIsNoAcknowledgement) {
    if (!CrcLibraryPresent()) GTEST_SKIP() << "CRC16 library not built";
    link.OutputFormat = 3;
    Await(1, "T");
    Decode(WithCrc("\x45\x01"));
    EXPECT_EQ(link.EventNr, Event::Temperature);
    EXPECT_EQ(link.sTemperature, "69 C,  OK");
    // While a write waits, the same bytes are no "O".
    link.RainFilter = 0;
    int pumps = 0;
    modKOVComm::WriteParameter(link, "304", [&](int) {
        if (pumps++ == 1) wire->toLink += WithCrc("\x4F\x01");
        Tick(500);
    });
    EXPECT_EQ(link.EventNr, Event::NoAnswer);
}

// In BINARY+CRC, the answer to "T" awaited while the sensor keeps streaming
// (its "S" was lost): the buffer stays small and the wait ends.
TEST_F(Robust, TemperatureWaitInAStreamEnds) {
    if (!CrcLibraryPresent()) GTEST_SKIP() << "CRC16 library not built";
    link.OutputFormat = 3;
    link.CommStatus = Comm::Measuring;
    link.SendCommand("T");
    bool ended = false;
    for (int i = 0; i < 400 && !ended; ++i) {
        for (int k = 0; k < 10; ++k) wire->toLink += WithCrc(Frame4(5000 + k));
        Tick();
        EXPECT_LE(link.InBuffer.size(), 3u);
        EXPECT_NE(link.EventNr, Event::Temperature) << "a temperature read out of distance frames";
        ended = link.EventNr == Event::NoAnswer;
    }
    EXPECT_TRUE(ended);
}

// A unit outside the table while measuring: nothing can be read, and the
// sensor counts as not answering once the deadline has passed.
TEST_F(Robust, UnknownUnitEndsInNoAnswer) {
    link.OutputFormat = 2;
    link.DistanceUnit = 9;
    modKOVComm::StartContinuous(link);
    int ticks = 0;
    do {
        wire->toLink += Frame4(4660);
        Tick();
    } while (link.EventNr != Event::NoAnswer && ++ticks < 200);
    EXPECT_EQ(link.EventNr, Event::NoAnswer);
    EXPECT_NEAR(ticks * 50, 3000, 150);
}

// A port that stops taking bytes: the command ends at the first byte that
// cannot go out, and the write reports no answer at once.
TEST_F(Robust, ABytesThatCannotBeSentFailsTheWrite) {
    class Stuck : public FakePort {
    public:
        using FakePort::FakePort;
        bool PutChar(unsigned char byte) override { return ++count <= 5 && FakePort::PutChar(byte); }
        int count = 0;
    };
    link.CloseComPort();
    link.SetPortFactory([w = wire](int, std::string*) { return std::make_unique<Stuck>(w); });
    link.OpenComPort(1, 9600);
    link.DistanceWindow = 20000;
    int pumps = 0;
    modKOVComm::WriteParameter(link, "352", [&](int) { ++pumps; });
    EXPECT_EQ(link.EventNr, Event::NoAnswer);
    EXPECT_EQ(pumps, 0);
    EXPECT_EQ(wire->fromLink, "352 2");  // never "352 2000" and a CR
}

// A pump that throws leaves no trace of the wait behind.
TEST_F(Robust, AThrowingPumpEndsTheWaitCleanly) {
    link.CommStatus = Comm::Idle;
    EXPECT_THROW(modKOVComm::WriteParameter(link, "304", [](int) { throw std::runtime_error("pump"); }),
                 std::runtime_error);
    // The next step must not report into the wait that is gone.
    Await(1, "304 0\r");
    Decode("OK\r\n");
    EXPECT_EQ(link.EventNr, Event::Accepted);
    int pumps = 0;
    modKOVComm::WriteParameter(link, "304", [&](int) {
        if (pumps++ == 0) wire->toLink += "ERR\r\n";
        Tick();
    });
    EXPECT_EQ(link.EventNr, Event::Rejected);
}
