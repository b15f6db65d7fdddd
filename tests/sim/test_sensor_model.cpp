// The simulated sensor on its own: what it answers to each command, in each
// output format, and at which pace.
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <memory>

#include "DistanceUnits.h"
#include "SensorModel.h"
#include "SensorTestSupport.h"

namespace {

using namespace testsupport;
using Sim::SensorModel;

bool FrameIntact(const std::string& frame) { return frame.size() == 6 && WithCrc(frame.substr(0, 4)) == frame; }

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    for (size_t start = 0, p; (p = text.find("\r\n", start)) != std::string::npos; start = p + 2)
        lines.push_back(text.substr(start, p - start));
    return lines;
}

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

class SensorTest : public ::testing::Test {
protected:
    double now = 1000;
    std::unique_ptr<SensorModel> sensor = Make({});

    std::unique_ptr<SensorModel> Make(const Sim::Options& options) {
        return std::make_unique<SensorModel>(options, [this] { return now; });
    }
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
};

TEST_F(SensorTest, BannerBlockPointerAndTemperature) {
    EXPECT_EQ(Ask("X"), "\r\nKOV ready\r\n");
    const std::string block = Ask("C");
    EXPECT_EQ(block, sensor->InfoBlock());
    EXPECT_EQ(block.rfind("Type: Serial\r\n", 0), 0u);
    EXPECT_EQ(block.find("Type:"), block.rfind("Type:"));
    EXPECT_EQ(block.find("end"), block.size() - 5) << "no earlier 'end' in the block";
    for (const char* key : {"Attenuator: 2\r\n", "Pointer: off\r\n", "101: 1\r\n", "111: 1\r\n", "702: 1000\r\n"})
        EXPECT_TRUE(Has(block, key)) << key;
    EXPECT_FALSE(Has(block, "351:")) << "no rain filter lines without a rain filter";
    EXPECT_LT(block.size(), 500u) << "the program allows 500 character times";
    EXPECT_EQ(Ask("P"), "");
    EXPECT_TRUE(Has(Ask("C"), "Pointer: on\r\n"));

    Sim::Options options;
    options.rainFilter = options.profibus = options.tempError = true;
    options.temperatureC = -10;
    sensor = Make(options);
    const std::string other = Ask("C");
    for (const char* key : {"Type: Profibus\r\n", "Attenuator: 2E\r\n", "Temperature: -10 C, NOK\r\n", "351: 0\r\n",
                            "352: 20000\r\n", "355: 1\r\n"})
        EXPECT_TRUE(Has(other, key)) << key;
    EXPECT_LT(other.size(), 500u);
    struct Case { int format; std::string reply; } cases[] = {
        {0, "Temp. -10 C, NOK\r\n"}, {1, "Temp. -10 C, NOK\r\n"}, {2, std::string("\xF6\x00", 2)}};
    for (const Case& c : cases) {
        sensor->SetParam(101, c.format);
        EXPECT_EQ(Ask("T"), c.reply) << c.format;
    }
    sensor = Make({});
    sensor->SetParam(101, 3);
    EXPECT_EQ(Ask("T"), WithCrc("\x17\x01"));
}

