// Fuzz target: the INI access (clsIni) on an arbitrary file. The file is
// read through every reading function, then one key is written, and the
// write must have changed nothing but that key's line (or added the key,
// or the section and the key), and the key must read back as written.
//
// Input layout:
//   byte 0  bits 0-1: what is written: 0 a key that is there, 1 a new key in
//           a section that is there, 2 a key in a new section, 3 a key that
//           is there, named in other case with blanks around;
//           bit 7: the value ends in non-ASCII text
//   byte 1  which section (index into the section names)
//   byte 2  which key (index into the section's entries)
//   byte 3  value length (value % 48), then that many bytes of value
//           (printable ASCII and tabs)
//   rest    the file
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>
#include <vector>

#include "FuzzCheck.h"
#include "FuzzTempFolder.h"
#include "clsIni.h"

namespace fs = std::filesystem;

namespace {

const char* const Blanks = " \t\r\n\v\f";
const std::string Bom = "\xEF\xBB\xBF";
constexpr std::size_t MaxNames = 8;

std::string Trim(const std::string& s) {
    const auto first = s.find_first_not_of(Blanks);
    if (first == std::string::npos) return {};
    return s.substr(first, s.find_last_not_of(Blanks) - first + 1);
}

std::vector<std::string> SplitNul(const std::string& list) {
    std::vector<std::string> items;
    if (list.empty()) return items;
    std::size_t pos = 0;
    for (;;) {
        const std::size_t nul = list.find('\0', pos);
        items.push_back(list.substr(pos, nul == std::string::npos ? std::string::npos : nul - pos));
        if (nul == std::string::npos) break;
        pos = nul + 1;
    }
    return items;
}

std::size_t Utf8Chars(const std::string& s) {
    std::size_t n = 0;
    for (char c : s) n += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    return n;
}

// Lead bytes followed by the right number of continuation bytes.
bool ValidUtf8(const std::string& s) {
    std::size_t i = 0;
    while (i < s.size()) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        std::size_t n;
        if (c < 0x80) n = 0;
        else if ((c & 0xE0) == 0xC0) n = 1;
        else if ((c & 0xF0) == 0xE0) n = 2;
        else if ((c & 0xF8) == 0xF0) n = 3;
        else return false;
        if (s.size() - i <= n) return false;
        for (std::size_t k = 1; k <= n; ++k)
            if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return false;
        i += n + 1;
    }
    return true;
}

std::string Lower(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return s;
}

std::string OtherCase(std::string s) {
    for (char& c : s) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        else if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return s;
}

// One line of the file with its line end ("\r\n", "\n", "\r" or "" at the end).
struct TextLine {
    std::string text, end;
    bool operator==(const TextLine& o) const { return text == o.text && end == o.end; }
};

std::vector<TextLine> SplitLines(const std::string& d) {
    std::vector<TextLine> lines;
    std::size_t pos = 0;
    while (pos < d.size()) {
        const std::size_t end = d.find_first_of("\r\n", pos);
        if (end == std::string::npos) {
            lines.push_back({d.substr(pos), ""});
            break;
        }
        const std::size_t next = d.compare(end, 2, "\r\n") == 0 ? end + 2 : end + 1;
        lines.push_back({d.substr(pos, end - pos), d.substr(end, next - end)});
        pos = next;
    }
    return lines;
}

bool IsLineEnd(const std::string& e) { return e == "\r\n" || e == "\n" || e == "\r"; }

