#include "CliOutput.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "clsConfigTransfer.h"
#include "clsKOV.h"
#include "modFunctions.h"
#include "modKOVComm.h"

namespace cli {
namespace {

using modFunctions::GetText;
using modFunctions::Trim;

std::string LabelText(const ParameterInfo& p) {
    const std::string label = Trim(GetText(p.LabelId));
    return label.empty() ? std::string(p.Field) : label;
}

bool SameIgnoringCase(const std::string& a, const std::string& b) { return modFunctions::EqualIgnoringCase(a, b); }

// The texts on the line of a list parameter's entries, "1200, 2400, ...".
std::string ListTexts(const ParameterInfo& p) {
    clsKOV probe;
    std::string names;
    for (int i = 0; i < p.ListSize; ++i) {
        probe.*(p.Member) = i;
        names += (i ? ", " : "") + modKOVComm::ParameterValueText(probe, p.Code);
    }
    return names;
}

}  // namespace

const std::vector<ParameterInfo>& Parameters() {
    static const std::vector<ParameterInfo> list = {
        {"101", "OutputFormat", 1213, 4, &clsKOV::OutputFormat},
        {"111", "DistanceUnit", 1214, 7, &clsKOV::DistanceUnit},
        {"301", "AverageDepth", 1221, 5, &clsKOV::AverageDepth},
        {"302", "TimeOut", 1222, 5, &clsKOV::TimeOut},
        {"304", "MovingAverage", 1223, 2, &clsKOV::MovingAverage},
        {"305", "AutostartMode", 1224, 2, &clsKOV::AutostartMode},
        {"306", "EchoCheck", 1225, 2, &clsKOV::EchoCheck},
        {"311", "Blanking", 1226, 2, &clsKOV::Blanking},
        {"401", "AnalogMin", 1242, 0, &clsKOV::AnalogMin},
        {"402", "AnalogMax", 1243, 0, &clsKOV::AnalogMax},
        {"403", "AnalogOutput", 1241, 2, &clsKOV::AnalogOutput},
        {"501", "S1OnThreshold", 1252, 0, &clsKOV::S1OnThreshold},
        {"502", "S1OffThreshold", 1253, 0, &clsKOV::S1OffThreshold},
        {"503", "S1Logic", 1251, 2, &clsKOV::S1Logic},
        {"504", "S2OnThreshold", 1256, 0, &clsKOV::S2OnThreshold},
        {"505", "S2OffThreshold", 1257, 0, &clsKOV::S2OffThreshold},
        {"506", "S2Logic", 1255, 2, &clsKOV::S2Logic},
        {"601", "Baudrate", 1211, 6, &clsKOV::Baudrate},
        {"603", "OutputMode", 1212, 3, &clsKOV::OutputMode},
        {"610", "NodeAddress", 1218, 0, &clsKOV::NodeAddress},
        {"701", "Offset", 1231, 0, &clsKOV::Offset},
        {"702", "ScaleFactor", 1232, 0, &clsKOV::ScaleFactor},
        {"801", "Temperature", 1233, 0, &clsKOV::Temperature},
        {"802", "AirPressure", 1234, 0, &clsKOV::AirPressure},
        {"351", "RainFilter", 1301, 3, &clsKOV::RainFilter},
        {"352", "DistanceWindow", 1302, 0, &clsKOV::DistanceWindow},
        {"353", "EchoThreshold", 1303, 0, &clsKOV::EchoThreshold},
        {"354", "DistanceLimit", 1304, 0, &clsKOV::DistanceLimit},
        {"355", "MeasValid", 1305, 0, &clsKOV::MeasValid},
    };
    return list;
}

const ParameterInfo* FindParameter(const std::string& code) {
    for (const ParameterInfo& p : Parameters())
        if (code == p.Code) return &p;
    return nullptr;
}

bool ParseParameterValue(const ParameterInfo& p, const std::string& text, std::int32_t* value, std::string* error) {
    const std::string t = Trim(text);
    errno = 0;
    char* end = nullptr;
    const long long n = std::strtoll(t.c_str(), &end, 10);
    const bool number = !t.empty() && end != t.c_str() && *end == '\0' && errno == 0;
    if (number) {
        if (n < INT32_MIN || n > INT32_MAX) {
            *error = "the value " + t + " of " + p.Code + " is out of range";
            return false;
        }
        if (p.ListSize > 0 && (n < 0 || n >= p.ListSize)) {
            *error = "the value of " + std::string(p.Code) + " is a list index from 0 to " +
                     std::to_string(p.ListSize - 1) + " (" + ListTexts(p) + "), not " + t;
            return false;
        }
        *value = static_cast<std::int32_t>(n);
        return true;
    }
    if (p.ListSize > 0) {
        // The texts the sensor gets on the line, as the protocol makes them.
        clsKOV probe;
        for (int i = 0; i < p.ListSize; ++i) {
            probe.*(p.Member) = i;
            if (SameIgnoringCase(modKOVComm::ParameterValueText(probe, p.Code), t)) {
                *value = i;
                return true;
            }
        }
        *error = "the value of " + std::string(p.Code) + " is one of " + ListTexts(p) + " (or its index), not '" + t +
                 "'";
        return false;
    }
    *error = "the value of " + std::string(p.Code) + " is a whole number, not '" + t + "'";
    return false;
}

std::string InfoText(const clsKOV& link) {
    std::string out;
    auto line = [&out](const std::string& key, const std::string& value) {
        out += key;
        if (key.size() < 14) out += std::string(14 - key.size(), ' ');
        out += SensorText(value) + "\n";
    };
    line("Type:", link.DeviceType);
    line("Attenuator:", link.Attenuator);
    line("Serial-No:", link.SerialNo);
    line("Version:", link.SWVersion);
    line("Build:", link.SWBuild);
    line("Date:", link.SWDate);
    line("Pointer:", link.HWPointer);
    line("Temperature:", link.sTemperature);
    out += "\n";
    for (const ParameterInfo& p : Parameters()) {
        const std::int32_t v = link.*(p.Member);
        const bool has = clsConfigTransfer::DeviceHas(link, p.Code);
        std::string label = LabelText(p);
        // Labels are UTF-8; pad by characters, not bytes.
        std::size_t chars = 0;
        for (char c : label)
            if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++chars;
        if (chars < 30) label += std::string(30 - chars, ' ');
        std::string value = std::to_string(v);
        const std::string wire = modKOVComm::ParameterValueText(link, p.Code);
        if (p.ListSize > 0 && !wire.empty() && wire != value) value += " (" + wire + ")";
        out += std::string(p.Code) + "  " + label + " " + (has ? value : "-") + "\n";
    }
    return out;
}

std::string InfoJson(const clsKOV& link) {
    double celsius = 0;
    const bool hasTemperature = TemperatureOf(link.sTemperature, &celsius);
    std::string out = "{";
    out += MeasurementText::IdentityJsonMembers(link);
    out += ",\"temperature\":" + JsonString(link.sTemperature);
    out += ",\"temperature_c\":" + (hasTemperature ? JsonNumber(celsius) : std::string("null"));
    out += ",\"temperature_ok\":" + std::string(link.TempStatus != modKOVComm::TempState::Error ? "true" : "false");
    out += ",\"parameters\":[";
    bool first = true;
    for (const ParameterInfo& p : Parameters()) {
        if (!first) out += ",";
        first = false;
        const bool has = clsConfigTransfer::DeviceHas(link, p.Code);
        out += "{\"code\":" + JsonString(p.Code) + ",\"field\":" + JsonString(p.Field) +
               ",\"label\":" + JsonString(LabelText(p)) +
               ",\"value\":" + (has ? std::to_string(link.*(p.Member)) : std::string("null")) +
               ",\"wire\":" + (has ? JsonString(modKOVComm::ParameterValueText(link, p.Code)) : std::string("null")) +
               "}";
    }
    out += "]}";
    return out;
}

std::string PortsText(const std::vector<PortEntry>& ports) {
    std::string out;
    for (const PortEntry& e : ports) {
        std::string name = "COM " + std::to_string(e.Port);
        if (name.size() < 9) name += std::string(9 - name.size(), ' ');
        out += name + (e.Device.empty() ? "-" : e.Device) + "\n";
    }
    return out;
}

std::string PortsJson(const std::vector<PortEntry>& ports) {
    std::string out;
    for (const PortEntry& e : ports)
        out += "{\"port\":" + std::to_string(e.Port) + ",\"name\":" + JsonString("COM " + std::to_string(e.Port)) +
               ",\"device\":" + (e.Device.empty() ? std::string("null") : JsonString(e.Device)) + "}\n";
    return out;
}

}  // namespace cli
