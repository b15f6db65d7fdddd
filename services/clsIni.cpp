#include "clsIni.h"
#include "modSafeFile.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>
#include <vector>

#ifdef _WIN32
#include <io.h>
#include "WindowsApi.h"
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "modAPI.h"
#include "modCodePage.h"
#include "modFunctions.h"

namespace fs = std::filesystem;

namespace {

// Result sizes of the profile reads: what fits a buffer of 64, 255 and 1024
// characters with its terminating NUL.
constexpr size_t NumberChars = 63;
constexpr size_t StringChars = 254;
constexpr size_t ListChars = 1023;

// An INI file larger than this is not an INI file; it is left alone.
constexpr std::uintmax_t MaxFileSize = 16u * 1024u * 1024u;

using modFunctions::Trim;

// Section and key names compare without case.
bool SameName(const std::string& a, const std::string& b) { return modFunctions::EqualIgnoringCase(a, b); }

// Text saved by 8-bit Windows editors is in the Windows-1252 code page.
std::string ToUtf8(const std::string& s) {
    return modCodePage::IsValidUtf8(s) ? s : modCodePage::Cp1252ToUtf8(s);
}

// The first `chars` characters of UTF-8 text; a character is never split.
std::string CutChars(const std::string& s, size_t chars) {
    size_t count = 0;
    for (size_t i = 0; i < s.size(); ++i) {
        if ((static_cast<unsigned char>(s[i]) & 0xC0) == 0x80) continue;  // continuation byte
        if (count == chars) return s.substr(0, i);
        ++count;
    }
    return s;
}

// One line of the file as the profile functions see it.
struct Line {
    enum Kind { Other, Section, Entry } kind = Other;
    std::string name;   // section name or key, trimmed, UTF-8
    std::string value;  // entry value, trimmed, UTF-8
    size_t begin = 0;   // byte range of the line in the file, without its line end
    size_t end = 0;
    size_t next = 0;    // start of the following line
};

struct Parsed {
    std::string bom;   // a leading UTF-8 byte-order mark, kept apart so it is no part of the first line
    std::string data;  // the file's bytes after it
    std::vector<Line> lines;
    std::string lineEnd;  // the file's first line end, for lines we add
};

Line ParseLine(const std::string& raw) {
    Line line;
    // A NUL ends the line's text, as it ends every string of the profile functions.
    std::string text = raw.substr(0, raw.find('\0'));
    text = ToUtf8(text);
    const std::string trimmed = Trim(text);
    if (trimmed.empty()) return line;
    if (trimmed[0] == ';' || trimmed[0] == '#') return line;  // comment
    if (trimmed[0] == '[') {
        const auto close = trimmed.find(']', 1);
        line.kind = Line::Section;
        line.name = Trim(trimmed.substr(1, close == std::string::npos ? std::string::npos : close - 1));
        return line;
    }
    const auto eq = text.find('=');
    if (eq == std::string::npos) return line;
    line.kind = Line::Entry;
    line.name = Trim(text.substr(0, eq));
    line.value = Trim(text.substr(eq + 1));
    if (line.name.empty()) line.kind = Line::Other;
    return line;
}

Parsed Parse(std::string data) {
    Parsed p;
    if (data.compare(0, 3, "\xEF\xBB\xBF") == 0) {
        p.bom = data.substr(0, 3);
        data.erase(0, 3);
    }
    p.data = std::move(data);
    const std::string& d = p.data;
    size_t pos = 0;
    while (pos < d.size()) {
        size_t end = d.find_first_of("\r\n", pos);
        size_t next;
        if (end == std::string::npos) {
            end = next = d.size();
        } else if (d[end] == '\r' && end + 1 < d.size() && d[end + 1] == '\n') {
            next = end + 2;
        } else {
            next = end + 1;
        }
        if (p.lineEnd.empty() && next > end) p.lineEnd = d.substr(end, next - end);
        Line line = ParseLine(d.substr(pos, end - pos));
        line.begin = pos;
        line.end = end;
        line.next = next;
        p.lines.push_back(std::move(line));
        pos = next;
    }
    return p;
}

enum class ReadResult { Ok, Missing, Failed };

std::string SystemText(int err) { return std::generic_category().message(err); }

// Why `filename` could not be used, for the caller's message.
void SetError(std::string* error, const std::string& filename, const std::string& why) {
    if (error) *error = filename + ": " + why;
}

ReadResult ReadWholeFile(const std::string& filename, std::string& data, std::string* error = nullptr) {
    std::error_code ec;
    const fs::path path = fs::u8path(filename);
    const auto status = fs::status(path, ec);
    if (status.type() == fs::file_type::not_found) return ReadResult::Missing;
    if (ec) {  // there may be a file we cannot see: do not replace it
        SetError(error, filename, ec.message());
        return ReadResult::Failed;
    }
    if (!fs::is_regular_file(status)) {
        SetError(error, filename, "not a file");
        return ReadResult::Failed;
    }
    const auto size = fs::file_size(path, ec);
    if (ec || size > MaxFileSize) {
        SetError(error, filename, ec ? ec.message() : std::string("too large for a settings file"));
        return ReadResult::Failed;
    }
    errno = 0;
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        SetError(error, filename, SystemText(errno ? errno : EIO));
        return ReadResult::Failed;
    }
    data.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (in.bad()) {
        SetError(error, filename, SystemText(EIO));
        return ReadResult::Failed;
    }
    return ReadResult::Ok;
}

