// Continuous streams cut into arbitrary pieces, damaged streams, and whole
// sessions against a small sensor: what the monitor sees tick by tick.
#include <algorithm>
#include <cstdio>
#include <map>
#include <random>

#include "Crc16Loader.h"
#include "LinkTestSupport.h"

using namespace linktest;

namespace {

bool CrcLibraryPresent() {
    const unsigned char probe[6] = {0x34, 0x12, 0x00, 0x00, 0xC5, 0x0B};
    std::uint16_t r = 1;
    return Crc16Loader::ByteBlock(probe, 6, -1, &r) && r == 0;
}

// A target that moves slowly, with noise; strictly increasing so that the
// order of reported values can be checked, and never with a low byte of 0
// (a BINARY frame with that low byte is not accepted by design).
std::vector<std::int32_t> Profile(std::size_t n, unsigned seed) {
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int> noise(1, 9);
    std::vector<std::int32_t> v;
    std::int32_t x = 1500;
    while (v.size() < n) {
        x += noise(rng);
        if ((x & 0xFF) != 0) v.push_back(x);
    }
    return v;
}

// The sensor's bytes for one value in an output format (unit mm, or m for
// ASCII+UNIT).
std::string Encode(int format, std::int32_t mm) {
    char line[32];
    switch (format) {
        case 0: std::snprintf(line, sizeof line, "%12.1f\r\n", static_cast<double>(mm)); return line;
        case 1: std::snprintf(line, sizeof line, "%10.3f m\r\n", mm / 1000.0); return line;
        case 2: return Frame4(mm);
        default: return WithCrc(Frame4(mm));
    }
}

class StreamTest : public LinkTest, public ::testing::WithParamInterface<int> {
protected:
    void SetUp() override {
        LinkTest::SetUp();
        if (GetParam() == 3 && !CrcLibraryPresent()) GTEST_SKIP() << "CRC16 library not built";
        Open(38400);
    }
    void StartMeasuring() {
        link.OutputFormat = GetParam();
        link.DistanceUnit = GetParam() == 1 ? 1 : 0;
        link.InBuffer.clear();
        Await(2, "m", 3000);
    }
    // Feeds the pieces one per tick and collects the reported distances.
    std::vector<std::int32_t> Feed(const std::vector<std::string>& pieces) {
        std::vector<std::int32_t> reported;
        for (const std::string& piece : pieces) {
            wire->toLink += piece;
            Tick();
            if (link.EventNr == 2) reported.push_back(link.MeasValue_mm);
            EXPECT_NE(link.EventNr, -1);
            EXPECT_LT(link.InBuffer.size(), 64u) << "the buffer must not pile up";
        }
        return reported;
    }
    static std::vector<std::string> RandomPieces(const std::string& stream, std::mt19937& rng, int maxPiece) {
        std::uniform_int_distribution<int> size(1, maxPiece);
        std::vector<std::string> pieces;
        for (std::size_t pos = 0; pos < stream.size();) {
            const std::size_t n = std::min<std::size_t>(static_cast<std::size_t>(size(rng)), stream.size() - pos);
            pieces.push_back(stream.substr(pos, n));
            pos += n;
        }
        return pieces;
    }
    static std::vector<std::string> SingleBytes(const std::string& stream) {
        std::vector<std::string> pieces;
        for (char c : stream) pieces.emplace_back(1, c);
        return pieces;
    }
};

// Every value reported is one that was sent (so it sits in `sent` behind the
// previous one) and the last value sent is the last one reported.
void ExpectFaithfulSubsequence(const std::vector<std::int32_t>& reported, const std::vector<std::int32_t>& sent) {
    ASSERT_FALSE(reported.empty());
    auto from = sent.begin();
    for (std::int32_t r : reported) {
        const auto hit = std::find(from, sent.end(), r);
        ASSERT_NE(hit, sent.end()) << "value " << r << " was not sent, or not in this order";
        from = hit + 1;
    }
    EXPECT_EQ(reported.back(), sent.back());
}

}  // namespace

TEST_P(StreamTest, RandomPiecesReportOnlySentValuesInOrder) {
    const auto sent = Profile(200, 7);
    std::string stream;
    for (std::int32_t v : sent) stream += Encode(GetParam(), v);
    for (unsigned trial = 0; trial < 12; ++trial) {
        SCOPED_TRACE("trial " + std::to_string(trial));
        std::mt19937 rng(1000 + trial);
        StartMeasuring();
        ExpectFaithfulSubsequence(Feed(RandomPieces(stream, rng, trial < 6 ? 9 : 40)), sent);
    }
}

