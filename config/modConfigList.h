#pragma once
// The configuration list and its index in KOV.ini.
//
// The list holds the device link first (Name and Filename "Device"), then one
// entry per configuration file. Section FILES of KOV.ini names the files,
// keys "1KOVFile" .. "64KOVFile", each value a file's full path; the files
// are read into the list at start.
//
// A file that cannot be read at start (a stick not plugged in, a file
// damaged meanwhile) stays in the index: its name is kept aside and written
// back with the others, so it is tried again at the next start.
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "modKOVFile.h"

class clsIni;
class clsKOV;

// One entry of the configuration list: its key ("Device" for the device,
// the file's path for a file) and the parameter set.
using ConfigEntry = std::pair<std::string, std::shared_ptr<clsKOV>>;
using ConfigEntries = std::vector<ConfigEntry>;

namespace modConfigList {

constexpr const char* IndexSection = "FILES";
constexpr int MaxFiles = 64;
// The longest path the index reads back whole.
constexpr std::size_t MaxPathChars = 254;

// "1KOVFile" for 1.
std::string IndexKey(int n);

// Whether the entry stands for a configuration file: its Name is neither
// "Device" nor "Default", and it has a file name.
bool IsFileEntry(const clsKOV& kov);

struct LoadProblem {
    std::string File;
    modKOVFile::ReadResult Result;
    std::string Message;  // in the language current at loading
};

struct LoadResult {
    std::vector<LoadProblem> Problems;  // one per file not loaded, in index order
};

// Reads keys 1..64 of FILES (empty keys do not end the scan) and appends one
// entry per file that reads as a configuration. A name listed twice is read
// once. Names of files that do not read go to `unloaded`.
LoadResult LoadConfigList(const clsIni& settings, ConfigEntries& list, std::vector<std::string>& unloaded);

// "Configurations not loaded:" and one problem a line; "" without problems.
std::string LoadProblemsText(const LoadResult& result);

// The names the index gets: every file entry's path in list order, then the
// names kept aside, each path once. Paths beyond 64, and paths too long to
// be read back, go to `leftOut`.
std::vector<std::string> IndexNames(const ConfigEntries& list, const std::vector<std::string>& unloaded,
                                    std::vector<std::string>* leftOut = nullptr);

// Rewrites FILES in one replacement of KOV.ini: keys 1..k get the names of
// IndexNames, key k+1 is emptied, and so is every further key up to 64 that
// still holds a name. False when KOV.ini could not be written (`error` says
// why; the file is then untouched).
bool WriteIndex(clsIni& settings, const ConfigEntries& list, const std::vector<std::string>& unloaded,
                std::vector<std::string>* leftOut = nullptr, std::string* error = nullptr);

// The text of cmbConfig's item for an entry: "Gerät" / "Device" for the
// device, the description for a file.
std::string ItemText(const clsKOV& kov);
// All items, in list order (item i is entry i).
std::vector<std::string> ItemTexts(const ConfigEntries& list);

// lblSource: the entry's file name ("Device" for the device).
std::string SourceText(const clsKOV& kov);

// Position of `kov` in the list, -1 when it is not there.
int IndexOf(const ConfigEntries& list, const clsKOV* kov);

}  // namespace modConfigList
