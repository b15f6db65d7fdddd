// The dialog's values without the dialog: the input filter, the leave-field
// check and the apply check, on German and English systems.
#include <gtest/gtest.h>

#include <string>

#include "clsKOV.h"
#include "modConfigFields.h"
#include "modFunctions.h"

using namespace modConfigFields;

namespace {

class FieldsTest : public ::testing::TestWithParam<char> {
protected:
    void SetUp() override {
        saved = modFunctions::DecimalSeparator();
        modFunctions::SetDecimalSeparator(GetParam());
    }
    void TearDown() override { modFunctions::SetDecimalSeparator(saved); }

    char Sep() const { return GetParam(); }
    // "1,5" on a German system, "1.5" on an English one.
    std::string Local(std::string text) const {
        for (char& c : text)
            if (c == '.') c = Sep();
        return text;
    }
    // The text a field holds after these keys.
    std::string Typed(const std::string& keys) const {
        std::string text;
        for (char k : keys) {
            const char c = FilterKey(k, Sep());
            if (c == Backspace) {
                if (!text.empty()) text.pop_back();
            } else if (c != 0 && c != Enter) {
                text += c;
            }
        }
        return text;
    }

    char saved = '.';
};

// A serial configuration as the dialog shows it: every control enabled
// except the address field; the rain filter list as the sensor has one.
ControlValues SerialView(const clsKOV& c, bool rainFilter) {
    ControlValues v;
    v.Baudrate = {c.Baudrate, true};
    v.OutputMode = {c.OutputMode, true};
    v.OutputFormat = {c.OutputFormat, true};
    v.DistanceUnit = {c.DistanceUnit, true};
    v.AverageDepth = {c.AverageDepth, true};
    v.TimeOut = {c.TimeOut, true};
    v.RainFilter = {rainFilter ? c.RainFilter : -1, rainFilter};
    v.S2Logic = {c.S2Logic, c.AnalogOutput != 0};
    v.Autostart = {c.AutostartMode, true};
    v.MovingAverage = {c.MovingAverage, true};
    v.EchoCheck = {c.EchoCheck, true};
    v.Blanking = {c.Blanking, true};
    v.AnalogOutput = {c.AnalogOutput, true};
    const std::int32_t values[FieldCount] = {c.Offset,
                                             c.ScaleFactor,
                                             c.Temperature,
                                             c.AirPressure,
                                             c.S1OnThreshold,
                                             c.S1OffThreshold,
                                             c.S2OnThreshold,
                                             c.S2OffThreshold,
                                             c.AnalogMin,
                                             c.AnalogMax,
                                             0,
                                             c.DistanceWindow,
                                             c.EchoThreshold,
                                             c.DistanceLimit,
                                             c.MeasValid};
    for (int i = 0; i < FieldCount; ++i) v.Fields[static_cast<std::size_t>(i)] = {ValueText(i, values[i]), true};
    v.Fields[Field::NodeAddress] = {"n/a", false};
    v.Fields[Field::S2On].enabled = c.AnalogOutput == 0;
    v.Fields[Field::S2Off].enabled = c.AnalogOutput == 0;
    v.Fields[Field::AnalogMin].enabled = c.AnalogOutput != 0;
    v.Fields[Field::AnalogMax].enabled = c.AnalogOutput != 0;
    for (int i = Field::DistanceWindow; i <= Field::MeasValid; ++i)
        v.Fields[static_cast<std::size_t>(i)].enabled = false;
    return v;
}

}  // namespace

INSTANTIATE_TEST_SUITE_P(Separators, FieldsTest, ::testing::Values(',', '.'),
                         [](const auto& info) { return std::string(info.param == ',' ? "German" : "English"); });

// Both separator keys give the locale's separator; letters, blanks, signs
// other than minus and exponents never get in.
TEST_P(FieldsTest, InputFilter) {
    EXPECT_EQ(Typed("1,5"), Local("1.5"));
    EXPECT_EQ(Typed("1.5"), Local("1.5"));
    EXPECT_EQ(Typed("-12a b+3e4"), "-1234");
    EXPECT_EQ(Typed("12\b3"), "13");
    EXPECT_EQ(FilterKey(Enter, Sep()), Enter);
}

