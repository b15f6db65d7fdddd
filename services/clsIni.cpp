#include "clsIni.h"
#include "modSafeFile.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdio>
#include <ctime>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>
#include <unordered_map>
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

constexpr std::uintmax_t MaxFileSize = clsIni::MaxFileSize;

// A file whose last change lies less than this before it was read may
// change again without its times showing it (times in coarse steps: a few
// milliseconds on Linux, two seconds on FAT sticks).
constexpr std::int64_t UnsettledNs = 3'000'000'000;

using modFunctions::Trim;

// Section and key names compare without case.
bool SameName(const std::string& a, const std::string& b) { return modFunctions::EqualIgnoringCase(a, b); }

// A name as the look-up tables hold it: ASCII letters in lower case, the
// same folding as SameName.
std::string Folded(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return s;
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
    std::string bytes;  // entry value, trimmed, as the bytes in the file (when they differ from value)
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
    const std::string bytes = raw.substr(0, raw.find('\0'));
    const bool utf8 = modCodePage::IsValidUtf8(bytes);
    const std::string text = utf8 ? bytes : modCodePage::Cp1252ToUtf8(bytes);
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
    // ('=' is the same byte in both code pages, so the key ends at the same '=')
    if (!utf8) line.bytes = Trim(bytes.substr(bytes.find('=') + 1));
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

// What tells one version of a file from another without reading it.
struct Stamp {
    std::uintmax_t size = 0;
    std::int64_t modifiedNs = 0;  // on the scale of NowNs
    std::int64_t changedNs = 0;
    std::uint64_t device = 0, inode = 0;
    bool operator==(const Stamp& o) const {
        return size == o.size && modifiedNs == o.modifiedNs && changedNs == o.changedNs && device == o.device &&
               inode == o.inode;
    }
};

#ifdef _WIN32
std::int64_t FileTimeNs(const FILETIME& t) {
    return static_cast<std::int64_t>((static_cast<std::uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime) * 100;
}
std::int64_t NowNs() {
    FILETIME now{};
    GetSystemTimeAsFileTime(&now);
    return FileTimeNs(now);
}
// Ok: a file (a link to one counts); Missing; Failed: something else, or
// nothing that can be looked at.
ReadResult StampOf(const std::string& filename, Stamp& stamp) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(modAPI::Utf8ToWide(filename).c_str(), GetFileExInfoStandard, &data)) {
        const DWORD code = GetLastError();
        return code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND ? ReadResult::Missing : ReadResult::Failed;
    }
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return ReadResult::Failed;
    stamp.size = (static_cast<std::uintmax_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    stamp.modifiedNs = FileTimeNs(data.ftLastWriteTime);
    stamp.changedNs = FileTimeNs(data.ftCreationTime);
    return ReadResult::Ok;
}
#else
std::int64_t Ns(const timespec& t) { return static_cast<std::int64_t>(t.tv_sec) * 1'000'000'000 + t.tv_nsec; }
std::int64_t NowNs() {
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    return Ns(now);
}
ReadResult StampOf(const std::string& filename, Stamp& stamp) {
    struct stat st {};
    if (::stat(filename.c_str(), &st) != 0) return errno == ENOENT ? ReadResult::Missing : ReadResult::Failed;
    if (!S_ISREG(st.st_mode)) return ReadResult::Failed;
    stamp.size = static_cast<std::uintmax_t>(st.st_size);
    stamp.modifiedNs = Ns(st.st_mtim);
    stamp.changedNs = Ns(st.st_ctim);
    stamp.device = static_cast<std::uint64_t>(st.st_dev);
    stamp.inode = static_cast<std::uint64_t>(st.st_ino);
    return ReadResult::Ok;
}
#endif

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
    // In blocks (the file may have grown since its size was taken).
    data.clear();
    std::size_t have = 0;
    for (std::size_t block = static_cast<std::size_t>(size) + 1; in; block = 64 * 1024) {
        data.resize(have + block);
        in.read(&data[have], static_cast<std::streamsize>(block));
        have += static_cast<std::size_t>(in.gcount());
    }
    data.resize(have);
    if (in.bad() || have > MaxFileSize) {
        SetError(error, filename, in.bad() ? SystemText(EIO) : std::string("too large for a settings file"));
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

struct clsIni::Snapshot {
    std::string filename;
    Stamp stamp;
    // Changed long enough before it was read that a later change shows in
    // its stamp; until then every use compares the bytes first.
    mutable bool settled = false;
    Parsed parsed;
    std::unordered_map<std::string, size_t> sections;  // folded name -> its first section line
    // Per section line looked up so far: folded key -> its first entry line.
    mutable std::unordered_map<size_t, std::unordered_map<std::string, size_t>> keys;

    // Line of the first entry `key` in the section starting at line `section`, or npos.
    size_t FindKey(size_t section, const std::string& key) const {
        auto known = keys.find(section);
        if (known == keys.end()) {
            known = keys.emplace(section, std::unordered_map<std::string, size_t>()).first;
            const std::vector<Line>& lines = parsed.lines;
            for (size_t i = section + 1; i < lines.size() && lines[i].kind != Line::Section; ++i)
                if (lines[i].kind == Line::Entry) known->second.emplace(Folded(lines[i].name), i);
        }
        const auto k = known->second.find(Folded(key));
        return k == known->second.end() ? std::string::npos : k->second;
    }

    bool SameBytes(const std::string& data) const {
        const std::string& bom = parsed.bom;
        return data.size() == bom.size() + parsed.data.size() && data.compare(0, bom.size(), bom) == 0 &&
               data.compare(bom.size(), std::string::npos, parsed.data) == 0;
    }
};

std::shared_ptr<const clsIni::Snapshot> clsIni::Read() const {
    const std::int64_t readAt = NowNs();
    Stamp stamp;
    if (m_Filename.empty() || StampOf(m_Filename, stamp) != ReadResult::Ok || stamp.size > MaxFileSize) {
        m_Cache.reset();
        return nullptr;
    }
    const bool sameFile = m_Cache && m_Cache->filename == m_Filename && m_Cache->stamp == stamp;
    if (sameFile && m_Cache->settled) return m_Cache;
    std::string data;
    if (ReadWholeFile(m_Filename, data) != ReadResult::Ok) {
        m_Cache.reset();
        return nullptr;
    }
    const bool settled = readAt - stamp.modifiedNs > UnsettledNs;
    if (sameFile && m_Cache->SameBytes(data)) {
        m_Cache->settled = settled;
        return m_Cache;
    }
    auto snapshot = std::make_shared<Snapshot>();
    snapshot->filename = m_Filename;
    snapshot->stamp = stamp;
    snapshot->settled = settled;
    snapshot->parsed = Parse(std::move(data));
    const std::vector<Line>& lines = snapshot->parsed.lines;
    for (size_t i = 0; i < lines.size(); ++i)
        if (lines[i].kind == Line::Section) snapshot->sections.emplace(Folded(lines[i].name), i);
    m_Cache = std::move(snapshot);
    return m_Cache;
}

bool clsIni::Lookup(const std::string& section, const std::string& key, std::string* text, std::string* bytes) const {
    const std::shared_ptr<const Snapshot> file = Read();
    if (!file) return false;
    const auto s = file->sections.find(Folded(section));
    if (s == file->sections.end()) return false;
    const size_t k = file->FindKey(s->second, key);
    if (k == std::string::npos) return false;
    const Line& line = file->parsed.lines[k];
    if (text) *text = line.value;
    if (bytes) *bytes = line.bytes.empty() ? line.value : line.bytes;
    return true;
}

clsIni::clsIni() { m_Filename = modAPI::ProgramFolder() + "/" + modAPI::ExecutableName() + ".ini"; }

void clsIni::Filename(const std::string& name) { m_Filename = Trim(name); }

int clsIni::GetSetting(const std::string& Section, const std::string& Key, int Default, bool FromIniFile) const {
    if (!FromIniFile) return Default;
    const std::string section = Trim(Section), key = Trim(Key);
    if (m_Filename.empty() || section.empty() || key.empty()) return Default;
    try {
        std::string text;
        if (!Lookup(section, key, &text, nullptr)) return Default;
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
        if (!Lookup(section, key, &text, nullptr)) return Default;
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
        if (!Lookup(section, key, &text, nullptr)) text = Trim(Default);
        return Trim(CutChars(text, StringChars));
    } catch (...) {
        return Default;
    }
}

std::string clsIni::GetPath(const std::string& Section, const std::string& Key) const {
    const std::string section = Trim(Section), key = Trim(Key);
    if (section.empty() || key.empty()) return {};
    try {
        std::string text, bytes;
        if (!Lookup(section, key, &text, &bytes)) return {};
#ifdef _WIN32
        return Trim(CutChars(text, StringChars));
#else
        return Trim(CutChars(bytes, StringChars));
#endif
    } catch (...) {
        return {};
    }
}

std::string clsIni::GetSection(const std::string& Section) const {
    const std::string section = Trim(Section);
    if (m_Filename.empty() || section.empty()) return {};
    try {
        const std::shared_ptr<const Snapshot> file = Read();
        if (!file) return {};
        const Parsed& p = file->parsed;
        const auto found = file->sections.find(Folded(section));
        if (found == file->sections.end()) return {};
        const size_t s = found->second;
        std::vector<std::string> entries;
        for (size_t i = s + 1; i < p.lines.size() && p.lines[i].kind != Line::Section; ++i)
            if (p.lines[i].kind == Line::Entry) entries.push_back(p.lines[i].name + "=" + p.lines[i].value);
        return JoinList(entries);
    } catch (...) {
        return {};
    }
}

std::string clsIni::GetSectionNames() const {
    if (m_Filename.empty()) return {};
    try {
        const std::shared_ptr<const Snapshot> file = Read();
        if (!file) return {};
        std::vector<std::string> names;
        for (const auto& line : file->parsed.lines) {
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
        // A link the user owns leads to the file replaced (the link stays); another's is refused.
        std::string target;
        if (!modSafeFile::WriteTarget(m_Filename, &target, error)) return false;

        std::string original;
        if (ReadWholeFile(target, original, error) == ReadResult::Failed)
            return false;  // never replace a file we could not read
        std::string content = original;
        for (const auto& setting : Settings)
            content = WithSetting(std::move(content), Trim(setting.Section), Trim(setting.Key), setting.Value);
        if (content == original) return true;  // nothing to change
        m_Cache.reset();
        return modSafeFile::ReplaceFile(target, content, error);
    } catch (const std::exception& e) {
        SetError(error, m_Filename, e.what());
        return false;
    } catch (...) {
        SetError(error, m_Filename, "unexpected failure");
        return false;
    }
}
