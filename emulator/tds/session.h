#pragma once

// One client connection, on its own thread: PRELOGIN, LOGIN7, then requests
// until the client leaves. A protocol violation ends this connection only.

#include "engine_interface/engine.h"
#include "tds/instance_context.h"
#include "tds/packet.h"
#include "tds/response_stream.h"
#include "tds/tls_channel.h"

#include <chrono>
#include <deque>
#include <functional>
#include <memory>
#include <string>

namespace sqlemu::tds {

class TokenResultSink;

class Session {
public:
    Session(int socket, InstanceContext &instance);
    ~Session();
    Session(const Session &) = delete;
    Session &operator=(const Session &) = delete;

    // Serves the connection until it ends and shuts the socket down; the
    // caller closes it.
    void run();

private:
    enum class Phase { PreLogin, Login, LoggedIn };

    // The engine learns of the logged-in session, with a way to close its
    // connection from another thread, and forgets it again.
    void openInEngine();
    void closeInEngine();
    bool nextMessage(Message &message);
    // Waits for the client's next bytes; before login only until the login
    // deadline. False once the deadline has passed.
    bool waitForInput();
    bool dispatch(const Message &message);
    bool handlePreLogin(const Message &message);
    // The TLS handshake, its records wrapped in PRELOGIN packets; false when
    // it failed and the connection is to end.
    bool negotiateTls(TlsScope scope);
    // Bytes from the socket into the message assembler, through TLS while the
    // connection uses it; false when they cannot be read.
    bool absorb(std::span<const std::uint8_t> bytes);
    bool handleLogin(const Message &message);
    void handleBatch(const Message &message);
    void handleRpc(const Message &message);
    void handleTransactionRequest(const Message &message);
    // The trace's line for a request the server has finished with.
    void traceEnd(std::int32_t error, bool delivered);
    void sendAttentionAck();
    // RESETCONNECTION on a request: the session starts afresh, as just
    // logged in, and the response acknowledges it.
    // keepTransaction: the client asked to keep its transaction across the reset.
    void resetSession(bool keepTransaction);
    void acknowledgeReset(ResponseStream &stream);
    void sendProtocolError(const std::string &reason);
    // 701 for a request the server's memory could not hold; the session goes on.
    void sendOutOfMemory();
    void sendMessage(const Bytes &tokens);
    void sendBytes(std::span<const std::uint8_t> bytes);
    void serverError(ResultSink &sink, const std::string &what);
    // Runs one call of the engine into sink: a fault of the engine becomes an
    // error in the response (a lost connection still ends the session), and a
    // database the call switched to becomes the session's.
    void runEngineCall(TokenResultSink &sink, const std::function<void()> &call);
    // Reads what the client sent meanwhile, up to the session's share of
    // memory; true once it asked to cancel.
    bool pollAttention(bool force);
    // Moves the requests the assembler has completed into the queue (a
    // cancel among them marks the running one); false once the stream is
    // malformed.
    bool queueWhatArrived();
    ResponseStream makeStream();
    // The server's own log (standard error), as a real server's error log.
    void log(const std::string &what) const;

    int m_socket;
    InstanceContext &m_instance;
    Phase m_phase = Phase::PreLogin;
    MessageAssembler m_assembler;
    // Requests that arrived while another ran, each with the server's
    // memory it holds until it has been answered.
    struct QueuedMessage {
        Message message;
        std::unique_ptr<MemoryReservation> memory;
    };
    // True while the queued requests hold the session's share of the
    // server's memory: the session then reads nothing more from its socket.
    bool queueFull() const;
    std::unique_ptr<MemoryReservation> newReservation() const;

    // The server's memory held by the message being received, and by the
    // request being run.
    std::unique_ptr<MemoryReservation> m_incomingMemory;
    std::unique_ptr<MemoryReservation> m_messageMemory;
    std::deque<QueuedMessage> m_queued;
    std::size_t m_queuedBytes = 0;
    SessionState m_state;
    WireFormat m_format;
    std::size_t m_packetSize = kDefaultPacketSize;
    std::string m_loginDatabase;
    bool m_resetPending = false;
    bool m_attention = false;
    bool m_broken = false;
    bool m_openInEngine = false;
    std::unique_ptr<TlsChannel> m_tls; // set while TLS carries the connection
    TlsScope m_tlsScope = TlsScope::None;
    std::chrono::steady_clock::time_point m_lastPoll;
    std::chrono::steady_clock::time_point m_loginDeadline;
};

} // namespace sqlemu::tds
