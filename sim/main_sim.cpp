// ora2orb2-sim: a simulated ORA-2 / ORB-2 sensor on a pseudo-terminal.
// Prints the device to open (or makes --link point at it) and answers the
// program until it is stopped with Ctrl+C or a signal. SIGUSR1 pulls the
// adapter out and plugs it back in a little later.
#include <getopt.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <sstream>
#include <string>

#include "PtyServer.h"
#include "SensorModel.h"

namespace {

volatile sig_atomic_t g_Stop = 0;
volatile sig_atomic_t g_Unplug = 0;

void OnSignal(int) { g_Stop = 1; }
void OnUnplug(int) { g_Unplug = 1; }

void Usage(FILE* out) {
    std::fputs(
        "Usage: ora2orb2-sim [options]\n"
        "Simulates an ORA-2 / ORB-2 laser distance sensor on a pseudo-terminal and\n"
        "prints the device path to give the program (KOV.ini, section PORTS).\n"
        "\n"
        "Device:\n"
        "  --link PATH           also make PATH a symbolic link to the device\n"
        "  --log FILE            write every command received to FILE, one JSON line each:\n"
        "                        {\"time_ms\":1532,\"command\":\"111 MM\"} (milliseconds since the start)\n"
        "  --values FILE         write every value sent to FILE, one JSON line each:\n"
        "                        {\"time_ms\":2051,\"mm\":6596} (mm, or 2147483647 no echo)\n"
        "  --profibus            Profibus device (type \"Profibus\", node address 610)\n"
        "  --rain-filter         device with rain filter (codes 351-355)\n"
        "  --autostart           measures from power-on (stored 305 = 1): ready banner, then\n"
        "                        continuous values without a command\n"
        "  --format N            output format at start: 0 ASCII, 1 ASCII+UNIT, 2 BINARY, 3 BINARY+CRC\n"
        "  --unit N              distance unit at start: 0 mm, 1 m, 2 in, 3 ft, 4 yd, 5 mi, 6 nm\n"
        "  --temperature C       sensor temperature in degrees Celsius (default 23)\n"
        "  --baud N              the sensor's own speed (1200 .. 38400): at another speed the port\n"
        "                        gets garbage and the sensor understands nothing; after the \"OK\"\n"
        "                        to a speed write (601) it switches to the new speed. Without it\n"
        "                        the sensor talks at the port's speed until such a write\n"
        "  --seed N              seed of the noise and the random faults (default 1)\n"
        "Faults:\n"
        "  --silent              answer nothing\n"
        "  --no-echo RATE        share of values lost as \"No Echo\" (0..1)\n"
        "  --temp-error          temperature out of range: \"TempErr!\" values, NOK temperatures\n"
        "  --restart-after MS    restart (ready banner) after MS milliseconds of continuous output\n"
        "  --garbage RATE        chance per value of a burst of random bytes (0..1)\n"
        "  --crc-errors RATE     chance per checked frame of a damaged checksum (0..1)\n"
        "  --reject CODES        answer \"ERR\" to these parameter codes (comma separated)\n"
        "  --delay MS            extra delay before every answer\n"
        "  --noise RATE          line noise (0..1): chance per byte sent of a random byte in front\n"
        "                        of it, and about RATE x 50 stray bytes a second on a quiet line\n"
        "  --damage RATE         chance per byte sent of arriving as another byte (0..1)\n"
        "  --noise-bytes N       N random bytes a second at random moments, whether the sensor\n"
        "                        sends or not (between its bytes when it does)\n"
        "  --noise-burst B       ... in bursts of 1 to B bytes (default 1)\n"
        "Adapter:\n"
        "  kill -USR1 PID        pulls the adapter: the device disappears (--link dangles) and\n"
        "                        comes back, at the same --link, after --replug-ms; the sensor\n"
        "                        keeps running meanwhile\n"
        "  --replug-ms MS        time the adapter stays out (default 500)\n"
        "  --help                this text\n",
        out);
}

bool Number(const char* text, double* value) {
    char* end = nullptr;
    *value = std::strtod(text, &end);
    return end != text && *end == '\0';
}

}  // namespace

