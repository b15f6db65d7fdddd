#include "modCodePage.h"

#include <cstdint>

namespace modCodePage {
namespace {

// Code points of the bytes 0x80..0x9F; the rest of the upper half is Latin-1.
const std::uint16_t kHigh[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
                                 0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
                                 0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

void AppendUtf8(std::string& out, std::uint32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

// The byte for code point `cp`, or -1 when the code page has none.
int ByteOf(std::uint32_t cp) {
    if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) return static_cast<int>(cp);
    for (int i = 0; i < 32; ++i)
        if (kHigh[i] == cp) return 0x80 + i;
    return -1;
}

// Decodes one UTF-8 sequence at `i`; its length in `n`, 0 when it is not valid.
std::uint32_t Decode(const std::string& s, std::size_t i, std::size_t& n) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    std::uint32_t cp;
    std::size_t more;
    if (c < 0x80) {
        n = 1;
        return c;
    } else if ((c & 0xE0) == 0xC0) {
        more = 1;
        cp = c & 0x1F;
    } else if ((c & 0xF0) == 0xE0) {
        more = 2;
        cp = c & 0x0F;
    } else if ((c & 0xF8) == 0xF0) {
        more = 3;
        cp = c & 0x07;
    } else {
        n = 0;
        return 0;
    }
    if (s.size() - i <= more) {
        n = 0;
        return 0;
    }
    for (std::size_t k = 1; k <= more; ++k) {
        const unsigned char d = static_cast<unsigned char>(s[i + k]);
        if ((d & 0xC0) != 0x80) {
            n = 0;
            return 0;
        }
        cp = (cp << 6) | (d & 0x3F);
    }
    // Overlong forms, surrogates and values beyond Unicode are not UTF-8.
    if ((more == 1 && cp < 0x80) || (more == 2 && cp < 0x800) || (more == 3 && cp < 0x10000) || cp > 0x10FFFF ||
        (cp >= 0xD800 && cp <= 0xDFFF)) {
        n = 0;
        return 0;
    }
    n = more + 1;
    return cp;
}

}  // namespace

std::string Cp1252ToUtf8(const std::string& bytes) {
    std::string out;
    out.reserve(bytes.size() + bytes.size() / 4);
    for (char ch : bytes) {
        const unsigned char c = static_cast<unsigned char>(ch);
        AppendUtf8(out, c >= 0x80 && c < 0xA0 ? kHigh[c - 0x80] : c);
    }
    return out;
}

std::string Utf8ToCp1252(const std::string& text, bool* lossless) {
    std::string out;
    out.reserve(text.size());
    bool exact = true;
    for (std::size_t i = 0; i < text.size();) {
        std::size_t n = 0;
        const std::uint32_t cp = Decode(text, i, n);
        const int byte = n ? ByteOf(cp) : -1;
        if (byte < 0) exact = false;
        out += byte < 0 ? '?' : static_cast<char>(byte);
        i += n ? n : 1;
    }
    if (lossless) *lossless = exact;
    return out;
}

bool IsValidUtf8(const std::string& bytes) {
    for (std::size_t i = 0; i < bytes.size();) {
        std::size_t n = 0;
        Decode(bytes, i, n);
        if (n == 0) return false;
        i += n;
    }
    return true;
}

}  // namespace modCodePage
