#include "CliCommands.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>

#include "CliOutput.h"
#include "CliPublish.h"
#include "SerialPort.h"
#include "clsConfigTransfer.h"
#include "clsIni.h"
#include "clsKOV.h"
#include "clsRecordWriter.h"
#include "modAPI.h"
#include "modConfigFields.h"
#include "modFunctions.h"
#include "modKOVComm.h"
#include "modKOVFile.h"
#include "modRecFile.h"
#include "modSafeFile.h"

namespace cli {
namespace {

namespace Event = modKOVComm::Event;
namespace Comm = modKOVComm::Comm;
namespace OutputMode = modKOVComm::OutputMode;
using modFunctions::GetText;

void Fail(std::ostream& err, const std::string& text) { err << "ora2orb2-cli: " << text << "\n" << std::flush; }

// ---------------------------------------------------------------------------
// ports
// ---------------------------------------------------------------------------

int Ports(const Options& o, std::ostream& out) {
    clsIni settings;
    settings.Filename(modAPI::ProgramFolder() + "/KOV.ini");
    const std::vector<std::string> detected = SerialLayer::DetectedSerialPorts();
    std::vector<PortEntry> ports;
    for (int n = 1; n <= 255; ++n) {
        const std::string device = SerialLayer::DeviceForComport(n, &settings);
        bool listed = o.All;
#ifdef _WIN32
        // Every number has a name there; the ones that exist are listed.
        const bool configured = !modFunctions::Trim(settings.GetSetting("PORTS", std::to_string(n), "")).empty();
        listed = listed || configured || std::find(detected.begin(), detected.end(), device) != detected.end() ||
                 std::find(detected.begin(), detected.end(), "COM" + std::to_string(n)) != detected.end();
#else
        listed = listed || !device.empty();
#endif
        if (listed) ports.push_back({n, device});
    }
    out << (o.Json ? PortsJson(ports) : PortsText(ports)) << std::flush;
    return ExitCode::Ok;
}

// ---------------------------------------------------------------------------
// The transfer's questions and status, answered by the options
// ---------------------------------------------------------------------------

class TransferAnswers : public TransferHost {
public:
    TransferAnswers(Session& session, ErrorPolicy policy) : m_session(session), m_policy(policy) {}

    void ShowStatus(int textId) override { m_status = textId; }
    void SetStatusColor(std::uint32_t) override {}
    TransferAnswer AskAbortRetryIgnore(const std::string& code, std::int32_t eventNr) override {
        const bool rejected = eventNr == Event::Rejected;
        (rejected ? m_rejected : m_silent) = true;
        std::string what = "parameter " + code + (rejected ? ": refused by the sensor" : ": no answer");
        TransferAnswer answer = TransferAnswer::Abort;
        switch (m_policy.What) {
            case ErrorPolicy::Kind::Ignore:
                answer = TransferAnswer::Ignore;
                what += ", left out";
                break;
            case ErrorPolicy::Kind::Retry: {
                int& tries = m_tries[code];
                if (tries < m_policy.Retries) {
                    ++tries;
                    answer = TransferAnswer::Retry;
                    what += ", try " + std::to_string(tries) + " of " + std::to_string(m_policy.Retries);
                } else {
                    what += ", upload aborted";
                }
                break;
            }
            case ErrorPolicy::Kind::Abort: what += ", upload aborted"; break;
        }
        m_session.Note(what);
        return answer;
    }
    bool CancelRequested() override { return InterruptRequested() || m_session.Lost(); }