// Every line that went out is in the history, at least 12 characters long,
// converts back to the measured millimetre, and carries its unit exactly in
// ASCII+UNIT. (The binary formats are checked through the link end to end.)
TEST_F(SensorTest, AsciiValuesInEveryUnitAndOneValue) {
    for (int format = 0; format < 2; ++format) {
        for (int unit = 0; unit < 7; ++unit) {
            SCOPED_TRACE("format " + std::to_string(format) + " unit " + std::to_string(unit));
            sensor = Make({});
            sensor->SetParam(101, format);
            sensor->SetParam(111, unit);
            const auto lines = Lines(Ask("M", 1500));
            const auto& history = sensor->History();
            ASSERT_GE(lines.size(), 10u);
            ASSERT_EQ(lines.size(), history.size());
            const std::string suffix = std::string(" ") + SensorModel::UnitText(unit);
            for (size_t i = 0; i < lines.size(); ++i) {
                EXPECT_GE(lines[i].size(), 12u);
                EXPECT_EQ(lines[i], history[i].text);
                EXPECT_EQ(std::lround(std::strtod(lines[i].c_str(), nullptr) * SensorModel::UnitFactor(unit)),
                          history[i].mm);
                const bool hasUnit = lines[i].size() > suffix.size() &&
                                     lines[i].compare(lines[i].size() - suffix.size(), suffix.size(), suffix) == 0;
                EXPECT_EQ(hasUnit, format == 1) << lines[i];
            }
        }
    }
    sensor = Make({});
    const auto single = Lines(Ask("G", 500));
    ASSERT_EQ(single.size(), 1u);
    EXPECT_EQ(single[0], sensor->History().back().text);
    EXPECT_FALSE(sensor->Measuring());
}

TEST_F(SensorTest, PaceFollowsAveragingAndNeverExceedsTheLine) {
    // Averaging 1024 at 38400 bit/s: the measuring rate (10 values/s) decides.
    sensor->SetLineSpeed(38400);
    Ask("M", 10);
    sensor->ClearHistory();
    Run(5000);
    EXPECT_NEAR(static_cast<double>(sensor->History().size()), 50, 2);

    // Averaging 1 at 1200 bit/s: the line decides; values come whole, never queued up.
    sensor = Make({});
    sensor->SetParam(301, 0);
    sensor->SetLineSpeed(1200);
    Ask("M", 10);
    const std::string out = Run(5000);
    EXPECT_NEAR(static_cast<double>(out.size()), 600, 30);
    EXPECT_LT(sensor->PendingBytes(), 40u);
    sensor->Receive("S");
    EXPECT_EQ(Run(1000), "") << "after S nothing more than what was on the wire";
}

TEST_F(SensorTest, ParameterWritesDependOnTheDevice) {
    Sim::Options variant;
    variant.profibus = variant.rainFilter = true;
    variant.rejectedCodes = {"302"};
    struct Case { bool profibus; const char* line; int code, value; } accepted[] = {
        {false, "111 MM\r", 111, 0}, {false, "101 BINARY+CRC\r", 101, 3}, {false, "701 -250\r", 701, -250},
        {true, "610 17\r", 610, 17},  {true, "351 DISTECHO\r", 351, 1}};
    for (const Case& c : accepted) {
        sensor = Make(c.profibus ? variant : Sim::Options{});
        EXPECT_EQ(Ask(c.line), "OK\r\n") << c.line;
        EXPECT_EQ(sensor->Param(c.code), c.value) << c.line;
    }
    // No analog or switching outputs on a Profibus device; 302 refused by the fault option.
    for (const char* bad : {"355 11\r", "401 1000\r", "603 C\r", "302 25\r"}) EXPECT_EQ(Ask(bad), "ERR\r\n") << bad;
    sensor = Make({});
    for (const char* bad : {"111 mm\r", "111 QQ\r", "111\r", "111  MM\r", "301 17\r", "802 1300\r", "701 12a\r",
                            "999 x\r", "123 1\r", "351 OFF\r", "610 5\r", "1111 1\r"})
        EXPECT_EQ(Ask(bad), "ERR\r\n") << bad;
    EXPECT_EQ(sensor->Param(111), 1) << "a rejected write changes nothing";
    // A line far too long is rejected once, and its letters are not commands.
    EXPECT_EQ(Ask("1" + std::string(60, 'M') + "\r"), "ERR\r\n");
    EXPECT_FALSE(sensor->Measuring());
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
    sensor->PowerCycle();
    Run(1000);
    EXPECT_FALSE(sensor->Measuring());
}

