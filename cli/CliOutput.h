#pragma once
// What ora2orb2-cli writes: the rows of a measurement (CSV or JSON lines),
// the sensor's identity and parameter set (text or JSON), the port list.
// Plain text functions, no I/O.
#include <cstdint>
#include <string>
#include <vector>

#include "Measurement.h"

class clsKOV;

namespace cli {

// One parameter of the sensor: code, field name, label text id (German), the
// number of list entries for list-valued ones (0 for plain numbers), and the
// field on the link.
struct ParameterInfo {
    const char* Code;
    const char* Field;
    int LabelId;
    int ListSize;
    std::int32_t clsKOV::*Member;
};

// The 29 parameters in upload order.
const std::vector<ParameterInfo>& Parameters();
// The parameter with `code`, or nullptr.
const ParameterInfo* FindParameter(const std::string& code);

// Reads the value of `set CODE VALUE`: a whole number (for a list parameter
// an index within the list), or for a list parameter the text the sensor
// gets on the line ("BINARY+CRC", "mm", case does not matter). False with
// `error` saying why.
bool ParseParameterValue(const ParameterInfo& p, const std::string& text, std::int32_t* value, std::string* error);

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

// One measured distance as the tool writes it: the loop's measurement, with
// its temperature read as a number and the offset from UTC when it was taken.
struct Row : Measurement {
    bool HasTemperature = false;
    double TemperatureC = 0;
    int UtcOffsetMinutes = 0;       // of the local time when the row was taken
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

// `info`: the identity, the temperature and the 29 parameters, labels in
// the current language. A parameter the sensor does not have (the rain
// filter without one, the Profibus address of a serial sensor, the outputs
// of a Profibus sensor) shows as "-", in JSON as null.
std::string InfoText(const clsKOV& link);
std::string InfoJson(const clsKOV& link);

// `ports`: one entry per port.
struct PortEntry {
    int Port = 0;
    std::string Device;
};
std::string PortsText(const std::vector<PortEntry>& ports);
std::string PortsJson(const std::vector<PortEntry>& ports);

}  // namespace cli
