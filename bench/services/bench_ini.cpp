// The settings file as the port list reads it: 255 look-ups in section PORTS
// of a KOV.ini of 1 MiB (the largest the program reads), with a fresh
// clsIni each time (so the file is read and parsed once per round).
//   ini_bench [--benchmark_repetitions=N ...]
// Settled: the file last changed an hour ago; its parse is trusted while
// its size, times and inode stay. Fresh: changed just now, so every look-up
// compares the file's bytes first.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>

#include "clsIni.h"

namespace {

namespace fs = std::filesystem;

// KOV.ini with GENERAL, 255 ports and filler sections up to `size` bytes.
std::string MakeIni(std::size_t size) {
    std::string text = "[GENERAL]\r\nBaudrate=9600\r\nComport=3\r\n[PORTS]\r\n";
    for (int n = 1; n <= 255; ++n) text += std::to_string(n) + "=/dev/ttyUSB" + std::to_string(n) + "\r\n";
    for (int section = 0; text.size() < size; ++section) {
        text += "[Notes " + std::to_string(section) + "]\r\n";
        for (int key = 0; key < 20 && text.size() < size; ++key)
            text += "Key" + std::to_string(key) + "=some text of a note, " + std::to_string(key) + "\r\n";
    }
    text.resize(size);
    return text;
}

void BM_PortLookups(benchmark::State& state) {
    const bool settled = state.range(0) != 0;
    const fs::path folder = fs::temp_directory_path() / ("ora-ini-bench-" + std::to_string(::getpid()));
    fs::create_directories(folder);
    const fs::path file = folder / "KOV.ini";
    std::ofstream(file, std::ios::binary) << MakeIni(clsIni::MaxFileSize);
    if (settled) fs::last_write_time(file, fs::last_write_time(file) - std::chrono::hours(1));
    long found = 0;
    for (auto _ : state) {
        clsIni ini;
        ini.Filename(file.string());
        for (int n = 1; n <= 255; ++n) found += !ini.GetSetting("PORTS", std::to_string(n), "").empty();
    }
    if (found != 255 * static_cast<long>(state.iterations())) state.SkipWithError("a port was not found");
    state.SetLabel(settled ? "255 look-ups, settled file" : "255 look-ups, file changed just now");
    fs::remove_all(folder);
}
BENCHMARK(BM_PortLookups)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
