#pragma once
// Application-wide state: the settings read from KOV.ini, the one sensor link
// and the flags the windows share. (Whether a measurement runs is the
// measurement loop's to say, the chart's y range the chart's.)
// Everything lives on the user-interface thread; there is no locking.
#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "RecorderHost.h"
#include "SerialPort.h"
#include "clsIni.h"

class clsKOV;

namespace modGlobals {

// One entry of the configuration list: its key and the parameter set.
using ConfigEntry = std::pair<std::string, std::shared_ptr<clsKOV>>;

// Settings file (KOV.ini in the program folder) and its path.
extern clsIni Settings;
extern std::string SettingsFile;

extern std::int32_t Baudrate;       // bit/s used to open the port
extern std::int32_t Comport;        // 1 = first port
extern std::string DefaultDevice;   // "Serial" or "Profibus"
extern bool ExitRequested;          // start dialog left with Exit

extern bool AutoScale;              // chart y axis scales itself
extern double yMin;                 // fixed y range (mm) when AutoScale is off
extern double yMax;

// The speeds offered for the port (the sensor's own list, parameter 601).
inline constexpr const std::array<int, 6>& Baudrates = SerialLayer::SensorSpeeds;
// Index of a speed in Baudrates; -1 when it is not there.
int BaudrateIndex(std::int32_t bitsPerSecond);

// The sensor link "Device" and the configuration list (the device first).
extern std::shared_ptr<clsKOV> Device;
extern std::vector<ConfigEntry> ConfigList;
// Index names of configuration files that did not load at start (kept in
// the index, see modConfigList), and what went wrong with them ("" when
// every file loaded), for the main window to tell.
extern std::vector<std::string> UnloadedConfigFiles;
extern std::string ConfigLoadProblems;

// Window flags.
extern bool ShowZeroValues;         // zero distances go into the chart
extern bool ValueWindowOpen;        // frmTextWindow is loaded
extern bool ConfigDialogOpen;       // frmKOV is shown
extern bool RecorderWindowOpen;     // frmRecorder is loaded
extern RecorderMode RecorderState;

// Puts every item back to its start value (tests, a second start).
void ResetState();

}  // namespace modGlobals