TEST_F(SensorTest, Faults) {
    // (Silence, restarts and rejected codes are met by the link end to end.)
    Sim::Options o;
    o.tempError = true;
    sensor = Make(o);
    sensor->SetParam(101, 0);
    for (const auto& line : Lines(Ask("M", 500))) EXPECT_EQ(line, "    TempErr!");
    sensor->Receive("S");
    sensor->SetParam(101, 2);
    EXPECT_EQ(Ask("M", 200).substr(0, 4), std::string("\xF0\xFF\xFF\x7F", 4));

    o = {};
    o.noEchoRate = 0.3;
    sensor = Make(o);
    sensor->SetParam(101, 0);
    sensor->SetParam(301, 2);
    const auto lines = Lines(Ask("M", 3000));
    const auto noEcho = std::count(lines.begin(), lines.end(), "     No Echo");
    EXPECT_GT(noEcho, static_cast<long>(lines.size() / 10));
    EXPECT_LT(noEcho, static_cast<long>(lines.size() / 2));

    o = {};
    o.crcErrorRate = 0.5;
    sensor = Make(o);
    sensor->SetParam(101, 3);
    const std::string frames = Ask("M", 1000);
    int damaged = 0;
    for (size_t i = 0; i < sensor->History().size(); ++i) {
        EXPECT_EQ(FrameIntact(frames.substr(6 * i, 6)), !sensor->History()[i].damaged);
        damaged += sensor->History()[i].damaged;
    }
    EXPECT_GT(damaged, 0);

    o = {};
    o.garbageRate = 1;
    sensor = Make(o);
    sensor->SetParam(101, 2);
    EXPECT_GT(Ask("M", 1000).size(), 4 * sensor->History().size());

    o = {};
    o.replyDelayMs = 400;
    sensor = Make(o);
    sensor->Receive("T");
    EXPECT_EQ(Run(390), "");
    EXPECT_EQ(Run(100), "Temp.  23 C, OK\r\n");
}

// While values stream the sensor hears everything (Commands) but obeys "S"
// only: no banner, block, temperature, extra value, pointer or write.
TEST_F(SensorTest, StreamingSensorObeysOnlyStop) {
    sensor->SetParam(101, 0);
    Ask("M", 500);
    const auto lines = Lines(Ask("XCTGPOM111 MM\r1" + std::string(60, '7') + "\r", 1000));
    ASSERT_GE(lines.size(), 8u);
    for (const auto& line : lines) EXPECT_EQ(line.size(), 12u) << "only values: " << line;
    EXPECT_TRUE(sensor->Measuring());
    EXPECT_FALSE(sensor->Pointer());
    EXPECT_EQ(sensor->Param(111), 1);
    std::vector<std::string> heard;
    for (const auto& c : sensor->Commands()) heard.push_back(c.text);
    EXPECT_EQ(heard, (std::vector<std::string>{"M", "X", "C", "T", "G", "P", "O", "M", "111 MM"}));

    sensor->Receive("S");
    EXPECT_EQ(Run(500), "");
    EXPECT_FALSE(sensor->Measuring());
    EXPECT_EQ(Ask("X"), "\r\nKOV ready\r\n") << "obeys everything again";
}

// Switched on set to autostart: the banner after the boot time, then values
// in the current format without any command.
TEST_F(SensorTest, AutostartStreamsFromPowerOn) {
    Sim::Options o;
    o.autostart = true;
    sensor = Make(o);
    EXPECT_EQ(sensor->StoredParam(305), 1);
    EXPECT_EQ(Run(290), "") << "still booting";
    const auto lines = Lines(Run(1000));
    ASSERT_GE(lines.size(), 10u);
    EXPECT_EQ(lines[0], "");
    EXPECT_EQ(lines[1], "KOV ready");
    const auto& history = sensor->History();
    ASSERT_GE(history.size() + 2, lines.size());
    EXPECT_LE(history.size() + 2, lines.size() + 1) << "at most one value still on the way";
    for (size_t i = 2; i < lines.size(); ++i) EXPECT_EQ(lines[i], history[i - 2].text);
    EXPECT_EQ(history.front().format, 1);
    EXPECT_TRUE(sensor->Commands().empty());
    EXPECT_TRUE(sensor->Measuring());
}

