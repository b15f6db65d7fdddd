// The sender: the hooks the protocol takes from its surroundings, commands
// and their deadlines, and the parameter writes that wait for their answer.
// (Decoding the replies: ReplyDecoder.cpp.)
#include "modKOVComm.h"

#include <chrono>
#include <thread>

#include "Crc16Loader.h"
#include "DistanceUnits.h"
#include "FrameReader.h"
#include "LineHold.h"
#include "ProtocolParts.h"
#include "SerialPort.h"
#include "clsKOV.h"
#include "modAPI.h"

namespace modKOVComm {
namespace {

Hooks g_hooks;

// The WriteParameter waiting right now (innermost, when nested): it looks at
// the event of every decoding step of its link, so that an answer is not
// lost when the pump runs more than one step.
struct WriteWait {
    const clsKOV* link;
    std::int32_t seen;  // 0 until a step ended with -1, 3, 4, 5 or 6; a late answer replaces -1
};
WriteWait* g_wait = nullptr;

// Events that end the wait of a parameter write.
bool EndsAWrite(std::int32_t e) {
    return e == Event::NoAnswer || e == Event::Temperature || e == Event::Configuration || e == Event::Accepted ||
           e == Event::Rejected;
}

void Pause(int milliseconds) {
    if (milliseconds <= 0) return;
    if (g_hooks.sleep) {
        g_hooks.sleep(milliseconds);
        return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

}  // namespace

int CommandTimeout(const std::string& command, int speed) {
    if (command == "S") return 1500;
    if (command == "T") return 1000;
    if (command == "M") return 3000;
    if (command == "C") {
        if (speed <= 0) return 1500;  // port gone: no speed to scale with
        return static_cast<int>(RoundHalfEven(5000000.0 / speed));
    }
    if (Contains(command, "000") || Contains(command, "999")) return 3000;
    return 1500;
}

bool SendCommand(clsKOV& link, const std::string& command) {
    // The one place that decides who may talk: while a sequence holds the
    // line, nobody else does.
    if (LineHeld(link) && !link.Line.HolderSending) return false;
    const int speed = link.CommBaudrate();
    SerialLayer::Port* port = link.SerialPort();
    // A port on the network adds its round trip to every deadline.
    const int timeout = CommandTimeout(command, speed) + (port ? port->ReplyAllowanceMs() : 0);
    bool sent = true;
    if (port) {
        port->FlushInput();
        // A byte that cannot be sent ends the command: what the sensor
        // receives is never a changed text (a dropped digit in "352 20000"
        // would be a valid write of another value).
        for (char c : command) {
            if (!port->PutChar(static_cast<unsigned char>(c))) {
                sent = false;
                break;
            }
        }
    }
    // Give the sensor time to finish the value it is sending.
    if (command == "S" && speed > 0) Pause(static_cast<int>(RoundHalfEven(170000.0 / speed)));
    link.EventNr = Event::Nothing;
    link.InBuffer.clear();
    link.LastCommand = command;
    link.FailTime = link.CurrentTime + (timeout + 500) / modAPI::MsPerDay;

    clsKOV::DecoderMemory& m = link.Decoder;
    m.SentAt = link.CurrentTime;
    m.SendFailed = !sent;
    m.TakingOver = false;
    m.AnswerBytes = false;
    if (command != "T") m.KeepAliveRetries = 0;
    // "M" and "G" start the sensor's output at the beginning of a frame or
    // line. A continuous stream without checksum is still confirmed by its
    // first frames: a stray byte in front of them would shift every window.
    m.FrameLocked =
        command == "G" ||
        (command == "M" && !(link.OutputFormat == OutputFormat::Binary && link.OutputMode == OutputMode::Continuous));
    m.Unframed.clear();
    if (command == "M") {
        m.LineWidth = 0;
        m.NewWidth = 0;
        m.NewWidthCount = 0;
        m.HaveReference = false;
        m.LineNoise = false;
    }
    return true;
}

// A command refused because another sequence holds the line changes no state.
void StartContinuous(clsKOV& link) {
    if (link.SendCommand("M")) link.CommStatus = Comm::Measuring;
}

void StopContinuous(clsKOV& link) {
    if (link.SendCommand("S")) link.CommStatus = Comm::Idle;
}

std::string ParameterValueText(const clsKOV& link, const std::string& code) {
    auto pick = [](std::int32_t index, std::initializer_list<const char*> list, const char* other) {
        if (index >= 0 && static_cast<std::size_t>(index) < list.size()) return std::string(list.begin()[index]);
        return std::string(other);
    };
    auto num = [](std::int32_t v) { return std::to_string(v); };
    if (code == "101") return pick(link.OutputFormat, {"ASCII", "ASCII+UNIT", "BINARY", "BINARY+CRC"}, "ASCII+UNIT");
    if (code == "111")
        return DistanceUnits::Known(link.DistanceUnit) ? DistanceUnits::WireText(link.DistanceUnit) : "M";
    if (code == "301") return pick(link.AverageDepth, {"1", "16", "64", "256", "1024"}, "1024");
    if (code == "302") return pick(link.TimeOut, {"0", "25", "50", "100", "200"}, "25");
    if (code == "304") return num(link.MovingAverage);
    if (code == "305") return num(link.AutostartMode);
    if (code == "306") return num(link.EchoCheck);
    if (code == "311") return num(link.Blanking);
    if (code == "401") return num(link.AnalogMin);
    if (code == "402") return num(link.AnalogMax);
    if (code == "403") return num(link.AnalogOutput);
    if (code == "501") return num(link.S1OnThreshold);
    if (code == "502") return num(link.S1OffThreshold);
    if (code == "503") return num(link.S1Logic);
    if (code == "504") return num(link.S2OnThreshold);
    if (code == "505") return num(link.S2OffThreshold);
    if (code == "506") return num(link.S2Logic);
    if (code == "601") return pick(link.Baudrate, {"1200", "2400", "4800", "9600", "19200", "38400"}, "9600");
    if (code == "603") return pick(link.OutputMode, {"C", "S", "R"}, "C");
    if (code == "610") return num(link.NodeAddress);
    if (code == "701") return num(link.Offset);
    if (code == "702") return num(link.ScaleFactor);
    if (code == "801") return num(link.Temperature);
    if (code == "802") return num(link.AirPressure);
    if (code == "351") return pick(link.RainFilter, {"OFF", "DISTECHO", "PIXEL"}, "");
    if (code == "352") return num(link.DistanceWindow);
    if (code == "353") return num(link.EchoThreshold);
    if (code == "354") return num(link.DistanceLimit);
    if (code == "355") return num(link.MeasValid);
    return "";
}

const Hooks& GetHooks() { return g_hooks; }
void SetHooks(Hooks hooks) { g_hooks = std::move(hooks); }

void ResetHooks() {
    g_hooks = Hooks();
    ConfigurationRead = false;
}

void SetEventPump(EventPump pump) { g_hooks.pump = std::move(pump); }
void SetClosing(bool closing) { g_hooks.closing = closing; }
bool Closing() { return g_hooks.closing; }
void SetSleep(SleepFunction sleep) { g_hooks.sleep = std::move(sleep); }
void SetChecksumFunction(ChecksumFunction checksum) { g_hooks.checksum = std::move(checksum); }

bool FrameChecksum(clsKOV& link, const unsigned char* data, unsigned count, std::uint16_t* result) {
    const bool computed = g_hooks.checksum ? g_hooks.checksum(data, count, -1, result)
                                           : Crc16Loader::ByteBlock(data, count, -1, result);
    link.Decoder.ChecksumMissing = !computed;
    return computed;
}

void WriteParameter(clsKOV& link, const std::string& code) {
    if (g_hooks.pump) {
        // A copy: the pump may replace the hooks while it runs.
        const EventPump pump = g_hooks.pump;
        WriteParameter(link, code, pump);
        return;
    }
    // No event loop: decode by ourselves, one step per monitor period.
    WriteParameter(link, code, [&link](int) {
        Pause(50);
        link.CurrentTime = modAPI::NowWithMs();
        link.ReadComportData();
        link.EvaluateInBuffer();
    });
}

void WriteParameter(clsKOV& link, const std::string& code, const EventPump& pump, const CancelCheck& cancelled) {
    LineHold hold(link);
    hold.WaitForFreeLine(pump, cancelled);
    if (cancelled && cancelled()) {
        link.EventNr = Event::NoAnswer;
        return;
    }
    link.CurrentTime = modAPI::NowWithMs();
    hold.Send(code + " " + ParameterValueText(link, code) + "\r");
    if (link.Decoder.SendFailed) {
        link.EventNr = Event::NoAnswer;  // the write did not leave completely: no answer to wait for
        return;
    }
    // Registered for the time of the wait, also when the pump throws.
    struct Registration {
        WriteWait wait;
        WriteWait* outer;
        explicit Registration(const clsKOV* link) : wait{link, 0}, outer(g_wait) { g_wait = &wait; }
        ~Registration() { g_wait = outer; }
        Registration(const Registration&) = delete;
        Registration& operator=(const Registration&) = delete;
    } registration(&link);
    WriteWait& wait = registration.wait;
    // The decoder reports the deadline (-1). An answer may still come a
    // little later: it is this write's own, nothing else has gone out, so
    // the wait goes on for the late-answer time. Should the pump stop
    // decoding (timer stopped), the real clock ends the wait; the pump
    // returns at least every PumpSliceMs, so this check runs.
    const double lateUntil = link.FailTime + LateAnswerMs / modAPI::MsPerDay;
    constexpr double Margin = 10000.0 / modAPI::MsPerDay;
    for (;;) {
        if (g_hooks.closing || !link.PortIsOpen() || !pump || (cancelled && cancelled())) {
            wait.seen = Event::NoAnswer;
            break;
        }
        pump(PumpSliceMs);
        if (EndsAWrite(link.EventNr) && (wait.seen == 0 || wait.seen == Event::NoAnswer)) wait.seen = link.EventNr;
        if (wait.seen != 0 && wait.seen != Event::NoAnswer) break;
        if (wait.seen == Event::NoAnswer && (link.CurrentTime > lateUntil || link.LastCommand.empty())) break;
        if (modAPI::NowWithMs() > lateUntil + Margin) {
            wait.seen = Event::NoAnswer;
            break;
        }
    }
    // A temperature or an information block instead of the acknowledgement:
    // the write was not taken.
    link.EventNr = (wait.seen == Event::Temperature || wait.seen == Event::Configuration) ? Event::Rejected : wait.seen;
    if (link.EventNr == Event::Accepted && code == "601") FollowSensorSpeed(link);
}

void FollowSensorSpeed(clsKOV& link) {
    // The sensor answered at the old speed and talks at the new one from now on.
    const std::int32_t index = link.Baudrate;
    if (index < 0 || static_cast<std::size_t>(index) >= SerialLayer::SensorSpeeds.size()) return;
    const int speed = SerialLayer::SensorSpeeds[static_cast<std::size_t>(index)];
    if (link.CommBaudrate() != speed) link.CommBaudrate(speed);
}

void TellWaitingWrite(const clsKOV& link) {
    if (g_wait && g_wait->link == &link && EndsAWrite(link.EventNr) &&
        (g_wait->seen == 0 || (g_wait->seen == Event::NoAnswer && link.EventNr != Event::NoAnswer)))
        g_wait->seen = link.EventNr;
}

}  // namespace modKOVComm
