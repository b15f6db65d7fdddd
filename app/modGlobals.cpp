#include "modGlobals.h"

namespace modGlobals {

clsIni Settings;
std::string SettingsFile;

std::int32_t Baudrate = 9600;
std::int32_t Comport = 1;
std::string DefaultDevice = "Serial";
bool ExitRequested = false;

bool AutoScale = true;
double yMin = 0;
double yMax = 5000;

std::shared_ptr<clsKOV> Device;
std::vector<ConfigEntry> ConfigList;
std::vector<std::string> UnloadedConfigFiles;
std::string ConfigLoadProblems;

bool ShowZeroValues = false;
bool ValueWindowOpen = false;
bool ConfigDialogOpen = false;
bool RecorderWindowOpen = false;
RecorderMode RecorderState = RecorderMode::Idle;

void ResetState() {
    Settings = clsIni();
    SettingsFile.clear();
    Baudrate = 9600;
    Comport = 1;
    DefaultDevice = "Serial";
    ExitRequested = false;
    AutoScale = true;
    yMin = 0;
    yMax = 5000;
    ConfigList.clear();
    UnloadedConfigFiles.clear();
    ConfigLoadProblems.clear();
    Device.reset();
    ShowZeroValues = false;
    ValueWindowOpen = false;
    ConfigDialogOpen = false;
    RecorderWindowOpen = false;
    RecorderState = RecorderMode::Idle;
}

int BaudrateIndex(std::int32_t bitsPerSecond) {
    for (std::size_t i = 0; i < Baudrates.size(); ++i)
        if (Baudrates[i] == bitsPerSecond) return static_cast<int>(i);
    return -1;
}

}  // namespace modGlobals
