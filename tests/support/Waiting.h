#pragma once
// Waiting for something a live part does (a process, a pseudo-terminal, the
// network, a window's timer): the test waits for the condition itself, up to
// a limit meant only to end a test that would otherwise hang. The limit holds
// on a loaded machine and in the sanitizer build; a condition that holds
// ends the wait at once. On simulated time a test counts ticks instead.
#include <chrono>
#include <functional>
#include <thread>

namespace testsupport {

constexpr int PatienceMs = 30000;

// Waits for `done` (polled every 10 ms) at most `limitMs`; true once it holds.
inline bool WaitFor(const std::function<bool()>& done, int limitMs = PatienceMs) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
    while (!done()) {
        if (std::chrono::steady_clock::now() >= end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

// Ticks of the 50 ms timer a test on simulated time gives a condition: 20 s,
// more than any connection or answer takes.
constexpr int TickLimit = 400;

// Calls `tick` until `done` holds (checked after every tick); false after `limit` ticks.
inline bool TickUntil(const std::function<void()>& tick, const std::function<bool()>& done, int limit = TickLimit) {
    for (int i = 0; i < limit; ++i) {
        tick();
        if (done()) return true;
    }
    return false;
}

}  // namespace testsupport
