#pragma once
// Configuration files (*.kov): one parameter set of the sensor, stored as an
// INI file with the one section [KOV]. Every value is a decimal integer,
// except Description, which names the set. The device kind is not stored: a
// NodeAddress of 0 or more is a Profibus device, a negative one a serial
// device. No windows here; a command-line tool reads and writes the same way.
//
// Reading is strict where the old files leave no doubt and forgiving where
// they do: a missing key takes its usual value, a value outside its range is
// replaced by a valid one (and the replacement is reported in the result),
// but a value that is no whole number refuses the whole file: it is not
// loaded as some number nobody wrote.
#include <cstdint>
#include <string>
#include <vector>

class clsKOV;

namespace modKOVFile {

constexpr const char* Section = "KOV";

// A configuration file is a few hundred bytes; anything above this is not one.
constexpr std::uintmax_t MaxFileSize = 1024 * 1024;

// Descriptions are kept to the length the INI access reads back.
constexpr std::size_t MaxDescriptionChars = 254;

enum class ReadStatus {
    Ok,
    Missing,          // no such file
    NotAFile,         // a folder or something else that is not a file
    TooLarge,         // above MaxFileSize
    Unreadable,       // exists but cannot be read (Reason says why)
    NoConfiguration,  // no Description in [KOV] (an empty one counts as none)
    NotANumber,       // Key holds Value, which is no whole number of 32 bits
};

// A value outside its range and what it was replaced by.
struct Repair {
    std::string Key;
    std::int32_t Read = 0;
    std::int32_t Replaced = 0;
};

struct ReadResult {
    ReadStatus Status = ReadStatus::Ok;
    std::string Key;     // NotANumber: the key ...
    std::string Value;   // ... and its text
    std::string Reason;  // Unreadable: the system's words
    std::vector<Repair> Repairs;
    bool Ok() const { return Status == ReadStatus::Ok; }
};

// Reads the file named by kov.Filename into kov: Description, the parameter
// set and DeviceType (from the repaired NodeAddress). The switching- and
// analog-output keys are read for a serial device only; a Profibus
// configuration keeps kov's values for them. On any failure kov is left
// exactly as it was.
ReadResult ReadConfigFile(clsKOV& kov);

// The message for a failed read, in the current language, naming the file.
// "" for Ok.
std::string ReadProblemText(const std::string& file, const ReadResult& result);

// Writes Description and all 29 parameters into [KOV] of the file named by
// kov.Filename, in one replacement of the file: the old file stays untouched
// when this fails. A new file gets the keys in their fixed order with CR LF
// line ends; an existing one keeps its other lines, and its keys keep their
// places. False on failure, with `error` (when given) saying why, e.g.
// "/media/stick/a.kov: Read-only file system".
bool WriteConfigFile(const clsKOV& kov, std::string* error = nullptr);

// The keys and values WriteConfigFile writes, in order (Description first,
// as the text it is written as).
std::vector<std::pair<std::string, std::string>> FileEntries(const clsKOV& kov);

// A description as it reads back from a file: line breaks and other control
// characters become blanks, blanks at both ends go, at most
// MaxDescriptionChars characters. Text that is not UTF-8 is taken as
// Windows-1252.
std::string NormalizeDescription(const std::string& text);

// The bytes a description is stored as: Windows-1252, as the Windows program
// writes it, when every character has a byte there and the bytes cannot be
// mistaken for UTF-8; UTF-8 otherwise. Either reads back as `text`.
std::string DescriptionBytes(const std::string& text);

// Copies the 29 parameters (not the description, the identity or the link's
// state).
void CopyParameters(const clsKOV& from, clsKOV& to);

// "Profibus" for a NodeAddress of 0 or more, "Serial" below.
std::string DeviceTypeOf(std::int32_t nodeAddress);

// Whether every parameter of `kov` lies where reading a file leaves it
// (the fuzz target and the tests check read results with it).
bool InValidRanges(const clsKOV& kov);

}  // namespace modKOVFile
