#include "storage/operation_progress.h"

#include "storage/server_error.h"

#include <algorithm>

namespace sqlemu {

ProgressMeter::ProgressMeter(const OperationProgress &progress, std::uint64_t totalBytes)
    : m_progress(progress)
    , m_total(totalBytes)
{}

void ProgressMeter::checkCancelled() const
{
    if (m_progress.isCancelled && m_progress.isCancelled())
        throw OperationCancelled();
}

void ProgressMeter::advance(std::uint64_t bytes)
{
    m_done = std::min(m_total, m_done + bytes);
    const int step = std::clamp(m_progress.stepPercent, 1, 100);
    const int percent = m_total == 0 ? 100 : static_cast<int>(m_done * 100 / m_total);
    if (m_progress.onAdvance)
        m_progress.onAdvance(m_total == 0 ? 100.0 : 100.0 * static_cast<double>(m_done) / static_cast<double>(m_total));
    while (m_reported + step <= percent) {
        m_reported += step;
        if (m_progress.onProgress)
            m_progress.onProgress(m_reported);
    }
    checkCancelled();
}

} // namespace sqlemu
