#pragma once
// The application settings file KOV.ini: sections GENERAL and CHART, the unit
// tables, the auto-scale record, the device link and the configuration list.
#include <string>

namespace modIni {

// Reads KOV.ini from the program folder into modGlobals, fills the unit tables,
// creates the device link "Device" and the configuration list. Missing file,
// section or key gives the defaults.
void LoadSettings();

// Writes the seven GENERAL / CHART keys in one replacement of the file: all
// of them or none. False when the file could not be written; `reason`, when
// given, then says why (e.g. "/data/KOV.ini: Permission denied").
bool SaveSettings(std::string* reason = nullptr);

// Saves the settings, then drops the device link and the configuration list.
// Returns what SaveSettings returned.
bool Release(std::string* reason = nullptr);

// Doubles as KOV.ini holds them: the locale's decimal separator both ways.
std::string DoubleText(double value);
bool ParseDouble(const std::string& text, double* value);

}  // namespace modIni
