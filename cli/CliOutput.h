#pragma once
// What ora2orb2-cli writes: the rows of a measurement (CSV or JSON lines),
// the sensor's identity and parameter set (text or JSON), the port list.
// Plain text functions, no I/O.
#include <cstdint>
#include <string>
#include <vector>

#include "MeasurementText.h"

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

// The text of a measurement (rows, JSON, times) has its home in
// MeasurementText; the tool's names for it.
using MeasurementText::CsvHeader;
using MeasurementText::CsvRow;
using MeasurementText::IsoTime;
using MeasurementText::JsonNumber;
using MeasurementText::JsonRow;
using MeasurementText::JsonString;
using MeasurementText::Row;
using MeasurementText::RowOf;
using MeasurementText::RowState;
using MeasurementText::SensorText;
using MeasurementText::TemperatureOf;
using MeasurementText::UnitName;
using MeasurementText::UnitValueText;
using MeasurementText::UtcOffsetText;

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
