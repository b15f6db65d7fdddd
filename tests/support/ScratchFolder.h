#pragma once
// A folder of the test's own in the temporary folder, removed afterwards with
// everything in it, also what a test made read-only.
#include <filesystem>
#include <random>
#include <string>
#include <system_error>

namespace testsupport {

class ScratchFolder {
public:
    ScratchFolder() {
        namespace fs = std::filesystem;
        std::error_code ec;
        const fs::path base = fs::temp_directory_path(ec);
        std::random_device random;
        for (int attempt = 0; attempt < 100 && path.empty() && !ec; ++attempt) {
            const fs::path candidate = base / ("ora-test-" + std::to_string(random()));
            if (fs::create_directory(candidate, ec)) path = candidate.u8string();
        }
    }
    ~ScratchFolder() {
        namespace fs = std::filesystem;
        if (path.empty()) return;
        std::error_code ec;
        fs::permissions(fs::u8path(path), fs::perms::owner_all, fs::perm_options::add, ec);
        for (const auto& entry : fs::recursive_directory_iterator(fs::u8path(path), ec))
            fs::permissions(entry.path(), fs::perms::owner_all, fs::perm_options::add, ec);
        fs::remove_all(fs::u8path(path), ec);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    // A name in the folder, joined as the program joins names ("/").
    std::string File(const std::string& name) const { return path + "/" + name; }
    // Entries in the folder (a file left behind shows here).
    std::size_t Count() const {
        namespace fs = std::filesystem;
        return static_cast<std::size_t>(std::distance(fs::directory_iterator(fs::u8path(path)), {}));
    }

    std::string path;  // empty when no folder could be made
};

}  // namespace testsupport