TEST_P(StreamTest, OneBytePerStepReportsEveryValue) {
    const auto sent = Profile(40, 11);
    std::string stream;
    for (std::int32_t v : sent) stream += Encode(GetParam(), v);
    StartMeasuring();
    EXPECT_EQ(Feed(SingleBytes(stream)), sent);
    EXPECT_EQ(link.InBuffer, "");
}

std::string FormatName(const ::testing::TestParamInfo<int>& info) {
    static const char* const names[] = {"Ascii", "AsciiUnit", "Binary", "BinaryCrc"};
    return names[info.param];
}

INSTANTIATE_TEST_SUITE_P(AllFormats, StreamTest, ::testing::Values(0, 1, 2, 3), FormatName);

// ------------------------------------------------------------ damaged streams

class DamageTest : public LinkTest {
protected:
    void SetUp() override {
        LinkTest::SetUp();
        Open(38400);
    }
    std::vector<std::int32_t> FeedBytes(const std::string& stream, int* crcErrors = nullptr) {
        std::vector<std::int32_t> reported;
        for (char c : stream) {
            wire->toLink.push_back(c);
            Tick();
            if (link.EventNr == 2) reported.push_back(link.MeasValue_mm);
            if (link.EventNr == 7 && crcErrors) ++*crcErrors;
            EXPECT_LT(link.InBuffer.size(), 64u);
        }
        return reported;
    }
};

// Line noise on a BINARY stream (a break reads as zero bytes, of any length):
// the values behind it come through exactly.
TEST_F(DamageTest, BinaryResynchronisesAfterZeroBursts) {
    link.OutputFormat = 2;
    link.DistanceUnit = 0;
    Await(2, "m", 3000);
    const auto sent = Profile(60, 3);
    std::string stream;
    for (std::size_t i = 0; i < sent.size(); ++i) {
        if (i % 10 == 5) stream += std::string(1 + i % 7, '\0');
        stream += Frame4(sent[i]);
    }
    EXPECT_EQ(FeedBytes(stream), sent);
}

// BINARY+CRC: random garbage and frames with a damaged byte are reported as
// checksum errors, and every intact frame is still found.
TEST_F(DamageTest, BinaryCrcSkipsGarbageAndDamagedFrames) {
    if (!CrcLibraryPresent()) GTEST_SKIP() << "CRC16 library not built";
    link.OutputFormat = 3;
    link.DistanceUnit = 0;
    Await(2, "m", 3000);
    std::mt19937 rng(5);
    std::uniform_int_distribution<int> byte(0, 255);
    const auto values = Profile(80, 9);
    std::vector<std::int32_t> intact;
    std::string stream;
    for (std::size_t i = 0; i < values.size(); ++i) {
        std::string frame = WithCrc(Frame4(values[i]));
        if (i % 9 == 4) {
            frame[i % 6] = static_cast<char>(frame[i % 6] ^ 0x10);  // one damaged bit
        } else {
            intact.push_back(values[i]);
        }
        stream += frame;
        if (i % 13 == 6) {
            for (std::size_t k = 0; k < 1 + i % 11; ++k) stream.push_back(static_cast<char>(byte(rng)));
        }
    }
    int crcErrors = 0;
    EXPECT_EQ(FeedBytes(stream, &crcErrors), intact);
    EXPECT_GT(crcErrors, 0);
}

// ASCII has no checksum: a burst damages the line it falls into, and only
// that line; every other line comes through.
TEST_F(DamageTest, AsciiRecoversOnTheNextLine) {
    link.OutputFormat = 0;
    link.DistanceUnit = 0;
    Await(2, "m", 3000);
    const auto sent = Profile(50, 21);
    std::string stream;
    std::vector<std::int32_t> undamaged;
    for (std::size_t i = 0; i < sent.size(); ++i) {
        std::string line = Encode(0, sent[i]);
        if (i % 8 == 3) {
            line.insert(i % 5, "\x80#garbage\xfe");
        } else {
            undamaged.push_back(sent[i]);
        }
        stream += line;
    }
    const auto reported = FeedBytes(stream);
    std::vector<std::int32_t> known;
    for (std::int32_t r : reported)
        if (std::find(sent.begin(), sent.end(), r) != sent.end()) known.push_back(r);
    for (std::int32_t v : undamaged) EXPECT_NE(std::find(known.begin(), known.end(), v), known.end()) << v;
    EXPECT_TRUE(std::is_sorted(known.begin(), known.end()));
    EXPECT_EQ(reported.back(), sent.back());
}

