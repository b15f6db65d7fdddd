#include "modFunctions.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cctype>
#include <cstdlib>
#include <limits>
#include <locale>

#include "TextTable.h"

namespace modFunctions {
namespace {
int g_offset = 0;
char g_separator = 0;  // 0: not known yet, asked from the user's locale on first use

char LocaleSeparator() {
    try {
        const std::locale user("");
        const char c = std::use_facet<std::numpunct<char>>(user).decimal_point();
        return c == ',' ? ',' : '.';
    } catch (...) {
        return '.';  // the environment names a locale that is not installed
    }
}

// Whether "d.ddd...E<exponent>" reads back as a finite double.
bool ReadsBackFinite(const std::string& digits, int exponent) {
    if (exponent < std::numeric_limits<double>::max_exponent10) return true;
    const std::string text = digits.substr(0, 1) + "." + digits.substr(1) + "e" + std::to_string(exponent);
    double v = 0;
    const auto result = std::from_chars(text.data(), text.data() + text.size(), v, std::chars_format::scientific);
    return result.ec == std::errc() && std::isfinite(v);
}
}  // namespace

std::string Trim(const std::string& text, const char* blanks) {
    const auto first = text.find_first_not_of(blanks);
    if (first == std::string::npos) return {};
    const auto last = text.find_last_not_of(blanks);
    return text.substr(first, last - first + 1);
}

bool EqualIgnoringCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        unsigned char x = static_cast<unsigned char>(a[i]);
        unsigned char y = static_cast<unsigned char>(b[i]);
        if (x >= 'A' && x <= 'Z') x = static_cast<unsigned char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = static_cast<unsigned char>(y - 'A' + 'a');
        if (x != y) return false;
    }
    return true;
}

int LanguageOffset() { return g_offset; }
void SetLanguageOffset(int offset) { g_offset = offset; }

std::string GetText(int id) {
    const int at = id >= 1000 ? id + g_offset : id;
    const char* text = TextTable::Lookup(at);
    return text ? std::string(text) : std::string();
}

char DecimalSeparator() {
    if (g_separator == 0) g_separator = LocaleSeparator();
    return g_separator;
}

void SetDecimalSeparator(char separator) { g_separator = separator; }

// Fifteen significant digits, trailing zeros dropped. Plain decimal notation
// from 1E-4 up to (not including) 1E15, exponent notation ("1E+15", "2,5E-05")
// outside that range.
std::string NumberText(double x) {
    if (std::isnan(x)) return "NaN";
    if (std::isinf(x)) return x < 0 ? "-Inf" : "Inf";
    if (x == 0) return "0";  // also for -0

    // Rounded to 15 significant digits: "d.dddddddddddddde[+-]xx".
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.14e", std::fabs(x));
    std::string digits;
    const char* p = buf;
    for (; *p && *p != 'e'; ++p)
        if (*p >= '0' && *p <= '9') digits += *p;
    const int exponent = *p == 'e' ? std::atoi(p + 1) : 0;
    if (!ReadsBackFinite(digits, exponent)) {
        // Rounding carried the largest magnitudes past the largest double
        // ("1.79769313486232E+308" would overflow when read): take the
        // 15 digits rounded toward zero instead, which lie within range.
        for (auto d = digits.rbegin(); d != digits.rend(); ++d) {
            if (*d != '0') {
                --*d;
                break;
            }
            *d = '9';
        }
    }
    while (digits.size() > 1 && digits.back() == '0') digits.pop_back();

    const char sep = DecimalSeparator();
    std::string text = x < 0 ? "-" : "";
    if (exponent >= 15 || exponent < -4) {
        text += digits[0];
        if (digits.size() > 1) text += sep + digits.substr(1);
        char e[16];
        std::snprintf(e, sizeof e, "E%c%02d", exponent < 0 ? '-' : '+', std::abs(exponent));
        return text + e;
    }
    if (exponent < 0) return text + "0" + sep + std::string(static_cast<size_t>(-exponent - 1), '0') + digits;
    const size_t whole = static_cast<size_t>(exponent) + 1;
    if (digits.size() <= whole) return text + digits + std::string(whole - digits.size(), '0');
    return text + digits.substr(0, whole) + sep + digits.substr(whole);
}

bool ParseNumber(const std::string& text, double& value) {
    const std::string t = Trim(text);
    if (t.empty()) return false;

    const char sep = DecimalSeparator();
    const char other = sep == ',' ? '.' : ',';
    size_t sepCount = 0, otherCount = 0;
    for (char c : t) {
        sepCount += c == sep;
        otherCount += c == other;
    }
    char decimal = sep;
    if (sepCount == 0 && otherCount == 1) decimal = other;
    if (sepCount > 1) return false;

    // Normalise to a plain C number: '.' decimal point, no grouping.
    std::string n;
    bool seenDecimal = false, seenExponent = false;
    for (char c : t) {
        if (c == decimal) {
            n += '.';
            seenDecimal = true;
        } else if (c == sep || c == other) {
            if (seenDecimal || seenExponent) return false;  // grouping only in the whole part
        } else {
            if (c == 'e' || c == 'E') seenExponent = true;
            n += c;
        }
    }
    const char* begin = n.data();
    const char* end = n.data() + n.size();
    const bool plus = begin != end && *begin == '+';
    if (plus) ++begin;  // from_chars takes only '-'
    const bool startsNumber = begin != end && (std::isdigit(static_cast<unsigned char>(*begin)) ||
                                               (*begin == '-' && !plus) || *begin == '.');
    if (!startsNumber) return false;
    double v = 0;
    const auto result = std::from_chars(begin, end, v, std::chars_format::general);
    if (result.ec != std::errc() || result.ptr != end || !std::isfinite(v)) return false;
    value = v;
    return true;
}

std::string DecimalsPattern(double x) {
    // Whichever of ',' and '.' comes last counts as the decimal separator.
    const std::string text = NumberText(x);
    const auto comma = text.rfind(',');
    const auto dot = text.rfind('.');
    std::string::size_type p = std::string::npos;
    if (comma != std::string::npos) p = comma;
    if (dot != std::string::npos && (p == std::string::npos || dot > p)) p = dot;
    if (p == std::string::npos) return "0";
    return "0." + std::string(text.size() - p - 1, '0');
}

}  // namespace modFunctions
