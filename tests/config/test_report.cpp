// The settings report "$KVD$.txt": its lines byte for byte, its file, and the
// start of the text editor (replaced here, so nothing is started).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "StoreTestSupport.h"
#include "clsKOV.h"
#include "modFunctions.h"
#include "modReport.h"

using namespace storetest;

namespace {

std::string Join(const std::vector<std::string>& lines) {
    std::string s;
    for (const auto& line : lines) s += line + "\r\n";
    return s;
}

modReport::ReportValues Serial() {
    clsKOV device;
    device.SerialNo = "0815";
    device.SWVersion = "2.10";
    device.SWBuild = "417";
    device.RainFilter = 0;
    modReport::ReportValues v;
    modReport::TakeIdentity(device, v);
    v.OutputFormat = "ASCII+UNIT", v.DistanceUnit = "Meter", v.Baudrate = "9600", v.OutputMode = "Continuous";
    v.AverageDepth = "1024", v.TimeOut = "25 %", v.RainFilterMode = "OFF";
    v.Autostart = 0, v.MovingAverage = 1, v.EchoCheck = 1, v.Blanking = 0, v.AnalogOutput = 1;
    v.Fields = {"-250", "1,500", "20,0", "1013",  "10000", "9900", "1000", "900",
                "1000", "9000",  "n/a",  "20000", "512",   "1000", "1"};
    v.S1Logic = "Positiv", v.S2Logic = "Negativ";
    return v;
}

class ReportTest : public ::testing::Test {
protected:
    void TearDown() override { modFunctions::SetLanguageOffset(0); }
    ScratchFolder folder;
};

TEST_F(ReportTest, GermanSerialDeviceWithRainFilter) {
    modFunctions::SetLanguageOffset(0);
    const std::string expected = Join({
        "",
        "\t\t\tORA-2/ORB-2 - Settings",
        "",
        "",
        "Serial-No:\t\t\t\t0815",
        "Version:\t\t\t\t2.10",
        "Build:\t\t\t\t\t417",
        "Type:\t\t\t\t\tSerial",
        "",
        "Ausgabeformat\t\t\t\tASCII+UNIT",
        "Me\xDF"
        "einheit\t\t\t\tMeter",
        "Baudrate\t\t\t\t9600",
        "Datenausgabe\t\t\t\tContinuous",
        "",
        "Autostart aktiv\t\t\t\tAus",
        "Gleitende Mittelwertbildung\t\tEin ",
        "Mittelungstiefe\t\t\t\t1024",
        "TimeOut\t\t\t\t\t25 %",
        "Automatische Echobewertung\t\tEin ",
        "Nahbereichsausblendung\t\t\tAus",
        "",
        "Regenfilter\t\t\t\tOFF",
        "",
        "Offset\t\t\t\t\t-250 mm",
        "Skalierungsfaktor\t\t\t1,500",
        "Lufttemperatur\t\t\t\t20,0 \xB0"
        "C",
        "Luftdruck\t\t\t\t1013 hPa",
        "",
        "Analogausgang aktiv\t\t\tEin ",
        "Entfernung @ 4 mA\t\t\t1000 mm",
        "Entfernung @ 20 mA\t\t\t9000 mm",
        "",
        "Schaltlogik Q1\t\t\t\tPositiv",
        "EIN - Schwellwert Q1\t\t\t10000 mm",
        "AUS - Schwellwert Q1\t\t\t9900 mm",
        "Schaltlogik Q2\t\t\t\tNegativ",
        "EIN - Schwellwert Q2\t\t\t1000 mm",
        "AUS - Schwellwert Q2\t\t\t900 mm",
        "",
    });
    EXPECT_EQ(modReport::ReportBytes(modReport::ReportLines(Serial())), expected);
}

TEST_F(ReportTest, EnglishProfibusDeviceWithoutRainFilter) {
    modFunctions::SetLanguageOffset(1000);
    modReport::ReportValues v = Serial();
    v.DeviceType = "Profibus", v.RainFilter = -1;
    v.OutputFormat = "BINARY", v.DistanceUnit = "Millimeter", v.Baudrate = "38400", v.OutputMode = "Single";
    v.AverageDepth = "16", v.TimeOut = "0 %";
    v.Autostart = 1, v.MovingAverage = 0, v.EchoCheck = 1, v.Blanking = 1;
    v.Fields = {"0", "1.000", "-5.5", "800", "", "", "", "", "", "", "12", "", "", "", ""};
    const std::string expected = Join({
        "",
        "\t\t\tORA-2/ORB-2 - Settings",
        "",
        "",
        "Serial-No:\t\t\t\t0815",
        "Version:\t\t\t\t2.10",
        "Build:\t\t\t\t\t417",
        "Type:\t\t\t\t\tProfibus",
        "",
        "Data Format\t\t\t\tBINARY",
        "Distance Unit\t\t\t\tMillimeter",
        "Baudrate\t\t\t\t38400",
        "Data Output\t\t\t\tSingle",
        "Profibus Address\t\t\t12",
        "",
        "Autostart\t\t\t\tOn",
        "Moving Average\t\t\t\tOff",
        "Average Depth\t\t\t\t16",
        "TimeOut\t\t\t\t\t0 %",
        "Echo amplitude boundary check\t\tOn",
        "Nearfield blanking\t\t\tOn",
        "",
        "Offset\t\t\t\t\t0 mm",
        "Scaling Factor\t\t\t\t1.000",
        "Air Temperature\t\t\t\t-5.5 \xB0"
        "C",
        "Air Pressure\t\t\t\t800 hPa",
        "",
    });
    EXPECT_EQ(modReport::ReportBytes(modReport::ReportLines(v)), expected);
}

TEST_F(ReportTest, EnglishSerialDeviceWithoutRainFilter) {
    modFunctions::SetLanguageOffset(1000);
    modReport::ReportValues v = Serial();
    v.RainFilter = -1;
    v.S1Logic = "positive", v.S2Logic = "negative";
    const auto lines = modReport::ReportLines(v);
    ASSERT_EQ(lines.size(), 37u);  // 40 less the address and the two rain filter lines
    EXPECT_EQ(lines[13], "");
    EXPECT_EQ(lines[15], "Moving Average\t\t\t\tOn");
    EXPECT_EQ(lines[20], "");
    EXPECT_EQ(lines[21], "Offset\t\t\t\t\t-250 mm");
    EXPECT_EQ(lines[27], "Distance @ 4mA\t\t\t\t1000 mm");
    EXPECT_EQ(lines[30], "Switching Logic Q1\t\t\tpositive");
    EXPECT_EQ(lines[35], "OFF-Threshold Q2 \t\t\t900 mm");
}

TEST_F(ReportTest, WrittenAsOneFileThatAFailureLeavesAlone) {
    modFunctions::SetLanguageOffset(0);
    const auto lines = modReport::ReportLines(Serial());
    std::string path, error;
    ASSERT_TRUE(modReport::WriteReport(folder.path, lines, &path));
    EXPECT_EQ(path, folder.File("$KVD$.txt"));
    const std::string first = Content(path);
    EXPECT_EQ(first, modReport::ReportBytes(lines));

    {
        FullDisk full(100);
        EXPECT_FALSE(modReport::WriteReport(folder.path, {std::string(500, 'x')}, &path, &error));
    }
    EXPECT_NE(error.find(std::generic_category().message(EFBIG)), std::string::npos) << error;
    EXPECT_EQ(Content(path), first);
    EXPECT_EQ(folder.Count(), 1u);

    EXPECT_FALSE(modReport::WriteReport(folder.File("gone"), lines, &path, &error));
    EXPECT_EQ(error.rfind(folder.File("gone"), 0), 0u) << error;

    // A link planted under the report's name is replaced, never written through.
    const std::string victim = folder.File("victim.txt");
    Put(victim, "keep");
    fs::remove(folder.File("$KVD$.txt"));
    fs::create_symlink(victim, folder.File("$KVD$.txt"));
    ASSERT_TRUE(modReport::WriteReport(folder.path, lines, &path, &error)) << error;
    EXPECT_FALSE(fs::is_symlink(path));
    EXPECT_EQ(Content(path), first);
    EXPECT_EQ(Content(victim), "keep");
}

// Records the commands instead of starting them.
class RecordingStarter : public modReport::ProcessStarter {
public:
    int failures = 0;  // the first this many commands fail
    std::vector<modReport::Command> started;
    bool StartDetached(const modReport::Command& command, std::string* error) override {
        started.push_back(command);
        if (static_cast<int>(started.size()) > failures) return true;
        *error = "not found";
        return false;
    }
};

TEST_F(ReportTest, TheEditorGetsThePathAsOneArgument) {
    const std::string path = "/opt/ora 2/$KVD$.txt";
    RecordingStarter starter;
    ASSERT_TRUE(modReport::OpenInEditor(path, starter));
    ASSERT_EQ(starter.started.size(), 1u);
    EXPECT_EQ(starter.started[0], (modReport::Command{"xdg-open", {path}}));

    RecordingStarter fallback;
    fallback.failures = 1;
    ASSERT_TRUE(modReport::OpenInEditor(path, fallback));
    EXPECT_EQ(fallback.started.back(), (modReport::Command{"gio", {"open", path}}));

    RecordingStarter none;
    none.failures = 2;
    std::string error;
    EXPECT_FALSE(modReport::OpenInEditor(path, none, &error));
    EXPECT_EQ(error, "gio: not found");
}

}  // namespace
