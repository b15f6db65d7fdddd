#pragma once
// Language texts of the configuration file store and the settings report
// (German ids; English = id + 1000), and the filling of their "%1".."%9".
#include <initializer_list>
#include <string>

namespace modConfigTexts {

// The dialog's own texts.
constexpr int DeviceItem = 1265;        // cmbConfig item of the device
constexpr int NewConfiguration = 1281;  // proposed description (German only)
constexpr int SaveTitle = 1282;
constexpr int SavePrompt = 1283;
constexpr int UserConfiguration = 1284;  // description of an empty answer
constexpr int AlreadyExists = 1285;
constexpr int OverwriteQuestion = 1286;
constexpr int Warning = 1287;
constexpr int FileFilter = 1289;  // "Text (*.kov)|*.kov"

// Messages of the store and the report.
constexpr int FileMissing = 1310;       // %1 file
constexpr int FileIsFolder = 1311;      // %1 file
constexpr int FileTooLarge = 1312;      // %1 file
constexpr int FileUnreadable = 1313;    // %1 file, %2 reason
constexpr int NoConfiguration = 1314;   // %1 file
constexpr int NotANumber = 1315;        // %1 file, %2 key, %3 value
constexpr int NotSaved = 1316;          // %1 reason
constexpr int IndexNotWritten = 1317;   // %1 reason
constexpr int IndexLeftOut = 1318;      // followed by the files, one a line
constexpr int ReportNotWritten = 1319;  // %1 reason
constexpr int EditorNotStarted = 1320;  // %1 report, %2 reason
constexpr int NotLoaded = 1321;         // followed by the problems, one a line
constexpr int Error = 1322;             // title of error messages

// `text` with "%1" replaced by the first argument, "%2" by the second and so
// on, in one pass: an argument that itself holds "%2" stays as it is.
std::string FillText(const std::string& text, std::initializer_list<std::string> args);

// modFunctions::GetText(id), filled.
std::string Text(int id, std::initializer_list<std::string> args = {});

}  // namespace modConfigTexts
