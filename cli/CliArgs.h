#pragma once
// The command line of ora2orb2-cli: one subcommand, its arguments and the
// common options, read into one Options record; and the --help texts.
//
// Nothing here touches a port or a file: a bad command line is told in one
// line and ends with ExitCode::Usage before anything else happens.
#include <cstdint>
#include <string>
#include <vector>

#include "MqttSettings.h"

namespace cli {

// The tool's exit codes. Each has one meaning, so that a script can tell
// what went wrong without reading the message.
namespace ExitCode {
constexpr int Ok = 0;
constexpr int Usage = 1;         // bad arguments
constexpr int PortNotOpen = 2;   // the port cannot be opened (the message says why)
constexpr int NoAnswer = 3;      // the sensor does not answer (or stopped sending values)
constexpr int Rejected = 4;      // the sensor refused a parameter ("ERR")
constexpr int FileError = 5;     // a file cannot be read or written
constexpr int Lost = 6;          // the port went away while working (adapter unplugged)
constexpr int Interrupted = 7;   // Ctrl+C or a termination signal before the work was done
constexpr int NoChecksum = 8;    // BINARY+CRC: the CRC16 library cannot be loaded (the message says where and why)
constexpr int BrokerRefused = 9; // --mqtt: the broker refused the user name or password
}  // namespace ExitCode

enum class Command { None, Help, Version, Ports, Info, Monitor, Record, Download, Upload, Store, Defaults, Set };

// What an upload does when the sensor does not take a parameter.
struct ErrorPolicy {
    enum class Kind { Abort, Ignore, Retry };
    Kind What = Kind::Abort;
    int Retries = 0;  // Retry: this many more tries, then abort
};

struct Options {
    Command Cmd = Command::None;
    Command HelpFor = Command::None;  // --help after a subcommand

    // Common options. Port 0: the one KOV.ini names (GENERAL / Comport).
    int Port = 0;
    std::string Device;
    int Baud = 0;  // 0: KOV.ini's (GENERAL / Baudrate)
    std::string DataDir;
    int Language = -1;  // -1: KOV.ini's; 0 German, 1 English
    bool Quiet = false;
    double TimeoutS = 10;  // longest wait for the sensor's answer / values

    // Subcommands.
    bool Json = false;
    char Decimal = '.';
    std::int64_t Count = 0;  // 0: no limit
    double DurationS = 0;    // 0: no limit
    bool Temperature = false;
    double TemperatureIntervalS = 15;
    // Each temperature reading stops the values for about 2 s (the stop,
    // the request, the restart): an interval this short or shorter leaves
    // hardly any values, and is warned of.
    static constexpr double ShortTemperatureIntervalS = 2;
    bool Force = false;  // record: an existing file may be replaced
    bool All = false;    // ports: all 255 numbers
    std::string File;
    std::string Description;
    ErrorPolicy OnError;
    std::string Code;
    std::string Value;

    // monitor and record: publish to an MQTT broker (--mqtt and its options).
    bool Publish = false;
    mqtt::Settings Mqtt;
    std::string MqttPasswordFile;  // "": the password comes from the environment, if at all
};

struct ParseResult {
    Options Opts;
    bool Ok = true;
    std::string Error;  // one line, without the program name
};

ParseResult ParseArguments(const std::vector<std::string>& args);

// The subcommand's name ("monitor"), "" for None.
std::string CommandName(Command cmd);

// The --help text: the general one for None, else the subcommand's. Laid out
// for help2man: "Usage:" first, option lists indented by two blanks.
std::string HelpText(Command cmd);
std::string VersionText();

}  // namespace cli
