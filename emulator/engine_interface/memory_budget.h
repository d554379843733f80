#pragma once

// The memory the whole server may hold for what clients send it: messages
// being received, batch texts and their tokens. Every session draws from the
// one budget, so a few large batches at once cannot take the machine; what
// does not fit is refused with the server's out-of-memory error and the
// session goes on.

#include "engine_interface/result_sink.h"

#include <atomic>
#include <cstddef>

namespace sqlemu {

class MemoryBudget {
public:
    explicit MemoryBudget(std::size_t limitBytes)
        : m_limit(limitBytes)
    {}
    MemoryBudget(const MemoryBudget &) = delete;
    MemoryBudget &operator=(const MemoryBudget &) = delete;

    // Takes bytes if they fit under the limit; false leaves the budget as it was.
    bool take(std::size_t bytes)
    {
        std::size_t used = m_used.load(std::memory_order_relaxed);
        do {
            if (bytes > m_limit || used > m_limit - bytes)
                return false;
        } while (!m_used.compare_exchange_weak(used, used + bytes, std::memory_order_relaxed));
        return true;
    }
    void give(std::size_t bytes) { m_used.fetch_sub(bytes, std::memory_order_relaxed); }

    std::size_t used() const { return m_used.load(std::memory_order_relaxed); }
    std::size_t limit() const { return m_limit; }

private:
    const std::size_t m_limit;
    std::atomic<std::size_t> m_used{0};
};

// A share of a budget held by one holder (a session's message, a batch's
// tokens), given back when it is released or destroyed. Without a budget
// every request is granted.
class MemoryReservation {
public:
    explicit MemoryReservation(MemoryBudget *budget = nullptr)
        : m_budget(budget)
    {}
    ~MemoryReservation() { release(); }
    MemoryReservation(const MemoryReservation &) = delete;
    MemoryReservation &operator=(const MemoryReservation &) = delete;

    // Holds at least total bytes; false (holding what it held) when the
    // budget cannot give the difference.
    bool growTo(std::size_t total)
    {
        if (total <= m_held)
            return true;
        if (m_budget && !m_budget->take(total - m_held))
            return false;
        m_held = total;
        return true;
    }
    // Holds at most total bytes from now on, giving back the rest.
    void shrinkTo(std::size_t total)
    {
        if (total >= m_held)
            return;
        if (m_budget)
            m_budget->give(m_held - total);
        m_held = total;
    }
    void release()
    {
        if (m_budget)
            m_budget->give(m_held);
        m_held = 0;
    }
    std::size_t held() const { return m_held; }

private:
    MemoryBudget *m_budget;
    std::size_t m_held = 0;
};

// 701, as a real server refuses what its memory cannot hold.
inline ServerMessage insufficientMemoryMessage()
{
    return ServerMessage{
        701, 1, 17, "There is insufficient system memory in resource pool 'default' to run this query.", "", 1};
}

} // namespace sqlemu
