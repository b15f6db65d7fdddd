#include "modConfigFields.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "clsKOV.h"
#include "modFunctions.h"

namespace modConfigFields {

namespace {

const std::array<FieldRule, FieldCount> kRules = {{
    {-32768, 32767, 0, 0, 1, -32768, 32767},              // 0 Offset
    {-32.768, 32.767, 1, 3, 1000, -32768, 32767},         // 1 ScaleFactor
    {-10, 50, 20, 1, 10, -100, 500},                      // 2 Temperature
    {800, 1200, 1013, 0, 1, 800, 1200},                   // 3 AirPressure
    {-1000000, 1000000, 10000, 0, 1, -1000000, 1000000},  // 4 S1On
    {-1000000, 1000000, 9900, 0, 1, -1000000, 1000000},   // 5 S1Off
    {-1000000, 1000000, 1000, 0, 1, -1000000, 1000000},   // 6 S2On
    {-1000000, 1000000, 900, 0, 1, -1000000, 1000000},    // 7 S2Off
    {-1000000, 1000000, 1000, 0, 1, -1000000, 1000000},   // 8 AnalogMin
    {-1000000, 1000000, 9000, 0, 1, -1000000, 1000000},   // 9 AnalogMax
    {0, 125, 0, 0, 1, 0, 125},                            // 10 NodeAddress
    {1, 20000, 20000, 0, 1, 1, 20000},                    // 11 DistanceWindow
    {0, 1023, 512, 0, 1, 0, 1023},                        // 12 EchoThreshold
    {1, 2000, 1000, 0, 1, 1, 2000},                       // 13 DistanceLimit
    {1, 10, 1, 0, 1, 1, 10},                              // 14 MeasValid
}};

// Nearest integer, a half to the even neighbour (the default rounding mode).
double RoundHalfEven(double x) { return std::nearbyint(x); }

bool Readable(const std::string& text, double* value) {
    if (modFunctions::Trim(text).empty()) return false;
    double v = 0;
    if (!modFunctions::ParseNumber(text, v) || !std::isfinite(v)) return false;
    *value = v;
    return true;
}

// `x` with `decimals` decimals and the locale's separator; never "-0".
std::string Format(double x, int decimals) {
    const double unit = std::pow(10.0, decimals);
    double rounded = RoundHalfEven(x * unit) / unit;
    if (rounded == 0) rounded = 0;  // no minus sign in front of a zero
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.*f", decimals, rounded);
    std::string text = buffer;
    const auto point = text.find('.');
    if (point != std::string::npos) text[point] = modFunctions::DecimalSeparator();
    return text;
}

void ApplyList(const ListValue& list, std::int32_t& field) {
    if (list.enabled && list.index >= 0) field = list.index;
}

void ApplyCheck(const CheckValue& check, std::int32_t& field) {
    if (check.enabled) field = check.value != 0 ? 1 : 0;
}

std::int32_t& FieldOf(clsKOV& c, int index) {
    switch (index) {
        case Field::Offset: return c.Offset;
        case Field::ScaleFactor: return c.ScaleFactor;
        case Field::Temperature: return c.Temperature;
        case Field::AirPressure: return c.AirPressure;
        case Field::S1On: return c.S1OnThreshold;
        case Field::S1Off: return c.S1OffThreshold;
        case Field::S2On: return c.S2OnThreshold;
        case Field::S2Off: return c.S2OffThreshold;
        case Field::AnalogMin: return c.AnalogMin;
        case Field::AnalogMax: return c.AnalogMax;
        case Field::NodeAddress: return c.NodeAddress;
        case Field::DistanceWindow: return c.DistanceWindow;
        case Field::EchoThreshold: return c.EchoThreshold;
        case Field::DistanceLimit: return c.DistanceLimit;
        default: return c.MeasValid;
    }
}

bool FarEnough(std::int32_t a, std::int32_t b, std::int64_t minimum) {
    return std::llabs(static_cast<std::int64_t>(a) - static_cast<std::int64_t>(b)) > minimum;
}

}  // namespace

const FieldRule& Rule(int index) { return kRules[index >= 0 && index < FieldCount ? index : 0]; }

char FilterKey(char key, char separator) {
    if (key == Backspace || key == Enter || key == '-') return key;
    if (key >= '0' && key <= '9') return key;
    if (key == ',' || key == '.') return separator == ',' ? ',' : '.';
    return 0;
}

std::string ValueText(int index, std::int32_t stored) {
    const FieldRule& rule = Rule(index);
    return Format(static_cast<double>(stored) / rule.scale, rule.decimals);
}

std::string LeaveFieldText(int index, const std::string& text) {
    const FieldRule& rule = Rule(index);
    double value = rule.emptyValue;
    double read = 0;
    if (Readable(text, &read)) value = rule.decimals == 0 ? RoundHalfEven(read) : read;
    if (value > rule.maximum) value = rule.maximum;
    if (value < rule.minimum) value = rule.minimum;
    return Format(value, rule.decimals);
}

bool ReadStoredValue(int index, const std::string& text, std::int32_t* value) {
    double read = 0;
    if (!Readable(text, &read)) return false;
    const double stored = RoundHalfEven(read * Rule(index).scale);
    if (!(stored >= -2147483648.0 && stored <= 2147483647.0)) return false;
    *value = static_cast<std::int32_t>(stored);
    return true;
}

std::array<FieldState, FieldCount> ApplyControls(const ControlValues& v, clsKOV& c, PreviousThresholds& old) {
    ApplyList(v.Baudrate, c.Baudrate);
    ApplyList(v.OutputMode, c.OutputMode);
    ApplyList(v.OutputFormat, c.OutputFormat);
    ApplyList(v.DistanceUnit, c.DistanceUnit);
    ApplyCheck(v.Autostart, c.AutostartMode);
    ApplyList(v.AverageDepth, c.AverageDepth);
    ApplyCheck(v.MovingAverage, c.MovingAverage);
    ApplyList(v.TimeOut, c.TimeOut);
    ApplyCheck(v.EchoCheck, c.EchoCheck);
    ApplyCheck(v.Blanking, c.Blanking);
    ApplyList(v.RainFilter, c.RainFilter);
    ApplyCheck(v.AnalogOutput, c.AnalogOutput);
    if (c.AnalogOutput != 0) ApplyList(v.S2Logic, c.S2Logic);

    std::array<FieldState, FieldCount> states{};
    for (int i = 0; i < FieldCount; ++i) {
        const FieldValue& field = v.Fields[static_cast<std::size_t>(i)];
        FieldState& state = states[static_cast<std::size_t>(i)];
        bool read = field.enabled;
        if (i >= Field::DistanceWindow) read = v.RainFilter.enabled;
        if (!read) {
            if (i == Field::NodeAddress) c.NodeAddress = -1;  // a serial device has no address
            state = FieldState::Skipped;
            continue;
        }
        std::int32_t value = 0;
        const FieldRule& rule = Rule(i);
        bool accepted = ReadStoredValue(i, field.text, &value) && value >= rule.acceptMin && value <= rule.acceptMax;
        if (accepted && i == Field::S1Off) accepted = FarEnough(value, c.S1OnThreshold, 9);
        if (accepted && i == Field::S2Off) accepted = FarEnough(value, c.S2OnThreshold, 9);
        if (accepted && i == Field::AnalogMax) accepted = FarEnough(value, c.AnalogMin, 999);
        if (!accepted) {
            state = FieldState::Refused;
            continue;
        }
        std::int32_t& target = FieldOf(c, i);
        if (i == Field::S1On) old.OldS1On = target;
        if (i == Field::S1Off) old.OldS1Off = target;
        if (i == Field::S2On) old.OldS2On = target;
        if (i == Field::S2Off) old.OldS2Off = target;
        target = value;
        state = FieldState::Accepted;
    }
    return states;
}

}  // namespace modConfigFields