// Index of the first section line named `section`, or -1.
long FindSection(const Parsed& p, const std::string& section) {
    for (size_t i = 0; i < p.lines.size(); ++i)
        if (p.lines[i].kind == Line::Section && SameName(p.lines[i].name, section)) return static_cast<long>(i);
    return -1;
}

// Index of the first entry `key` in the section starting at line `section`, or -1.
long FindKey(const Parsed& p, long section, const std::string& key) {
    for (size_t i = static_cast<size_t>(section) + 1; i < p.lines.size(); ++i) {
        if (p.lines[i].kind == Line::Section) break;
        if (p.lines[i].kind == Line::Entry && SameName(p.lines[i].name, key)) return static_cast<long>(i);
    }
    return -1;
}

// The value of Section/Key, trimmed; false when the file, section or key is missing.
bool ReadValue(const std::string& filename, const std::string& section, const std::string& key, std::string& value) {
    std::string data;
    if (ReadWholeFile(filename, data) != ReadResult::Ok) return false;
    const Parsed p = Parse(std::move(data));
    const long s = FindSection(p, section);
    if (s < 0) return false;
    const long k = FindKey(p, s, key);
    if (k < 0) return false;
    value = p.lines[static_cast<size_t>(k)].value;
    return true;
}

// Joins with NUL separators and cuts at the list buffer's size, never leaving a final NUL.
std::string JoinList(const std::vector<std::string>& items) {
    std::string out;
    for (const auto& item : items) {
        if (&item != &items.front()) out += '\0';
        out += item;
        if (out.size() > ListChars * 4) break;  // more than the cut can keep
    }
    out = CutChars(out, ListChars);
    while (!out.empty() && out.back() == '\0') out.pop_back();
    return out;
}

bool HasLineBreakOrNul(const std::string& s) { return s.find_first_of(std::string("\r\n\0", 3)) != std::string::npos; }


// Names that would read back as something else are refused.
bool ValidSection(const std::string& section) {
    return !section.empty() && !HasLineBreakOrNul(section) && section.find(']') == std::string::npos;
}

bool ValidKey(const std::string& key) {
    return !key.empty() && !HasLineBreakOrNul(key) && key.find('=') == std::string::npos && key[0] != '[' &&
           key[0] != ';' && key[0] != '#';
}

