#pragma once

// Waiting for what a test expects the server to do. The deadline is long
// enough for a sanitizer build on a machine busy with other work, and costs
// nothing when the event comes early: a test never depends on how fast the
// machine is.

#include <chrono>
#include <functional>
#include <thread>

inline constexpr std::chrono::seconds kGenerousDeadline{120};

// True as soon as happened() holds; false only once the deadline has passed.
inline bool happensWithin(const std::function<bool()> &happened,
                          std::chrono::steady_clock::duration deadline = kGenerousDeadline)
{
    const auto until = std::chrono::steady_clock::now() + deadline;
    while (!happened()) {
        if (std::chrono::steady_clock::now() >= until)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return true;
}
