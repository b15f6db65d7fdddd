// Fuzz target: the information block ("Type:" ... "end") and the text
// helpers of the decoder, on arbitrary text.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>

#include "FuzzCheck.h"
#include "clsKOV.h"
#include "modKOVComm.h"

namespace {

bool IsTrimmed(const std::string& s) {
    return s.empty() || (s.front() != ' ' && s.back() != ' ');
}

// A text of decimal digits only, short enough for a 32-bit value.
bool PlainNumber(const std::string& s, std::int32_t* value) {
    if (s.empty() || s.size() > 9 || s.find_first_not_of("0123456789") != std::string::npos) return false;
    *value = static_cast<std::int32_t>(std::stol(s));
    return true;
}

void CheckInfoValue(const std::string& text, const std::string& key) {
    const std::string v = modKOVComm::InfoValue(text, key);
    if (v.empty()) return;
    FUZZ_CHECK(text.find(key) != std::string::npos, "InfoValue without its key");
    FUZZ_CHECK(text.find(v) != std::string::npos, "InfoValue that is not part of the text");
    FUZZ_CHECK(IsTrimmed(v), "InfoValue not trimmed");
    FUZZ_CHECK(v.find("\r\n") == std::string::npos, "InfoValue runs over a line end");
}

// The identity and parameter fields after ParseInfoBlock of `block`.
void CheckParsed(const clsKOV& link, const std::string& block) {
    FUZZ_CHECK(link.DeviceType == modKOVComm::InfoValue(block, "Type:"), "DeviceType is not the Type: line");
    FUZZ_CHECK(link.Attenuator == modKOVComm::InfoValue(block, "Attenuator:"),
               "Attenuator is not the Attenuator: line");
    if (link.DeviceType == "Serial") FUZZ_CHECK(link.NodeAddress == -1, "serial device with a node address");
    const bool rainFilter = link.Attenuator.find('E') != std::string::npos;
    if (!rainFilter) FUZZ_CHECK(link.RainFilter == -1, "rain filter on a device without one");
    FUZZ_CHECK(modKOVComm::ConfigurationRead, "block parsed but ConfigurationRead not set");

    // A plain number in a parameter line is taken as it stands.
    struct Field {
        const char* key;
        std::int32_t value;
    };
    const Field fields[] = {{"101:", link.OutputFormat}, {"111:", link.DistanceUnit}, {"601:", link.Baudrate},
                            {"301:", link.AverageDepth}, {"401:", link.AnalogMin},    {"701:", link.Offset},
                            {"802:", link.AirPressure}};
    for (const Field& f : fields) {
        std::int32_t expected;
        if (PlainNumber(modKOVComm::InfoValue(block, f.key), &expected))
            FUZZ_CHECK(f.value == expected, "a plain parameter number was not taken over");
    }
    std::int32_t rain;
    if (rainFilter && PlainNumber(modKOVComm::InfoValue(block, "351:"), &rain))
        FUZZ_CHECK(link.RainFilter == rain, "rain filter number was not taken over");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);

    // The block: from "Type:" up to the first "end" behind it.
    const std::string block = modKOVComm::ExtractInfoBlock(text);
    if (!block.empty()) {
        FUZZ_CHECK(block.compare(0, 5, "Type:") == 0, "block does not start with Type:");
        FUZZ_CHECK(text.find(block + "end") != std::string::npos, "block is not followed by end in the text");
        FUZZ_CHECK(block.find("end", 5) == std::string::npos, "block runs past its end");
    }

    for (const char* key : {"Type:", "Attenuator:", "Serial-No:", "Temperature:", "101:", "306:", "3 06:", "610:"})
        CheckInfoValue(text, key);

    {
        clsKOV link;
        modKOVComm::ParseInfoBlock(link, block);
        CheckParsed(link, block);
    }
    {
        // The whole text as a block, on a link that already has a rain filter and a node address.
        clsKOV link;
        link.RainFilter = 1;
        link.NodeAddress = 7;
        modKOVComm::ParseInfoBlock(link, text);
        CheckParsed(link, text);
    }

    FUZZ_CHECK(std::isfinite(modKOVComm::LeadingNumber(text)), "LeadingNumber is not finite");
    FUZZ_CHECK(modKOVComm::ByteAt(0, text) == 0 && modKOVComm::ByteAt(static_cast<int>(size) + 1, text) == 0,
               "ByteAt outside the text");
    if (size > 0)
        FUZZ_CHECK(modKOVComm::ByteAt(1, text) == data[0], "ByteAt(1) is not the first byte");

    // The line extractors: what they cut out is the sensor's text, what they
    // leave is the end of the text.
    {
        std::string rest = text;
        const std::string t = modKOVComm::ExtractTemperature(rest);
        FUZZ_CHECK(text.find(t) != std::string::npos, "temperature text that is not in the input");
        FUZZ_CHECK(text.compare(text.size() - rest.size(), rest.size(), rest) == 0,
                   "ExtractTemperature leaves something other than the end of the text");
        if (!t.empty()) FUZZ_CHECK(t.find(" C,") != std::string::npos, "temperature text without C,");
    }
    {
        clsKOV link;
        std::string rest = text;
        const std::string d = modKOVComm::ExtractAsciiDistance(link, rest);
        if (d != "No Echo" && d != "TempError")
            FUZZ_CHECK(text.find(d) != std::string::npos, "distance text that is not in the input");
        FUZZ_CHECK(d.find("\r\n") == std::string::npos, "distance text over a line end");
        FUZZ_CHECK(text.compare(text.size() - rest.size(), rest.size(), rest) == 0,
                   "ExtractAsciiDistance leaves something other than the end of the text");
    }
    return 0;
}