// ----------------------------------------------------------------- sessions

namespace {

// The monitor's part in the protocol: one tick, and its reaction to the
// decoder's event as far as the link's state is concerned.
class SessionTest : public LinkTest {
protected:
    void SetUp() override {
        LinkTest::SetUp();
        Open(9600);
        sensor = std::make_unique<MiniSensor>(wire);
        link.FailTime = 0;
    }
    void MonitorTick() {
        sensor->Produce();
        Tick();
        ++events[link.EventNr];
        maxBuffer = std::max(maxBuffer, link.InBuffer.size());
        if (link.EventNr == -1) {
            if (link.CommStatus == 1) link.CommStatus = 0;
            else if (link.CommStatus == 2) link.CommStatus = 1;
        }
    }
    void RunFor(double ms) {
        for (double t = 0; t < ms; t += 50) MonitorTick();
    }
    int Count(const std::string& command) const {
        return static_cast<int>(std::count(sensor->commands.begin(), sensor->commands.end(), command));
    }
    std::unique_ptr<MiniSensor> sensor;
    std::map<int, int> events;
    std::size_t maxBuffer = 0;
};

}  // namespace

TEST_F(SessionTest, ConnectsAndKeepsTheConnectionAlive) {
    MonitorTick();
    EXPECT_EQ(sensor->commands, std::vector<std::string>{"X"});
    RunFor(200);
    EXPECT_EQ(link.CommStatus, 1);
    EXPECT_EQ(events[4], 1);
    EXPECT_EQ(Count("C"), 1);
    EXPECT_EQ(link.SerialNo, "1234");

    sensor->commands.clear();
    events.clear();
    RunFor(15000);
    // One "T" about every 1.5 s, each answered.
    EXPECT_GE(Count("T"), 9);
    EXPECT_LE(Count("T"), 11);
    EXPECT_NEAR(events[3], Count("T"), 1);  // the last one may still be on its way
    EXPECT_EQ(events[-1], 0);
    EXPECT_EQ(link.CommStatus, 1);
}

TEST_F(SessionTest, SilentSensorDropsTheConnectionAndItComesBack) {
    RunFor(500);
    ASSERT_EQ(link.CommStatus, 1);
    sensor->silent = true;
    RunFor(3000);
    EXPECT_EQ(link.CommStatus, 0);
    EXPECT_GT(Count("X"), 1);  // still asking, every 2 s
    sensor->silent = false;
    RunFor(3000);
    EXPECT_EQ(link.CommStatus, 1);
}

TEST_F(SessionTest, SensorRestartWhileIdle) {
    RunFor(500);
    ASSERT_EQ(link.CommStatus, 1);
    RunFor(700);
    sensor->Restart();
    events.clear();
    RunFor(6000);
    EXPECT_GE(events[3], 3);  // the keep-alive goes on after the banner
    EXPECT_EQ(link.CommStatus, 1);
    EXPECT_LT(maxBuffer, 600u);
}

TEST_F(SessionTest, SensorRestartWhileMeasuring) {
    RunFor(500);
    ASSERT_EQ(link.CommStatus, 1);
    link.OutputFormat = 0;  // as the block says
    modKOVComm::StartContinuous(link);
    events.clear();
    RunFor(2000);
    EXPECT_GT(events[2], 30);
    EXPECT_EQ(link.LastCommand, "m");
    EXPECT_EQ(link.MeasValue, sensor->sent.back());

    sensor->Restart();
    events.clear();
    RunFor(10000);
    EXPECT_EQ(link.CommStatus, 1);     // reconnected: information block read again
    EXPECT_EQ(events[4], 1);
    EXPECT_GE(events[3], 3);           // and kept alive
    EXPECT_LT(maxBuffer, 600u);

    modKOVComm::StartContinuous(link);  // measuring again
    events.clear();
    RunFor(1000);
    EXPECT_GT(events[2], 10);
}
