// CRC16 library export against Boost.CRC, both over the same 16 MiB buffer.
//   crc16_bench [--benchmark_repetitions=N ...]
#include "crc16.h"

#include <benchmark/benchmark.h>
#include <boost/crc.hpp>
#include <dlfcn.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>

namespace {

constexpr std::size_t kBufferSize = 16u << 20;
constexpr std::size_t kChunk = 0xFFFF;  // the export counts bytes in 16 bits

using AugCcitt = boost::crc_optimal<16, 0x1021, 0x1D0F, 0, false, false>;

const std::vector<unsigned char>& Buffer()
{
    static const std::vector<unsigned char> buf = [] {
        std::vector<unsigned char> b(kBufferSize);
        std::mt19937 rng(1);
        for (auto& x : b)
            x = static_cast<unsigned char>(rng());
        return b;
    }();
    return buf;
}

crc16_block_fn ByteBlock()
{
    static const crc16_block_fn fn = [] {
        void* h = dlopen("libCRC16.so", RTLD_NOW | RTLD_LOCAL);
        if (!h) {
            std::fprintf(stderr, "cannot load libCRC16.so: %s\n", dlerror());
            std::exit(1);
        }
        void* f = dlsym(h, "_crc16_byte_block@12");
        if (!f) {
            std::fprintf(stderr, "libCRC16.so has no _crc16_byte_block@12\n");
            std::exit(1);
        }
        return reinterpret_cast<crc16_block_fn>(f);
    }();
    return fn;
}

std::uint32_t LibraryRegister(crc16_block_fn fn, const std::vector<unsigned char>& buf)
{
    std::uint32_t r = 0xFFFF;
    for (std::size_t at = 0; at < buf.size(); at += kChunk) {
        const std::size_t n = std::min(kChunk, buf.size() - at);
        r = fn(buf.data() + at, static_cast<std::uint32_t>(n), r);
    }
    return r;
}

void BM_Crc16Library(benchmark::State& state)
{
    const auto& buf = Buffer();
    const crc16_block_fn fn = ByteBlock();
    for (auto _ : state) {
        std::uint32_t r = LibraryRegister(fn, buf);
        benchmark::DoNotOptimize(r);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * std::int64_t(buf.size()));
}

void BM_BoostCrc(benchmark::State& state)
{
    const auto& buf = Buffer();
    for (auto _ : state) {
        AugCcitt crc;
        crc.process_bytes(buf.data(), buf.size());
        std::uint16_t r = crc.checksum();
        benchmark::DoNotOptimize(r);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * std::int64_t(buf.size()));
}

BENCHMARK(BM_Crc16Library)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_BoostCrc)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// Both sides must compute the same checksum before their speed means anything.
bool SameChecksum()
{
    const auto& buf = Buffer();
    std::uint32_t r = LibraryRegister(ByteBlock(), buf);
    const unsigned char zeros[2] = {0, 0};
    r = ByteBlock()(zeros, 2, r);
    AugCcitt crc;
    crc.process_bytes(buf.data(), buf.size());
    if (r != crc.checksum()) {
        std::fprintf(stderr, "checksums differ: library %04X, Boost %04X\n", unsigned(r), unsigned(crc.checksum()));
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    if (!SameChecksum())
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
