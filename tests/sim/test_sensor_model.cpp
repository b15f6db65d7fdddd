// The simulated sensor on its own: what it answers to each command, in each
// output format, and at which pace.
#include <gtest/gtest.h>

#include <boost/crc.hpp>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "SensorModel.h"

namespace {

using Sim::SensorModel;

// CRC-16/AUG-CCITT from Boost, as an independent reference for the frames.
std::uint16_t ReferenceCrc(const std::string& bytes) {
    boost::crc_optimal<16, 0x1021, 0x1D0F, 0, false, false> crc;
    crc.process_bytes(bytes.data(), bytes.size());
    return static_cast<std::uint16_t>(crc.checksum());
}

bool FrameIntact(const std::string& frame) {
    const std::string data = frame.substr(0, frame.size() - 2);
    const std::uint16_t crc = ReferenceCrc(data);
    return static_cast<unsigned char>(frame[frame.size() - 2]) == (crc >> 8) &&
           static_cast<unsigned char>(frame[frame.size() - 1]) == (crc & 0xFF);
}

std::int32_t LittleEndian(const std::string& s, size_t at) {
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(s[at + i]);
    return static_cast<std::int32_t>(v);
}

class SensorTest : public ::testing::Test {
protected:
    double now = 1000;
    std::unique_ptr<SensorModel> sensor;

    void Make(Sim::Options options = {}) {
        sensor = std::make_unique<SensorModel>(options, [this] { return now; });
    }
    void SetUp() override { Make(); }

