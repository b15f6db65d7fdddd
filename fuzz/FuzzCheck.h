#pragma once
// The invariant check of the fuzz targets. A violated invariant prints what
// failed and aborts, so that libFuzzer saves the input and the corpus replay
// fails. It does not depend on NDEBUG: the fuzz builds are optimised.
#include <cstdio>
#include <cstdlib>

namespace fuzzsupport {

// The corpus file being replayed (set by the replay program), for the report.
inline const char* CurrentInput = nullptr;

[[noreturn]] inline void Fail(const char* file, int line, const char* condition, const char* what) {
    std::fprintf(stderr, "%s:%d: invariant violated: %s\n  (%s)\n", file, line, what, condition);
    if (CurrentInput) std::fprintf(stderr, "  input: %s\n", CurrentInput);
    std::fflush(stderr);
    std::abort();
}

}  // namespace fuzzsupport

#define FUZZ_CHECK(condition, what)                                                        \
    do {                                                                                   \
        if (!(condition)) ::fuzzsupport::Fail(__FILE__, __LINE__, #condition, (what));     \
    } while (0)
