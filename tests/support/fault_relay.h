#pragma once

// A loopback TCP relay between a client under test and a server, which makes
// faults at a chosen moment: it cuts a connection, drops or shortens a reply,
// holds a reply back, refuses new connections. It works on the bytes alone
// (the sessions are encrypted) on a thread of its own, so it keeps working
// while the test's thread is blocked inside the call it tests. Plain C++ and
// POSIX.
//
// A fault is armed with a trigger, a predicate evaluated on the relay's
// thread at least every 5 ms and again right before each chunk of the
// server's reply is forwarded, so a trigger that watches the server's trace
// fires before any byte of the reply to the traced request reaches the
// client. The fault falls on the connection whose client sent data most
// recently when the trigger fired: the one that sent the request, as long as
// the test runs one request at a time through the relay.

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class SqlemuProcess;

class FaultRelay {
public:
    using Trigger = std::function<bool()>;
    // May change a chunk in place (its length too) before it is forwarded.
    using Rewrite = std::function<void(std::string &chunk)>;

    enum class Fault {
        CutAtOnce, // the request passed; no reply reaches the client
        CutAtReply, // the first chunk of the reply is dropped and the connection closed
        CutInReply, // replyBytes of the reply reach the client, then the connection is closed
        HoldReply, // the reply waits (the client's bytes still pass) until release() or cut
        HoldThenCut, // the reply waits until cutWhen() holds, then the connection is closed
    };

    struct Plan {
        Fault fault = Fault::CutAtOnce;
        std::size_t replyBytes = 0; // CutInReply
        Trigger cutWhen; // HoldThenCut, evaluated like the trigger
        // Once the fault is made, every connection is cut and new ones are
        // refused: the server seems gone (until setRefusing(false)).
        bool thenAway = false;
    };

    struct Counters {
        int accepted = 0; // connections relayed to the server
        int refused = 0; // connections closed at once while refusing
        long long bytesToServer = 0; // handed on to be written, held bytes once released
        long long bytesToClient = 0;
        int faultsApplied = 0; // connections cut or held by an armed fault
    };

    // Listens on a free 127.0.0.1 port, and on a free ::1 port too when asked,
    // and relays every connection to 127.0.0.1:targetPort.
    explicit FaultRelay(int targetPort, bool listenOnIPv6 = false);
    // Closes every connection and stops the thread.
    ~FaultRelay();
    FaultRelay(const FaultRelay &) = delete;
    FaultRelay &operator=(const FaultRelay &) = delete;

    int port() const { return m_port; }
    int ipv6Port() const { return m_ipv6Port; } // 0 when not asked for

    // One fault at a time: arming again replaces a fault that has not fired.
    void arm(Trigger trigger, Plan plan);
    void arm(Trigger trigger, Fault fault) { arm(std::move(trigger), Plan{fault, 0, {}, false}); }
    // Whether the armed fault has taken effect, waiting up to timeout for it.
    bool waitForFault(std::chrono::milliseconds timeout);
    // A held reply goes on to the client; the connection carries on as before.
    void release();
    // Closes every open connection now (a held reply is dropped).
    void cutAll();
    // While on, a new connection is accepted and closed at once: the server
    // seems away. Connections already open carry on.
    void setRefusing(bool refusing);
    void setRewrites(Rewrite toServer, Rewrite toClient);

    Counters counters() const;

private:
    struct Links;
    void run();
    // Runs a change on the relay's thread and waits until it is made; never
    // called from a trigger, which runs on that thread.
    void onRelayThread(std::function<void(Links &)> change);
    void count(const std::function<void(Counters &)> &update);

    int m_port = 0;
    int m_ipv6Port = 0;
    int m_wake[2] = {-1, -1};
    std::unique_ptr<Links> m_links; // the relay thread's own

    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    // Guarded by m_mutex:
    Counters m_counters;
    int m_faultsAtArming = 0;
    std::vector<std::function<void(Links &)>> m_changes;
    unsigned long long m_changesQueued = 0;
    unsigned long long m_changesMade = 0;
    bool m_stopping = false;

    std::thread m_thread;
};

// A trigger that fires once the server's trace holds a line, written after
// this call, of that kind ("batch", "rpc", "end", ...) whose text, procedure
// or any parameter value contains `contains` (empty: any line of the kind).
// It reads only what the trace gained since its last call.
FaultRelay::Trigger traceGains(const SqlemuProcess &server, const std::string &kind, const std::string &contains = {});

// A trigger that fires once the server has traced the end of a request,
// written after this call, that traceGains(server, kind, contains) would
// match: the server has finished it, whatever became of its reply. Other
// sessions' ends, the checks a test makes meanwhile among them, do not count.
FaultRelay::Trigger traceEndOf(const SqlemuProcess &server, const std::string &kind, const std::string &contains = {});

// How many lines of the server's trace have that kind and contain that text,
// matched as traceGains() matches them.
int traceCount(const SqlemuProcess &server, const std::string &kind, const std::string &contains = {});
