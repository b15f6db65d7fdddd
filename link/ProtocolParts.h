#pragma once
// What the files of the sensor protocol share and nobody else uses: the
// sender and the parameter writes (modKOVComm.cpp), the reply decoder
// (ReplyDecoder.cpp), the information block (InfoBlock.cpp) and the frame
// reader (FrameReader.cpp).
#include <cmath>
#include <cstdint>
#include <string>

#include "modFunctions.h"

class clsKOV;

namespace modKOVComm {

inline const std::string CrLf = "\r\n";

// Rounded to the nearest integer, ties to even.
inline double RoundHalfEven(double x) {
    const double f = std::floor(x);
    const double diff = x - f;
    if (diff > 0.5) return f + 1;
    if (diff < 0.5) return f;
    return std::fmod(f, 2.0) == 0.0 ? f : f + 1;
}

inline bool Contains(const std::string& s, const char* what) { return s.find(what) != std::string::npos; }

inline bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// The sensor pads its texts with blanks only.
inline std::string Trim(const std::string& s) { return modFunctions::Trim(s, " "); }

// The values the decoding depends on can be read from an information block:
// the format and the unit, and the averaging, the time-out, the speed and
// the output mode where the block has them.
bool BlockReadable(const std::string& block);

// The end of every decoding step: a parameter write that waits for its
// answer on this link sees the step's event.
void TellWaitingWrite(const clsKOV& link);

}  // namespace modKOVComm