// Noise slips random bytes in at about its rate: the values meant are still
// all there, in order, and History has them clean. Damage keeps the length.
// Stray bytes on a quiet line come at about rate x 50 a second. Runs repeat.
TEST_F(SensorTest, LineNoiseAndDamage) {
    auto stream = [this](const Sim::Options& o) {
        sensor = Make(o);
        sensor->SetParam(101, 0);
        sensor->SetParam(301, 0);    // fastest measuring
        sensor->SetLineSpeed(1200);  // the line is never quiet
        return Ask("M", 5000);
    };
    auto meant = [this](size_t leaveOff) {
        std::string s;
        const auto& history = sensor->History();
        for (size_t i = 0; i + leaveOff < history.size(); ++i) s += history[i].text + "\r\n";
        return s;
    };
    Sim::Options o;
    o.noiseRate = 0.1;
    o.seed = 7;
    const std::string noisy = stream(o);
    for (const auto& v : sensor->History())
        EXPECT_EQ(std::lround(std::strtod(v.text.c_str(), nullptr) * 1000), v.mm) << v.text;
    // The last value may still be on its way.
    const std::string clean = meant(1);
    size_t at = 0, used = 0;
    for (; used < noisy.size() && at < clean.size(); ++used)
        if (noisy[used] == clean[at]) ++at;
    ASSERT_EQ(at, clean.size()) << "a value meant was lost or changed";
    EXPECT_NEAR(static_cast<double>(used - clean.size()) / clean.size(), 0.1, 0.04);
    EXPECT_EQ(stream(o), noisy) << "same seed, same noise";

    o = {};
    o.damageRate = 0.1;
    const std::string damaged = stream(o);
    const std::string whole = meant(0);
    ASSERT_LE(damaged.size(), whole.size());
    EXPECT_GE(damaged.size() + 16, whole.size());
    size_t changed = 0;
    for (size_t i = 0; i < damaged.size(); ++i) changed += damaged[i] != whole[i];
    EXPECT_NEAR(static_cast<double>(changed) / damaged.size(), 0.1, 0.04);

    o = {};
    o.noiseRate = 0.02;
    sensor = Make(o);
    EXPECT_NEAR(static_cast<double>(Run(60000).size()), 60, 20) << "about one stray byte a second";
}

// A sensor with a speed of its own understands nothing at another speed and
// sends garbage there; after the "OK" to 601 (sent at the old speed) it talks
// at the new one. Stored with 999, the speed survives a restart; factory
// defaults keep it. Without a speed of its own it follows the port.
TEST_F(SensorTest, SpeedOfItsOwn) {
    sensor->SetLineSpeed(38400);
    EXPECT_EQ(Ask("X"), "\r\nKOV ready\r\n") << "follows the port";
    EXPECT_EQ(Ask("601 19200\r"), "OK\r\n") << "answered at the old speed";
    EXPECT_EQ(sensor->SensorSpeed(), 19200);
    EXPECT_EQ(Ask("X"), "") << "not understood at 38400";
    sensor->SetLineSpeed(19200);
    EXPECT_EQ(Ask("X"), "\r\nKOV ready\r\n");
    sensor->Receive("T");
    sensor->SetLineSpeed(38400);
    const std::string garbled = Run(500);
    EXPECT_EQ(garbled.size(), sensor->TemperatureLine().size() + 2);
    EXPECT_NE(garbled, sensor->TemperatureLine() + "\r\n");
    sensor->SetLineSpeed(19200);
    EXPECT_EQ(Ask("999 \r"), "OK\r\n");
    EXPECT_EQ(Ask("601 9600\r"), "OK\r\n");
    sensor->PowerCycle();
    EXPECT_EQ(Run(1000), "\r\nKOV ready\r\n") << "the stored speed again";
    EXPECT_EQ(Ask("000 \r"), "OK\r\n");
    EXPECT_EQ(Ask("X"), "\r\nKOV ready\r\n") << "defaults keep the speed";

    Sim::Options o;
    o.sensorSpeed = 9600;
    sensor = Make(o);
    EXPECT_EQ(sensor->Param(601), 3);
    sensor->SetLineSpeed(38400);
    EXPECT_EQ(Ask("X"), "");
}

