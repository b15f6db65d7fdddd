#include "modIni.h"

#include <cmath>
#include <memory>

#include "clsKOV.h"
#include "modAPI.h"
#include "modChartCommon.h"
#include "modFunctions.h"
#include "modConfigList.h"
#include "modGlobals.h"

namespace modIni {
namespace {

constexpr const char* kGeneral = "GENERAL";
constexpr const char* kChart = "CHART";

std::string JoinPath(const std::string& folder, const std::string& name) {
    if (folder.empty()) return name;
    const char last = folder.back();
    if (last == '/' || last == '\\') return folder + name;
    return folder + "/" + name;
}

double ReadDouble(const char* section, const char* key, double fallback) {
    const std::string text = modGlobals::Settings.GetSetting(section, key, std::string());
    double value = fallback;
    if (!ParseDouble(text, &value)) return fallback;
    return value;
}

}  // namespace

std::string DoubleText(double value) {
    // Up to 15 significant digits, the locale's separator (NumberText does both).
    return modFunctions::NumberText(value);
}

bool ParseDouble(const std::string& text, double* value) {
    double v = 0;
    if (!modFunctions::ParseNumber(text, v) || !std::isfinite(v)) return false;
    *value = v;
    return true;
}

void LoadSettings() {
    using namespace modGlobals;
    SettingsFile = JoinPath(modAPI::ProgramFolder(), "KOV.ini");
    Settings.Filename(SettingsFile);

    Baudrate = Settings.GetSetting(kGeneral, "Baudrate", 9600);
    Comport = Settings.GetSetting(kGeneral, "Comport", 1);
    // Language n gives the offset n x 1000; anything but German or English is English.
    const long long language = Settings.GetSetting(kGeneral, "Language", 0);
    modFunctions::SetLanguageOffset(language == 0 ? modFunctions::German : modFunctions::English);
    DefaultDevice = Settings.GetSetting(kGeneral, "DefaultDevice", 0) == 0 ? "Serial" : "Profibus";

    // The device link heads the configuration list.
    Device = std::make_shared<clsKOV>();
    Device->Description = "";
    Device->Name = "Device";
    Device->Filename = "Device";
    ConfigList.clear();
    ConfigList.emplace_back("Device", Device);
    // Then the stored configuration files. Names that do not load stay in
    // the index and are tried again at the next start.
    UnloadedConfigFiles.clear();
    ConfigLoadProblems = modConfigList::LoadProblemsText(
        modConfigList::LoadConfigList(Settings, ConfigList, UnloadedConfigFiles));

    AutoScale = Settings.GetSetting(kChart, "AutoScale", 1) != 0;
    yMax = ReadDouble(kChart, "yMax", 5000);
    yMin = ReadDouble(kChart, "yMin", 0);
    // A damaged range (top not above bottom) would turn the fixed y axis
    // upside down or leave it without a span, and limits beyond any distance
    // the sensor can send (in mm) leave the chart nothing it can draw: use
    // the default range instead.
    constexpr double kLargest = modChartCommon::LargestRangeMm;
    if (!(yMax > yMin) || !(std::fabs(yMax) <= kLargest) || !(std::fabs(yMin) <= kLargest)) {
        yMax = 5000;
        yMin = 0;
    }
}

bool SaveSettings(std::string* reason) {
    using namespace modGlobals;
    if (SettingsFile.empty()) SettingsFile = JoinPath(modAPI::ProgramFolder(), "KOV.ini");
    Settings.Filename(SettingsFile);
    return Settings.WriteSettings(
        {
            {kGeneral, "Baudrate", std::to_string(Baudrate)},
            {kGeneral, "Comport", std::to_string(Comport)},
            {kGeneral, "Language", modFunctions::LanguageOffset() == 0 ? "0" : "1"},
            {kGeneral, "DefaultDevice", DefaultDevice == "Serial" ? "0" : "1"},
            {kChart, "AutoScale", AutoScale ? "1" : "0"},
            {kChart, "yMax", DoubleText(yMax)},
            {kChart, "yMin", DoubleText(yMin)},
        },
        reason);
}

bool Release(std::string* reason) {
    const bool saved = SaveSettings(reason);
    modGlobals::ConfigList.clear();
    modGlobals::UnloadedConfigFiles.clear();
    modGlobals::Device.reset();
    return saved;
}

}  // namespace modIni
