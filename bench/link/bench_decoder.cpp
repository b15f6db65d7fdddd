// How fast the reply decoder turns a measurement stream into values.
//
//   Throughput/<format>: a long stream fed in 192-byte pieces, as bytes/s and
//     values/s (every line or frame the decoder consumes).
//   Step38400/<format>: one decoding step with the bytes of one 50 ms tick at
//     38400 bit/s (3840 bytes/s, so 192 bytes), the buffer carrying over what
//     the previous step left, as in the monitor loop. One step every 50 ms:
//     a step of 20 us is 0.04 % of a core.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>

#include "Crc16Loader.h"
#include "clsKOV.h"
#include "modKOVComm.h"

namespace {

constexpr std::size_t TickBytes = 192;

std::string Frame4(std::int32_t v) {
    std::string f(4, '\0');
    for (int i = 0; i < 4; ++i) f[static_cast<std::size_t>(i)] = static_cast<char>((static_cast<std::uint32_t>(v) >> (8 * i)) & 0xFF);
    return f;
}

std::string WithCrc(const std::string& data) {
    unsigned char buf[6] = {};
    for (std::size_t i = 0; i < 4; ++i) buf[i] = static_cast<unsigned char>(data[i]);
    std::uint16_t c = 0;
    Crc16Loader::ByteBlock(buf, 6, -1, &c);  // data plus two zero bytes gives the checksum
    return data + static_cast<char>(c >> 8) + static_cast<char>(c & 0xFF);
}

std::string Encode(int format, std::int32_t mm) {
    char line[32];
    switch (format) {
        case 0: std::snprintf(line, sizeof line, "%12.1f\r\n", static_cast<double>(mm)); return line;
        case 1: std::snprintf(line, sizeof line, "%10.3f m\r\n", mm / 1000.0); return line;
        case 2: return Frame4(mm);
        default: return WithCrc(Frame4(mm));
    }
}

// `count` values of a slowly moving target, and how many bytes one takes.
std::string Stream(int format, std::size_t count, std::size_t* bytesPerValue) {
    std::string s;
    std::int32_t x = 1501;
    for (std::size_t i = 0; i < count; ++i) {
        x += static_cast<std::int32_t>((i * 7919) % 9) + 1;
        if ((x & 0xFF) == 0) ++x;
        const std::string e = Encode(format, x);
        *bytesPerValue = e.size();
        s += e;
    }
    return s;
}

void Measuring(clsKOV& link, int format) {
    link.OutputFormat = format;
    link.DistanceUnit = format == 1 ? 1 : 0;
    link.CommStatus = 2;
    link.LastCommand = "m";
    link.CurrentTime = 46000.0;
    link.FailTime = 1e9;  // no deadline in the way
    link.InBuffer.clear();
}

bool Ready(benchmark::State& state, int format) {
    std::uint16_t r;
    const unsigned char probe[2] = {0, 0};
    if (format == 3 && !Crc16Loader::ByteBlock(probe, 2, -1, &r)) {
        state.SkipWithError("CRC16 library not found");
        return false;
    }
    return true;
}

void Throughput(benchmark::State& state) {
    const int format = static_cast<int>(state.range(0));
    if (!Ready(state, format)) return;
    std::size_t per = 0;
    const std::size_t values = 20000;
    const std::string stream = Stream(format, values, &per);
    clsKOV link;
    std::int64_t events = 0;
    for (auto _ : state) {
        Measuring(link, format);
        for (std::size_t pos = 0; pos < stream.size(); pos += TickBytes) {
            link.InBuffer.append(stream, pos, TickBytes);
            modKOVComm::DecodeInBuffer(link);
            events += link.EventNr == 2;
        }
        benchmark::DoNotOptimize(link.MeasValue_mm);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * stream.size()));
    state.counters["values/s"] = benchmark::Counter(static_cast<double>(state.iterations() * values),
                                                    benchmark::Counter::kIsRate);
    state.counters["events"] = static_cast<double>(events) / static_cast<double>(state.iterations());
}

void Step38400(benchmark::State& state) {
    const int format = static_cast<int>(state.range(0));
    if (!Ready(state, format)) return;
    std::size_t per = 0;
    // A cyclic stream whose length is a whole number of values and of ticks,
    // so the frames stay aligned when it wraps.
    std::string stream = Stream(format, 4096, &per);
    stream.resize(stream.size() / (per * TickBytes) * (per * TickBytes));
    if (stream.empty()) stream = Stream(format, TickBytes, &per);
    clsKOV link;
    Measuring(link, format);
    std::size_t pos = 0;
    for (auto _ : state) {
        link.InBuffer.append(stream, pos, TickBytes);  // what ReadComportData adds
        modKOVComm::DecodeInBuffer(link);
        benchmark::DoNotOptimize(link.EventNr);
        pos += TickBytes;
        if (pos >= stream.size()) pos = 0;
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * TickBytes));
}

void Formats(benchmark::internal::Benchmark* b) {
    b->ArgName("format");
    for (int f = 0; f < 4; ++f) b->Arg(f);
}

}  // namespace

BENCHMARK(Throughput)->Apply(Formats)->Unit(benchmark::kMillisecond);
BENCHMARK(Step38400)->Apply(Formats)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