// Leaving a field clamps, replaces and reformats it in the locale's format.
TEST_P(FieldsTest, LeaveFieldCheck) {
    // Typing 1, comma, 5 in the scale factor: 1.500 on leaving, stored as 1500.
    const std::string typed = Typed("1,5");
    EXPECT_EQ(LeaveFieldText(Field::ScaleFactor, typed), Local("1.500"));
    std::int32_t stored = 0;
    ASSERT_TRUE(ReadStoredValue(Field::ScaleFactor, LeaveFieldText(Field::ScaleFactor, typed), &stored));
    EXPECT_EQ(stored, 1500);

    EXPECT_EQ(LeaveFieldText(Field::AirPressure, ""), "1013");
    EXPECT_EQ(LeaveFieldText(Field::AirPressure, "1300"), "1200");
    EXPECT_EQ(LeaveFieldText(Field::AirPressure, Local("1013.5")), "1014");  // half to even
    EXPECT_EQ(LeaveFieldText(Field::AirPressure, Local("1012.5")), "1012");
    EXPECT_EQ(LeaveFieldText(Field::Offset, "--5"), "0");          // unreadable: the empty value
    EXPECT_EQ(LeaveFieldText(Field::Offset, Local("-0.4")), "0");  // no "-0"
    EXPECT_EQ(LeaveFieldText(Field::ScaleFactor, Local("-0.0004")), Local("0.000"));
    EXPECT_EQ(LeaveFieldText(Field::ScaleFactor, "40"), Local("32.767"));
    EXPECT_EQ(LeaveFieldText(Field::ScaleFactor, "5-"), Local("1.000"));
    EXPECT_EQ(LeaveFieldText(Field::Temperature, "-12"), Local("-10.0"));
    EXPECT_EQ(LeaveFieldText(Field::Temperature, Local("21.25")), Local("21.2"));
    EXPECT_EQ(LeaveFieldText(Field::S1Off, "99999999999"), "1000000");  // far out of 32 bits: the maximum
    EXPECT_EQ(LeaveFieldText(Field::NodeAddress, "-3"), "0");
    EXPECT_EQ(LeaveFieldText(Field::MeasValid, "0"), "1");
    // A text with the other separator (pasted) is still read as decimals.
    const std::string other = Sep() == ',' ? "2.5" : "2,5";
    EXPECT_EQ(LeaveFieldText(Field::Temperature, other), Local("2.5"));
}

// The shown texts of stored values, in the locale's format.
TEST_P(FieldsTest, ValueTexts) {
    EXPECT_EQ(ValueText(Field::ScaleFactor, 1000), Local("1.000"));
    EXPECT_EQ(ValueText(Field::ScaleFactor, -32768), Local("-32.768"));
    EXPECT_EQ(ValueText(Field::Temperature, 200), Local("20.0"));
    EXPECT_EQ(ValueText(Field::Temperature, -5), Local("-0.5"));
    EXPECT_EQ(ValueText(Field::S1On, -250), "-250");
}

// Scaled fields are read with the locale's separator and rounded; a field
// that is empty or no number is refused and keeps the old value.
TEST_P(FieldsTest, ApplyScalesAndRefusesUnreadableFields) {
    clsKOV c;
    PreviousThresholds old;
    ControlValues v = SerialView(c, false);
    v.Fields[Field::ScaleFactor].text = Local("1.5");
    v.Fields[Field::Temperature].text = Local("2.25");  // 22.5 tenths: half to even
    v.Fields[Field::Offset].text = "";
    v.Fields[Field::AirPressure].text = "abc";
    const auto states = ApplyControls(v, c, old);
    EXPECT_EQ(c.ScaleFactor, 1500);
    EXPECT_EQ(c.Temperature, 22);
    EXPECT_EQ(states[Field::Offset], FieldState::Refused);
    EXPECT_EQ(c.Offset, 0);
    EXPECT_EQ(states[Field::AirPressure], FieldState::Refused);
    EXPECT_EQ(c.AirPressure, 1013);
    EXPECT_EQ(states[Field::Temperature], FieldState::Accepted);

    v.Fields[Field::ScaleFactor].text = Local("32.768");  // 32768: one past the range
    v.Fields[Field::Temperature].text = Local("50.04");   // 500.4 rounds to 500: accepted
    ApplyControls(v, c, old);
    EXPECT_EQ(c.ScaleFactor, 1500);
    EXPECT_EQ(c.Temperature, 500);
}