// The file's content (after a byte-order mark) with Section/Key set to `setting`;
// every other line stays as it was.
std::string ChangedBody(const Parsed& p, const std::string& section, const std::string& key, std::string setting) {
    // A value is one line: line breaks and NULs in it become blanks.
    for (char& c : setting)
        if (c == '\r' || c == '\n' || c == '\0') c = ' ';

    std::string eol = p.lineEnd;
    if (eol.empty()) {
#ifdef _WIN32
        eol = "\r\n";
#else
        eol = "\n";
#endif
    }
    const std::string entry = key + "=" + setting;
    const std::string& d = p.data;

    const long s = FindSection(p, section);
    const long k = s < 0 ? -1 : FindKey(p, s, key);
    if (k >= 0) {
        // Replace that one line, keeping its line end.
        const Line& line = p.lines[static_cast<size_t>(k)];
        return d.substr(0, line.begin) + entry + d.substr(line.end);
    }
    if (s >= 0) {
        // New key: after the section's last entry (or its header).
        size_t after = static_cast<size_t>(s);
        for (size_t i = after + 1; i < p.lines.size() && p.lines[i].kind != Line::Section; ++i)
            if (p.lines[i].kind == Line::Entry) after = i;
        const Line& line = p.lines[after];
        if (line.next == line.end) return d + eol + entry + eol;  // last line without a line end
        // A lone CR in front of a line that begins with LF would read as one
        // CR LF and swallow that (empty) line: end the new line with CR LF then.
        const std::string end = eol == "\r" && line.next < d.size() && d[line.next] == '\n' ? "\r\n" : eol;
        return d.substr(0, line.next) + entry + end + d.substr(line.next);
    }
    // New section at the end of the file.
    std::string out = d;
    if (!out.empty() && out.back() != '\n' && out.back() != '\r') out += eol;
    return out + "[" + section + "]" + eol + entry + eol;
}

// The whole file with Section/Key set to `setting`: every byte outside the
// written line stays, a byte-order mark included.
std::string WithSetting(std::string data, const std::string& section, const std::string& key,
                        const std::string& setting) {
    const Parsed p = Parse(std::move(data));
    return p.bom + ChangedBody(p, section, key, setting);
}

}  // namespace

clsIni::clsIni() { m_Filename = modAPI::ProgramFolder() + "/" + modAPI::ExecutableName() + ".ini"; }

void clsIni::Filename(const std::string& name) { m_Filename = Trim(name); }

int clsIni::GetSetting(const std::string& Section, const std::string& Key, int Default, bool FromIniFile) const {
    if (!FromIniFile) return Default;
    const std::string section = Trim(Section), key = Trim(Key);
    if (m_Filename.empty() || section.empty() || key.empty()) return Default;
    try {
        std::string text;
        if (!ReadValue(m_Filename, section, key, text)) return Default;
        text = CutChars(text, NumberChars);
        // The leading whole number: an optional sign, then decimal digits; 0 without digits.
        size_t i = 0;
        bool negative = false;
        if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
        long long v = 0;
        for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
            v = v * 10 + (text[i] - '0');
            if (v > static_cast<long long>(INT_MAX) + 1) v = static_cast<long long>(INT_MAX) + 1;
        }
        if (negative) v = -v;
        return static_cast<int>(std::clamp<long long>(v, INT_MIN, INT_MAX));
    } catch (...) {
        return Default;
    }
}

double clsIni::GetSetting(const std::string& Section, const std::string& Key, double Default, bool FromIniFile) const {
    if (!FromIniFile) return Default;
    const std::string section = Trim(Section), key = Trim(Key);
    if (m_Filename.empty() || section.empty() || key.empty()) return Default;
    try {
        std::string text;
        if (!ReadValue(m_Filename, section, key, text)) return Default;
        double v = Default;
        return modFunctions::ParseNumber(CutChars(text, NumberChars), v) ? v : Default;
    } catch (...) {
        return Default;
    }
}

