// What ora2orb2-cli writes (rows, identity, values of `set`) and the 50 ms
// rhythm of its loop, without a port.
#include <gtest/gtest.h>

#include <vector>

#include "CliOutput.h"
#include "CliSession.h"
#include "clsKOV.h"
#include "modAPI.h"
#include "modFunctions.h"
#include "modKOVComm.h"

namespace {

using namespace cli;

Row Distance(std::int32_t mm, double value, std::int32_t unit) {
    Row r;
    r.Time = modAPI::DayCount(2026, 12, 7, 13, 45, 2, 250);
    r.Mm = mm;
    r.Value = value;
    r.Unit = unit;
    r.State = StateOfDistance(mm);
    return r;
}

TEST(CliOutput, RowsInCsvAndJson) {
    EXPECT_EQ(IsoTime(modAPI::DayCount(2026, 12, 7, 13, 45, 2, 250)), "2026-12-07T13:45:02.250");
    EXPECT_EQ(IsoTime(modAPI::DayCount(2026, 12, 31, 23, 59, 59, 999) + 0.6 / modAPI::MsPerDay, ','),
              "2027-01-01T00:00:00,000");

    EXPECT_EQ(CsvHeader(false, '.'), "time,distance_mm,distance,unit,state");
    EXPECT_EQ(CsvHeader(true, ','), "time;distance_mm;distance;unit;state;temperature_c");
    EXPECT_EQ(CsvRow(Distance(1234, 1.234, 1), false, '.'), "2026-12-07T13:45:02.250,1234,1.234,m,ok");
    EXPECT_EQ(CsvRow(Distance(1234, 1.234, 1), false, ','), "2026-12-07T13:45:02,250;1234;1,234;m;ok");
    EXPECT_EQ(CsvRow(Distance(-17, -17, 0), false, '.'), "2026-12-07T13:45:02.250,-17,-17,mm,ok");
    EXPECT_EQ(CsvRow(Distance(30480, 100, 3), false, '.'), "2026-12-07T13:45:02.250,30480,100.0000,ft,ok");
    // Markers: no numbers, the state says what happened; 0 is no echo as well.
    EXPECT_EQ(CsvRow(Distance(modKOVComm::NoEchoValue, 2147483647, 0), false, '.'),
              "2026-12-07T13:45:02.250,,,mm,no echo");
    EXPECT_EQ(CsvRow(Distance(0, 0, 1), false, '.'), "2026-12-07T13:45:02.250,,,m,no echo");
    EXPECT_EQ(CsvRow(Distance(modKOVComm::TempErrorValue, 0, 1), false, '.'),
              "2026-12-07T13:45:02.250,,,m,temp error");
    // Any other value of the sensor's marker shape (7F .. .. FF / F0) is no distance either.
    EXPECT_EQ(CsvRow(Distance(0x7F1234F0, 0x7F1234F0, 0), false, '.'), "2026-12-07T13:45:02.250,,,mm,marker");
    EXPECT_EQ(CsvRow(Distance(0x7F1234F1, 0x7F1234F1, 0), false, '.'),
              "2026-12-07T13:45:02.250,2131899633,2131899633,mm,ok");

    Row warm = Distance(5000, 5, 1);
    warm.HasTemperature = true;
    warm.TemperatureC = -10;
    EXPECT_EQ(CsvRow(warm, true, ','), "2026-12-07T13:45:02,250;5000;5,000;m;ok;-10");
    // JSON times carry the offset from UTC of the moment they were taken.
    warm.UtcOffsetMinutes = 60;
    EXPECT_EQ(JsonRow(warm, true),
              "{\"time\":\"2026-12-07T13:45:02.250+01:00\",\"mm\":5000,\"value\":5.000,\"unit\":\"m\","
              "\"state\":\"ok\",\"temperature_c\":-10}");
    EXPECT_EQ(CsvRow(warm, false, '.'), "2026-12-07T13:45:02.250,5000,5.000,m,ok") << "CSV as it was";
    for (const auto& [minutes, text] : std::vector<std::pair<int, const char*>>{
             {0, "+00:00"}, {120, "+02:00"}, {-300, "-05:00"}, {330, "+05:30"}, {-570, "-09:30"}})
        EXPECT_EQ(UtcOffsetText(minutes), text);
    warm.TemperatureOk = false;  // "NOK": no number to believe
    EXPECT_EQ(CsvRow(warm, true, '.'), "2026-12-07T13:45:02.250,5000,5.000,m,ok,");
    EXPECT_EQ(JsonRow(Distance(modKOVComm::NoEchoValue, 0, 6), false),
              "{\"time\":\"2026-12-07T13:45:02.250+00:00\",\"mm\":null,\"value\":null,\"unit\":\"nm\","
              "\"state\":\"no echo\"}");
}

TEST(CliOutput, RowsTakeTheLinksValues) {
    clsKOV link;
    link.CurrentTime = modAPI::DayCount(2026, 1, 2, 3, 4, 5, 6);
    link.MeasValue_mm = 1500;
    link.MeasValue = 1.5;
    link.DistanceUnit = 1;
    link.sTemperature = "23 C, OK";
    link.TempStatus = 1;
    const Row r = RowOf(MeasurementOf(link));
    EXPECT_EQ(CsvRow(r, true, '.'), "2026-01-02T03:04:05.006,1500,1.500,m,ok,23");
    link.sTemperature = "";
    EXPECT_FALSE(RowOf(MeasurementOf(link)).HasTemperature);
}

TEST(CliOutput, JsonStringsAreValidUtf8WithEscapes) {
    EXPECT_EQ(JsonString("a\"b\\c\r\n\t\x01"), "\"a\\\"b\\\\c\\r\\n\\t\\u0001\"");
    // The sensor's texts are Windows-1252: the degree sign is the byte B0.
    EXPECT_EQ(JsonString("23 \xB0" "C"), "\"23 \xC2\xB0" "C\"");
    EXPECT_EQ(JsonString("Meßeinheit"), "\"Meßeinheit\"");
}

TEST(CliOutput, ValuesOfSetByNumberOrByTheTextOnTheLine) {
    std::int32_t v = -1;
    std::string error;
    ASSERT_TRUE(ParseParameterValue(*FindParameter("101"), "BINARY+CRC", &v, &error)) << error;
    EXPECT_EQ(v, 3);
    ASSERT_TRUE(ParseParameterValue(*FindParameter("111"), "mm", &v, &error));
    EXPECT_EQ(v, 0);
    // A number is the stored value, for a list its index: the speed 38400 is index 5.
    EXPECT_FALSE(ParseParameterValue(*FindParameter("601"), "38400", &v, &error));
    EXPECT_NE(error.find("0 to 5 (1200, 2400, 4800, 9600, 19200, 38400)"), std::string::npos) << error;
    ASSERT_TRUE(ParseParameterValue(*FindParameter("601"), "5", &v, &error));
    EXPECT_EQ(v, 5);
    ASSERT_TRUE(ParseParameterValue(*FindParameter("701"), " -250 ", &v, &error));
    EXPECT_EQ(v, -250);
    EXPECT_FALSE(ParseParameterValue(*FindParameter("701"), "2147483648", &v, &error));
    EXPECT_FALSE(ParseParameterValue(*FindParameter("701"), "1.5", &v, &error));
    EXPECT_FALSE(ParseParameterValue(*FindParameter("304"), "2", &v, &error));
    EXPECT_EQ(FindParameter("999"), nullptr);
    EXPECT_EQ(Parameters().size(), 29u);
}

TEST(CliOutput, InfoListsIdentityAndAllParametersInTheLanguage) {
    clsKOV link;
    link.SerialNo = "12345";
    link.sTemperature = "23 C, OK";
    link.TempStatus = 1;
    link.OutputFormat = 3;
    modFunctions::SetLanguageOffset(1000);
    const std::string text = InfoText(link);
    EXPECT_NE(text.find("Serial-No:    12345\n"), std::string::npos) << text;
    EXPECT_NE(text.find("101  Data Format                    3 (BINARY+CRC)\n"), std::string::npos) << text;
    // What the sensor does not have shows as absent, not as a value read.
    EXPECT_NE(text.find("351  Rainfilter                     -\n"), std::string::npos) << text;
    EXPECT_NE(text.find("352  Distance window                -\n"), std::string::npos) << text;
    EXPECT_NE(text.find("610  Profibus Address               -\n"), std::string::npos) << text;
    EXPECT_NE(text.find("401  Distance @ 4mA                 1000\n"), std::string::npos) << text;
    const std::string json = InfoJson(link);
    EXPECT_NE(json.find("\"temperature_c\":23,\"temperature_ok\":true"), std::string::npos) << json;
    EXPECT_NE(json.find("\"field\":\"DistanceWindow\",\"label\":\"Distance window\",\"value\":null,\"wire\":null"),
              std::string::npos)
        << json;
    link.DeviceType = "Profibus";
    link.RainFilter = 1;
    link.NodeAddress = 12;
    EXPECT_NE(InfoText(link).find("401  Distance @ 4mA                 -\n"), std::string::npos);
    EXPECT_NE(InfoText(link).find("610  Profibus Address               12\n"), std::string::npos);
    EXPECT_NE(InfoText(link).find("352  Distance window                20000\n"), std::string::npos);
    link.DeviceType = "Serial";
    for (const ParameterInfo& p : Parameters()) {
        EXPECT_NE(text.find(std::string("\n") + p.Code + "  "), std::string::npos) << p.Code;
        EXPECT_NE(json.find(std::string("{\"code\":\"") + p.Code + "\""), std::string::npos) << p.Code;
    }
    modFunctions::SetLanguageOffset(0);
    EXPECT_NE(InfoText(link).find("101  Ausgabeformat"), std::string::npos);
}

TEST(CliTickDriver, KeepsTheRhythmAndMakesNoBurstAfterAStall) {
    double now = 0;
    std::vector<double> slept;
    TickDriver driver([&] { return now; }, [&](double ms) {
        slept.push_back(ms);
        now += ms;
    });
    std::vector<double> ticks;
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(driver.WaitForTick(1e9));
        ticks.push_back(now);
        now += 7;  // the tick's own work
    }
    EXPECT_EQ(ticks, (std::vector<double>{0, 50, 100}));
    now += 400;  // a stall
    ASSERT_TRUE(driver.WaitForTick(1e9));
    const double late = now;
    ASSERT_TRUE(driver.WaitForTick(1e9));
    EXPECT_DOUBLE_EQ(now - late, 50.0);  // one period after the late tick, not a burst
    // A short wait ends before the tick is due.
    slept.clear();
    EXPECT_FALSE(driver.WaitForTick(10));
    EXPECT_EQ(slept, std::vector<double>{10});
    EXPECT_EQ(driver.Ticks(), 5);
}

}  // namespace
