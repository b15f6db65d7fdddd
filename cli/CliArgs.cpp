#include "CliArgs.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <limits>

namespace cli {
namespace {

struct CommandEntry {
    const char* name;
    Command cmd;
};

constexpr CommandEntry Commands[] = {
    {"ports", Command::Ports},       {"info", Command::Info},         {"monitor", Command::Monitor},
    {"record", Command::Record},     {"download", Command::Download}, {"upload", Command::Upload},
    {"store", Command::Store},       {"defaults", Command::Defaults}, {"set", Command::Set},
};

Command CommandOf(const std::string& name) {
    for (const CommandEntry& e : Commands)
        if (name == e.name) return e.cmd;
    return Command::None;
}

// A whole decimal number within [lo, hi].
bool WholeNumber(const std::string& text, long long lo, long long hi, long long* value) {
    if (text.empty()) return false;
    errno = 0;
    char* end = nullptr;
    const long long v = std::strtoll(text.c_str(), &end, 10);
    if (errno != 0 || end == text.c_str() || *end != '\0' || v < lo || v > hi) return false;
    *value = v;
    return true;
}

// A finite number within [lo, hi], with a point as decimal separator.
bool RealNumber(const std::string& text, double lo, double hi, double* value) {
    if (text.empty()) return false;
    char* end = nullptr;
    const double v = std::strtod(text.c_str(), &end);
    if (end == text.c_str() || *end != '\0' || !std::isfinite(v) || v < lo || v > hi) return false;
    *value = v;
    return true;
}

bool ParsePolicy(const std::string& text, ErrorPolicy* policy) {
    if (text == "abort") {
        *policy = {ErrorPolicy::Kind::Abort, 0};
        return true;
    }
    if (text == "ignore") {
        *policy = {ErrorPolicy::Kind::Ignore, 0};
        return true;
    }
    const std::string prefix = "retry:";
    long long n = 0;
    if (text.compare(0, prefix.size(), prefix) == 0 && WholeNumber(text.substr(prefix.size()), 1, 100, &n)) {
        *policy = {ErrorPolicy::Kind::Retry, static_cast<int>(n)};
        return true;
    }
    return false;
}

// Which subcommands take which options (the common ones go everywhere).
bool Takes(Command cmd, const std::string& option) {
    const bool measuring = cmd == Command::Monitor || cmd == Command::Record;
    if (option == "--json") return cmd == Command::Info || cmd == Command::Monitor || cmd == Command::Ports;
    if (option == "--decimal") return cmd == Command::Monitor;
    if (option == "--count" || option == "--duration" || option == "--temperature" ||
        option == "--temperature-interval")
        return measuring;
    if (option == "--force") return cmd == Command::Record;
    if (option == "--all") return cmd == Command::Ports;
    if (option == "--description") return cmd == Command::Download;
    if (option == "--on-error") return cmd == Command::Upload;
    if (option.compare(0, 6, "--mqtt") == 0 || option == "--topic") return measuring;
    return true;
}

}  // namespace

std::string CommandName(Command cmd) {
    for (const CommandEntry& e : Commands)
        if (e.cmd == cmd) return e.name;
    return "";
}

ParseResult ParseArguments(const std::vector<std::string>& args) {
    ParseResult r;
    Options& o = r.Opts;
    std::vector<std::string> positional;
    auto fail = [&r](const std::string& message) {
        r.Ok = false;
        r.Error = message;
        return r;
    };

    bool help = false, version = false;
    bool optionsEnded = false;
    std::vector<std::string> mqttExtras;  // the --mqtt-... options given
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string arg = args[i];
        if (optionsEnded || arg.size() < 2 || arg[0] != '-' || (arg[1] >= '0' && arg[1] <= '9')) {
            // Negative numbers ("set 701 -250") are values, not options.
            positional.push_back(arg);
            if (positional.size() == 1 && o.Cmd == Command::None) {
                o.Cmd = CommandOf(arg);
                if (o.Cmd == Command::None) return fail("unknown command '" + arg + "' (see --help)");
                positional.clear();
            }
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        if (arg == "-h" || arg == "--help") {
            help = true;
            continue;
        }
        if (arg == "-V" || arg == "--version") {
            version = true;
            continue;
        }
        if (arg == "-q") arg = "--quiet";
        // "--name=value" or "--name value".
        std::string name = arg, value;
        bool inlineValue = false;
        const std::size_t eq = arg.find('=');
        if (eq != std::string::npos) {
            name = arg.substr(0, eq);
            value = arg.substr(eq + 1);
            inlineValue = true;
        }
        auto flag = [&]() -> bool {
            if (inlineValue) {
                fail("option " + name + " takes no value");
                return false;
            }
            return true;
        };
        auto needValue = [&]() -> bool {
            if (inlineValue) return true;
            if (i + 1 >= args.size()) {
                fail("option " + name + " needs a value");
                return false;
            }
            value = args[++i];
            return true;
        };
        long long n = 0;
        double d = 0;
        if (name == "--quiet") {
            if (!flag()) return r;
            o.Quiet = true;
        } else if (name == "--json") {
            if (!flag()) return r;
            o.Json = true;
        } else if (name == "--temperature") {
            if (!flag()) return r;
            o.Temperature = true;
        } else if (name == "--force") {
            if (!flag()) return r;
            o.Force = true;
        } else if (name == "--all") {
            if (!flag()) return r;
            o.All = true;
        } else if (name == "--port") {
            if (!needValue()) return r;
            if (!WholeNumber(value, 1, 255, &n)) return fail("--port needs a number from 1 to 255, not '" + value + "'");
            o.Port = static_cast<int>(n);
        } else if (name == "--device") {
            if (!needValue()) return r;
            if (value.empty()) return fail("--device needs a device path");
            o.Device = value;
        } else if (name == "--baud") {
            if (!needValue()) return r;
            if (!WholeNumber(value, 1, 115200, &n) ||
                (n != 1200 && n != 2400 && n != 4800 && n != 9600 && n != 19200 && n != 38400 && n != 57600 &&
                 n != 115200))
                return fail("--baud needs one of 1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200, not '" + value +
                            "'");
            o.Baud = static_cast<int>(n);
        } else if (name == "--data-dir") {
            if (!needValue()) return r;
            if (value.empty()) return fail("--data-dir needs a folder");
            o.DataDir = value;
        } else if (name == "--lang") {
            if (!needValue()) return r;
            if (value == "de") {
                o.Language = 0;
            } else if (value == "en") {
                o.Language = 1;
            } else {
                return fail("--lang needs 'de' or 'en', not '" + value + "'");
            }
        } else if (name == "--timeout") {
            if (!needValue()) return r;
            if (!RealNumber(value, 0.1, 86400, &d)) return fail("--timeout needs seconds from 0.1 to 86400, not '" + value + "'");
            o.TimeoutS = d;
        } else if (name == "--decimal") {
            if (!needValue()) return r;
            if (value != "." && value != ",") return fail("--decimal needs '.' or ',', not '" + value + "'");
            o.Decimal = value[0];
        } else if (name == "--count") {
            if (!needValue()) return r;
            if (!WholeNumber(value, 1, std::numeric_limits<std::int64_t>::max(), &n))
                return fail("--count needs a whole number of 1 or more, not '" + value + "'");
            o.Count = n;
        } else if (name == "--duration") {
            if (!needValue()) return r;
            if (!RealNumber(value, 0.001, 1e9, &d)) return fail("--duration needs seconds above 0, not '" + value + "'");
            o.DurationS = d;
        } else if (name == "--temperature-interval") {
            if (!needValue()) return r;
            if (!RealNumber(value, 1, 86400, &d))
                return fail("--temperature-interval needs seconds from 1 to 86400, not '" + value + "'");
            o.TemperatureIntervalS = d;
            o.Temperature = true;
        } else if (name == "--description") {
            if (!needValue()) return r;
            o.Description = value;
        } else if (name == "--on-error") {
            if (!needValue()) return r;
            if (!ParsePolicy(value, &o.OnError))
                return fail("--on-error needs abort, ignore or retry:N (N from 1 to 100), not '" + value + "'");
        } else if (name == "--mqtt") {
            if (!needValue()) return r;
            std::string error;
            if (!mqtt::ParseBrokerAddress(value, &o.Mqtt, &error)) return fail("--mqtt: " + error);
            o.Publish = true;
        } else if (name == "--topic") {
            if (!needValue()) return r;
            std::string error;
            if (!mqtt::ParsePrefix(value, &o.Mqtt.Prefix, &error)) return fail("--topic: " + error);
            mqttExtras.push_back(name);
        } else if (name == "--mqtt-user") {
            if (!needValue()) return r;
            if (value.empty()) return fail("--mqtt-user needs a user name");
            o.Mqtt.User = value;
            mqttExtras.push_back(name);
        } else if (name == "--mqtt-password-file") {
            if (!needValue()) return r;
            if (value.empty()) return fail("--mqtt-password-file needs a file");
            o.MqttPasswordFile = value;
            mqttExtras.push_back(name);
        } else if (name == "--mqtt-password") {
            return fail("--mqtt-password is not taken: a password on the command line is seen by every user of the "
                        "machine; put it in a file (--mqtt-password-file) or in " +
                        std::string(mqtt::PasswordVariable));
        } else if (name == "--mqtt-qos") {
            if (!needValue()) return r;
            if (value != "0" && value != "1") return fail("--mqtt-qos needs 0 or 1, not '" + value + "'");
            o.Mqtt.Qos = value[0] - '0';
            mqttExtras.push_back(name);
        } else if (name == "--mqtt-tls-ca") {
            if (!needValue()) return r;
            if (value.empty()) return fail("--mqtt-tls-ca needs a file");
            o.Mqtt.TlsCaFile = value;
            o.Mqtt.Tls = true;
            mqttExtras.push_back(name);
        } else if (name == "--mqtt-queue") {
            if (!needValue()) return r;
            if (!WholeNumber(value, 1, static_cast<long long>(mqtt::MaxQueueLimit), &n))
                return fail("--mqtt-queue needs a number of values from 1 to " + std::to_string(mqtt::MaxQueueLimit) +
                            ", not '" + value + "'");
            o.Mqtt.QueueLimit = static_cast<std::size_t>(n);
            mqttExtras.push_back(name);
        } else {
            return fail("unknown option " + name + " (see --help)");
        }
        if (o.Cmd != Command::None && !Takes(o.Cmd, name))
            return fail("option " + name + " does not go with '" + CommandName(o.Cmd) + "'");
    }

    if (help) {
        o.HelpFor = o.Cmd;
        o.Cmd = Command::Help;
        return r;
    }
    if (version) {
        o.Cmd = Command::Version;
        return r;
    }
    if (o.Cmd == Command::None) return fail("no command given (see --help)");
    if (!o.Device.empty() && o.Port != 0) return fail("--port and --device cannot be used together");

    const std::string name = CommandName(o.Cmd);
    auto wantPositional = [&](std::size_t lo, std::size_t hi, const char* what) -> bool {
        if (positional.size() < lo) {
            fail("'" + name + "' needs " + what);
            return false;
        }
        if (positional.size() > hi) {
            fail("unexpected argument '" + positional[hi] + "' for '" + name + "'");
            return false;
        }
        return true;
    };
    switch (o.Cmd) {
        case Command::Record:
            if (!wantPositional(0, 1, "")) return r;
            if (!positional.empty()) o.File = positional[0];
            break;
        case Command::Download:
        case Command::Upload:
            if (!wantPositional(1, 1, "a file name (FILE.kov)")) return r;
            o.File = positional[0];
            break;
        case Command::Set:
            if (!wantPositional(2, 2, "a parameter code and a value")) return r;
            o.Code = positional[0];
            o.Value = positional[1];
            break;
        default:
            if (!wantPositional(0, 0, "")) return r;
            break;
    }
    if (!o.Publish && !mqttExtras.empty()) return fail("option " + mqttExtras.front() + " needs --mqtt");
    if (!o.MqttPasswordFile.empty() && o.Mqtt.User.empty()) return fail("--mqtt-password-file needs --mqtt-user");
    if (o.Publish && !Takes(o.Cmd, "--mqtt")) return fail("option --mqtt does not go with '" + name + "'");
    // Options given before the subcommand.
    static const char* const specific[] = {"--json", "--decimal", "--count", "--duration", "--temperature",
                                           "--temperature-interval", "--force", "--all", "--description",
                                           "--on-error"};
    for (const char* option : specific) {
        if (Takes(o.Cmd, option)) continue;
        const std::string opt = option;
        const bool used = (opt == "--json" && o.Json) || (opt == "--decimal" && o.Decimal != '.') ||
                          (opt == "--count" && o.Count != 0) || (opt == "--duration" && o.DurationS != 0) ||
                          (opt == "--temperature" && o.Temperature) || (opt == "--force" && o.Force) ||
                          (opt == "--all" && o.All) || (opt == "--description" && !o.Description.empty()) ||
                          (opt == "--on-error" && o.OnError.What != ErrorPolicy::Kind::Abort);
        if (used) return fail("option " + opt + " does not go with '" + name + "'");
    }
    return r;
}

std::string VersionText() {
    return std::string("ora2orb2-cli ") + ORA_VERSION_TEXT +
           "\n"
           "Command-line tool for the ORA-2 / ORB-2 laser distance sensors.\n";
}

namespace {

const char* const CommonOptions =
    "Common options:\n"
    "  --port N               serial port \"COM N\" (1..255), mapped to a device as in\n"
    "                         KOV.ini, section PORTS (default: GENERAL/Comport of KOV.ini)\n"
    "  --device PATH          the serial device itself (/dev/ttyUSB0, \\\\.\\COM5)\n"
    "  --baud RATE            port speed in bit/s: 1200, 2400, 4800, 9600, 19200, 38400,\n"
    "                         57600 or 115200 (default: GENERAL/Baudrate of KOV.ini, else 9600)\n"
    "  --data-dir DIR         folder of KOV.ini and of REC/, as the program uses it\n"
    "                         (default: the tool's folder when it is writable and no system\n"
    "                         folder, else ~/.local/share/ORA2ORB2)\n"
    "  --lang de|en           language of the texts taken from the program (default: KOV.ini)\n"
    "  --timeout S            longest wait in seconds for the sensor to answer or to send\n"
    "                         values (default 10)\n"
    "  -q, --quiet            no progress and no notes on standard error; errors still appear\n"
    "  -h, --help             this text; after a command, the command's own help\n"
    "  -V, --version          the version\n";

const char* const ExitStatus =
    "Exit status:\n"
    "  0   done (monitor and record: also when ended by Ctrl+C)\n"
    "  1   bad arguments\n"
    "  2   the port cannot be opened; the message says why\n"
    "  3   no answer from the sensor, or no values for the --timeout\n"
    "  4   the sensor refused a parameter\n"
    "  5   a file cannot be read or written\n"
    "  6   the port went away while working (adapter unplugged)\n"
    "  7   interrupted by Ctrl+C or a termination signal\n"
    "  8   BINARY+CRC: the CRC16 library cannot be loaded; the message says where it\n"
    "      was looked for and why it failed\n"
    "  9   --mqtt: the broker refused the user name or password\n";

const std::string MqttOptions =
    std::string(
    "Publishing to an MQTT broker:\n"
    "  --mqtt mqtt://HOST[:PORT]\n"
    "                         publish every distance while measuring (port 1883; with\n"
    "                         mqtts:// or --mqtt-tls-ca TLS on port 8883). Topics\n"
    "                         PREFIX/SERIAL/distance and /temperature (JSON as --json\n"
    "                         writes it), /status (retained online or offline, offline\n"
    "                         also as Last Will) and /info (retained identity)\n"
    "  --topic PREFIX         the topics' prefix (default ora2orb2)\n"
    "  --mqtt-user USER       log in as USER\n"
    "  --mqtt-password-file F the password: the first line of F. Without it the\n"
    "                         password comes from the environment variable\n"
    "                         ") + mqtt::PasswordVariable + "; never from the command line\n"
    "  --mqtt-qos 0|1         0: at most once (default); 1: at least once, values in\n"
    "                         flight when the connection breaks are sent again\n"
    "  --mqtt-tls-ca FILE     TLS, the broker's certificate checked against the CA in FILE\n"
    "  --mqtt-queue N         values kept while the broker is away (default 10000);\n"
    "                         beyond that the oldest are dropped and counted\n"
    "  With --quiet, monitor only publishes and prints no rows. The measurement and\n"
    "  the recording go on while the broker is away; the tool reconnects by itself\n"
    "  and at the end tells how many values were delivered, dropped or lost.\n"
    "  A tool built without MQTT (the Windows build) answers \"not built with MQTT\".\n";

}  // namespace

std::string HelpText(Command cmd) {
    std::string text;
    switch (cmd) {
        case Command::Ports:
            text =
                "Usage: ora2orb2-cli ports [--all] [--json] [--data-dir DIR]\n"
                "List the serial ports \"COM n\" and the devices they stand for, as the\n"
                "program's port list shows them: the entries of KOV.ini, section PORTS,\n"
                "and the serial ports found on this machine.\n"
                "\n"
                "Options:\n"
                "  --all                  every number from 1 to 255, also those without a device\n"
                "  --json                 one JSON object per port: {\"port\":1,\"device\":\"/dev/ttyS0\"}\n";
            break;
        case Command::Info:
            text =
                "Usage: ora2orb2-cli info [--json] [common options]\n"
                "Connect to the sensor and print its identity, its temperature and its\n"
                "whole parameter set (code, name, stored value and the text sent on the line).\n"
                "A parameter the sensor does not have shows as \"-\" (JSON: null): the rain\n"
                "filter 351-355 without one, the Profibus address 610 on a serial sensor, the\n"
                "outputs and the output mode on a Profibus sensor.\n"
                "\n"
                "Options:\n"
                "  --json                 one JSON object instead of text\n";
            break;
        case Command::Monitor:
            text =
                "Usage: ora2orb2-cli monitor [--count N] [--duration S] [--json] [--decimal ,]\n"
                "                            [--temperature] [--mqtt mqtt://HOST[:PORT] ...]\n"
                "                            [common options]\n"
                "Start a continuous measurement and write every distance to standard output,\n"
                "one row each: CSV with a header line, or JSON lines. Ctrl+C stops the\n"
                "measurement on the sensor before the tool ends.\n"
                "\n"
                "CSV columns: time (local, ISO 8601 with milliseconds), distance in mm, the\n"
                "distance in the sensor's unit, the unit, the state (ok, no echo, temp error,\n"
                "marker), with --temperature the last temperature in degrees C. The separator\n"
                "is ',' with --decimal . and ';' with --decimal ,. The JSON time carries the\n"
                "offset from UTC as well (2026-03-29T01:59:59.950+01:00), so that times across\n"
                "a daylight-saving change stay in order.\n"
                "\n"
                "Options:\n"
                "  --count N              end after N distances\n"
                "  --duration S           end after S seconds\n"
                "  --json                 JSON lines: {\"time\":\"...\",\"mm\":1234,\"value\":1.234,\n"
                "                         \"unit\":\"m\",\"state\":\"ok\"}; numbers always with '.'\n"
                "  --decimal SEP          decimal separator of the CSV numbers: . (default) or ,\n"
                "  --temperature          interleave temperature readings (every 15 s)\n"
                "  --temperature-interval S\n"
                "                         the same, every S seconds. Each reading stops the\n"
                "                         values for about 2 s: 2 s or less leaves hardly any\n"
                "                         values (a warning says so)\n";
            break;
        case Command::Record:
            text =
                "Usage: ora2orb2-cli record [FILE] [--count N] [--duration S] [--force]\n"
                "                           [--temperature] [--mqtt mqtt://HOST[:PORT] ...]\n"
                "                           [common options]\n"
                "Record every distance into a recording file (*.rec) as the program's\n"
                "recorder writes it: one line per distance, written through at once, so that\n"
                "a pulled plug or a crash loses no line already written. A recording without\n"
                "any line leaves no file behind. Without FILE the next free REC/SAVEnnnn.rec\n"
                "of the data folder is used. The file is always created new, never through a\n"
                "link. Ctrl+C ends the recording (exit code 7 before the first line).\n"
                "\n"
                "Options:\n"
                "  --count N              end after N distances\n"
                "  --duration S           end after S seconds\n"
                "  --force                replace FILE when it exists (default: refuse); the\n"
                "                         recording takes its place with its first line, so\n"
                "                         one without lines leaves FILE as it was\n"
                "  --temperature          interleave temperature readings (every 15 s)\n"
                "  --temperature-interval S\n"
                "                         the same, every S seconds. Each reading stops the\n"
                "                         values for about 2 s: 2 s or less leaves hardly any\n"
                "                         values (a warning says so)\n";
            break;
        case Command::Download:
            text =
                "Usage: ora2orb2-cli download FILE.kov [--description TEXT] [common options]\n"
                "Read the sensor's configuration and write it into a configuration file\n"
                "(*.kov) as the program's configuration dialog saves it. The file is replaced\n"
                "in one step: it is never left half written.\n"
                "\n"
                "Options:\n"
                "  --description TEXT     the configuration's description (default: the file's\n"
                "                         description when it exists, else the sensor's serial number)\n";
            break;
        case Command::Upload:
            text =
                "Usage: ora2orb2-cli upload FILE.kov [--on-error=abort|ignore|retry:N]\n"
                "                           [common options]\n"
                "Write the configuration of FILE.kov to the sensor, one parameter at a time,\n"
                "as the program's configuration dialog does, and read it back. Parameters the\n"
                "sensor does not have are left out (Profibus address on a serial sensor,\n"
                "outputs on a Profibus sensor, the rain filter). The upload is not stored\n"
                "permanently: run 'store' afterwards for that. When the file sets another\n"
                "speed (601), the rest goes at the new speed, and later commands need the\n"
                "new --baud (a note says so).\n"
                "\n"
                "Options:\n"
                "  --on-error=abort       a parameter without answer or refused ends the upload\n"
                "                         (default)\n"
                "  --on-error=ignore      go on with the next parameter\n"
                "  --on-error=retry:N     try the parameter up to N more times, then abort\n";
            break;
        case Command::Store:
            text =
                "Usage: ora2orb2-cli store [common options]\n"
                "Make the sensor store its current configuration permanently (\"999\").\n";
            break;
        case Command::Defaults:
            text =
                "Usage: ora2orb2-cli defaults [common options]\n"
                "Set the sensor's factory defaults (\"000\") and read the configuration back.\n";
            break;
        case Command::Set:
            text =
                "Usage: ora2orb2-cli set CODE VALUE [common options]\n"
                "Write one parameter. CODE is the parameter code (101, 111, 301 ... 802, 351).\n"
                "VALUE is the value as stored: a list index or a whole number (702 in\n"
                "thousandths, 801 in tenths of a degree); list parameters also take the\n"
                "text sent on the line (set 101 BINARY+CRC, set 111 MM). The value is not\n"
                "stored permanently: run 'store' afterwards for that. A parameter the sensor\n"
                "does not have (the rain filter 351-355 without one, the Profibus address 610\n"
                "on a serial sensor, the outputs and output mode on a Profibus sensor) is\n"
                "refused before anything is sent (exit status 4). After set 601 the sensor\n"
                "talks at the new speed: later commands need the new --baud.\n";
            break;
        default:
            text =
                "Usage: ora2orb2-cli COMMAND [ARGUMENTS] [OPTIONS]\n"
                "Configure and monitor an ORA-2 / ORB-2 laser distance sensor on a serial port,\n"
                "without windows: for test benches and scripts.\n"
                "\n"
                "Commands:\n"
                "  ports                  list the ports \"COM n\" and their devices\n"
                "  info                   identity, temperature and parameter set of the sensor\n"
                "  monitor                stream distances as CSV or JSON lines (and to MQTT)\n"
                "  record [FILE]          record distances into a *.rec file\n"
                "  download FILE.kov      save the sensor's configuration into a file\n"
                "  upload FILE.kov        write a configuration file to the sensor\n"
                "  store                  store the configuration permanently in the sensor\n"
                "  defaults               set the sensor's factory defaults\n"
                "  set CODE VALUE         write one parameter\n"
                "Each command has its own --help.\n";
            break;
    }
    text += "\n";
    if (cmd == Command::Monitor || cmd == Command::Record) {
        text += MqttOptions;
        text += "\n";
    }
    if (cmd != Command::Ports) {
        text += CommonOptions;
        text += "\n";
    }
    text += ExitStatus;
    if (cmd == Command::None || cmd == Command::Help) {
        text +=
            "\n"
            "Examples:\n"
            "  ora2orb2-cli info --device /dev/ttyUSB0 --baud 38400\n"
            "  ora2orb2-cli monitor --port 3 --duration 86400 > distances.csv\n"
            "  ora2orb2-cli monitor --port 3 --quiet --mqtt mqtt://broker.local --mqtt-qos 1\n"
            "  ora2orb2-cli download backup.kov && ora2orb2-cli upload backup.kov --on-error=retry:2\n";
    }
    return text;
}

}  // namespace cli
