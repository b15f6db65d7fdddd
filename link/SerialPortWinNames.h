#pragma once
// Pieces of the Windows serial backend that need no port: the names of COM
// ports, and what the system's error codes mean for the link. Windows only.
#ifdef _WIN32
#include <string>

namespace SerialLayer {
namespace WinNames {

// The name CreateFile needs for a device: "COM12" becomes "\\.\COM12"
// (required from COM10 on, harmless below); other names stay as they are.
std::string DevicePath(const std::string& name);

// Number of a port name "COMn" or "\\.\COMn" (1..255, any letter case);
// 0 for anything else.
int ComNumber(const std::string& name);

// ClearCommError's error bits as the layer's line status (bit 0 parity,
// 1 framing, 2 overrun, 3 input buffer overflow).
int StatusOfErrors(unsigned long errors);

// True when a failed call's error code says the device is gone (unplugged
// adapter) rather than that one call went wrong.
bool MeansDeviceGone(unsigned long error);

}  // namespace WinNames
}  // namespace SerialLayer
#endif