// The distance checks use the new on threshold (and the new 4 mA distance)
// when that field was accepted, the old one when it was refused.
TEST(ConfigApply, DistanceChecksAgainstTheNewValues) {
    clsKOV c;
    c.S1OnThreshold = 5000;
    c.S1OffThreshold = 4000;
    c.AnalogOutput = 1;
    PreviousThresholds old;
    ControlValues v = SerialView(c, false);
    v.Fields[Field::S1On].text = "1000";
    v.Fields[Field::S1Off].text = "1005";  // 5 from the new on threshold, far from the old one
    v.Fields[Field::AnalogMin].text = "1000";
    v.Fields[Field::AnalogMax].text = "1500";  // 500 from the 4 mA distance: not more than 999
    auto states = ApplyControls(v, c, old);
    EXPECT_EQ(c.S1OnThreshold, 1000);
    EXPECT_EQ(states[Field::S1Off], FieldState::Refused);
    EXPECT_EQ(c.S1OffThreshold, 4000);
    EXPECT_EQ(states[Field::AnalogMax], FieldState::Refused);
    EXPECT_EQ(c.AnalogMax, 9000);

    v.Fields[Field::S1On].text = "2000000";  // refused: the check uses the value c still holds
    v.Fields[Field::S1Off].text = "1010";
    v.Fields[Field::AnalogMax].text = "2000";
    states = ApplyControls(v, c, old);
    EXPECT_EQ(states[Field::S1On], FieldState::Refused);
    EXPECT_EQ(c.S1OffThreshold, 1010);
    EXPECT_EQ(c.AnalogMax, 2000);
}

// Exchanging Q1's thresholds leaves the previous values behind for the upload.
TEST(ConfigApply, PreviousThresholdsOfAnExchange) {
    clsKOV c;  // Q1 10000 / 9900, Q2 1000 / 900
    PreviousThresholds old;
    ControlValues v = SerialView(c, false);
    v.Fields[Field::S1On].text = "9900";
    v.Fields[Field::S1Off].text = "10000";
    ApplyControls(v, c, old);
    EXPECT_EQ(c.S1OnThreshold, 9900);
    EXPECT_EQ(c.S1OffThreshold, 10000);
    EXPECT_EQ(old.OldS1On, 10000);
    EXPECT_EQ(old.OldS1Off, 9900);
    EXPECT_EQ(old.OldS2On, 1000);
    EXPECT_EQ(old.OldS2Off, 900);
}

// A Profibus view has empty, disabled output fields and no analog output:
// the parameter set keeps its thresholds and analog settings instead of
// taking zeros; its address comes from the address field.
TEST(ConfigApply, DisabledControlsKeepTheValues) {
    clsKOV c;
    c.AnalogOutput = 1;
    c.S2Logic = 0;
    PreviousThresholds old;
    ControlValues v = SerialView(c, false);
    for (int i = Field::S1On; i <= Field::AnalogMax; ++i) v.Fields[static_cast<std::size_t>(i)] = {"", false};
    v.AnalogOutput = {0, false};
    v.S2Logic = {-1, false};
    v.OutputMode = {0, false};
    v.Fields[Field::NodeAddress] = {"7", true};
    c.OutputMode = 2;
    const auto states = ApplyControls(v, c, old);
    EXPECT_EQ(c.S1OnThreshold, 10000);
    EXPECT_EQ(c.S1OffThreshold, 9900);
    EXPECT_EQ(c.S2OnThreshold, 1000);
    EXPECT_EQ(c.AnalogMin, 1000);
    EXPECT_EQ(c.AnalogMax, 9000);
    EXPECT_EQ(c.AnalogOutput, 1);
    EXPECT_EQ(c.S2Logic, 0);
    EXPECT_EQ(c.OutputMode, 2);
    EXPECT_EQ(c.NodeAddress, 7);
    for (int i = Field::S1On; i <= Field::AnalogMax; ++i)
        EXPECT_EQ(states[static_cast<std::size_t>(i)], FieldState::Skipped);

    // The serial view's disabled address field marks a serial device.
    ApplyControls(SerialView(c, false), c, old);
    EXPECT_EQ(c.NodeAddress, -1);
}

// A list without a selection keeps the value ("38400" is not replaced by
// -1, which would go out as "9600"); the rain filter list offers PIXEL, and
// its shown values are taken while the list is enabled.
TEST(ConfigApply, ListsWithoutSelectionAndTheRainFilter) {
    clsKOV c;
    c.Baudrate = 5;
    c.DistanceUnit = 0;
    c.RainFilter = 1;
    PreviousThresholds old;
    ControlValues v = SerialView(c, true);
    v.Baudrate.index = -1;
    v.DistanceUnit.index = -1;
    v.RainFilter.index = 2;
    v.Fields[Field::DistanceWindow].text = "1500";
    auto states = ApplyControls(v, c, old);
    EXPECT_EQ(c.Baudrate, 5);
    EXPECT_EQ(c.DistanceUnit, 0);
    EXPECT_EQ(c.RainFilter, 2);
    EXPECT_EQ(c.DistanceWindow, 1500);

    v.RainFilter = {-1, false};  // a sensor without rain filter
    v.Fields[Field::DistanceWindow].text = "";
    states = ApplyControls(v, c, old);
    EXPECT_EQ(c.RainFilter, 2);
    EXPECT_EQ(c.DistanceWindow, 1500);
    EXPECT_EQ(states[Field::DistanceWindow], FieldState::Skipped);
}
