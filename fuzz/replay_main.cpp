// Runs a fuzz target's LLVMFuzzerTestOneInput over corpus files, without
// libFuzzer: the normal and the sanitizer test runs replay the seed corpus
// (and whatever a fuzzing run added to it) this way.
//
//   <target>_replay FILE_OR_FOLDER...
//
// A folder contributes every regular file in it (not recursively), in name
// order. A violated invariant aborts and names the input; the exit code is 1
// when no input was found at all.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>
#include <vector>

#include "FuzzCheck.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);
extern "C" __attribute__((weak)) int LLVMFuzzerInitialize(int* argc, char*** argv);

namespace fs = std::filesystem;

int main(int argc, char** argv) {
    if (LLVMFuzzerInitialize) LLVMFuzzerInitialize(&argc, &argv);

    std::vector<fs::path> inputs;
    for (int i = 1; i < argc; ++i) {
        const fs::path arg(argv[i]);
        std::error_code ec;
        if (fs::is_directory(arg, ec)) {
            std::vector<fs::path> files;
            for (const auto& entry : fs::directory_iterator(arg, ec))
                if (entry.is_regular_file(ec)) files.push_back(entry.path());
            std::sort(files.begin(), files.end());
            inputs.insert(inputs.end(), files.begin(), files.end());
        } else if (fs::is_regular_file(arg, ec)) {
            inputs.push_back(arg);
        } else {
            std::fprintf(stderr, "replay: %s is neither a file nor a folder\n", argv[i]);
            return 1;
        }
    }
    if (inputs.empty()) {
        std::fprintf(stderr, "replay: no inputs\n");
        return 1;
    }

    for (const auto& path : inputs) {
        std::ifstream in(path, std::ios::binary);
        if (!in) {
            std::fprintf(stderr, "replay: cannot read %s\n", path.string().c_str());
            return 1;
        }
        const std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        const std::string name = path.string();
        fuzzsupport::CurrentInput = name.c_str();
        // The data is handed over in a buffer of exactly its size, as libFuzzer does,
        // so that ASan sees any read past its end.
        std::vector<std::uint8_t> data(bytes.begin(), bytes.end());
        static std::uint8_t none = 0;  // an empty input still comes with a valid pointer
        LLVMFuzzerTestOneInput(data.empty() ? &none : data.data(), data.size());
        fuzzsupport::CurrentInput = nullptr;
    }
    std::printf("replayed %zu inputs\n", inputs.size());
    return 0;
}
