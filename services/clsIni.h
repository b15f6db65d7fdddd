#pragma once
// Reads and writes one INI file with the semantics of the Windows profile
// functions: names are case-insensitive, the first occurrence wins, values are
// trimmed, writes keep every other line of the file and replace it atomically.
// Text comes back as UTF-8; a line that is not valid UTF-8 comes from an 8-bit
// Windows editor and is read as Windows-1252. Nothing here throws.
//
// The file is read and parsed once and kept while it stays the same file
// (size, times and, on POSIX, device and inode); a file changed within the
// last seconds, where the times may not tell a change apart, is compared
// byte by byte before its parse is used again. Files above MaxFileSize are
// no settings files and are neither read nor replaced.
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

class clsIni {
public:
    // A settings file (the settings, up to 255 ports and 64 file names) is a
    // few kilobytes; a file above this is left alone.
    static constexpr std::uintmax_t MaxFileSize = 1024u * 1024u;

    clsIni();

    // Starts as program folder + "/" + executable name + ".ini".
    const std::string& Filename() const { return m_Filename; }
    void Filename(const std::string& name);  // trims leading and trailing blanks

    // FromIniFile = false (a per-user settings store) is not provided: Default comes back.
    // Integers: an optional sign and the leading digits (0 without digits), at most 63 characters.
    // Doubles: read as modFunctions::ParseNumber reads them; Default for anything else.
    // Strings: trimmed, at most 254 characters.
    int GetSetting(const std::string& Section, const std::string& Key, int Default, bool FromIniFile = true) const;
    double GetSetting(const std::string& Section, const std::string& Key, double Default, bool FromIniFile = true) const;
    std::string GetSetting(const std::string& Section, const std::string& Key, const std::string& Default,
                           bool FromIniFile = true) const;
    std::string GetSetting(const std::string& Section, const std::string& Key, const char* Default,
                           bool FromIniFile = true) const {
        return GetSetting(Section, Key, std::string(Default ? Default : ""), FromIniFile);
    }

    // A file name: on POSIX systems, where a name is bytes, the value's
    // bytes as they stand in the file (trimmed, at most 254 characters), so
    // that a name that is not UTF-8 still names its file; on Windows the
    // text as the string GetSetting reads it. "" when missing.
    std::string GetPath(const std::string& Section, const std::string& Key) const;

    // All "key=value" entries of the section, separated by NUL characters.
    std::string GetSection(const std::string& Section) const;
    // All section names, separated by NUL characters.
    std::string GetSectionNames() const;

    // Creates the file and the section when missing and writes "Key=Setting" (line
    // breaks in Setting become blanks). Returns false when the file could not be
    // written (the old file stays as it was) and for ToIniFile = false.
    bool WriteSetting(const std::string& Section, const std::string& Key, const std::string& Setting,
                      bool ToIniFile = true);

    // Several keys of one section in one go: the file is replaced once, so either
    // all of them reach it or none does. Same rules as WriteSetting.
    bool WriteSettings(const std::string& Section, const std::vector<std::pair<std::string, std::string>>& Settings);

    // One key of a write that spans sections.
    struct Setting {
        std::string Section;
        std::string Key;
        std::string Value;
    };
    // Keys of any sections in one go, in the order given: the file is replaced
    // once (a temporary file beside it, flushed to the disk, renamed over it),
    // so either all of them reach it or none does. Same rules as WriteSetting.
    // On failure `error`, when given, gets the reason, e.g.
    // "/data/KOV.ini: Permission denied".
    bool WriteSettings(const std::vector<Setting>& Settings, std::string* error = nullptr);

    struct Snapshot;  // the file as last read and parsed

private:
    // The file's parse, read again only when the file changed; nullptr when
    // it is missing or cannot be read.
    std::shared_ptr<const Snapshot> Read() const;
    // The value of Section/Key (trimmed sections and keys given) as text
    // and as the bytes in the file; false when the file, section or key is missing.
    bool Lookup(const std::string& section, const std::string& key, std::string* text, std::string* bytes) const;

    std::string m_Filename;
    mutable std::shared_ptr<const Snapshot> m_Cache;
};