int main(int argc, char** argv) {
    enum {
        kLink = 1000, kProfibus, kRain, kFormat, kUnit, kTemperature, kSeed, kSilent, kNoEcho, kTempError,
        kRestart, kGarbage, kCrc, kReject, kDelay, kAutostart, kNoise, kDamage, kReplug, kHelp, kLog, kValues,
        kBaud, kNoiseBytes, kNoiseBurst
    };
    static const option kOptions[] = {
        {"link", required_argument, nullptr, kLink},
        {"profibus", no_argument, nullptr, kProfibus},
        {"rain-filter", no_argument, nullptr, kRain},
        {"format", required_argument, nullptr, kFormat},
        {"unit", required_argument, nullptr, kUnit},
        {"temperature", required_argument, nullptr, kTemperature},
        {"seed", required_argument, nullptr, kSeed},
        {"silent", no_argument, nullptr, kSilent},
        {"no-echo", required_argument, nullptr, kNoEcho},
        {"temp-error", no_argument, nullptr, kTempError},
        {"restart-after", required_argument, nullptr, kRestart},
        {"garbage", required_argument, nullptr, kGarbage},
        {"crc-errors", required_argument, nullptr, kCrc},
        {"reject", required_argument, nullptr, kReject},
        {"delay", required_argument, nullptr, kDelay},
        {"autostart", no_argument, nullptr, kAutostart},
        {"noise", required_argument, nullptr, kNoise},
        {"damage", required_argument, nullptr, kDamage},
        {"replug-ms", required_argument, nullptr, kReplug},
        {"help", no_argument, nullptr, kHelp},
        {"log", required_argument, nullptr, kLog},
        {"values", required_argument, nullptr, kValues},
        {"baud", required_argument, nullptr, kBaud},
        {"noise-bytes", required_argument, nullptr, kNoiseBytes},
        {"noise-burst", required_argument, nullptr, kNoiseBurst},
        {nullptr, 0, nullptr, 0},
    };

    Sim::Options options;
    std::string linkPath;
    std::string logPath;
    std::string valuesPath;
    int format = -1, unit = -1;
    double replugMs = 500;
    int opt;
    while ((opt = getopt_long(argc, argv, "h", kOptions, nullptr)) != -1) {
        double v = 0;
        const bool numeric = optarg && Number(optarg, &v);
        auto needNumber = [&](double lo, double hi) {
            if (!numeric || !(v >= lo && v <= hi)) {  // "nan" is no value either
                std::fprintf(stderr, "ora2orb2-sim: bad value '%s' for --%s\n", optarg ? optarg : "",
                             kOptions[opt - kLink].name);
                std::exit(2);
            }
        };
        switch (opt) {
        case kLink: linkPath = optarg; break;
        case kProfibus: options.profibus = true; break;
        case kRain: options.rainFilter = true; break;
        case kFormat: needNumber(0, 3); format = static_cast<int>(v); break;
        case kUnit: needNumber(0, 6); unit = static_cast<int>(v); break;
        case kTemperature: needNumber(-128, 127); options.temperatureC = static_cast<int>(v); break;
        case kSeed: needNumber(0, 4294967295.0); options.seed = static_cast<unsigned>(v); break;
        case kSilent: options.silent = true; break;
        case kNoEcho: needNumber(0, 1); options.noEchoRate = v; break;
        case kTempError: options.tempError = true; break;
        case kRestart: needNumber(0, 1e9); options.restartAfterMs = v; break;
        case kGarbage: needNumber(0, 1); options.garbageRate = v; break;
        case kCrc: needNumber(0, 1); options.crcErrorRate = v; break;
        case kReject: {
            std::stringstream list(optarg);
            std::string code;
            while (std::getline(list, code, ',')) {
                if (!code.empty()) options.rejectedCodes.insert(code);
            }
            break;
        }
        case kDelay: needNumber(0, 1e6); options.replyDelayMs = v; break;
        case kAutostart: options.autostart = true; break;
        case kNoise: needNumber(0, 1); options.noiseRate = v; break;
        case kDamage: needNumber(0, 1); options.damageRate = v; break;
        case kReplug: needNumber(0, 1e9); replugMs = v; break;
        case kLog: logPath = optarg; break;
        case kValues: valuesPath = optarg; break;
        case kBaud:
            needNumber(1200, 38400);
            if (v != 1200 && v != 2400 && v != 4800 && v != 9600 && v != 19200 && v != 38400) needNumber(0, -1);
            options.sensorSpeed = static_cast<int>(v);
            break;
        case kNoiseBytes: needNumber(0, 100000); options.noiseBytesPerSecond = v; break;
        case kNoiseBurst: needNumber(1, 64); options.noiseBurst = static_cast<int>(v); break;
        case kHelp:
        case 'h': Usage(stdout); return 0;
        default: Usage(stderr); return 2;
        }
    }
    if (optind < argc) {
        std::fprintf(stderr, "ora2orb2-sim: unexpected argument '%s'\n", argv[optind]);
        Usage(stderr);
        return 2;
    }

    const auto origin = std::chrono::steady_clock::now();
    auto clock = [origin] {
        return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - origin).count();
    };
    // Switched on here: an autostarting sensor starts its banner and values now.
    auto model = std::make_shared<Sim::SensorModel>(options, clock);
    // The command log: every line is flushed at once, so that it can be
    // followed while the sensor runs.
    std::unique_ptr<FILE, int (*)(FILE*)> log(nullptr, std::fclose);
    if (!logPath.empty()) {
        log.reset(std::fopen(logPath.c_str(), "w"));
        if (!log) {
            std::fprintf(stderr, "ora2orb2-sim: cannot write the log %s: %s\n", logPath.c_str(), std::strerror(errno));
            return 2;
        }
        model->SetCommandListener([file = log.get()](const Sim::ReceivedCommand& command) {
            const std::string line = Sim::CommandLogLine(command) + "\n";
            std::fwrite(line.data(), 1, line.size(), file);
            std::fflush(file);
        });
    }
    std::unique_ptr<FILE, int (*)(FILE*)> values(nullptr, std::fclose);
    if (!valuesPath.empty()) {
        values.reset(std::fopen(valuesPath.c_str(), "w"));
        if (!values) {
            std::fprintf(stderr, "ora2orb2-sim: cannot write the value log %s: %s\n", valuesPath.c_str(),
                         std::strerror(errno));
            return 2;
        }
        model->SetValueListener([file = values.get()](const Sim::SentValue& value) {
            const std::string line = Sim::ValueLogLine(value) + "\n";
            std::fwrite(line.data(), 1, line.size(), file);
            std::fflush(file);
        });
    }
    // The chosen start values survive a restart, as if stored in the sensor.
    if (format >= 0) {
        model->StoreParam(101, format);
    }
    if (unit >= 0) {
        model->StoreParam(111, unit);
    }

    // The handlers are in place before the device appears, so that whoever
    // sees it may signal at once.
    struct sigaction sa{};
    sa.sa_handler = OnSignal;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGHUP, &sa, nullptr);
    sa.sa_handler = OnUnplug;
    sigaction(SIGUSR1, &sa, nullptr);
    signal(SIGPIPE, SIG_IGN);

    Sim::PtyServer server(model);
    std::string error;
    auto announce = [&server, &linkPath] {
        std::printf("%s\n", server.SlavePath().c_str());
        std::fflush(stdout);
        if (!linkPath.empty()) {
            std::fprintf(stderr, "ora2orb2-sim: %s -> %s\n", linkPath.c_str(), server.SlavePath().c_str());
        }
    };
    if (!server.Start(&error, linkPath)) {
        std::fprintf(stderr, "ora2orb2-sim: cannot create the pseudo-terminal: %s\n", error.c_str());
        return 1;
    }
    announce();

    double replugAt = -1;  // >= 0 while the adapter is out
    while (!g_Stop) {
        if (g_Unplug) {
            g_Unplug = 0;
            if (server.Running()) std::fprintf(stderr, "ora2orb2-sim: unplugged\n");
            server.Stop();
            replugAt = clock() + replugMs;
        }
        if (replugAt >= 0 && clock() >= replugAt) {
            if (server.Start(&error, linkPath)) {
                replugAt = -1;
                announce();
            } else {
                std::fprintf(stderr, "ora2orb2-sim: cannot plug back in: %s\n", error.c_str());
                replugAt = clock() + replugMs;  // try again
            }
        }
        if (replugAt >= 0) {
            // The sensor has its own power: it goes on measuring, its output goes nowhere.
            model->Transmit();
            ::poll(nullptr, 0, 5);
            continue;
        }
        server.Serve(5);
    }

    server.Stop();
    if (!linkPath.empty()) ::unlink(linkPath.c_str());
    return 0;
}
