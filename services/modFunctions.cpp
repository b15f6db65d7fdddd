#include "modFunctions.h"

#include <cstdio>

#include "TextTable.h"

namespace modFunctions {
namespace {
int g_offset = 0;
char g_separator = '.';
}  // namespace

int LanguageOffset() { return g_offset; }
void SetLanguageOffset(int offset) { g_offset = offset; }

std::string GetText(int id) {
    const int at = id >= 1000 ? id + g_offset : id;
    const char* text = TextTable::Lookup(at);
    return text ? std::string(text) : std::string();
}

char DecimalSeparator() { return g_separator; }
void SetDecimalSeparator(char separator) { g_separator = separator; }

std::string NumberText(double x) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.15g", x);
    std::string s(buf);
    for (char& c : s)
        if (c == '.') c = g_separator;
    return s;
}

std::string DecimalsPattern(double x) {
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
