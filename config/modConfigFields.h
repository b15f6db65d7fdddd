#pragma once
// The editable values of the configuration dialog, without the dialog: the
// fifteen numeric fields with their input filter, the check made when the
// user leaves a field (clamp, replace, reformat) and the check made when the
// values are copied into a parameter set (accept or refuse each field), and
// the copying of lists and check boxes.
//
// Numbers are read and written with the decimal separator of the user's
// locale (modFunctions::DecimalSeparator).
#include <array>
#include <cstdint>
#include <string>

class clsKOV;

namespace modConfigFields {

// Indexes of the numeric fields (txtParameter 0..14).
namespace Field {
constexpr int Offset = 0;       // mm
constexpr int ScaleFactor = 1;  // shown as factor, stored in thousandths
constexpr int Temperature = 2;  // shown in degrees, stored in tenths
constexpr int AirPressure = 3;  // hPa
constexpr int S1On = 4;         // switching output Q1, mm
constexpr int S1Off = 5;
constexpr int S2On = 6;  // switching output Q2, mm
constexpr int S2Off = 7;
constexpr int AnalogMin = 8;        // mm at 4 mA
constexpr int AnalogMax = 9;        // mm at 20 mA
constexpr int NodeAddress = 10;     // Profibus address, "n/a" for a serial device
constexpr int DistanceWindow = 11;  // rain filter values: shown, never sent
constexpr int EchoThreshold = 12;
constexpr int DistanceLimit = 13;
constexpr int MeasValid = 14;
}  // namespace Field
constexpr int FieldCount = 15;

struct FieldRule {
    // Leave-field check, in the units shown.
    double minimum;
    double maximum;
    double emptyValue;  // put in for an empty or unreadable text
    int decimals;       // shown decimals
    int scale;          // stored value = shown value x scale
    // Apply check, in the units stored.
    std::int32_t acceptMin;
    std::int32_t acceptMax;
};
// Rule of field `index` (0..14); index outside gives the rule of field 0.
const FieldRule& Rule(int index);

// ---- input filter -----------------------------------------------------------

constexpr char Backspace = 8;
constexpr char Enter = 13;

// The character a typed key puts into a field, or 0 when the key is
// discarded. Digits, minus, Backspace and Enter pass; comma and full stop
// both become the locale's decimal separator; everything else is dropped.
char FilterKey(char key, char separator);

// ---- texts --------------------------------------------------------------------

// The field's text for a stored value ("1,500" for a scale factor of 1500 on
// a German system).
std::string ValueText(int index, std::int32_t stored);

// The leave-field check: the text the field gets when the user leaves it.
// Empty or unreadable text gives the field's empty value; numbers are
// clamped to the field's range; integer fields are rounded (half to even).
std::string LeaveFieldText(int index, const std::string& text);

// Reads a field's text as its stored value (scaled and rounded, half to
// even). False for an empty text, a text that is no number, or a value
// outside 32 bits.
bool ReadStoredValue(int index, const std::string& text, std::int32_t* value);

// ---- applying the controls ----------------------------------------------------

// One list (no selection: index -1), check box or field of the dialog, and
// whether it is enabled. A disabled control, and a list without a selection,
// leave the parameter set's value as it is.
struct ListValue {
    int index = -1;
    bool enabled = true;
};
struct CheckValue {
    int value = 0;
    bool enabled = true;
};
struct FieldValue {
    std::string text;
    bool enabled = true;
};

struct ControlValues {
    ListValue Baudrate, OutputMode, OutputFormat, DistanceUnit, AverageDepth, TimeOut, RainFilter, S2Logic;
    CheckValue Autostart, MovingAverage, EchoCheck, Blanking, AnalogOutput;
    std::array<FieldValue, FieldCount> Fields;
};

// The switching thresholds as they were before the last accepted edit of
// each (the upload tells an exchange of on and off threshold by them).
struct PreviousThresholds {
    std::int32_t OldS1On = 0;
    std::int32_t OldS1Off = 0;
    std::int32_t OldS2On = 0;
    std::int32_t OldS2Off = 0;
};

enum class FieldState { Accepted, Refused, Skipped };

// Copies the controls into `c`: lists and check boxes first, then the fields
// 0..14 in order, each checked against its accepted range (fields 5, 7 and 9
// also against the distance to fields 4, 6 and 8 as `c` holds them by then).
// A refused field leaves its value in `c` unchanged. A disabled field is
// skipped, except the address field, whose being disabled marks a serial
// device (NodeAddress -1); the rain filter values (11..14) are read while
// the rain filter list is enabled.
std::array<FieldState, FieldCount> ApplyControls(const ControlValues& values, clsKOV& c, PreviousThresholds& old);

}  // namespace modConfigFields
