// The sensor's information block (the answer to "C"): where it is in the
// received text, and its values read into the link.
#include <cstdint>
#include <string>

#include "ProtocolParts.h"
#include "clsKOV.h"
#include "modKOVComm.h"

namespace modKOVComm {

bool ConfigurationRead = false;

namespace {

// Whole-text conversion to a 32-bit integer, as the information block
// delivers its numbers: optional sign, digits, optional decimals (rounded,
// ties to even). Anything else is no number.
bool ToInt32(const std::string& text, std::int32_t* value) {
    const std::string t = Trim(text);
    if (t.empty()) return false;
    std::size_t i = 0;
    if (t[i] == '+' || t[i] == '-') ++i;
    const std::size_t digitsStart = i;
    while (i < t.size() && IsDigit(t[i])) ++i;
    bool anyDigit = i > digitsStart;
    if (i < t.size() && t[i] == '.') {
        ++i;
        const std::size_t fracStart = i;
        while (i < t.size() && IsDigit(t[i])) ++i;
        anyDigit = anyDigit || i > fracStart;
    }
    if (!anyDigit || i != t.size()) return false;
    const double x = RoundHalfEven(LeadingNumber(t));
    if (x > 2147483647.0 || x < -2147483648.0) return false;
    *value = static_cast<std::int32_t>(x);
    return true;
}

void SetIfNumber(const std::string& block, const char* key, std::int32_t& field) {
    std::int32_t value;
    if (ToInt32(InfoValue(block, key), &value)) field = value;
}

}  // namespace

bool BlockReadable(const std::string& block) {
    std::int32_t value = 0;
    for (const char* key : {"101:", "111:"})
        if (!ToInt32(InfoValue(block, key), &value)) return false;
    for (const char* key : {"301:", "302:", "601:", "603:"})
        if (Contains(block, key) && !ToInt32(InfoValue(block, key), &value)) return false;
    return true;
}

std::string ExtractInfoBlock(const std::string& s) {
    const std::size_t p = s.find("Type:");
    if (p == std::string::npos) return "";
    // Only an "end" behind "Type:" closes the block; one left over from
    // earlier text does not.
    const std::size_t q = s.find("end", p + 5);
    if (q == std::string::npos) return "";
    return s.substr(p, q - p);
}

void ParseInfoBlock(clsKOV& link, const std::string& block) {
    link.DeviceType = InfoValue(block, "Type:");
    link.Attenuator = InfoValue(block, "Attenuator:");
    link.SerialNo = InfoValue(block, "Serial-No:");
    link.SWVersion = InfoValue(block, "Version:");
    link.SWBuild = InfoValue(block, "Build:");
    link.SWDate = InfoValue(block, "Date:");
    link.HWPointer = InfoValue(block, "Pointer:");
    link.sTemperature = InfoValue(block, "Temperature:");
    link.TempStatus = TemperatureStatus(link.sTemperature);

    SetIfNumber(block, "101:", link.OutputFormat);
    SetIfNumber(block, "111:", link.DistanceUnit);
    SetIfNumber(block, "601:", link.Baudrate);
    SetIfNumber(block, "603:", link.OutputMode);
    SetIfNumber(block, "610:", link.NodeAddress);
    SetIfNumber(block, "301:", link.AverageDepth);
    SetIfNumber(block, "302:", link.TimeOut);
    SetIfNumber(block, "304:", link.MovingAverage);
    SetIfNumber(block, "305:", link.AutostartMode);
    if (!Contains(block, "306:") && Contains(block, "3 06:")) {
        SetIfNumber(block, "3 06:", link.EchoCheck);
    } else {
        SetIfNumber(block, "306:", link.EchoCheck);
    }
    SetIfNumber(block, "311:", link.Blanking);

    if (Contains(link.Attenuator, "E")) {  // the variant with rain filter
        SetIfNumber(block, "351:", link.RainFilter);
        SetIfNumber(block, "352:", link.DistanceWindow);
        SetIfNumber(block, "353:", link.EchoThreshold);
        SetIfNumber(block, "354:", link.DistanceLimit);
        SetIfNumber(block, "355:", link.MeasValid);
    } else {
        link.RainFilter = -1;
    }

    SetIfNumber(block, "401:", link.AnalogMin);
    SetIfNumber(block, "402:", link.AnalogMax);
    SetIfNumber(block, "403:", link.AnalogOutput);
    SetIfNumber(block, "501:", link.S1OnThreshold);
    SetIfNumber(block, "502:", link.S1OffThreshold);
    SetIfNumber(block, "503:", link.S1Logic);
    SetIfNumber(block, "504:", link.S2OnThreshold);
    SetIfNumber(block, "505:", link.S2OffThreshold);
    SetIfNumber(block, "506:", link.S2Logic);
    SetIfNumber(block, "701:", link.Offset);
    SetIfNumber(block, "702:", link.ScaleFactor);
    SetIfNumber(block, "801:", link.Temperature);
    SetIfNumber(block, "802:", link.AirPressure);

    if (link.DeviceType == "Serial") link.NodeAddress = -1;
    ConfigurationRead = true;
}

std::string InfoValue(const std::string& block, const std::string& key) {
    const std::size_t p = block.find(key);
    if (p == std::string::npos) return "";
    const std::size_t start = p + key.size();
    const std::size_t q = block.find(CrLf, start);
    if (q == std::string::npos) return "";
    return Trim(block.substr(start, q - start));
}

}  // namespace modKOVComm
