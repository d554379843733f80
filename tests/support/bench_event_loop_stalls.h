#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>

#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

// The times the thread that makes it (a window's thread) went without a turn
// of its event loop, found by a timer due every 5 ms, and for each such stall
// why: how long the thread ran, how long it was ready but another thread had
// the processor, and what it waited in otherwise, sampled from /proc by a
// helper thread while the stall lasted ("D fdatasync" is a thread asleep in
// the kernel on a sync, "R user" one running its own code, "S ppoll
// [do_sys_poll]" one waiting in its event loop, with the kernel function it
// sleeps in).
class EventLoopStalls : public QObject {
public:
    struct Stall {
        qint64 endedMs = 0; // since start()
        qint64 lengthMs = 0;
        qint64 onCpuMs = 0;
        qint64 waitingForCpuMs = 0;
        // Processor time the virtual machine's host took from every one of
        // its processors, summed (10 ms steps); a thread on a processor
        // taken so counts neither as running nor as waiting.
        qint64 stolenMs = 0;
        QString samples; // "D fdatasync x12, R user x3", most frequent first
    };

    // Gaps longer than listedMs are kept.
    explicit EventLoopStalls(qint64 listedMs = 16);
    ~EventLoopStalls() override;

    void start();
    void stop();
    // Milliseconds since start(), on the clock the stalls are placed on.
    qint64 elapsed() const { return m_clock.elapsed(); }
    const std::vector<Stall> &stalls() const { return m_stalls; }
    // The longest stall that overlaps [fromMs, toMs]; a zero stall when none.
    Stall longestBetween(qint64 fromMs, qint64 toMs) const;

private:
    struct Sample {
        qint64 atMs;
        QString what;
    };
    void tick();
    void sampleWhileStalled();

    const qint64 m_listedMs;
    QElapsedTimer m_clock;
    QTimer m_timer;
    qint64 m_lastTickMs = 0;
    qint64 m_lastCpuNs = 0;
    qint64 m_lastWaitNs = 0;
    qint64 m_lastStolenMs = 0;
    int m_threadId = 0;
    std::vector<Stall> m_stalls;

    std::atomic<qint64> m_sharedLastTickMs{0};
    std::atomic<bool> m_sampling{false};
    std::thread m_sampler;
    std::mutex m_samplesMutex;
    std::vector<Sample> m_samples;
};