    // Sends a command and collects everything the sensor sends in the next `ms`.
    std::string Ask(const std::string& command, double ms = 2000) {
        sensor->Receive(command);
        return Run(ms);
    }
    std::string Run(double ms) {
        std::string out;
        for (double t = 0; t < ms; t += 10) {
            now += 10;
            out += sensor->Transmit();
        }
        return out;
    }
    std::vector<std::string> Lines(const std::string& text) {
        std::vector<std::string> lines;
        size_t start = 0;
        for (size_t p; (p = text.find("\r\n", start)) != std::string::npos; start = p + 2) {
            lines.push_back(text.substr(start, p - start));
        }
        return lines;
    }
};

TEST_F(SensorTest, ReadyBannerAndInformationBlock) {
    EXPECT_EQ(Ask("X"), "\r\nKOV ready\r\n");

    const std::string block = Ask("C");
    EXPECT_EQ(block, sensor->InfoBlock());
    ASSERT_EQ(block.rfind("Type: Serial\r\n", 0), 0u) << block;
    EXPECT_EQ(block.find("Type:"), block.rfind("Type:"));
    EXPECT_EQ(block.find("end"), block.size() - 5) << "no earlier 'end' in the block";
    for (const char* key : {"Serial-No: ", "Attenuator: 2\r\n", "Version: ", "Build: ", "Date: ",
                            "Pointer: off\r\n", "Temperature: 23 C, OK\r\n", "101: 1\r\n", "111: 1\r\n",
                            "301: 4\r\n", "601: 3\r\n", "702: 1000\r\n", "802: 1013\r\n"}) {
        EXPECT_NE(block.find(key), std::string::npos) << key;
    }
    EXPECT_EQ(block.find("351:"), std::string::npos) << "no rain filter lines without a rain filter";
    // The program gives the whole block 500 character times plus half a second.
    EXPECT_LT(block.size(), 500u);

    Sim::Options rain;
    rain.rainFilter = true;
    rain.profibus = true;
    Make(rain);
    const std::string rainBlock = Ask("C");
    EXPECT_NE(rainBlock.find("Type: Profibus\r\n"), std::string::npos);
    EXPECT_NE(rainBlock.find("Attenuator: 2E\r\n"), std::string::npos);
    for (const char* key : {"351: 0\r\n", "352: 20000\r\n", "353: 512\r\n", "354: 1000\r\n", "355: 1\r\n"}) {
        EXPECT_NE(rainBlock.find(key), std::string::npos) << key;
    }
    EXPECT_LT(rainBlock.size(), 500u);
}

TEST_F(SensorTest, PointerIsReflectedInTheBlock) {
    EXPECT_EQ(Ask("P"), "");
    EXPECT_NE(Ask("C").find("Pointer: on\r\n"), std::string::npos);
    Ask("O");
    EXPECT_NE(Ask("C").find("Pointer: off\r\n"), std::string::npos);
}

TEST_F(SensorTest, TemperatureInEveryFormat) {
    EXPECT_EQ(Ask("T"), "Temp.  23 C, OK\r\n");
    sensor->SetParam(101, 0);
    EXPECT_EQ(Ask("T"), "Temp.  23 C, OK\r\n");
    sensor->SetParam(101, 2);
    EXPECT_EQ(Ask("T"), std::string("\x17\x01", 2));
    sensor->SetParam(101, 3);
    EXPECT_EQ(Ask("T"), std::string("\x17\x01\x0E\x05", 4));

    Sim::Options cold;
    cold.temperatureC = -10;
    cold.tempError = true;
    Make(cold);
    EXPECT_EQ(Ask("T"), "Temp. -10 C, NOK\r\n");
    EXPECT_NE(Ask("C").find("Temperature: -10 C, NOK\r\n"), std::string::npos);
    sensor->SetParam(101, 2);
    EXPECT_EQ(Ask("T"), std::string("\xF6\x00", 2));
}

TEST_F(SensorTest, ContinuousAsciiValuesMatchWhatWasMeasured) {
    for (int unit = 0; unit < 7; ++unit) {
        for (int format = 0; format < 2; ++format) {
            Make();
            sensor->SetParam(101, format);
            sensor->SetParam(111, unit);
            const std::string out = Ask("M", 1500);
            Ask("S", 100);
            const auto lines = Lines(out);
            const auto& history = sensor->History();
            ASSERT_GE(lines.size(), 10u) << "unit " << unit;
            ASSERT_EQ(lines.size(), history.size());
            for (size_t i = 0; i < lines.size(); ++i) {
                const std::string& line = lines[i];
                SCOPED_TRACE(line);
                EXPECT_GE(line.size(), 12u);
                EXPECT_EQ(line, history[i].text);
                const double inUnit = std::strtod(line.c_str(), nullptr);
                // The printed value converts back to the measured millimetre exactly.
                EXPECT_EQ(std::lround(inUnit * SensorModel::UnitFactor(unit)), history[i].mm);
                const std::string suffix = std::string(" ") + SensorModel::UnitText(unit);
                const bool hasUnit = line.size() > suffix.size() &&
                                     line.compare(line.size() - suffix.size(), suffix.size(), suffix) == 0;
                EXPECT_EQ(hasUnit, format == 1);
                EXPECT_EQ(line.find("C, "), std::string::npos);
            }
        }
    }
}

TEST_F(SensorTest, ContinuousBinaryFrames) {
    sensor->SetParam(101, 2);
    std::string out = Ask("M", 1000);
    Ask("S", 100);
    ASSERT_EQ(out.size() % 4, 0u);
    ASSERT_EQ(out.size() / 4, sensor->History().size());
    for (size_t i = 0; i < sensor->History().size(); ++i) EXPECT_EQ(LittleEndian(out, 4 * i), sensor->History()[i].mm);

    Make();
    sensor->SetParam(101, 3);
    out = Ask("M", 1000);
    Ask("S", 100);
    ASSERT_EQ(out.size() % 6, 0u);
    ASSERT_EQ(out.size() / 6, sensor->History().size());
    for (size_t i = 0; i < sensor->History().size(); ++i) {
        EXPECT_EQ(LittleEndian(out, 6 * i), sensor->History()[i].mm);
        EXPECT_TRUE(FrameIntact(out.substr(6 * i, 6)));
    }
    // The sensor's checksum is the catalogued one: 34 12 00 00 carries C5 0B.
    const unsigned char frame[] = {0x34, 0x12, 0x00, 0x00};
    EXPECT_EQ(SensorModel::FrameChecksum(frame, 4), 0xC50B);
}

TEST_F(SensorTest, PaceFollowsAveragingAndNeverExceedsTheLine) {
    // Averaging 1024 at 38400 bit/s: the measuring rate (10 values/s) decides.
    sensor->SetLineSpeed(38400);
    Ask("M", 10);
    sensor->ClearHistory();
    Run(5000);
    EXPECT_NEAR(static_cast<double>(sensor->History().size()), 50, 2);

    // Averaging 1 at 1200 bit/s: the line decides; values come whole, never queued up.
    Make();
    sensor->SetParam(301, 0);
    sensor->SetLineSpeed(1200);
    Ask("M", 10);
    const std::string out = Run(5000);
    EXPECT_LE(out.size(), 5 * 120u + 20);
    EXPECT_GE(out.size(), 5 * 120u - 40);
    EXPECT_LT(sensor->PendingBytes(), 40u);

    // After "S" nothing more than what was already on the wire.
    sensor->Receive("S");
    EXPECT_LE(Run(1000).size(), 0u);
}

TEST_F(SensorTest, AnswerTakesItsTransmissionTime) {
    sensor->SetLineSpeed(1200);
    const size_t size = sensor->InfoBlock().size();
    sensor->Receive("C");
    const std::string early = Run(size * 10000.0 / 1200 - 50);
    EXPECT_LT(early.size(), size);
    EXPECT_EQ(early + Run(200), sensor->InfoBlock());
}

TEST_F(SensorTest, ParameterWrites) {
    EXPECT_EQ(Ask("111 MM\r"), "OK\r\n");
    EXPECT_EQ(sensor->Param(111), 0);
    EXPECT_EQ(Ask("101 BINARY+CRC\r"), "OK\r\n");
    EXPECT_EQ(sensor->Param(101), 3);
    EXPECT_EQ(Ask("701 -250\r"), "OK\r\n");
    EXPECT_EQ(sensor->Param(701), -250);

    for (const char* bad : {"111 mm\r", "111 QQ\r", "111\r", "111  MM\r", "301 17\r", "802 1300\r", "701 12a\r",
                            "999 x\r", "123 1\r", "351 OFF\r", "610 5\r", "1111 1\r"}) {
        EXPECT_EQ(Ask(bad), "ERR\r\n") << bad;
    }
    EXPECT_EQ(sensor->Param(111), 0) << "a rejected write changes nothing";

    // A line far too long is rejected once, and its letters are not commands.
    EXPECT_EQ(Ask("1" + std::string(60, 'M') + "\r"), "ERR\r\n");
    EXPECT_FALSE(sensor->Measuring());
    EXPECT_EQ(sensor->Commands().back().text, "1111 1") << "letters inside parameter lines are not commands";
}

TEST_F(SensorTest, DeviceVariantsDecideWhichCodesExist) {
    Sim::Options options;
    options.profibus = true;
    options.rainFilter = true;
    options.rejectedCodes = {"302"};
    Make(options);
    EXPECT_EQ(Ask("610 17\r"), "OK\r\n");
    EXPECT_EQ(Ask("351 DISTECHO\r"), "OK\r\n");
    EXPECT_EQ(sensor->Param(351), 1);
    EXPECT_EQ(Ask("355 11\r"), "ERR\r\n");
    EXPECT_EQ(Ask("401 1000\r"), "ERR\r\n") << "a Profibus device has no analog output";
    EXPECT_EQ(Ask("603 C\r"), "ERR\r\n");
    EXPECT_EQ(Ask("302 25\r"), "ERR\r\n") << "rejected by the fault option";
    EXPECT_NE(Ask("C").find("610: 17\r\n"), std::string::npos);
}

TEST_F(SensorTest, StoreDefaultsAndPowerCycle) {
    Ask("111 MM\r");
    Ask("305 1\r");
    EXPECT_EQ(Ask("999 \r"), "OK\r\n");
    Ask("111 FT\r");
    sensor->PowerCycle();
    EXPECT_EQ(Run(1000).substr(0, 13), "\r\nKOV ready\r\n");
    EXPECT_EQ(sensor->Param(111), 0) << "unsaved change lost, stored one kept";
    EXPECT_TRUE(sensor->Measuring()) << "autostart was stored";

    sensor->Receive("S");
    EXPECT_EQ(Ask("000 \r"), "OK\r\n");
    EXPECT_EQ(sensor->Param(111), 1);
    EXPECT_EQ(sensor->Param(305), 0);
    sensor->PowerCycle();
    Run(1000);
    EXPECT_FALSE(sensor->Measuring());
}

TEST_F(SensorTest, SingleValueAndStop) {
    sensor->SetParam(101, 0);
    const auto lines = Lines(Ask("G", 500));
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0], sensor->History().back().text);
    EXPECT_FALSE(sensor->Measuring());
}

