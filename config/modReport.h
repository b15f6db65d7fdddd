#pragma once
// The settings report "$KVD$.txt": a plain-text page of the settings the
// configuration dialog shows, with the sensor's identity, written to the
// program folder and opened in the user's text editor, from which it is
// printed. No windows here: the dialog collects the values, and the editor
// is started through a ProcessStarter it hands in (the Qt one lives in
// config/ui).
//
// The file is the one the Windows program writes: Windows-1252, each line
// ended by CR LF, columns made with tabs only.
#include <array>
#include <cstdint>
#include <string>
#include <vector>

class clsKOV;

namespace modReport {

constexpr const char* FileName = "$KVD$.txt";

// Everything the report shows.
struct ReportValues {
    // The sensor's identity (from the device link, one char per received byte).
    std::string SerialNo, SWVersion, SWBuild, DeviceType;
    // Decides the rain filter line: 0 or more when the sensor has one.
    std::int32_t RainFilter = -1;

    // The dialog's controls as they stand (UTF-8): the selected entries'
    // texts, the check boxes' values (1 checked), the fifteen field texts
    // and the captions of lblS1Logic and lblS2Logic.
    std::string OutputFormat, DistanceUnit, Baudrate, OutputMode, AverageDepth, TimeOut, RainFilterMode;
    int Autostart = 0, MovingAverage = 0, EchoCheck = 0, Blanking = 0, AnalogOutput = 0;
    std::array<std::string, 15> Fields;
    std::string S1Logic, S2Logic;
};

// The identity part of ReportValues, taken from the device link.
void TakeIdentity(const clsKOV& device, ReportValues& values);

// n tabs; "" below 1.
std::string Tabs(int n);

// The report's lines in the current language, as UTF-8, without line ends.
// The Profibus address line appears for a device type other than "Serial",
// the rain filter lines when RainFilter is 0 or more, the analog and
// switching output lines for a device type "Serial".
std::vector<std::string> ReportLines(const ReportValues& values);

// The bytes of the file: the lines in Windows-1252, each ended by CR LF.
std::string ReportBytes(const std::vector<std::string>& lines);

// program folder + "/$KVD$.txt".
std::string ReportPath(const std::string& folder);

// Writes the report into `folder` in one replacement of the file: a report
// that cannot be written leaves the last one as it was. `path` gets the
// file's path; `error` (when given) says why it failed.
bool WriteReport(const std::string& folder, const std::vector<std::string>& lines, std::string* path,
                 std::string* error = nullptr);

// ---- the text editor ------------------------------------------------------

// A program with its arguments, never run through a shell: the report's
// name holds "$".
struct Command {
    std::string Program;
    std::vector<std::string> Arguments;
    bool operator==(const Command& o) const { return Program == o.Program && Arguments == o.Arguments; }
};

class ProcessStarter {
public:
    virtual ~ProcessStarter() = default;
    // Starts the program and returns at once (no waiting for it). False when
    // it could not be started, with `error` saying why.
    virtual bool StartDetached(const Command& command, std::string* error) = 0;
};

// The ways to open `file` in the user's text editor, best first. Windows:
// Notepad of the Windows folder. Elsewhere: the desktop's application for
// the file's type, through xdg-open, then gio.
std::vector<Command> EditorCommands(const std::string& file);

// Tries EditorCommands(file) in order until one starts. False when none did;
// `error` then holds the last reason.
bool OpenInEditor(const std::string& file, ProcessStarter& starter, std::string* error = nullptr);

}  // namespace modReport
