// Fuzz target: the recording file reader (modRecFile). Whatever the bytes,
// loading them hands over lines in file order until the end or the first
// unreadable line, and every line handed over has a time of day within its
// date and a distance that, written again, reads back the same.
//
// Input layout: the whole input is the contents of a *.rec file.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include "FuzzCheck.h"
#include "modAPI.h"
#include "modKOVComm.h"
#include "modRecFile.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    static const double earliest = modAPI::DayCount(100, 1, 1, 0, 0, 0, 0);
    static const double latest = modAPI::DayCount(9999, 12, 31, 23, 59, 59, 999);

    std::vector<modRecFile::Line> lines;
    std::istringstream in(text);
    const modRecFile::LoadResult result =
        modRecFile::Load(in, [&](const modRecFile::Line& line) { lines.push_back(line); });

    FUZZ_CHECK(result.Lines == static_cast<long long>(lines.size()), "lines counted and handed over differ");
    FUZZ_CHECK(result.Ok == (result.ErrorLine == 0), "an error without its line, or a line without error");
    FUZZ_CHECK(!result.Cancelled && result.Opened, "a stream load cancelled or not opened");
    if (!result.Ok) FUZZ_CHECK(result.ErrorLine > result.Lines, "the unreadable line lies before lines handed over");
    if (!lines.empty()) {
        FUZZ_CHECK(result.First == lines.front().Time && result.Last == lines.back().Time, "first or last time wrong");
    }

    // Each line on its own: what Load handed over is what ParseLine reads.
    std::istringstream again(text);
    std::string raw;
    size_t next = 0;
    while (next < lines.size() && std::getline(again, raw)) {
        if (!raw.empty() && raw.back() == '\r') raw.pop_back();
        if (raw.find_first_not_of(" \t") == std::string::npos) continue;
        modRecFile::Line line;
        FUZZ_CHECK(modRecFile::ParseLine(raw, line), "a line Load took is refused on its own");
        FUZZ_CHECK(line.Time == lines[next].Time && line.Distance == lines[next].Distance,
                   "a line reads differently on its own");
        ++next;
    }

    for (const modRecFile::Line& line : lines) {
        FUZZ_CHECK(std::isfinite(line.Time), "a time that is not a number");
        FUZZ_CHECK(line.Time >= earliest && line.Time <= latest, "a date outside the years 100 to 9999");
        // Written again and read back: the same millisecond and distance.
        const std::string written = modRecFile::FormatLine(line.Time, line.Distance, "25 C");
        FUZZ_CHECK(written.find_first_of("\r\n") == std::string::npos, "a written record spans lines");
        modRecFile::Line back;
        FUZZ_CHECK(modRecFile::ParseLine(written, back), "a written record does not read back");
        FUZZ_CHECK(modRecFile::DateToMs(back.Time) == modRecFile::DateToMs(line.Time), "the time changed");
        const std::int32_t expected = line.Distance == 0 ? modKOVComm::NoEchoValue : line.Distance;
        FUZZ_CHECK(back.Distance == expected, "the distance changed");
    }

    // The first line alone, whatever it is, must not upset the parser.
    modRecFile::Line single;
    const std::string first = text.substr(0, text.find('\n'));
    if (modRecFile::ParseLine(first, single)) FUZZ_CHECK(std::isfinite(single.Time), "a time that is not a number");
    return 0;
}
