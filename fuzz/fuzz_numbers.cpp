// Fuzz target: number texts (modFunctions::NumberText) and the number
// parser (modFunctions::ParseNumber).
//
// Input layout:
//   byte 0     bit 0: decimal separator ',' (set) or '.'
//   bytes 1..  the text for the parser; also, in steps of 8 bytes, up to
//              four doubles (native byte order) for the text round trip
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "FuzzCheck.h"
#include "modFunctions.h"

namespace {

bool SameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// NumberText(d) is a number text of the program, and reads back as d.
void RoundTrip(double d, char sep) {
    if (!std::isfinite(d)) return;
    const std::string t = modFunctions::NumberText(d);
    FUZZ_CHECK(!t.empty(), "empty number text");
    FUZZ_CHECK(t.find_first_not_of(std::string("0123456789E+-") + sep) == std::string::npos,
               "number text with a character other than digits, sign, exponent and separator");
    FUZZ_CHECK(t.find(sep) == t.rfind(sep), "number text with more than one decimal separator");
    if (d == 0) FUZZ_CHECK(t == "0", "zero is not written as 0");

    double r = 0;
    FUZZ_CHECK(modFunctions::ParseNumber(t, r), "NumberText gives a text ParseNumber refuses");
    FUZZ_CHECK(std::isfinite(r), "NumberText reads back as a number that is not finite");
    FUZZ_CHECK(std::fabs(r - d) <= 1e-14 * std::fabs(d), "NumberText reads back as a different number");

    double r2 = 0;
    FUZZ_CHECK(modFunctions::ParseNumber(" \t" + t + " ", r2) && SameBits(r, r2),
               "blanks around a number text change what it reads as");

    const std::string pattern = modFunctions::DecimalsPattern(d);
    FUZZ_CHECK(pattern == "0" || pattern.compare(0, 2, "0.") == 0, "DecimalsPattern is not 0 or 0.00...");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    const char sep = (data[0] & 1) ? ',' : '.';
    modFunctions::SetDecimalSeparator(sep);
    const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);

    // Arbitrary text: a number read is finite; a refusal leaves the value alone.
    const double untouched = -1234.5678;
    double v = untouched;
    if (modFunctions::ParseNumber(text, v)) {
        FUZZ_CHECK(std::isfinite(v), "ParseNumber accepted a number that is not finite");
        RoundTrip(v, sep);
    } else {
        FUZZ_CHECK(SameBits(v, untouched), "ParseNumber refused the text but changed the value");
    }

    for (std::size_t i = 0; i < 4 && 1 + 8 * (i + 1) <= size; ++i) {
        double d;
        std::memcpy(&d, data + 1 + 8 * i, sizeof d);
        RoundTrip(d, sep);
    }
    return 0;
}
