#include "modAPI.h"

#include <cmath>

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>

#include "modCalendar.h"

#ifdef _WIN32
#include "WindowsApi.h"
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/utsname.h>
#include <unistd.h>
#endif

namespace modAPI {
namespace {
// Function-local statics: other translation units' static objects (the
// application's settings file object) may ask for these during start-up.
ClockFunction& Clock() {
    static ClockFunction clock;
    return clock;
}
std::string& ProgramFolderSetting() {
    static std::string folder;  // empty: the executable's folder
    return folder;
}

std::filesystem::path ExecutablePath() {
    std::error_code ec;
#ifdef _WIN32
    wchar_t buf[32768];
    const DWORD n = GetModuleFileNameW(nullptr, buf, static_cast<DWORD>(std::size(buf)));
    if (n == 0 || n >= std::size(buf)) return {};
    return std::filesystem::path(std::wstring(buf, n));
#else
    const auto p = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::filesystem::path() : p;
#endif
}

#ifndef _WIN32
std::string ReadSmallFile(const char* name) {
    std::ifstream in(name, std::ios::binary);
    if (!in) return {};
    std::string s;
    char buf[4096];
    while (in && s.size() < 65536) {
        in.read(buf, sizeof buf);
        s.append(buf, static_cast<size_t>(in.gcount()));
    }
    return s;
}
#endif
}  // namespace

double DayCount(int year, int month, int day, int hour, int minute, int second, int millisecond) {
    const double date = static_cast<double>(modCalendar::DayNumber(year, month, day));
    return date + hour / 24.0 + minute / 1440.0 + second / 86400.0 + millisecond / MsPerDay;
}

double NowWithMs() {
    if (const auto& clock = Clock()) return clock();
    using namespace std::chrono;
    const auto now = system_clock::now();
    const auto ms = duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000;
    const std::time_t t = system_clock::to_time_t(now);
    std::tm local{};
#ifdef _WIN32
    localtime_s(&local, &t);
#else
    localtime_r(&t, &local);
#endif
    return DayCount(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min,
                    local.tm_sec, static_cast<int>(ms < 0 ? ms + 1000 : ms));
}

void SetClock(ClockFunction clock) { Clock() = std::move(clock); }

int UtcOffsetMinutes() {
    const std::time_t t = std::time(nullptr);
    std::tm local{}, utc{};
#ifdef _WIN32
    localtime_s(&local, &t);
    gmtime_s(&utc, &t);
#else
    localtime_r(&t, &local);
    gmtime_r(&t, &utc);
#endif
    // The two calendar times of one moment lie at most a day apart.
    int days = local.tm_yday - utc.tm_yday;
    if (local.tm_year != utc.tm_year) days = local.tm_year > utc.tm_year ? 1 : -1;
    return days * 1440 + (local.tm_hour - utc.tm_hour) * 60 + (local.tm_min - utc.tm_min);
}

std::string WindowsVersionName(int major, int minor, int platformId) {
    if (platformId == 1) {
        if (minor == 0) return "Windows 95";
        if (minor == 10) return "Windows 98";
        if (minor == 90) return "Windows ME";
    } else if (platformId == 2) {
        if (major == 3) return "Windows NT 3.51";
        if (major == 4) return "Windows NT 4.0";
        if (major == 5 && minor == 0) return "Windows 2000";
        if (major == 5 && minor == 1) return "Windows XP";
    }
    return {};
}

std::string OsReleasePrettyName(const std::string& content) {
    size_t pos = 0;
    while (pos < content.size()) {
        size_t end = content.find('\n', pos);
        if (end == std::string::npos) end = content.size();
        std::string line = content.substr(pos, end - pos);
        pos = end + 1;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.compare(0, 12, "PRETTY_NAME=") != 0) continue;
        std::string v = line.substr(12);
        if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front()) {
            const char quote = v.front();
            std::string out;
            for (size_t i = 1; i + 1 < v.size(); ++i) {
                if (quote == '"' && v[i] == '\\' && i + 2 < v.size()) ++i;  // \" \\ \$ \`
                out += v[i];
            }
            v = out;
        }
        return v;
    }
    return {};
}

std::string GetOSName() {
#ifdef _WIN32
    // RtlGetVersion reports the true version; GetVersionEx lies to unmanifested programs.
    using RtlGetVersionFn = LONG(WINAPI*)(OSVERSIONINFOW*);
    OSVERSIONINFOW info{};
    info.dwOSVersionInfoSize = sizeof info;
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    const auto rtlGetVersion =
        ntdll ? reinterpret_cast<RtlGetVersionFn>(reinterpret_cast<void (*)()>(GetProcAddress(ntdll, "RtlGetVersion"))) : nullptr;
    if (!rtlGetVersion || rtlGetVersion(&info) != 0) return "Windows";
    const std::string name = WindowsVersionName(static_cast<int>(info.dwMajorVersion),
                                                static_cast<int>(info.dwMinorVersion),
                                                static_cast<int>(info.dwPlatformId));
    if (!name.empty()) return name;
    // Versions newer than the table still get a name rather than an empty label.
    return "Windows " + std::to_string(info.dwMajorVersion) + "." + std::to_string(info.dwMinorVersion);
#else
    for (const char* file : {"/etc/os-release", "/usr/lib/os-release"}) {
        const std::string name = OsReleasePrettyName(ReadSmallFile(file));
        if (!name.empty()) return name;
    }
    struct utsname u {};
    if (uname(&u) == 0) return std::string(u.sysname) + " " + u.release;
    return "Linux";
#endif
}

