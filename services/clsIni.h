#pragma once
// Reads and writes one INI file with the semantics of the Windows profile
// functions: names are case-insensitive, the first occurrence wins, values are
// trimmed, writes keep every other line of the file and replace it atomically.
// Text comes back as UTF-8; a line that is not valid UTF-8 comes from an 8-bit
// Windows editor and is read as Windows-1252. Nothing here throws.
#include <string>
#include <utility>
#include <vector>

class clsIni {
public:
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

private:
    std::string m_Filename;
};
