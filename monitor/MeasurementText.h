#pragma once
// The text of a measurement: the rows the command-line tool prints (CSV and
// JSON lines), the messages published to a broker (the same JSON), and the
// pieces they are made of (ISO 8601 times, unit names, JSON strings). One
// home, so that a subscriber reads what a script reads from the tool.
#include <cstdint>
#include <string>

#include "Measurement.h"

class clsKOV;

namespace MeasurementText {

// Text in JSON string quotes, with the escapes JSON needs; bytes that are no
// valid UTF-8 are taken as Windows-1252 (the sensor's own texts).
std::string JsonString(const std::string& text);
// A sensor text (one byte per character, Windows-1252) as UTF-8.
std::string SensorText(const std::string& bytes);

// "2026-12-07T13:45:02.250" (local time, milliseconds) of a date value;
// `decimal` separates the milliseconds.
std::string IsoTime(double days, char decimal = '.');

// Short unit name of a distance unit index ("mm", "m" ...), "?" outside 0..6.
std::string UnitName(std::int32_t unit);

// One measurement as it is written: the loop's record, with its temperature
// read as a number and the offset from UTC when it was taken.
struct Row : Measurement {
    bool HasTemperature = false;
    double TemperatureC = 0;
    int UtcOffsetMinutes = 0;  // of the local time when the row was taken
};
// The row of a measurement, taken now.
Row RowOf(const Measurement& m);

// "+01:00", "-05:30", "+00:00": an offset from UTC as ISO 8601 writes it.
std::string UtcOffsetText(int minutes);

// "ok", "no echo" (the no-echo marker or 0), "temp error" or "marker" (any
// other value of the sensor's marker shape).
std::string RowState(const Row& row);

// The leading number of a temperature text ("23 C, OK" gives 23); false
// when the text has none.
bool TemperatureOf(const std::string& text, double* celsius);

// CSV: field separator ',' with decimal '.', ';' with ','.
std::string CsvHeader(bool temperature, char decimal);
std::string CsvRow(const Row& row, bool temperature, char decimal);
std::string JsonRow(const Row& row, bool temperature);

// The distance in its unit with the unit's decimals (0 mm; 3 m and in;
// 4 ft and yd; 8 mi and nm) and the given decimal separator.
std::string UnitValueText(double value, std::int32_t unit, char decimal);

// A number for JSON: finite, point as separator, no more digits than needed
// ("null" when not finite).
std::string JsonNumber(double value);

// One temperature reading: {"time":"...+01:00","temperature_c":23,"state":"ok"};
// "state" is "ok" or "temp error" (the sensor said NOK); temperature_c is
// null when the text holds no number.
std::string TemperatureJson(const Row& row);

// The sensor's identity as JSON members, without the braces:
// "type":"Serial","attenuator":...,"serial_no":...,"version":...,"build":...,
// "date":...,"pointer":...
std::string IdentityJsonMembers(const clsKOV& link);

}  // namespace MeasurementText