std::string ReadFile(const std::string& name) {
    std::ifstream in(name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFile(const std::string& name, const std::string& content) {
    std::ofstream out(name, std::ios::binary | std::ios::trunc);
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
    out.close();
    FUZZ_CHECK(out.good(), "cannot write the input file");
}

const std::string& Folder() { return fuzzsupport::TempFolder("fuzz_ini"); }

// What the writer refuses: names that would read back as something else.
bool WritableSection(const std::string& s) {
    return !s.empty() && s.find_first_of(std::string("]\r\n\0", 4)) == std::string::npos;
}
bool WritableKey(const std::string& k) {
    return !k.empty() && k.find_first_of(std::string("=\r\n\0", 4)) == std::string::npos && k[0] != '[' &&
           k[0] != ';' && k[0] != '#';
}

// Every reading function over the whole file.
void ReadAll(const clsIni& ini) {
    const std::string names = ini.GetSectionNames();
    FUZZ_CHECK(Utf8Chars(names) <= 1023, "section list longer than its buffer");
    FUZZ_CHECK(names.empty() || names.back() != '\0', "section list ends in a separator");
    const std::vector<std::string> sections = SplitNul(names);
    for (std::size_t i = 0; i < sections.size() && i < MaxNames; ++i) {
        FUZZ_CHECK(!sections[i].empty(), "empty section name in the list");
        for (std::size_t j = 0; j < i; ++j)
            FUZZ_CHECK(Lower(sections[i]) != Lower(sections[j]), "section listed twice");
        const std::string list = ini.GetSection(sections[i]);
        FUZZ_CHECK(Utf8Chars(list) <= 1023, "entry list longer than its buffer");
        const std::vector<std::string> entries = SplitNul(list);
        std::vector<std::string> seen;
        for (std::size_t k = 0; k < entries.size() && k < MaxNames; ++k) {
            const std::size_t eq = entries[k].find('=');
            if (eq == std::string::npos) continue;  // the cut at the end of the list
            const std::string key = entries[k].substr(0, eq), value = entries[k].substr(eq + 1);
            const std::string got = ini.GetSetting(sections[i], key, "\x01");
            FUZZ_CHECK(ValidUtf8(got), "a value that is not UTF-8");
            FUZZ_CHECK(Utf8Chars(got) <= 254, "a value longer than its buffer");
            FUZZ_CHECK(got == Trim(got), "a value not trimmed");
            // The first entry of a name is the one read; a complete entry
            // (not the last of the list, which may be cut) reads back whole.
            bool first = true;
            for (const auto& s : seen) first = first && Lower(s) != Lower(key);
            seen.push_back(key);
            if (first && k + 1 < entries.size() && Utf8Chars(value) <= 254)
                FUZZ_CHECK(got == value, "GetSetting and GetSection disagree on a value");
            (void)ini.GetSetting(sections[i], key, -1);
            (void)ini.GetSetting(sections[i], key, -1.5);
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 4) return 0;
    const int what = data[0] & 3;
    const bool utf8Value = (data[0] & 0x80) != 0;
    const std::uint8_t sectionIndex = data[1], keyIndex = data[2];
    std::size_t pos = 4;
    std::string value;
    for (std::size_t n = data[3] % 48; n > 0 && pos < size; --n, ++pos) {
        const int c = data[pos] % 96;
        value += c == 95 ? '\t' : static_cast<char>(0x20 + c);
    }
    if (utf8Value) value += "\xC3\xA4\xE2\x82\xAC";  // "ä€"
    const std::string original(reinterpret_cast<const char*>(data + pos), size - pos);

    const std::string file = Folder() + "/fuzz.ini";
    WriteFile(file, original);
    clsIni ini;
    ini.Filename(file);
    ReadAll(ini);

    // The key to write.
    const std::vector<std::string> sections = SplitNul(ini.GetSectionNames());
    std::string section = "Fuzz Section", key = "FuzzKey";
    if (what != 2 && !sections.empty()) {
        section = sections[sectionIndex % sections.size()];
        const std::vector<std::string> entries = SplitNul(ini.GetSection(section));
        if (what == 1 || entries.empty()) {
            key = "Key" + std::to_string(keyIndex);
        } else {
            const std::string& entry = entries[keyIndex % entries.size()];
            key = entry.substr(0, entry.find('='));
        }
    } else if (what == 2) {
        section = "New Section " + std::to_string(sectionIndex);
    }
    if (what == 3) {
        section = " \t" + OtherCase(section) + " ";
        key = "  " + OtherCase(key) + "\t";
    }

    const bool existed = ini.GetSetting(section, key, "\x01") != "\x01" || ini.GetSetting(section, key, "\x02") != "\x02";
    const bool written = ini.WriteSetting(section, key, value);
    const std::string after = ReadFile(file);
    if (!written) {
        FUZZ_CHECK(!(WritableSection(Trim(section)) && WritableKey(Trim(key))), "a valid key could not be written");
        FUZZ_CHECK(after == original, "a refused write changed the file");
        return 0;
    }

    // A byte-order mark stays, and none is added.
    const bool bom = original.compare(0, 3, Bom) == 0;
    FUZZ_CHECK(bom == (after.compare(0, 3, Bom) == 0), "the write dropped or added the byte-order mark");
    const std::vector<TextLine> o = SplitLines(bom ? original.substr(3) : original);
    const std::vector<TextLine> n = SplitLines(after.compare(0, 3, Bom) == 0 ? after.substr(3) : after);

    // Lines in common at the start (the last line of the file may have got
    // a line end, so that a line can follow it) and at the end.
    std::size_t a = 0;
    while (a < o.size() && a < n.size() &&
           (o[a] == n[a] ||
            (a + 1 == o.size() && o[a].text == n[a].text && o[a].end.empty() && IsLineEnd(n[a].end))))
        ++a;
    std::size_t b = 0;
    while (b < o.size() - a && b < n.size() - a && o[o.size() - 1 - b] == n[n.size() - 1 - b]) ++b;
    const std::size_t removed = o.size() - a - b, added = n.size() - a - b;

    const std::string entry = Trim(key) + "=" + value;
    if (existed) {
        if (after != original) {
            FUZZ_CHECK(removed == 1 && added == 1, "replacing a key changed other lines");
            FUZZ_CHECK(n[a].text == entry, "the replaced line is not key=value");
            FUZZ_CHECK(n[a].end == o[a].end, "the replaced line lost its line end");
        }
    } else {
        FUZZ_CHECK(removed == 0, "adding a key changed other lines");
        FUZZ_CHECK(added == 1 || added == 2, "adding a key added more than the key and its section");
        if (added == 2) FUZZ_CHECK(n[a].text == "[" + Trim(section) + "]", "the added section line is wrong");
        FUZZ_CHECK(n[a + added - 1].text == entry, "the added line is not key=value");
        for (std::size_t i = a; i < a + added; ++i) FUZZ_CHECK(IsLineEnd(n[i].end), "an added line without a line end");
    }

    FUZZ_CHECK(ini.GetSetting(section, key, "\x01") == Trim(value), "the written value does not read back");
    ReadAll(ini);
    return 0;
}
