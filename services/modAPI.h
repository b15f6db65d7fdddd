#pragma once
// Clock, operating-system name and program folder: the small platform services
// every other module leans on. Everything a test must control can be replaced.
#include <functional>
#include <string>

namespace modAPI {

// Local date and time as a day count since 30 December 1899 (the fraction is
// the time of day), with millisecond resolution.
double NowWithMs();

// Replace the clock (tests, simulated time). An empty function restores the system clock.
using ClockFunction = std::function<double()>;
void SetClock(ClockFunction clock);

// Day count for a local calendar date and time.
double DayCount(int year, int month, int day, int hour, int minute, int second, int millisecond);

// Name of the operating system, for the start dialog and the about box.
std::string GetOSName();

// Windows name for a version record: major and minor version and platform id
// (1 the Windows 95 family, 2 the NT family); "" for versions it does not know.
std::string WindowsVersionName(int major, int minor, int platformId);

// PRETTY_NAME of an os-release file's content (quotes removed), "" when there is none.
std::string OsReleasePrettyName(const std::string& content);

// Folder that holds KOV.ini, the REC folder and the settings report: the
// executable's folder unless set otherwise (tests, portable installs).
std::string ProgramFolder();
void SetProgramFolder(const std::string& folder);

// File name of the running program without folder and extension ("ORA2ORB2").
std::string ExecutableName();

// Folder of the running executable, whatever SetProgramFolder says; "" when
// it cannot be told.
std::string ExecutableFolder();

// Folders a packaged program is installed to (/usr/bin and the like, and the
// build's own install folder). They never hold data, even when writable (root).
bool IsSystemProgramFolder(const std::string& folder);

// Whether a file can be created in `folder`: asked of the file system itself
// (read-only mounts, ACLs), not of the permission bits, with a new file of a
// name nobody can have guessed (never an existing file, never through a link).
bool FolderIsWritable(const std::string& folder);

// Whether `folder` belongs to this user alone: owned by the user and
// writable neither by its group nor by everybody (POSIX; always true on
// Windows). Others could otherwise plant or change the user's settings there.
bool FolderIsPrivate(const std::string& folder);

// The user's own data folder of this program: $XDG_DATA_HOME/ORA2ORB2 or
// ~/.local/share/ORA2ORB2; %APPDATA%\ORA2ORB2 on Windows.
std::string UserDataFolder();

// Data folder when none is given: the executable's folder for a portable
// install (no system folder, private to the user and writable), else
// `userDataFolder`.
std::string DefaultDataFolder(const std::string& executableFolder, const std::string& userDataFolder);

// Milliseconds per day, for converting durations into day counts.
constexpr double MsPerDay = 86400000.0;

// Window lengths in twips (1/1440 inch) as pixels at `dpi`, rounded.
int TwipsToPixels(int twips, double dpi);

#ifdef _WIN32
// Windows: file names and texts are UTF-8 inside the program and UTF-16 for
// the system's wide functions. Bytes that are not UTF-8 become U+FFFD.
std::wstring Utf8ToWide(const std::string& text);
std::string WideToUtf8(const std::wstring& text);
// The system's words for an error code of GetLastError ("Access is denied."),
// without the line end; "error N" when the system has none.
std::string SystemErrorText(unsigned long code);
#endif

}  // namespace modAPI
