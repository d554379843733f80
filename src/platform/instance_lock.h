#pragma once

#include <QString>

#include <memory>

namespace movan {

// The named kernel objects that keep copies of the program apart, built on
// per-user lock files. Every lock is held through an open file, so the
// kernel drops it when its holder dies: a crashed copy never blocks the next.

// The user's runtime folder (XDG_RUNTIME_DIR), private to the user and
// emptied at logout, as the kernel objects of one logon are.
QString perUserRuntimeFolder();

// Where a per-user kernel object name lives as a file: the user's runtime
// folder, the name made safe for a file system.
QString perUserObjectPath(const QString &objectName);

// A named mutex taken with initial ownership.
class InstanceLock {
public:
    // Null when another process holds the name or the lock cannot be made.
    static std::unique_ptr<InstanceLock> tryAcquire(const QString &objectName);
    // Waits, without time-out, until the holder lets go: the kernel hands the
    // lock over as the holder ends, before a copy started later can ask.
    // Null only when the lock cannot be made.
    static std::unique_ptr<InstanceLock> acquireWaiting(const QString &objectName);
    ~InstanceLock();

    InstanceLock(const InstanceLock &) = delete;
    InstanceLock &operator=(const InstanceLock &) = delete;

private:
    explicit InstanceLock(int fd)
        : m_fd(fd)
    {}
    int m_fd;
};

// A named counting semaphore of kInstanceUnits units: each holder owns one
// slot, a record lock on one byte of the file, so the number of holders can
// be read at any time without trusting a stored counter.
class InstanceSemaphore {
public:
    static constexpr int kInstanceUnits = 0xFFFF;

    // Takes one unit, waiting while all are taken. Null when the semaphore
    // cannot be made or opened.
    static std::unique_ptr<InstanceSemaphore> acquire(const QString &objectName);
    ~InstanceSemaphore();

    // Units held by all processes, this one included.
    int holders() const;

    InstanceSemaphore(const InstanceSemaphore &) = delete;
    InstanceSemaphore &operator=(const InstanceSemaphore &) = delete;

private:
    InstanceSemaphore(int fd, int probeFd)
        : m_fd(fd)
        , m_probeFd(probeFd)
    {}
    int m_fd; // holds this copy's unit
    int m_probeFd; // a second open of the file, which sees this copy's unit as taken
};

} // namespace movan