    int Status() const { return m_status; }
    bool AnyRejected() const { return m_rejected; }
    bool AnySilent() const { return m_silent; }

private:
    Session& m_session;
    ErrorPolicy m_policy;
    int m_status = 0;
    bool m_rejected = false;
    bool m_silent = false;
    std::map<std::string, int> m_tries;
};

// The exit code of a transfer that did not end with Done.
int TransferFailure(Session& s, const TransferAnswers& host, clsConfigTransfer::Result result) {
    if (const int stopped = s.Stopped()) return stopped;
    if (host.Status() != 0) s.Error(GetText(host.Status()));
    switch (result) {
        case clsConfigTransfer::Result::Rejected: return ExitCode::Rejected;
        case clsConfigTransfer::Result::NoAnswer:
            if (host.Status() == 0) s.Error("no answer from the sensor on " + s.PortName());
            return host.AnyRejected() ? ExitCode::Rejected : ExitCode::NoAnswer;
        default: return host.AnyRejected() ? ExitCode::Rejected : ExitCode::NoAnswer;
    }
}

// ---------------------------------------------------------------------------
// info, store, defaults, set
// ---------------------------------------------------------------------------

int Info(Session& s, std::ostream& out) {
    const clsKOV& link = s.Link();
    out << (s.Opts().Json ? InfoJson(link) + "\n" : InfoText(link)) << std::flush;
    return ExitCode::Ok;
}

int StoreOrDefaults(Session& s, bool store) {
    TransferAnswers host(s, {});
    clsConfigTransfer transfer(s.LinkPtr(), host);
    transfer.SetEventPump([&s](int ms) { s.Pump(ms); });
    s.Progress(store ? "storing the configuration ..." : "setting factory defaults ...");
    const clsConfigTransfer::Result result =
        store ? transfer.TransferConfig(clsConfigTransfer::Mode::StorePermanent) : transfer.SetFactoryDefaults();
    s.Progress("");
    if (result != clsConfigTransfer::Result::Done) return TransferFailure(s, host, result);
    if (host.Status() != 0) s.Note(GetText(host.Status()));
    return ExitCode::Ok;
}

// Why the connected sensor has no parameter `code`; "" when it has it.
std::string MissingParameter(const clsKOV& k, const std::string& code) {
    if (clsConfigTransfer::DeviceHas(k, code)) return "";
    if (code.size() == 3 && code.compare(0, 2, "35") == 0) return "the sensor has no rain filter";
    if (code == "610") return "a " + SensorText(k.DeviceType) + " sensor has no Profibus address";
    return "a " + SensorText(k.DeviceType) + " sensor has no such parameter";
}

int Set(Session& s, const ParameterInfo& p, std::int32_t value) {
    clsKOV& k = s.Link();
    // What the sensor does not have is not sent, as the dialog does not offer it.
    const std::string missing = MissingParameter(k, p.Code);
    if (!missing.empty()) {
        s.Error(missing + ": " + p.Code + " is not sent");
        return ExitCode::Rejected;
    }
    if (k.CommStatus == Comm::Measuring) modKOVComm::StopContinuous(k);
    if (const int stopped = s.Stopped()) return stopped;
    std::int32_t& field = k.*(p.Member);
    const std::int32_t old = field;
    field = value;
    k.CurrentTime = modAPI::NowWithMs();
    modKOVComm::WriteParameter(
        k, p.Code, [&s](int ms) { s.Pump(ms); }, [&s] { return InterruptRequested() || s.Lost(); });
    const std::int32_t e = k.EventNr;
    if (e == Event::Accepted) {
        const std::string wire = modKOVComm::ParameterValueText(k, p.Code);
        const std::string number = std::to_string(value);
        s.Note(std::string(p.Code) + " = " + number + (p.ListSize > 0 && wire != number ? " (" + wire + ")" : "") +
               ": accepted");
        s.NoteNewSpeed();  // 601: the port followed the sensor
        return ExitCode::Ok;
    }
    field = old;
    if (const int stopped = s.Stopped()) return stopped;
    if (e == Event::Rejected) {
        s.Error("the sensor refused " + std::string(p.Code) + " = " + std::to_string(value));
        return ExitCode::Rejected;
    }
    s.Error("no answer from the sensor to " + std::string(p.Code) + " on " + s.PortName());
    return ExitCode::NoAnswer;
}

// ---------------------------------------------------------------------------
// download, upload
// ---------------------------------------------------------------------------

int Download(Session& s) {
    const Options& o = s.Opts();
    TransferAnswers host(s, {});
    clsConfigTransfer transfer(s.LinkPtr(), host);
    transfer.SetEventPump([&s](int ms) { s.Pump(ms); });
    s.Progress("reading the configuration ...");
    const clsConfigTransfer::Result result = transfer.TransferConfig(clsConfigTransfer::Mode::Download);
    s.Progress("");
    if (result != clsConfigTransfer::Result::Done) return TransferFailure(s, host, result);

    clsKOV kov = s.Link();  // a copy starts without the port
    kov.Filename = o.File;
    std::string description = o.Description;
    if (description.empty()) {
        // An existing file keeps its name for the configuration.
        clsKOV existing;
        existing.Filename = o.File;
        if (modKOVFile::ReadConfigFile(existing).Ok()) description = existing.Description;
    }
    if (description.empty()) {
        const std::string serial = modFunctions::Trim(SensorText(s.Link().SerialNo));
        description = serial.empty() ? GetText(1284) : GetText(900) + " " + serial;
    }
    kov.Description = modKOVFile::NormalizeDescription(description);
    if (kov.Description.empty()) kov.Description = GetText(1284);
    std::string error;
    if (!modKOVFile::WriteConfigFile(kov, &error)) {
        s.Error("cannot write " + o.File + ": " + error);
        return ExitCode::FileError;
    }
    s.Note(GetText(host.Status() != 0 ? host.Status() : TransferText::Downloaded) + ": " + o.File);
    return ExitCode::Ok;
}

// The dialog's controls as they would show `file` for the connected sensor:
// what the sensor does not have stays disabled and keeps the sensor's value.
modConfigFields::ControlValues ControlsFor(const clsKOV& file, const clsKOV& sensor) {
    namespace F = modConfigFields::Field;
    const bool serial = sensor.DeviceType == "Serial";
    const bool rain = sensor.RainFilter >= 0;
    const bool analog = file.AnalogOutput != 0;
    modConfigFields::ControlValues v;
    v.Baudrate = {file.Baudrate, true};
    v.OutputMode = {file.OutputMode, serial};
    v.OutputFormat = {file.OutputFormat, true};
    v.DistanceUnit = {file.DistanceUnit, true};
    v.AverageDepth = {file.AverageDepth, true};
    v.TimeOut = {file.TimeOut, true};
    v.RainFilter = {file.RainFilter >= 0 ? file.RainFilter : -1, rain};
    v.S2Logic = {file.S2Logic, serial && analog};
    v.Autostart = {file.AutostartMode, true};
    v.MovingAverage = {file.MovingAverage, true};
    v.EchoCheck = {file.EchoCheck, true};
    v.Blanking = {file.Blanking, true};
    v.AnalogOutput = {file.AnalogOutput, serial};
    const std::int32_t values[modConfigFields::FieldCount] = {
        file.Offset,         file.ScaleFactor,    file.Temperature,   file.AirPressure, file.S1OnThreshold,
        file.S1OffThreshold, file.S2OnThreshold,  file.S2OffThreshold, file.AnalogMin,  file.AnalogMax,
        file.NodeAddress,    file.DistanceWindow, file.EchoThreshold, file.DistanceLimit, file.MeasValid};
    for (int i = 0; i < modConfigFields::FieldCount; ++i) {
        bool enabled = true;
        if (i == F::S1On || i == F::S1Off) enabled = serial;
        if (i == F::S2On || i == F::S2Off) enabled = serial && !analog;
        if (i == F::AnalogMin || i == F::AnalogMax) enabled = serial && analog;
        if (i == F::NodeAddress) enabled = !serial;
        v.Fields[static_cast<std::size_t>(i)] = {modConfigFields::ValueText(i, values[i]), enabled};
    }
    return v;
}

const char* FieldKey(int index) {
    static const char* const keys[modConfigFields::FieldCount] = {
        "Offset",        "ScaleFactor",    "Temperature",    "AirPressure", "S1OnThreshold",
        "S1OffThreshold", "S2OnThreshold", "S2OffThreshold", "AnalogMin",   "AnalogMax",
        "NodeAddress",   "DistanceWindow", "EchoThreshold",  "DistanceLimit", "ValidMeasurements"};
    return index >= 0 && index < modConfigFields::FieldCount ? keys[index] : "?";
}

int Upload(Session& s, const clsKOV& file) {
    clsKOV& k = s.Link();
    if (file.DeviceType != k.DeviceType)
        s.Note("note: " + s.Opts().File + " holds a " + file.DeviceType + " configuration, the sensor is a " +
               SensorText(k.DeviceType) + " device: what it does not have is left as it is");

    TransferAnswers host(s, s.Opts().OnError);
    clsConfigTransfer transfer(s.LinkPtr(), host);
    transfer.SetEventPump([&s](int ms) { s.Pump(ms); });

    const auto states = modConfigFields::ApplyControls(ControlsFor(file, k), k, transfer.Old);
    for (int i = 0; i < modConfigFields::FieldCount; ++i)
        if (states[static_cast<std::size_t>(i)] == modConfigFields::FieldState::Refused)
            s.Note(std::string("note: ") + FieldKey(i) + " of the file is outside what the sensor takes; the sensor's " +
                   "value is sent instead");

    // Progress: the parameter being written, of how many.
    int total = 0;
    for (const ParameterInfo& p : Parameters()) {
        if (std::string(p.Code) == "351" && k.RainFilter == -1) break;
        if (clsConfigTransfer::SentByUpload(k, p.Code)) ++total;
    }
    int sent = 0;
    std::string lastWrite;
    const int listener = s.Loop().AddTickListener([&](clsKOV& link) {
        const std::string& c = link.LastCommand;
        if (c.size() > 4 && c.back() == '\r' && c != lastWrite) {
            lastWrite = c;
            ++sent;
            s.Progress("upload: " + c.substr(0, 3) + " (" + std::to_string(std::min(sent, total)) + " of " +
                       std::to_string(total) + ")");
        }
    });
    const clsConfigTransfer::Result result = transfer.TransferConfig(clsConfigTransfer::Mode::Upload);
    s.Loop().RemoveTickListener(listener);
    s.Progress("");
    s.NoteNewSpeed();
    if (result != clsConfigTransfer::Result::Done) return TransferFailure(s, host, result);
    s.Note(GetText(host.Status() != 0 ? host.Status() : TransferText::Uploaded));
    return ExitCode::Ok;
}

// ---------------------------------------------------------------------------
// monitor, record
// ---------------------------------------------------------------------------

// Measures until the count, the duration or an interrupt ends it. `take`
// gets every distance; false from it ends the measurement with `takeFailed`.
// Every distance taken is published too, while `publishing` is active.
int Measure(Session& s, const std::function<bool(const Measurement&)>& take, bool* takeFailed, std::int64_t* taken,
            Publishing& publishing) {
    const Options& o = s.Opts();
    clsKOV& k = s.Link();
    MonitorLoop& loop = s.Loop();
    loop.SetTemperatureRequests(o.Temperature);
    k.ReadTempInterval = static_cast<std::int32_t>(o.TemperatureIntervalS * 1000.0);

    double lastValueAt = s.Driver().NowMs();
    bool failed = false;
    const int id = loop.Subscribe([&](const Measurement& m) {
        if (failed) return;
        if (o.Count > 0 && *taken >= o.Count) return;
        if (!take(m)) {
            failed = true;
            return;
        }
        publishing.Distance(m);
        ++*taken;
        lastValueAt = s.Driver().NowMs();
    });

    const double start = s.Driver().NowMs();
    const double timeoutMs = o.TimeoutS * 1000.0 + (o.Temperature ? 4000.0 : 0.0);
    const std::int32_t mode = k.OutputMode;
    if (mode != OutputMode::Single) loop.StartStop();
    std::uint64_t requested = loop.PublishedCount();
    double requestedAt = s.Driver().NowMs();
    int code = ExitCode::Ok;
    double lastProgress = -1e9;
    for (;;) {
        if (failed) {
            code = ExitCode::FileError;
            break;
        }
        if (o.Count > 0 && *taken >= o.Count) break;
        const double now = s.Driver().NowMs();
        if (o.DurationS > 0 && now - start >= o.DurationS * 1000.0) break;
        if (InterruptRequested()) break;  // the normal end of an endless measurement
        if (const int refused = publishing.Check()) {
            code = refused;
            break;
        }
        if (s.Lost()) {
            code = s.Stopped();
            break;
        }
        if (!s.ChecksumProblem().empty()) {
            s.Error(s.ChecksumProblem() + "; the sensor sends BINARY+CRC, whose frames need it");
            code = ExitCode::NoChecksum;
            break;
        }
        if (now - lastValueAt > timeoutMs) {
            s.Error("no values from the sensor on " + s.PortName() + " for " +
                    modFunctions::NumberText(timeoutMs / 1000.0) + " s");
            code = ExitCode::NoAnswer;
            break;
        }
        if (now - lastProgress >= 1000) {
            lastProgress = now;
            s.Progress(std::to_string(*taken) + " values");
        }
        if (mode == OutputMode::Single) {
            // Output mode "Single": one value per request.
            loop.SingleMeasurement();
            s.Tick();
        } else {
            if (mode == OutputMode::OnRequest && k.CommStatus == Comm::Measuring &&
                (loop.PublishedCount() != requested || now - requestedAt > 1500)) {
                // Output mode "On Request": the next value is asked for once the last one came.
                requested = loop.PublishedCount();
                requestedAt = now;
                loop.SingleValue();
            }
            s.Tick();
        }
    }
    loop.Unsubscribe(id);
    s.Progress("");
    // The sensor stops measuring before the tool ends ("S").
    if (!s.Lost() && (loop.Measuring() || k.CommStatus == Comm::Measuring) && k.PortIsOpen()) {
        if (loop.Measuring()) {
            loop.StartStop();
        } else {
            modKOVComm::StopContinuous(k);
        }
    }
    if (takeFailed) *takeFailed = failed;
    return code;
}

int Monitor(Session& s, std::ostream& out, Publishing& publishing) {
    const Options& o = s.Opts();
    // With --quiet a publishing monitor prints no rows.
    const bool rows = !(o.Quiet && publishing.Active());
    if (!o.Json && rows) out << CsvHeader(o.Temperature, o.Decimal) << "\n" << std::flush;
    std::int64_t taken = 0;
    const int code = Measure(
        s,
        [&](const Measurement& m) {
            if (!rows) return true;
            const Row row = RowOf(m);
            out << (o.Json ? JsonRow(row, o.Temperature) : CsvRow(row, o.Temperature, o.Decimal)) << "\n"
                << std::flush;
            return static_cast<bool>(out);
        },
        nullptr, &taken, publishing);
    if (code == ExitCode::FileError) s.Error("cannot write to standard output");
    return code;
}

int Record(Session& s, clsRecordWriter& writer, bool replacing, Publishing& publishing) {
    const std::string path = writer.Path();
    s.Note("recording into " + path);
    std::int64_t taken = 0;
    std::string writeError;
    int code = Measure(
        s, [&](const Measurement& m) { return writer.WriteLine(modRecFile::FormatLine(m), &writeError); }, nullptr,
        &taken, publishing);
    const bool removed = writer.Close();
    if (code == ExitCode::FileError) s.Error("cannot write " + path + ": " + writeError);
    if (removed) {
        s.Note(replacing ? "no distance recorded; " + path + " is left as it was"
                         : "no distance recorded; no file left behind");
        // Ended before the first distance: nothing was done.
        if (code == ExitCode::Ok) {
            if (InterruptRequested()) {
                code = s.Stopped();
            } else {
                s.Error("no values from the sensor on " + s.PortName() + " within the recording's " +
                        modFunctions::NumberText(s.Opts().DurationS) + " s");
                code = ExitCode::NoAnswer;
            }
        }
    } else {
        s.Note(std::to_string(taken) + " lines recorded into " + path);
    }
    return code;
}

// Creates the file `record` writes to, before the sensor is asked anything:
// the one given (new, or with --force a new file beside it that replaces it
// at the first line), or the next free one in REC.
bool CreateRecording(const Options& o, clsRecordWriter& writer, std::ostream& err) {
    std::string error;
    if (o.File.empty()) {
        std::error_code ignored;
        std::filesystem::create_directories(modAPI::ProgramFolder(), ignored);
        const std::string folder = modRecFile::MakeFolder(modAPI::ProgramFolder(), &error);
        if (folder.empty()) {
            Fail(err, "cannot make the recordings folder: " + error);
            return false;
        }
        if (!writer.CreateNext(folder, &error)) {
            Fail(err, "cannot create " + writer.Path() + ": " + error);
            return false;
        }
        return true;
    }
    const modSafeFile::FileInfo info = modSafeFile::Inspect(o.File);
    if (info.State == modSafeFile::FileState::NotAFile) {
        Fail(err, o.File + " is not a file");
        return false;
    }
    if (o.Force ? writer.Replace(o.File, &error) : writer.Create(o.File, &error)) return true;
    // Created exclusively: a name that is taken (a link too) is refused.
    std::error_code ignored;
    if (!o.Force && std::filesystem::symlink_status(std::filesystem::u8path(o.File), ignored).type() !=
                        std::filesystem::file_type::not_found)
        Fail(err, o.File + " exists; --force replaces it");
    else
        Fail(err, "cannot create " + o.File + ": " + error);
    return false;
}

// The data folder when none is given, chosen as the program chooses it.
std::string DefaultDataFolder() {
    return modAPI::DefaultDataFolder(modAPI::ExecutableFolder(), modAPI::UserDataFolder());
}

int LanguageOffsetOf(const Options& o) {
    if (o.Language >= 0) return o.Language * modFunctions::English;
    clsIni settings;
    settings.Filename(modAPI::ProgramFolder() + "/KOV.ini");
    const long long offset =
        static_cast<long long>(settings.GetSetting("GENERAL", "Language", 0)) * modFunctions::English;
    return offset == 0 ? modFunctions::German : modFunctions::English;
}

}  // namespace

int Run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err, const Environment& env) {
    const ParseResult parsed = ParseArguments(args);
    if (!parsed.Ok) {
        Fail(err, parsed.Error);
        return ExitCode::Usage;
    }
    Options options = parsed.Opts;  // with the password read, once the command line is sound
    const Options& o = options;
    if (o.Temperature && o.TemperatureIntervalS <= Options::ShortTemperatureIntervalS &&
        (o.Cmd == Command::Monitor || o.Cmd == Command::Record))
        err << "warning: a temperature reading every " << modFunctions::NumberText(o.TemperatureIntervalS)
            << " s: each one stops the values for about 2 s, so hardly any values remain\n"
            << std::flush;
    if (o.Cmd == Command::Help) {
        out << HelpText(o.HelpFor) << std::flush;
        return ExitCode::Ok;
    }
    if (o.Cmd == Command::Version) {
        out << VersionText() << std::flush;
        return ExitCode::Ok;
    }
    if (!o.DataDir.empty()) {
        const modSafeFile::FileInfo info = modSafeFile::Inspect(o.DataDir);
        if (info.State != modSafeFile::FileState::NotAFile) {
            Fail(err, "the data folder " + o.DataDir + " does not exist" +
                          (info.State == modSafeFile::FileState::Regular ? " (it is a file)" : ""));
            return ExitCode::FileError;
        }
        modAPI::SetProgramFolder(o.DataDir);
    } else {
        modAPI::SetProgramFolder(DefaultDataFolder());
    }
    modFunctions::SetLanguageOffset(LanguageOffsetOf(o));
    if (o.Cmd == Command::Ports) return Ports(o, out);

    // What can be checked before the sensor is asked anything.
    const ParameterInfo* parameter = nullptr;
    std::int32_t value = 0;
    if (o.Cmd == Command::Set) {
        parameter = FindParameter(o.Code);
        if (!parameter) {
            Fail(err, "unknown parameter code '" + o.Code + "' (see 'info' for the list)");
            return ExitCode::Usage;
        }
        std::string error;
        if (!ParseParameterValue(*parameter, o.Value, &value, &error)) {
            Fail(err, error);
            return ExitCode::Usage;
        }
    }
    clsKOV file;
    if (o.Cmd == Command::Upload) {
        file.Filename = o.File;
        const modKOVFile::ReadResult read = modKOVFile::ReadConfigFile(file);
        if (!read.Ok()) {
            Fail(err, modKOVFile::ReadProblemText(o.File, read));
            return ExitCode::FileError;
        }
        if (!o.Quiet)
            for (const modKOVFile::Repair& r : read.Repairs)
                err << "note: " << o.File << ": " << r.Key << " " << r.Read << " is out of range, " << r.Replaced
                    << " is used\n";
    }
    if (o.Publish) {
        if (!mqtt::Publisher::Built()) {
            Fail(err, "not built with MQTT: this build of the tool cannot publish (--mqtt)");
            return ExitCode::Usage;
        }
        std::string error;
        if (!o.MqttPasswordFile.empty()) {
            if (!mqtt::ReadPasswordFile(o.MqttPasswordFile, &options.Mqtt.Password, &error)) {
                Fail(err, error);
                return ExitCode::FileError;
            }
        } else if (const char* password = std::getenv(mqtt::PasswordVariable)) {
            options.Mqtt.Password = password;
        }
    }
    clsRecordWriter recording;  // an empty recording is removed again when the tool ends early
    if (o.Cmd == Command::Record && !CreateRecording(o, recording, err)) return ExitCode::FileError;

    Session session(o, err, env.Clock, env.Sleep);
    // Progress shows on a terminal only, and not between the rows of a
    // monitor that writes to the same terminal.
    session.SetProgressAllowed(env.StderrIsTerminal && !(o.Cmd == Command::Monitor && env.StdoutIsTerminal));
    if (const int code = session.Connect()) return code;

    switch (o.Cmd) {
        case Command::Info: return Info(session, out);
        case Command::Monitor:
        case Command::Record: {
            Publishing publishing(session);
            int code = publishing.Start();
            if (code == ExitCode::Ok)
                code = o.Cmd == Command::Monitor ? Monitor(session, out, publishing)
                                                 : Record(session, recording, o.Force && !o.File.empty(), publishing);
            publishing.Finish();
            return code;
        }
        case Command::Download: return Download(session);
        case Command::Upload: return Upload(session, file);
        case Command::Store: return StoreOrDefaults(session, true);
        case Command::Defaults: return StoreOrDefaults(session, false);
        case Command::Set: return Set(session, *parameter, value);
        default: return ExitCode::Usage;
    }
}

}  // namespace cli
