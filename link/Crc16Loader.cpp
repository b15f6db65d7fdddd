// Run-time binding of the CRC16 library. The program loads it by name on the
// first checksum it needs and calls its _crc16_byte_block@12 export; nothing
// is allocated or freed across the boundary.
#include "Crc16Loader.h"

#if defined(_WIN32)
#  include <filesystem>
#  include <system_error>

#  include "WindowsApi.h"
#else
#  include <dlfcn.h>
#  include <unistd.h>
#endif

#include "modAPI.h"

namespace Crc16Loader {
namespace {

#if defined(_WIN32)
using BlockFn = std::uint32_t(__stdcall*)(const void*, std::uint32_t, std::uint32_t);
using Handle = HMODULE;
#else
using BlockFn = std::uint32_t (*)(const void*, std::uint32_t, std::uint32_t);
using Handle = void*;
#endif

constexpr const char* kExport = "_crc16_byte_block@12";

struct State {
    Handle library = nullptr;
    BlockFn byteBlock = nullptr;
    std::string override;
    std::string lastError;
    // Why binding failed; kept so that a missing library is not searched for
    // again on every frame (until Unload or SetLibraryOverride).
    std::string bindError;
};

State& Lib()
{
    static State s;
    return s;
}

#if defined(_WIN32)

Handle Open(const std::string& name, std::string& why)
{
    // Libraries come from the program's folder and the system folder only,
    // never from the current folder or PATH, where anyone who may write
    // there could plant a CRC16.dll: a plain name is looked for in those two
    // folders, a library named with its folder is taken from there (and what
    // it needs from there and the system folder).
    const std::filesystem::path given = std::filesystem::u8path(name);
    const bool inFolder = given.has_parent_path();
    std::error_code ignored;
    const std::filesystem::path file = inFolder ? std::filesystem::absolute(given, ignored) : given;
    const DWORD search = LOAD_LIBRARY_SEARCH_SYSTEM32 |
                         (inFolder ? LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR : LOAD_LIBRARY_SEARCH_APPLICATION_DIR);
    // Names are UTF-8; a missing library must not bring up a system dialog.
    DWORD oldMode = 0;
    SetThreadErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX, &oldMode);
    Handle h = LoadLibraryExW(file.empty() ? given.c_str() : file.c_str(), nullptr, search);
    const DWORD code = GetLastError();
    SetThreadErrorMode(oldMode, nullptr);
    if (!h)
        why = modAPI::SystemErrorText(code);
    return h;
}

bool Exists(const std::string& path)
{
    return GetFileAttributesW(modAPI::Utf8ToWide(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

void* Find(Handle h, const char* name)
{
    return reinterpret_cast<void*>(reinterpret_cast<void (*)()>(GetProcAddress(h, name)));
}

void Close(Handle h)
{
    FreeLibrary(h);
}

const char* kDefaultName = "CRC16.dll";

#else

std::string DlError()
{
    const char* e = dlerror();
    return e ? e : "unknown error";
}

Handle Open(const std::string& name, std::string& why)
{
    dlerror();
    Handle h = dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!h)
        why = DlError();
    return h;
}

bool Exists(const std::string& path)
{
    return access(path.c_str(), F_OK) == 0;
}

void* Find(Handle h, const char* name)
{
    dlerror();
    return dlsym(h, name);
}

void Close(Handle h)
{
    dlclose(h);
}

const char* kDefaultName = "libCRC16.so";

#endif

// Loads the library and binds the export; on failure leaves the state
// unbound with the reason in bindError.
bool Bind(State& s)
{
    std::string why;
    std::string tried;
    Handle h = nullptr;
    if (!s.override.empty()) {
        tried = s.override;
        h = Open(s.override, why);
    } else {
        // The copy beside the program first, by its full name, then the
        // system's search path (on Windows: the program's and the system
        // folder only; on Linux the run path, which holds no empty or
        // relative entry, and the system's library folders).
        const std::string dir = modAPI::ExecutableFolder();
        if (!dir.empty()) {
            const std::string beside = dir + "/" + kDefaultName;
            if (Exists(beside)) {
                tried = beside;
                h = Open(beside, why);
            }
        }
        if (!h) {
            std::string whyByName;
            h = Open(kDefaultName, whyByName);
            if (!h) {
                tried = tried.empty() ? kDefaultName : tried + ", " + kDefaultName;
                why = why.empty() ? whyByName : why + "; " + whyByName;
            }
        }
    }
    if (!h) {
        s.bindError = "CRC16 library not loaded (" + tried + "): " + why;
        return false;
    }
    void* fn = Find(h, kExport);
    if (!fn) {
        s.bindError = std::string("CRC16 library has no export ") + kExport;
        Close(h);
        return false;
    }
    s.library = h;
    s.byteBlock = reinterpret_cast<BlockFn>(fn);
    return true;
}

}  // namespace

bool ByteBlock(const unsigned char* data, unsigned count, std::int32_t preset, std::uint16_t* result)
{
    State& s = Lib();
    // The export counts in 16 bits; a longer block would be checked only in
    // part, and a block without bytes has nothing to read.
    if (count > 0xFFFFu) {
        s.lastError = "CRC16 block longer than 65535 bytes";
        return false;
    }
    if (!data && count > 0) {
        s.lastError = "CRC16 block without data";
        return false;
    }
    if (!s.byteBlock && (!s.bindError.empty() || !Bind(s))) {
        s.lastError = s.bindError;
        return false;
    }
    const std::uint32_t r = s.byteBlock(data, count, static_cast<std::uint32_t>(preset));
    if (result)
        *result = static_cast<std::uint16_t>(r & 0xFFFFu);
    s.lastError.clear();
    return true;
}

const std::string& LastError()
{
    return Lib().lastError;
}

void SetLibraryOverride(const std::string& pathOrName)
{
    Lib().override = pathOrName;
    Lib().bindError.clear();
}

void Unload()
{
    State& s = Lib();
    if (s.library)
        Close(s.library);
    s.library = nullptr;
    s.byteBlock = nullptr;
    s.lastError.clear();
    s.bindError.clear();
}

}  // namespace Crc16Loader
