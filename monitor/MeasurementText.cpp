#include "MeasurementText.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "DistanceUnits.h"
#include "clsKOV.h"
#include "modAPI.h"
#include "modCalendar.h"
#include "modCodePage.h"
#include "modFunctions.h"

namespace MeasurementText {
namespace {

std::string FixedText(double value, int decimals, char decimal) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.*f", decimals, value);
    std::string text = buffer;
    if (decimal != '.') {
        const std::size_t point = text.find('.');
        if (point != std::string::npos) text[point] = decimal;
    }
    return text;
}

}  // namespace

// A number for JSON: finite, point as separator, no more digits than needed.
std::string JsonNumber(double value) {
    if (!std::isfinite(value)) return "null";
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.15g", value);
    return buffer;
}

std::string SensorText(const std::string& bytes) {
    return modCodePage::IsValidUtf8(bytes) ? bytes : modCodePage::Cp1252ToUtf8(bytes);
}

std::string JsonString(const std::string& text) {
    const std::string utf8 = SensorText(text);
    std::string out = "\"";
    for (char ch : utf8) {
        const auto c = static_cast<unsigned char>(ch);
        switch (c) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            default:
                if (c < 0x20 || c == 0x7F) {
                    char escape[8];
                    std::snprintf(escape, sizeof escape, "\\u%04X", c);
                    out += escape;
                } else {
                    out += static_cast<char>(c);
                }
        }
    }
    return out + "\"";
}

std::string IsoTime(double days, char decimal) {
    // The same one rounding of the date value as the recorder's time stamps.
    const modCalendar::Moment t = modCalendar::MomentOf(days);
    char text[48];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d%c%03d", t.Day.Year, t.Day.Month, t.Day.Day, t.Hour,
                  t.Minute, t.Second, decimal, t.Millisecond);
    return text;
}

std::string UnitName(std::int32_t unit) { return DistanceUnits::Known(unit) ? DistanceUnits::Name(unit) : "?"; }

Row RowOf(const Measurement& m) {
    Row r;
    static_cast<Measurement&>(r) = m;
    r.HasTemperature = TemperatureOf(m.Temperature, &r.TemperatureC);
    r.UtcOffsetMinutes = modAPI::UtcOffsetMinutes();
    return r;
}

std::string UtcOffsetText(int minutes) {
    const int m = minutes < 0 ? -minutes : minutes;
    char text[16];
    std::snprintf(text, sizeof text, "%c%02d:%02d", minutes < 0 ? '-' : '+', m / 60 % 100, m % 60);
    return text;
}

std::string RowState(const Row& row) {
    switch (row.State) {
        case MeasurementState::NoEcho: return "no echo";
        case MeasurementState::TempError: return "temp error";
        case MeasurementState::Marker: return "marker";
        case MeasurementState::Ok: break;
    }
    return "ok";
}

bool TemperatureOf(const std::string& text, double* celsius) {
    const std::string t = modFunctions::Trim(text);
    if (t.empty()) return false;
    char* end = nullptr;
    const double v = std::strtod(t.c_str(), &end);
    if (end == t.c_str() || !std::isfinite(v)) return false;
    *celsius = v;
    return true;
}

std::string UnitValueText(double value, std::int32_t unit, char decimal) {
    return FixedText(value, DistanceUnits::Decimals(unit), decimal);
}

std::string CsvHeader(bool temperature, char decimal) {
    const char sep = decimal == ',' ? ';' : ',';
    std::string h = std::string("time") + sep + "distance_mm" + sep + "distance" + sep + "unit" + sep + "state";
    if (temperature) h += std::string(1, sep) + "temperature_c";
    return h;
}

std::string CsvRow(const Row& row, bool temperature, char decimal) {
    const char sep = decimal == ',' ? ';' : ',';
    const std::string state = RowState(row);
    const bool ok = state == "ok";
    std::string line = IsoTime(row.Time, decimal);
    line += sep + (ok ? std::to_string(row.Mm) : std::string());
    line += sep + (ok ? UnitValueText(row.Value, row.Unit, decimal) : std::string());
    line += sep + UnitName(row.Unit);
    line += sep + state;
    if (temperature) {
        line += sep;
        if (row.HasTemperature && row.TemperatureOk) line += FixedText(row.TemperatureC, 0, decimal);
    }
    return line;
}

std::string JsonRow(const Row& row, bool temperature) {
    const std::string state = RowState(row);
    const bool ok = state == "ok";
    std::string line = "{\"time\":" + JsonString(IsoTime(row.Time) + UtcOffsetText(row.UtcOffsetMinutes)) + ",\"mm\":";
    line += ok ? std::to_string(row.Mm) : "null";
    line += ",\"value\":";
    line += ok ? UnitValueText(row.Value, row.Unit, '.') : "null";
    line += ",\"unit\":" + JsonString(UnitName(row.Unit)) + ",\"state\":" + JsonString(state);
    if (temperature) {
        line += ",\"temperature_c\":";
        line += row.HasTemperature && row.TemperatureOk ? JsonNumber(row.TemperatureC) : "null";
    }
    return line + "}";
}

std::string TemperatureJson(const Row& row) {
    std::string text = "{\"time\":" + JsonString(IsoTime(row.Time) + UtcOffsetText(row.UtcOffsetMinutes));
    text += ",\"temperature_c\":" + (row.HasTemperature ? JsonNumber(row.TemperatureC) : std::string("null"));
    text += ",\"state\":" + JsonString(row.TemperatureOk ? "ok" : "temp error");
    return text + "}";
}

std::string IdentityJsonMembers(const clsKOV& link) {
    std::string out = "\"type\":" + JsonString(link.DeviceType);
    out += ",\"attenuator\":" + JsonString(link.Attenuator);
    out += ",\"serial_no\":" + JsonString(link.SerialNo);
    out += ",\"version\":" + JsonString(link.SWVersion);
    out += ",\"build\":" + JsonString(link.SWBuild);
    out += ",\"date\":" + JsonString(link.SWDate);
    out += ",\"pointer\":" + JsonString(link.HWPointer);
    return out;
}

}  // namespace MeasurementText
