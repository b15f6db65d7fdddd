#pragma once
// One conversation at a time on the line to the sensor: at most one command
// awaits an answer.
//
// A sequence whose answers must not mix with anything else (a configuration
// transfer, one parameter write and its wait) holds the line while it runs.
// Meanwhile only the holder's own commands go out: SendCommand refuses every
// other one (the decoder's keep-alive "T", its "X", "C" and the "S" that
// stops a stream, the measurement loop's temperature requests and restarts)
// and returns false. Holds nest; the line is free when the last one ends.
//
// Before its first command a holder waits for the answer of a command that
// went out just before the hold (a keep-alive "T", say): that answer, or its
// deadline and the late-answer time after it, comes first.
#include <functional>
#include <string>

#include "modKOVComm.h"

class clsKOV;

namespace modKOVComm {

// An answer that comes after its deadline may still arrive this long after
// it. Nothing else goes out meanwhile, so that it cannot be taken for the
// answer of the next command.
constexpr double LateAnswerMs = 1000;

class LineHold {
public:
    explicit LineHold(clsKOV& link);
    ~LineHold();
    LineHold(const LineHold&) = delete;
    LineHold& operator=(const LineHold&) = delete;

    // The holder's commands: sent even though the line is held.
    bool Send(const std::string& command);
    void StartContinuous();  // "M", CommStatus 2
    void StopContinuous();   // "S", CommStatus 1

    // Runs `pump` until no command sent before awaits its answer any more:
    // the answer came, or its deadline and the late-answer time passed.
    // Also ends when the port closes, the program closes or `cancelled`
    // (when given) returns true.
    void WaitForFreeLine(const EventPump& pump, const std::function<bool()>& cancelled = {});

private:
    clsKOV& m_link;
};

// True while a hold is in effect: only the holder sends.
bool LineHeld(const clsKOV& link);

// The command that went out last awaits an answer that has to be paired
// with it ("T", "C", "X" or a parameter write), and its time is not over.
bool AnswerAwaited(const clsKOV& link);

}  // namespace modKOVComm