std::string clsIni::GetSetting(const std::string& Section, const std::string& Key, const std::string& Default,
                               bool FromIniFile) const {
    if (!FromIniFile) return Default;
    const std::string section = Trim(Section), key = Trim(Key);
    if (m_Filename.empty() || section.empty() || key.empty()) return Default;
    try {
        std::string text;
        if (!ReadValue(m_Filename, section, key, text)) text = Trim(Default);
        return Trim(CutChars(text, StringChars));
    } catch (...) {
        return Default;
    }
}

std::string clsIni::GetSection(const std::string& Section) const {
    const std::string section = Trim(Section);
    if (m_Filename.empty() || section.empty()) return {};
    try {
        std::string data;
        if (ReadWholeFile(m_Filename, data) != ReadResult::Ok) return {};
        const Parsed p = Parse(std::move(data));
        const long s = FindSection(p, section);
        if (s < 0) return {};
        std::vector<std::string> entries;
        for (size_t i = static_cast<size_t>(s) + 1; i < p.lines.size() && p.lines[i].kind != Line::Section; ++i)
            if (p.lines[i].kind == Line::Entry) entries.push_back(p.lines[i].name + "=" + p.lines[i].value);
        return JoinList(entries);
    } catch (...) {
        return {};
    }
}

std::string clsIni::GetSectionNames() const {
    if (m_Filename.empty()) return {};
    try {
        std::string data;
        if (ReadWholeFile(m_Filename, data) != ReadResult::Ok) return {};
        const Parsed p = Parse(std::move(data));
        std::vector<std::string> names;
        for (const auto& line : p.lines) {
            if (line.kind != Line::Section || line.name.empty()) continue;
            const bool known = std::any_of(names.begin(), names.end(),
                                           [&](const std::string& n) { return SameName(n, line.name); });
            if (!known) names.push_back(line.name);
        }
        return JoinList(names);
    } catch (...) {
        return {};
    }
}

bool clsIni::WriteSetting(const std::string& Section, const std::string& Key, const std::string& Setting,
                          bool ToIniFile) {
    if (!ToIniFile) return false;  // there is no per-user settings store
    return WriteSettings(Section, {{Key, Setting}});
}

bool clsIni::WriteSettings(const std::string& Section,
                           const std::vector<std::pair<std::string, std::string>>& Settings) {
    std::vector<Setting> settings;
    settings.reserve(Settings.size());
    for (const auto& setting : Settings) settings.push_back({Section, setting.first, setting.second});
    return WriteSettings(settings);
}

bool clsIni::WriteSettings(const std::vector<Setting>& Settings, std::string* error) {
    if (m_Filename.empty()) {
        if (error) *error = "no settings file named";
        return false;
    }
    for (const auto& setting : Settings) {
        if (!ValidSection(Trim(setting.Section))) {
            SetError(error, m_Filename, "unusable section name \"" + setting.Section + "\"");
            return false;
        }
        if (!ValidKey(Trim(setting.Key))) {
            SetError(error, m_Filename, "unusable key name \"" + setting.Key + "\"");
            return false;
        }
    }
    try {
        fs::path target = fs::u8path(m_Filename);
        std::error_code ec;
        if (fs::is_symlink(fs::symlink_status(target, ec))) {
            target = fs::canonical(target, ec);  // replace the file the link points to, keep the link
            if (ec) {
                SetError(error, m_Filename, ec.message());
                return false;
            }
        }

        std::string original;
        if (ReadWholeFile(target.u8string(), original, error) == ReadResult::Failed)
            return false;  // never replace a file we could not read
        std::string content = original;
        for (const auto& setting : Settings)
            content = WithSetting(std::move(content), Trim(setting.Section), Trim(setting.Key), setting.Value);
        if (content == original) return true;  // nothing to change
        return modSafeFile::ReplaceFile(target.u8string(), content, error);
    } catch (const std::exception& e) {
        SetError(error, m_Filename, e.what());
        return false;
    } catch (...) {
        SetError(error, m_Filename, "unexpected failure");
        return false;
    }
}
