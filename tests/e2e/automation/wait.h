// Polling with a bound: every wait in the end-to-end tests ends.
#pragma once

#include <windows.h>

#include <chrono>

namespace zel::e2e {

using namespace std::chrono_literals;

// How long a test waits for a window to appear or to change.
inline constexpr std::chrono::milliseconds kWindowTimeout = 20s;
// How long an install run may take before a test gives up on it.
inline constexpr std::chrono::milliseconds kInstallTimeout = 90s;

// Calls the condition until it holds or the timeout has passed; true when it held.
template <typename Condition>
bool WaitFor(Condition condition, std::chrono::milliseconds timeout = kWindowTimeout,
             std::chrono::milliseconds interval = 50ms) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        if (condition()) return true;
        if (std::chrono::steady_clock::now() >= deadline) return false;
        ::Sleep(static_cast<DWORD>(interval.count()));
    }
}

}  // namespace zel::e2e
