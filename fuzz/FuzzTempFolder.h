#pragma once
// A folder of a fuzz target's own for the files it writes, removed at exit;
// in memory when the machine has /dev/shm, since every write is synced.
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>
#include <unistd.h>
#include <vector>

#include "FuzzCheck.h"

namespace fuzzsupport {

inline std::string& TempFolderName() {
    static std::string folder;
    return folder;
}

inline void RemoveTempFolder() {
    std::error_code ec;
    if (!TempFolderName().empty()) std::filesystem::remove_all(TempFolderName(), ec);
}

// The folder, created on first use with `prefix` in its name.
inline const std::string& TempFolder(const char* prefix) {
    std::string& folder = TempFolderName();
    if (folder.empty()) {
        std::string base = "/dev/shm";
        if (access(base.c_str(), W_OK) != 0) {
            const char* tmp = std::getenv("TMPDIR");
            base = tmp && *tmp ? tmp : "/tmp";
        }
        std::string pattern = base + "/" + prefix + ".XXXXXX";
        std::vector<char> name(pattern.begin(), pattern.end());
        name.push_back('\0');
        FUZZ_CHECK(mkdtemp(name.data()) != nullptr, "cannot create a temporary folder");
        folder = name.data();
        std::atexit(RemoveTempFolder);
    }
    return folder;
}

}  // namespace fuzzsupport
