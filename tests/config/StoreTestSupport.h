#pragma once
// File contents and a disk that fills up, for the tests of
// the configuration file store and the settings report.
#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include <sys/resource.h>
#include <unistd.h>

#include "ScratchFolder.h"

namespace storetest {

namespace fs = std::filesystem;

using testsupport::ScratchFolder;

inline void Put(const std::string& file, const std::string& content) {
    std::ofstream(file, std::ios::binary | std::ios::trunc) << content;
}

inline std::string Content(const std::string& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// While it lives, no file may grow beyond `bytes` (the disk is full); also
// for root, who may write into any folder.
class FullDisk {
public:
    explicit FullDisk(rlim_t bytes) {
        getrlimit(RLIMIT_FSIZE, &old_);
        struct rlimit small = old_;
        small.rlim_cur = bytes;
        handler_ = std::signal(SIGXFSZ, SIG_IGN);
        setrlimit(RLIMIT_FSIZE, &small);
    }
    ~FullDisk() {
        setrlimit(RLIMIT_FSIZE, &old_);
        std::signal(SIGXFSZ, handler_);
    }

private:
    struct rlimit old_ {};
    void (*handler_)(int) = nullptr;
};

}  // namespace storetest