TEST_F(SensorTest, Faults) {
    Sim::Options options;
    options.silent = true;
    Make(options);
    EXPECT_EQ(Ask("X") + Ask("C") + Ask("T") + Ask("101 ASCII\r") + Ask("M", 500), "");
    EXPECT_EQ(sensor->Param(101), 0) << "a silent sensor still listens";

    options = {};
    options.tempError = true;
    Make(options);
    sensor->SetParam(101, 0);
    for (const auto& line : Lines(Ask("M", 500))) EXPECT_EQ(line, "    TempErr!");
    sensor->Receive("S");
    sensor->SetParam(101, 2);
    EXPECT_EQ(Ask("M", 200).substr(0, 4), std::string("\xF0\xFF\xFF\x7F", 4));
    sensor->Receive("S");

    options = {};
    options.noEchoRate = 0.3;
    Make(options);
    sensor->SetParam(101, 0);
    sensor->SetParam(301, 2);
    int noEcho = 0, total = 0;
    for (const auto& line : Lines(Ask("M", 3000))) {
        ++total;
        noEcho += line == "     No Echo";
    }
    EXPECT_GT(noEcho, total / 10);
    EXPECT_LT(noEcho, total / 2);

    options = {};
    options.crcErrorRate = 0.5;
    Make(options);
    sensor->SetParam(101, 3);
    const std::string frames = Ask("M", 1000);
    int damaged = 0;
    for (size_t i = 0; i < sensor->History().size(); ++i) {
        EXPECT_EQ(FrameIntact(frames.substr(6 * i, 6)), !sensor->History()[i].damaged);
        damaged += sensor->History()[i].damaged;
    }
    EXPECT_GT(damaged, 0);

    options = {};
    options.garbageRate = 1;
    Make(options);
    sensor->SetParam(101, 2);
    EXPECT_GT(Ask("M", 1000).size(), 4 * sensor->History().size());

    options = {};
    options.restartAfterMs = 700;
    Make(options);
    sensor->SetParam(101, 0);
    const std::string restarted = Ask("M", 2000);
    const size_t banner = restarted.find("\r\nKOV ready\r\n");
    ASSERT_NE(banner, std::string::npos);
    EXPECT_EQ(banner + 13, restarted.size()) << "nothing follows the banner";
    EXPECT_FALSE(sensor->Measuring());

    options = {};
    options.replyDelayMs = 400;
    Make(options);
    sensor->Receive("T");
    EXPECT_EQ(Run(390), "");
    EXPECT_EQ(Run(100), "Temp.  23 C, OK\r\n");
}

TEST_F(SensorTest, ClockJumpsNeitherStallNorFlood) {
    sensor->SetParam(101, 2);
    sensor->SetLineSpeed(38400);
    sensor->SetParam(301, 0);
    Ask("M", 100);
    now += 3600e3;  // an hour nobody collected
    const std::string burst = sensor->Transmit();
    EXPECT_LT(burst.size(), 16000u);
    now -= 7200e3;  // the clock runs backwards
    EXPECT_EQ(sensor->Transmit(), "");
    now += 7200e3 + 100;
    EXPECT_FALSE(Run(100).empty());
}

}  // namespace