// Noise bytes a second in bursts, on a quiet line and between the values.
TEST_F(SensorTest, NoiseBurstsAtTheirRate) {
    Sim::Options o;
    o.noiseBytesPerSecond = 20;
    o.noiseBurst = 3;
    sensor = Make(o);
    EXPECT_NEAR(static_cast<double>(Run(60000).size()), 1200, 200);
    sensor->SetLineSpeed(38400);
    sensor->SetParam(101, 2);
    sensor->SetParam(301, 0);
    const std::string stream = Ask("M", 10000);
    const double extra = static_cast<double>(stream.size()) - 4.0 * static_cast<double>(sensor->History().size());
    EXPECT_NEAR(extra, 200, 80) << "inserted between the frames";
}

TEST_F(SensorTest, ClockJumpsNeitherStallNorFlood) {
    sensor->SetParam(101, 2);
    sensor->SetLineSpeed(38400);
    sensor->SetParam(301, 0);
    Ask("M", 100);
    now += 3600e3;  // an hour nobody collected
    EXPECT_LT(sensor->Transmit().size(), 16000u);
    now -= 7200e3;  // the clock runs backwards
    EXPECT_EQ(sensor->Transmit(), "");
    now += 7200e3 + 100;
    EXPECT_FALSE(Run(100).empty());
}

}  // namespace

// The command log: every command reaches the listener as it is received,
// also from a silent or streaming sensor; each makes one JSON line, with
// quotes, backslashes and unprintable bytes escaped.
TEST_F(SensorTest, CommandLog) {
    std::vector<std::string> lines;
    sensor->SetCommandListener([&](const Sim::ReceivedCommand& c) { lines.push_back(Sim::CommandLogLine(c)); });
    now = 1234.4;
    sensor->Receive("X");
    sensor->Faults().silent = true;
    now = 1500.6;
    sensor->Receive("111 MM\r");
    sensor->Receive(std::string("1\"2\\3\x01\xe9\r", 8));
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], "{\"time_ms\":1234,\"command\":\"X\"}");
    EXPECT_EQ(lines[1], "{\"time_ms\":1501,\"command\":\"111 MM\"}");
    EXPECT_EQ(lines[2], "{\"time_ms\":1501,\"command\":\"1\\\"2\\\\3\\u0001\\u00E9\"}");
    EXPECT_EQ(sensor->Commands().size(), 3u);
}

// The link's unit table against the simulator's own copy: the same factors
// and names; the text of a parameter write is the name in capitals.
TEST(Units, TheLinksTableAgreesWithTheSensors) {
    for (int unit = 0; unit < DistanceUnits::Count; ++unit) {
        double factor = 0;
        ASSERT_TRUE(DistanceUnits::Factor(unit, &factor)) << unit;
        EXPECT_EQ(factor, SensorModel::UnitFactor(unit)) << unit;
        EXPECT_STREQ(DistanceUnits::Name(unit), SensorModel::UnitText(unit)) << unit;
        std::string wire = SensorModel::UnitText(unit);
        for (char& c : wire) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        EXPECT_EQ(DistanceUnits::WireText(unit), wire) << unit;
    }
    for (int unit : {-1, DistanceUnits::Count}) {
        double factor = 7;
        EXPECT_FALSE(DistanceUnits::Factor(unit, &factor));
        EXPECT_EQ(factor, 7);
        EXPECT_EQ(DistanceUnits::FactorOf(unit), 1);
        EXPECT_STREQ(DistanceUnits::Name(unit), "");
        EXPECT_EQ(DistanceUnits::Decimals(unit), 8);
    }
}
