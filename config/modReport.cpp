#include "modReport.h"

#include "clsKOV.h"
#include "modCodePage.h"
#include "modFunctions.h"
#include "modSafeFile.h"

#ifdef _WIN32
#include "WindowsApi.h"
#endif

namespace modReport {
namespace {

using modFunctions::GetText;

bool English() { return modFunctions::LanguageOffset() != 0; }

// Tab count of a line whose columns differ between the languages.
int LanguageTabs(int german, int english) { return English() ? english : german; }

// The texts of a checked and an unchecked option.
constexpr int OnText = 1263;
constexpr int OffText = 1264;

std::string CheckText(int value) { return GetText(value == 1 ? OnText : OffText); }

// A label, its tabs and its value.
std::string Row(int id, int tabs, const std::string& value) { return GetText(id) + Tabs(tabs) + value; }

}  // namespace

void TakeIdentity(const clsKOV& device, ReportValues& values) {
    values.SerialNo = device.SerialNo;
    values.SWVersion = device.SWVersion;
    values.SWBuild = device.SWBuild;
    values.DeviceType = device.DeviceType;
    values.RainFilter = device.RainFilter;
}

std::string Tabs(int n) { return n < 1 ? std::string() : std::string(static_cast<std::size_t>(n), '\t'); }

std::vector<std::string> ReportLines(const ReportValues& v) {
    // The identity came from the sensor byte by byte, in its code page.
    auto identity = [](const std::string& bytes) { return modCodePage::Cp1252ToUtf8(bytes); };
    const bool serial = v.DeviceType == "Serial";
    std::vector<std::string> lines;
    lines.push_back("");
    lines.push_back(Tabs(3) + "ORA-2/ORB-2 - Settings");
    lines.push_back("");
    lines.push_back("");
    lines.push_back("Serial-No:" + Tabs(4) + identity(v.SerialNo));
    lines.push_back("Version:" + Tabs(4) + identity(v.SWVersion));
    lines.push_back("Build:" + Tabs(5) + identity(v.SWBuild));
    lines.push_back("Type:" + Tabs(5) + identity(v.DeviceType));
    lines.push_back("");
    lines.push_back(Row(1213, 4, v.OutputFormat));
    lines.push_back(Row(1214, 4, v.DistanceUnit));
    lines.push_back(Row(1211, 4, v.Baudrate));
    lines.push_back(Row(1212, 4, v.OutputMode));
    if (!serial) lines.push_back(Row(1218, 3, v.Fields[10]));
    lines.push_back("");
    lines.push_back(Row(1224, 4, CheckText(v.Autostart)));
    lines.push_back(Row(1223, LanguageTabs(2, 4), CheckText(v.MovingAverage)));
    lines.push_back(Row(1221, 4, v.AverageDepth));
    lines.push_back(Row(1222, 5, v.TimeOut));
    lines.push_back(Row(1225, 2, CheckText(v.EchoCheck)));
    lines.push_back(Row(1226, 3, CheckText(v.Blanking)));
    lines.push_back("");
    if (v.RainFilter >= 0) {
        lines.push_back(Row(1301, 4, v.RainFilterMode));
        lines.push_back("");
    }
    lines.push_back(Row(1231, 5, v.Fields[0] + " mm"));
    lines.push_back(Row(1232, LanguageTabs(3, 4), v.Fields[1]));
    lines.push_back(Row(1233, 4, v.Fields[2] + " °C"));
    lines.push_back(Row(1234, 4, v.Fields[3] + " hPa"));
    lines.push_back("");
    if (serial) {
        lines.push_back(Row(1241, 3, CheckText(v.AnalogOutput)));
        lines.push_back(Row(1242, LanguageTabs(3, 4), v.Fields[8] + " mm"));
        lines.push_back(Row(1243, LanguageTabs(3, 4), v.Fields[9] + " mm"));
        lines.push_back("");
        lines.push_back(Row(1251, LanguageTabs(4, 3), v.S1Logic));
        lines.push_back(Row(1252, LanguageTabs(3, 4), v.Fields[4] + " mm"));
        lines.push_back(Row(1253, 3, v.Fields[5] + " mm"));
        lines.push_back(Row(1255, LanguageTabs(4, 3), v.S2Logic));
        lines.push_back(Row(1256, 3, v.Fields[6] + " mm"));
        lines.push_back(Row(1257, 3, v.Fields[7] + " mm"));
        lines.push_back("");
    }
    return lines;
}

std::string ReportBytes(const std::vector<std::string>& lines) {
    std::string bytes;
    for (const auto& line : lines) bytes += modCodePage::Utf8ToCp1252(line) + "\r\n";
    return bytes;
}

std::string ReportPath(const std::string& folder) {
    if (folder.empty()) return FileName;
    const char last = folder.back();
    return folder + (last == '/' || last == '\\' ? "" : "/") + FileName;
}

bool WriteReport(const std::string& folder, const std::vector<std::string>& lines, std::string* path,
                 std::string* error) {
    const std::string file = ReportPath(folder);
    if (path) *path = file;
    // Made anew every time: a link planted under its name is replaced, never followed.
    return modSafeFile::ReplaceFile(file, ReportBytes(lines), error, modSafeFile::Links::ReplaceLink);
}

std::vector<Command> EditorCommands(const std::string& file) {
#ifdef _WIN32
    char folder[MAX_PATH] = {};
    const UINT n = GetWindowsDirectoryA(folder, MAX_PATH);
    const std::string windows = n > 0 && n < MAX_PATH ? std::string(folder, n) : std::string("C:\\Windows");
    return {{windows + "\\Notepad.exe", {file}}};
#else
    return {{"xdg-open", {file}}, {"gio", {"open", file}}};
#endif
}

bool OpenInEditor(const std::string& file, ProcessStarter& starter, std::string* error) {
    std::string reason = "no text editor known";
    for (const Command& command : EditorCommands(file)) {
        std::string why;
        if (starter.StartDetached(command, &why)) return true;
        reason = command.Program + ": " + (why.empty() ? std::string("cannot be started") : why);
    }
    if (error) *error = reason;
    return false;
}

}  // namespace modReport
