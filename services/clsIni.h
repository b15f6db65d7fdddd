#pragma once
// Reads and writes one INI file with the semantics of the Windows profile
// functions: names are case-insensitive, the first occurrence wins, values are
// trimmed, writes keep every other line of the file and replace it atomically.
#include <string>

class clsIni {
public:
    clsIni();

    const std::string& Filename() const { return m_Filename; }
    void Filename(const std::string& name);  // trims leading and trailing blanks

    int GetSetting(const std::string& Section, const std::string& Key, int Default, bool FromIniFile = true) const;
    double GetSetting(const std::string& Section, const std::string& Key, double Default, bool FromIniFile = true) const;
    std::string GetSetting(const std::string& Section, const std::string& Key, const std::string& Default,
                           bool FromIniFile = true) const;
    std::string GetSetting(const std::string& Section, const std::string& Key, const char* Default,
                           bool FromIniFile = true) const {
        return GetSetting(Section, Key, std::string(Default), FromIniFile);
    }

    // All "key=value" entries of the section, separated by NUL characters.
    std::string GetSection(const std::string& Section) const;
    // All section names, separated by NUL characters.
    std::string GetSectionNames() const;

    // Returns false when the file could not be written (the old file stays as it was).
    bool WriteSetting(const std::string& Section, const std::string& Key, const std::string& Setting,
                      bool ToIniFile = true);

private:
    std::string m_Filename;
};
