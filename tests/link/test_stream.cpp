// Measurement streams cut into arbitrary pieces or damaged on the line.
#include <random>

#include "LinkTestSupport.h"

using namespace linktest;

namespace {

// A target moving slowly with noise: strictly increasing, so the order of
// the reported values can be checked, and never with a low byte of 0 (such a
// BINARY frame is not accepted by design).
std::vector<std::int32_t> Profile(std::size_t n, unsigned seed) {
    std::mt19937 rng(seed);
    std::vector<std::int32_t> v;
    for (std::int32_t x = 1500; v.size() < n;)
        if (((x += 1 + static_cast<std::int32_t>(rng() % 9)) & 0xFF) != 0) v.push_back(x);
    return v;
}

// One value in output format 0..3 (unit mm, ASCII+UNIT in m).
std::string Encode(int format, std::int32_t mm) {
    char line[32];
    if (format == 0) std::snprintf(line, sizeof line, "%12.1f\r\n", static_cast<double>(mm));
    if (format == 1) std::snprintf(line, sizeof line, "%10.3f m\r\n", mm / 1000.0);
    return format == 2 ? Frame4(mm) : format == 3 ? WithCrc(Frame4(mm)) : std::string(line);
}

class StreamBase : public LinkTest {
protected:
    void SetUp() override {
        LinkTest::SetUp();
        link.OpenComPort(1, 38400);
    }
    bool Measure(int format) {
        link.OutputFormat = format;
        link.DistanceUnit = format == 1 ? 1 : 0;
        link.InBuffer.clear();
        modKOVComm::StartContinuous(link);  // the sensor's output starts with a frame or line
        return format != 3 || CrcLibraryPresent();
    }
    // One piece per tick; the distances reported on the way.
    std::vector<std::int32_t> Feed(const std::string& stream, std::mt19937* rng, int maxPiece, int* crcErrors = nullptr) {
        std::vector<std::int32_t> reported;
        for (std::size_t pos = 0; pos < stream.size();) {
            const std::size_t n = rng ? 1 + (*rng)() % static_cast<unsigned>(maxPiece) : 1;
            wire->toLink += stream.substr(pos, n);
            pos += n;
            Tick();
            if (link.EventNr == Event::Distance) reported.push_back(link.MeasValue_mm);
            if (link.EventNr == Event::ChecksumError && crcErrors) ++*crcErrors;
            EXPECT_NE(link.EventNr, Event::NoAnswer);
            EXPECT_LT(link.InBuffer.size(), 64u);
        }
        return reported;
    }
};

class StreamTest : public StreamBase, public ::testing::WithParamInterface<int> {};

std::string FormatName(const ::testing::TestParamInfo<int>& info) {
    static const char* const names[] = {"Ascii", "AsciiUnit", "Binary", "BinaryCrc"};
    return names[info.param];
}

}  // namespace

// A step keeps only the newest value: whatever the cut, every value reported
// is one the sensor sent, in order, and the last one sent is reported.
TEST_P(StreamTest, AnyCutReportsOnlySentValuesInOrder) {
    if (!Measure(GetParam())) GTEST_SKIP() << "CRC16 library not built";
    const auto sent = Profile(200, 7);
    std::string stream;
    for (std::int32_t v : sent) stream += Encode(GetParam(), v);
    for (unsigned trial = 0; trial < 12; ++trial) {
        Measure(GetParam());
        std::mt19937 rng(1000 + trial);
        const auto reported = Feed(stream, &rng, trial < 6 ? 9 : 40);
        ASSERT_FALSE(reported.empty());
        auto from = sent.begin();
        for (std::int32_t r : reported) {
            from = std::find(from, sent.end(), r);
            ASSERT_NE(from, sent.end()) << "trial " << trial << ": " << r << " not sent, or out of order";
            ++from;
        }
        EXPECT_EQ(reported.back(), sent.back()) << "trial " << trial;
    }
    // One byte per step reports every value (in ASCII from the second line
    // on: the width of the sensor's lines is known once two agree; in BINARY
    // from the third frame on: the first frames confirm that the decoder is
    // in step, the first of them is passed over).
    Measure(GetParam());
    const int first = GetParam() <= 1 ? 1 : GetParam() == 2 ? 2 : 0;
    EXPECT_EQ(Feed(stream.substr(0, 40 * Encode(GetParam(), 1500).size()), nullptr, 1),
              std::vector<std::int32_t>(sent.begin() + first, sent.begin() + 40));
}

INSTANTIATE_TEST_SUITE_P(AllFormats, StreamTest, ::testing::Values(0, 1, 2, 3), FormatName);

// BINARY+CRC: random garbage and frames with a flipped bit are checksum
// errors, and the intact frames are still found: all but, after added bytes,
// the first frame of the place found again (it shares its step with the
// second, and a step reports its newest value).
TEST_F(StreamBase, BinaryCrcSkipsGarbageAndDamagedFrames) {
    if (!Measure(3)) GTEST_SKIP() << "CRC16 library not built";
    std::mt19937 rng(5);
    const auto values = Profile(80, 9);
    std::vector<std::int32_t> intact;
    std::string stream;
    for (std::size_t i = 0; i < values.size(); ++i) {
        std::string frame = WithCrc(Frame4(values[i]));
        if (i % 9 == 4) frame[i % 6] = static_cast<char>(frame[i % 6] ^ 0x10);
        else intact.push_back(values[i]);
        stream += frame;
        for (std::size_t k = 0; i % 13 == 6 && k < 1 + i % 11; ++k) stream.push_back(static_cast<char>(rng()));
    }
    int crcErrors = 0;
    const auto reported = Feed(stream, nullptr, 1, &crcErrors);
    auto from = intact.begin();
    for (std::int32_t r : reported) {
        from = std::find(from, intact.end(), r);
        ASSERT_NE(from, intact.end()) << r << " not intact, or out of order";
    }
    const std::size_t bursts = (values.size() + 6) / 13;
    EXPECT_GE(reported.size(), intact.size() - bursts);
    EXPECT_GT(crcErrors, 0);
}
