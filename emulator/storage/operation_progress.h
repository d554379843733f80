#pragma once

#include <cstdint>
#include <functional>

namespace sqlemu {

// How a long operation (backup, restore, verify) talks to its caller while
// it runs: onProgress(percent) as each step of stepPercent is reached
// (10, 20, ... 100 for STATS = 10), isCancelled() polled between pieces of
// work (ATTENTION), onAdvance(percent) with the exact share done after each
// piece (sys.dm_exec_requests.percent_complete). Each may be empty.
struct OperationProgress {
    int stepPercent = 10;
    std::function<void(int percent)> onProgress;
    std::function<void(double percent)> onAdvance;
    std::function<bool()> isCancelled;
};

// Turns bytes done into percent steps for one operation.
class ProgressMeter {
public:
    ProgressMeter(const OperationProgress &progress, std::uint64_t totalBytes);

    // Counts bytes done, reports every step reached, then throws
    // OperationCancelled if the caller asked to stop.
    void advance(std::uint64_t bytes);
    void checkCancelled() const;

private:
    const OperationProgress &m_progress;
    std::uint64_t m_total;
    std::uint64_t m_done = 0;
    int m_reported = 0;
};

} // namespace sqlemu
