#include "modKOVFile.h"

#include <cerrno>
#include <climits>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>

#include "clsIni.h"
#include "clsKOV.h"
#include "modCodePage.h"
#include "modConfigTexts.h"
#include "modFunctions.h"
#include "modSafeFile.h"

namespace modKOVFile {
namespace {

constexpr std::int32_t Any = INT32_MIN;  // as Min: no range (every 32-bit value is valid)

struct KeyRule {
    const char* Key;
    std::int32_t clsKOV::*Field;
    std::int32_t Missing;      // value when the key is missing or empty
    std::int32_t Min, Max;     // valid range (Min = Any: all values)
    bool MinusOne;             // -1 is valid besides Min..Max
    std::int32_t Replacement;  // value put in for one outside the range
    bool SerialOnly;           // read for a serial device only
};

// In the order the keys are written. Replacements lie in their own ranges:
// scale factor, temperature and air pressure fall back to their usual
// values (1.000, 20.0 °C, 1013 hPa), which neutralise the compensation.
// NodeAddress is repaired by its sign (see Repaired).
const KeyRule kRules[] = {
    {"Baudrate", &clsKOV::Baudrate, 3, 0, 5, false, 3, false},
    {"DistanceUnit", &clsKOV::DistanceUnit, 1, 0, 6, false, 1, false},
    {"OutputMode", &clsKOV::OutputMode, 0, 0, 2, false, 0, false},
    {"OutputFormat", &clsKOV::OutputFormat, 1, 0, 3, false, 1, false},
    {"NodeAddress", &clsKOV::NodeAddress, -1, 0, 125, true, 0, false},
    {"AutoStart", &clsKOV::AutostartMode, 0, 0, 1, false, 0, false},
    {"AverageDepth", &clsKOV::AverageDepth, 4, 0, 4, false, 4, false},
    {"MovingAverage", &clsKOV::MovingAverage, 0, 0, 1, false, 1, false},
    {"TimeOut", &clsKOV::TimeOut, 1, 0, 4, false, 1, false},
    {"BoundChecking", &clsKOV::EchoCheck, 1, 0, 1, false, 1, false},
    {"Blanking", &clsKOV::Blanking, 0, 0, 1, false, 0, false},
    {"RainFilter", &clsKOV::RainFilter, 0, 0, 2, true, 0, false},
    {"DistanceWindow", &clsKOV::DistanceWindow, 20000, Any, INT32_MAX, false, 0, false},
    {"EchoThreshold", &clsKOV::EchoThreshold, 512, Any, INT32_MAX, false, 0, false},
    {"DistanceLimit", &clsKOV::DistanceLimit, 1000, Any, INT32_MAX, false, 0, false},
    {"ValidMeasurements", &clsKOV::MeasValid, 1, Any, INT32_MAX, false, 0, false},
    {"Offset", &clsKOV::Offset, 0, -32768, 32767, false, 0, false},
    {"ScaleFactor", &clsKOV::ScaleFactor, 1000, -32768, 32767, false, 1000, false},
    {"Temperature", &clsKOV::Temperature, 200, -100, 500, false, 200, false},
    {"AirPressure", &clsKOV::AirPressure, 1013, 800, 1200, false, 1013, false},
    {"S1Logic", &clsKOV::S1Logic, 1, 0, 1, false, 1, true},
    {"S1OnThreshold", &clsKOV::S1OnThreshold, 10000, -1000000, 1000000, false, 10000, true},
    {"S1OffThreshold", &clsKOV::S1OffThreshold, 9900, -1000000, 1000000, false, 9900, true},
    {"S2Logic", &clsKOV::S2Logic, 1, 0, 1, false, 1, true},
    {"S2OnThreshold", &clsKOV::S2OnThreshold, 1000, -1000000, 1000000, false, 1000, true},
    {"S2OffThreshold", &clsKOV::S2OffThreshold, 900, -1000000, 1000000, false, 900, true},
    {"AnalogOutput", &clsKOV::AnalogOutput, 0, 0, 1, false, 0, true},
    {"AnalogMin", &clsKOV::AnalogMin, 1000, -1000000, 1000000, false, 1000, true},
    {"AnalogMax", &clsKOV::AnalogMax, 9000, -1000000, 1000000, false, 9000, true},
};

// What GetSetting returns for a key that is not there; no trimmed value can be it.
const std::string kAbsent = "\x01";

bool Valid(const KeyRule& rule, std::int32_t v) {
    return rule.Min == Any || (v >= rule.Min && v <= rule.Max) || (rule.MinusOne && v == -1);
}

// The value a value outside the range is replaced by. A node address keeps
// the device kind its sign says: any negative one is the serial device's
// -1, one above the Profibus range becomes address 0.
std::int32_t Repaired(const KeyRule& rule, std::int32_t v) {
    if (rule.Field == &clsKOV::NodeAddress) return v < 0 ? -1 : 0;
    return rule.Replacement;
}

// A whole decimal number of 32 bits: optional sign, digits, nothing else.
bool ParseWhole(const std::string& text, std::int32_t& value) {
    std::size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    if (i == text.size()) return false;
    long long v = 0;
    for (; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9') return false;
        v = v * 10 + (text[i] - '0');
        if (v > 1LL + INT32_MAX) return false;
    }
    if (negative) v = -v;
    if (v < INT32_MIN || v > INT32_MAX) return false;
    value = static_cast<std::int32_t>(v);
    return true;
}

bool ReadRule(const clsIni& ini, const KeyRule& rule, clsKOV& kov, ReadResult& result) {
    const std::string text = ini.GetSetting(Section, rule.Key, kAbsent);
    std::int32_t v = rule.Missing;
    if (text != kAbsent && !text.empty() && !ParseWhole(text, v)) {
        result.Status = ReadStatus::NotANumber;
        result.Key = rule.Key;
        result.Value = text;
        return false;
    }
    if (!Valid(rule, v)) {
        const std::int32_t replaced = Repaired(rule, v);
        result.Repairs.push_back({rule.Key, v, replaced});
        v = replaced;
    }
    kov.*rule.Field = v;
    return true;
}

// Whether the file can be opened for reading; the system's words when not.
bool CanOpen(const std::string& file, std::string& reason) {
    errno = 0;
    std::ifstream in(std::filesystem::u8path(file), std::ios::binary);
    if (in) return true;
    reason = std::generic_category().message(errno ? errno : EIO);
    return false;
}

}  // namespace

ReadResult ReadConfigFile(clsKOV& kov) {
    ReadResult result;
    const std::string& file = kov.Filename;
    const modSafeFile::FileInfo info = modSafeFile::Inspect(file);
    switch (info.State) {
        case modSafeFile::FileState::Missing: result.Status = ReadStatus::Missing; return result;
        case modSafeFile::FileState::NotAFile: result.Status = ReadStatus::NotAFile; return result;
        case modSafeFile::FileState::Unreachable:
            result.Status = ReadStatus::Unreadable;
            result.Reason = info.Reason;
            return result;
        case modSafeFile::FileState::Regular: break;
    }
    if (info.Size > MaxFileSize) {
        result.Status = ReadStatus::TooLarge;
        return result;
    }
    if (!CanOpen(file, result.Reason)) {
        result.Status = ReadStatus::Unreadable;
        return result;
    }

    clsIni ini;
    ini.Filename(file);
    clsKOV read(kov);
    const std::string description = ini.GetSetting(Section, "Description", kAbsent);
    read.Description = description == kAbsent ? std::string() : NormalizeDescription(description);
    if (read.Description.empty()) {
        result.Status = ReadStatus::NoConfiguration;
        return result;
    }
    for (const KeyRule& rule : kRules)
        if (!rule.SerialOnly && !ReadRule(ini, rule, read, result)) return result;
    // The kind follows the repaired address, so that the two always agree.
    read.DeviceType = DeviceTypeOf(read.NodeAddress);
    if (read.NodeAddress < 0)
        for (const KeyRule& rule : kRules)
            if (rule.SerialOnly && !ReadRule(ini, rule, read, result)) return result;
    kov = read;
    return result;
}

std::string ReadProblemText(const std::string& file, const ReadResult& r) {
    using namespace modConfigTexts;
    switch (r.Status) {
        case ReadStatus::Ok: return {};
        case ReadStatus::Missing: return Text(FileMissing, {file});
        case ReadStatus::NotAFile: return Text(FileIsFolder, {file});
        case ReadStatus::TooLarge: return Text(FileTooLarge, {file});
        case ReadStatus::Unreadable: return Text(FileUnreadable, {file, r.Reason});
        case ReadStatus::NoConfiguration: return Text(NoConfiguration, {file});
        case ReadStatus::NotANumber: return Text(NotANumber, {file, r.Key, r.Value});
    }
    return {};
}

std::vector<std::pair<std::string, std::string>> FileEntries(const clsKOV& kov) {
    std::vector<std::pair<std::string, std::string>> entries;
    entries.reserve(1 + std::size(kRules));
    entries.emplace_back("Description", DescriptionBytes(NormalizeDescription(kov.Description)));
    for (const KeyRule& rule : kRules) entries.emplace_back(rule.Key, std::to_string(kov.*rule.Field));
    return entries;
}

bool WriteConfigFile(const clsKOV& kov, std::string* error) {
    const std::string& file = kov.Filename;
    if (file.empty() || file == "Device") {
        if (error) *error = "no configuration file named";
        return false;
    }
    const auto entries = FileEntries(kov);
    const modSafeFile::FileInfo info = modSafeFile::Inspect(file);
    if (info.State == modSafeFile::FileState::Missing) {
        // A new file, laid out as the Windows program lays it out.
        std::string content = std::string("[") + Section + "]\r\n";
        for (const auto& entry : entries) content += entry.first + "=" + entry.second + "\r\n";
        return modSafeFile::ReplaceFile(file, content, error);
    }
    if (info.State == modSafeFile::FileState::NotAFile) {
        if (error) *error = file + ": not a file";
        return false;
    }
    // An existing file: its other lines stay; all keys go in one replacement.
    std::vector<clsIni::Setting> settings;
    settings.reserve(entries.size());
    for (const auto& entry : entries) settings.push_back({Section, entry.first, entry.second});
    clsIni ini;
    ini.Filename(file);
    return ini.WriteSettings(settings, error);
}

std::string NormalizeDescription(const std::string& text) {
    std::string s = modCodePage::IsValidUtf8(text) ? text : modCodePage::Cp1252ToUtf8(text);
    for (char& c : s)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = ' ';
    s = modFunctions::Trim(s);
    // At most MaxDescriptionChars characters, never cutting one in two.
    std::size_t chars = 0;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if ((static_cast<unsigned char>(s[i]) & 0xC0) == 0x80) continue;
        if (chars == MaxDescriptionChars) {
            s.resize(i);
            break;
        }
        ++chars;
    }
    return modFunctions::Trim(s);
}

std::string DescriptionBytes(const std::string& text) {
    bool lossless = false;
    const std::string bytes = modCodePage::Utf8ToCp1252(text, &lossless);
    if (!lossless || bytes == text) return text;
    // Bytes that happen to be valid UTF-8 would read back as other characters.
    return modCodePage::IsValidUtf8(bytes) ? text : bytes;
}

void CopyParameters(const clsKOV& from, clsKOV& to) {
    for (const KeyRule& rule : kRules) to.*rule.Field = from.*rule.Field;
}

std::string DeviceTypeOf(std::int32_t nodeAddress) { return nodeAddress >= 0 ? "Profibus" : "Serial"; }

bool InValidRanges(const clsKOV& kov) {
    for (const KeyRule& rule : kRules)
        if (!Valid(rule, kov.*rule.Field)) return false;
    return true;
}

}  // namespace modKOVFile
