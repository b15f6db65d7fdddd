// The measurement record: what a millimetre value stands for, and the value
// label's text.
#include <gtest/gtest.h>

#include "Measurement.h"
#include "clsKOV.h"
#include "modKOVComm.h"

namespace {

TEST(Measurement, StateOfTheMillimetreValue) {
    const struct {
        std::int32_t mm;
        MeasurementState state;
    } cases[] = {
        {1234, MeasurementState::Ok},
        {-17, MeasurementState::Ok},
        {0, MeasurementState::NoEcho},
        {modKOVComm::NoEchoValue, MeasurementState::NoEcho},
        {modKOVComm::TempErrorValue, MeasurementState::TempError},
        {0x7F1234FF, MeasurementState::Marker},
        {0x7F1234F0, MeasurementState::Marker},
        {0x7F1234F1, MeasurementState::Ok},
        {0x7E1234FF, MeasurementState::Ok},
    };
    for (const auto& c : cases) EXPECT_EQ(StateOfDistance(c.mm), c.state) << c.mm;
}

TEST(Measurement, TakesTheLinksValues) {
    clsKOV link;
    link.CurrentTime = 46000.5;
    link.MeasValue_mm = modKOVComm::TempErrorValue;
    link.MeasValue = 2147483.632;
    link.DistanceUnit = 1;
    link.OutputFormat = modKOVComm::OutputFormat::Binary;
    link.sTemperature = "71 C, NOK";
    link.TempStatus = 0;
    const Measurement m = MeasurementOf(link);
    EXPECT_EQ(m.Time, 46000.5);
    EXPECT_EQ(m.Mm, modKOVComm::TempErrorValue);
    EXPECT_EQ(m.Value, 2147483.632);
    EXPECT_EQ(m.Unit, 1);
    EXPECT_EQ(m.Format, modKOVComm::OutputFormat::Binary);
    EXPECT_EQ(m.State, MeasurementState::TempError);
    EXPECT_EQ(m.Temperature, "71 C, NOK");
    EXPECT_FALSE(m.TemperatureOk);
    const Measurement played = RecordedMeasurement(46000.25, 1500);
    EXPECT_EQ(played.Value, 1500);
    EXPECT_EQ(played.Unit, 0);
    EXPECT_EQ(played.State, MeasurementState::Ok);
    EXPECT_EQ(RecordedMeasurement(46000.25, 0).State, MeasurementState::NoEcho);
}

TEST(Measurement, ValueLabelText) {
    const auto text = [](std::int32_t mm, double value, std::int32_t unit, std::int32_t format, char decimal = '.') {
        Measurement m;
        m.Mm = mm;
        m.Value = value;
        m.Unit = unit;
        m.Format = format;
        m.State = StateOfDistance(mm);
        return DistanceText(m, decimal);
    };
    EXPECT_EQ(text(1234, 1.234, 1, 0), "1.234 [m]");
    EXPECT_EQ(text(1234, 1.234, 1, 1, ','), "1,234 m");
    EXPECT_EQ(text(1609344, 1, 5, 3), "1.00000000 mi");
    EXPECT_EQ(text(modKOVComm::TempErrorValue, 2147483.632, 1, 2), "TempError");
    EXPECT_EQ(text(0, 0, 0, 1), "No Echo");
    EXPECT_EQ(text(1000, 1e300, 0, 1).size(), 301u + 3u);  // any magnitude is written whole
    EXPECT_EQ(text(5, 5, 9, 1), "5.00000000 ");            // a unit outside the table has no name
}

}  // namespace