std::string ExecutableFolder() {
    const auto exe = ExecutablePath();
    return exe.has_parent_path() ? exe.parent_path().u8string() : std::string();
}

std::string ProgramFolder() {
    if (!ProgramFolderSetting().empty()) return ProgramFolderSetting();
    const std::string folder = ExecutableFolder();
    return folder.empty() ? std::string(".") : folder;
}

void SetProgramFolder(const std::string& folder) { ProgramFolderSetting() = folder; }

std::string ExecutableName() {
    const auto exe = ExecutablePath();
    return exe.empty() ? std::string("ORA2ORB2") : exe.stem().u8string();
}

#ifndef ORA_INSTALL_BINDIR
#define ORA_INSTALL_BINDIR ""
#endif

bool IsSystemProgramFolder(const std::string& folder) {
    if (folder.empty()) return false;
    static const char* const kSystemFolders[] = {"/usr/bin",  "/usr/sbin", "/usr/local/bin", "/usr/local/sbin",
                                                 "/bin",      "/sbin",     "/usr/games",     "/usr/local/games",
                                                 ORA_INSTALL_BINDIR};
    const std::filesystem::path given = std::filesystem::u8path(folder).lexically_normal();
    std::string plain = given.generic_u8string();
    while (plain.size() > 1 && plain.back() == '/') plain.pop_back();
    for (const char* system : kSystemFolders) {
        if (!*system) continue;
        if (plain == system) return true;
        // Compared as the file system sees them too (/bin may lead to /usr/bin).
        std::error_code error;
        if (std::filesystem::equivalent(given, std::filesystem::u8path(system), error)) return true;
    }
    return false;
}

bool FolderIsWritable(const std::string& folder) {
    std::error_code error;
    const auto path = std::filesystem::u8path(folder);
    if (folder.empty() || !std::filesystem::is_directory(path, error)) return false;
#ifdef _WIN32
    // A file of our own, created new and gone when its handle closes.
    static unsigned counter = 0;
    const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    for (int attempt = 0; attempt < 16; ++attempt) {
        const auto probe = path / std::filesystem::u8path(".ora2orb2-write-test-" + std::to_string(stamp) + "-" +
                                                          std::to_string(++counter));
        HANDLE h = CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                               FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
        if (h != INVALID_HANDLE_VALUE) {
            CloseHandle(h);
            return true;
        }
        const DWORD code = GetLastError();
        if (code != ERROR_FILE_EXISTS && code != ERROR_ALREADY_EXISTS) return false;
    }
    return false;
#else
    // mkstemp creates a new file (never an existing one, never through a
    // link) under a name nobody can have guessed.
    std::string pattern = (path / ".ora2orb2-write-test-XXXXXX").string();
    const int fd = ::mkostemp(pattern.data(), O_CLOEXEC);
    if (fd < 0) return false;
    ::close(fd);
    ::unlink(pattern.c_str());
    return true;
#endif
}

bool FolderIsPrivate(const std::string& folder) {
#ifdef _WIN32
    (void)folder;
    return true;
#else
    struct stat st {};
    if (folder.empty() || ::stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return false;
    return st.st_uid == ::geteuid() && (st.st_mode & (S_IWGRP | S_IWOTH)) == 0;
#endif
}

std::string UserDataFolder() {
#ifdef _WIN32
    const char* base = std::getenv("APPDATA");
    return std::string(base && *base ? base : ".") + "\\ORA2ORB2";
#else
    const char* xdg = std::getenv("XDG_DATA_HOME");
    if (xdg && *xdg == '/') return std::string(xdg) + "/ORA2ORB2";
    const char* home = std::getenv("HOME");
    return std::string(home && *home ? home : ".") + "/.local/share/ORA2ORB2";
#endif
}

std::string DefaultDataFolder(const std::string& executableFolder, const std::string& userDataFolder) {
    if (!executableFolder.empty() && !IsSystemProgramFolder(executableFolder) && FolderIsPrivate(executableFolder) &&
        FolderIsWritable(executableFolder))
        return executableFolder;
    return userDataFolder;
}

int TwipsToPixels(int twips, double dpi) { return static_cast<int>(std::lround(twips * dpi / 1440.0)); }

#ifdef _WIN32
std::wstring Utf8ToWide(const std::string& text) {
    if (text.empty()) return {};
    const int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    if (n <= 0) return {};
    std::wstring wide(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), n);
    return wide;
}

std::string WideToUtf8(const std::wstring& text) {
    if (text.empty()) return {};
    const int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr,
                                      nullptr);
    if (n <= 0) return {};
    std::string narrow(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), narrow.data(), n, nullptr, nullptr);
    return narrow;
}

std::string SystemErrorText(unsigned long code) {
    wchar_t* buffer = nullptr;
    const DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                       FORMAT_MESSAGE_IGNORE_INSERTS,
                                   nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::string text = n > 0 && buffer ? WideToUtf8(std::wstring(buffer, n)) : std::string();
    if (buffer) LocalFree(buffer);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) text.pop_back();
    return text.empty() ? "error " + std::to_string(code) : text;
}
#endif

}  // namespace modAPI
