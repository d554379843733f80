#include "tds/session.h"

#include "tds/client_request.h"
#include "tds/login7.h"
#include "tds/prelogin.h"
#include "tds/token_result_sink.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <utility>

namespace sqlemu::tds {

namespace {

struct ConnectionLost {};

constexpr auto kAttentionPollInterval = std::chrono::milliseconds(5);
// Before login a connection may hold only a login's worth of memory and must
// log in by a deadline, so stray or hostile connections cannot pile up.
constexpr std::size_t kMaxMessageBeforeLogin = std::size_t{256} * 1024;
constexpr std::size_t kMaxMessageAfterLogin = std::size_t{64} * 1024 * 1024;
// The part of the server's memory one session's waiting requests may hold.
// A client that sends more while a request runs is no longer read from, so
// that TCP holds its bytes rather than the server.
constexpr std::size_t kQueueShareDivisor = 4;

} // namespace

Session::Session(int socket, InstanceContext &instance)
    : m_socket(socket)
    , m_instance(instance)
    , m_assembler(kMaxMessageBeforeLogin)
    , m_incomingMemory(newReservation())
    , m_messageMemory(newReservation())
{
    // A growing payload may hold twice its size while its buffer moves.
    m_assembler.setAdmission([this](std::size_t size) { return m_incomingMemory->growTo(2 * size); });
    m_state.spid = instance.nextSpid();
    m_loginDeadline = std::chrono::steady_clock::now() + instance.loginTimeout;
}

Session::~Session()
{
    // The listener closes the descriptor after this: the engine must not
    // keep a way to shut it down, whatever ended the session.
    closeInEngine();
}

void Session::run()
{
    try {
        Message message;
        while (!m_broken && nextMessage(message)) {
            const bool goOn = dispatch(message);
            message = Message{};
            m_messageMemory->release();
            if (!goOn)
                break;
        }
    } catch (const ConnectionLost &) {}
    if (m_phase == Phase::LoggedIn && m_instance.engine->sessionKilled(m_state))
        log("connection closed: the session was ended by another session");
    closeInEngine();
    ::shutdown(m_socket, SHUT_RDWR);
}

void Session::openInEngine()
{
    const int socket = m_socket;
    // Wakes this session's thread from a blocking read or send; the
    // descriptor stays open until the engine has forgotten the session.
    m_instance.engine->sessionOpened(m_state, [socket] { ::shutdown(socket, SHUT_RDWR); });
    m_openInEngine = true;
}

void Session::closeInEngine()
{
    if (std::exchange(m_openInEngine, false))
        m_instance.engine->sessionClosed(m_state);
}

std::unique_ptr<MemoryReservation> Session::newReservation() const
{
    return std::make_unique<MemoryReservation>(m_instance.config.memory);
}

bool Session::queueFull() const
{
    const MemoryBudget *budget = m_instance.config.memory;
    return budget && m_queuedBytes + m_incomingMemory->held() >= budget->limit() / kQueueShareDivisor;
}

bool Session::nextMessage(Message &message)
{
    if (!m_queued.empty()) {
        QueuedMessage &first = m_queued.front();
        message = std::move(first.message);
        m_queuedBytes -= first.memory->held();
        m_messageMemory = std::move(first.memory);
        m_queued.pop_front();
        return true;
    }
    std::uint8_t buffer[16384];
    while (true) {
        switch (m_assembler.next(message)) {
        case MessageAssembler::Result::Message:
            m_messageMemory = std::exchange(m_incomingMemory, newReservation());
            return true;
        case MessageAssembler::Result::Malformed:
            sendProtocolError(m_assembler.error());
            return false;
        case MessageAssembler::Result::NeedMore:
            break;
        }
        if (!waitForInput()) {
            log("connection closed: no login within " + std::to_string(m_instance.loginTimeout.count()) + " s");
            return false;
        }
        ssize_t n = ::recv(m_socket, buffer, sizeof buffer, 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0 || !absorb(std::span(buffer, static_cast<std::size_t>(n))))
            return false;
    }
}

bool Session::absorb(std::span<const std::uint8_t> bytes)
{
    if (!m_tls) {
        m_assembler.append(bytes);
        return true;
    }
    Bytes plain;
    try {
        const bool open = m_tls->decrypt(bytes, plain);
        m_assembler.append(plain);
        if (!open)
            log("connection closed: the client ended TLS");
        return open;
    } catch (const TlsError &e) {
        log(std::string("connection closed: ") + e.what());
        return false;
    }
}

bool Session::waitForInput()
{
    if (m_phase == Phase::LoggedIn)
        return true; // recv blocks for as long as the client stays idle
    while (true) {
        const auto left
            = std::chrono::duration_cast<std::chrono::milliseconds>(m_loginDeadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            return false;
        pollfd p{m_socket, POLLIN, 0};
        const int ready = ::poll(&p, 1, static_cast<int>(std::min<long long>(left.count(), 1000)));
        if (ready > 0)
            return true;
        if (ready < 0 && errno != EINTR)
            return true; // recv reports the failure
    }
}

bool Session::dispatch(const Message &message)
{
    const auto type = static_cast<PacketType>(message.type);
    try {
        if (message.ignored) {
            // The client gave up on a request while still sending it.
            ByteWriter out;
            writeDone(out, m_format, TokenId::Done, DoneStatus::Final, 0, 0);
            sendMessage(out.data());
            return true;
        }
        if (message.refused) {
            if (m_phase != Phase::LoggedIn) {
                log("connection closed: no memory for its login");
                return false;
            }
            sendOutOfMemory();
            return true;
        }
        switch (m_phase) {
        case Phase::PreLogin:
            if (type == PacketType::PreLogin)
                return handlePreLogin(message);
            if (type == PacketType::Login7) { // TDS 7.0 clients send no PRELOGIN
                if (m_instance.encryption == EncryptionSetting::Forced) {
                    log("connection closed: a login without PRELOGIN cannot be encrypted, and encryption is forced");
                    return false;
                }
                return handleLogin(message);
            }
            break;
        case Phase::Login:
            if (type == PacketType::Login7)
                return handleLogin(message);
            break;
        case Phase::LoggedIn:
            if (m_instance.engine->sessionKilled(m_state)) {
                log("connection closed: the session was ended by another session");
                return false;
            }
            if ((type == PacketType::SqlBatch || type == PacketType::Rpc)
                && (message.firstStatus & (PacketStatus::ResetConnection | PacketStatus::ResetConnectionSkipTran)))
                resetSession((message.firstStatus & PacketStatus::ResetConnectionSkipTran) != 0);
            switch (type) {
            case PacketType::SqlBatch:
                handleBatch(message);
                return !m_broken;
            case PacketType::Rpc:
                handleRpc(message);
                return !m_broken;
            case PacketType::Attention:
                sendAttentionAck();
                return true;
            case PacketType::TransactionManager:
                handleTransactionRequest(message);
                return !m_broken;
            default:
                break;
            }
            break;
        }
        sendProtocolError("unexpected packet type");
        return false;
    } catch (const MalformedInput &e) {
        sendProtocolError(e.what());
        return false;
    }
}

bool Session::handlePreLogin(const Message &message)
{
    const PreLoginRequest request = parsePreLogin(message.payload);
    const EncryptionChoice choice = chooseEncryption(
        request.encryption, m_instance.tls ? m_instance.encryption : EncryptionSetting::NotSupported);
    const auto &version = m_instance.policy.version;
    std::uint8_t packetId = 0;
    sendBytes(
        packetize(PacketType::TabularResult,
                  buildPreLoginResponse(ProductVersion{version.major, version.minor, version.build}, choice.answer),
                  kDefaultPacketSize, 0, packetId));
    m_phase = Phase::Login;
    m_tlsScope = choice.scope;
    if (choice.scope == TlsScope::None)
        return true;
    return negotiateTls(choice.scope);
}

bool Session::negotiateTls(TlsScope scope)
{
    if (m_assembler.hasBufferedBytes()) {
        log("connection closed: the client sent more before the TLS handshake");
        return false;
    }
    std::unique_ptr<TlsChannel> channel;
    try {
        channel = std::make_unique<TlsChannel>(*m_instance.tls);
    } catch (const TlsError &e) {
        log(std::string("connection closed: ") + e.what());
        return false;
    }
    Bytes raw;
    std::uint8_t packetId = 0;
    while (true) {
        const Frame frame = parseFrame(raw);
        if (frame.status == FrameStatus::Malformed) {
            log("connection closed: a malformed packet during the TLS handshake");
            return false;
        }
        if (frame.status == FrameStatus::Incomplete) {
            if (raw.size() > kMaxMessageBeforeLogin || !waitForInput()) {
                log("connection closed: no TLS handshake within the login time");
                return false;
            }
            std::uint8_t buffer[16384];
            const ssize_t n = ::recv(m_socket, buffer, sizeof buffer, 0);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return false;
            raw.insert(raw.end(), buffer, buffer + n);
            continue;
        }
        if (frame.header.type != static_cast<std::uint8_t>(PacketType::PreLogin)) {
            log("connection closed: the client did not start the TLS handshake the server asked for");
            return false;
        }
        Bytes reply;
        TlsChannel::Step step;
        try {
            step = channel->handshake(frame.payload, reply);
        } catch (const TlsError &e) {
            if (!reply.empty())
                sendBytes(packetize(PacketType::PreLogin, reply, kDefaultPacketSize, 0, packetId));
            log(std::string("connection closed: ") + e.what());
            return false;
        }
        raw.erase(raw.begin(), raw.begin() + static_cast<std::ptrdiff_t>(frame.size));
        if (!reply.empty())
            sendBytes(packetize(PacketType::PreLogin, reply, kDefaultPacketSize, 0, packetId));
        if (step == TlsChannel::Step::Done)
            break;
    }
    m_tls = std::move(channel);
    log(std::string(scope == TlsScope::Full ? "encrypted connection, " : "encrypted login, ") + m_tls->description());
    // A client may send its first records right behind the handshake.
    return raw.empty() || absorb(raw);
}

bool Session::handleLogin(const Message &message)
{
    if (m_tlsScope == TlsScope::LoginOnly && m_tls) {
        // Only the login was encrypted: the client has left TLS already and
        // reads the answer in clear text.
        const Bytes rest = m_tls->takeUnread();
        m_tls.reset();
        m_assembler.append(rest);
    }
    Login7Request request = parseLogin7(message.payload);
    ByteWriter tokens;
    LoginOutcome outcome = answerLogin(request, m_instance.policy, *m_instance.engine, tokens);
    m_format = WireFormat{outcome.tdsVersion};
    if (!outcome.accepted) {
        sendMessage(tokens.data());
        log("login failed: " + outcome.failure);
        return false;
    }
    m_state.loginName = outcome.loginName;
    m_state.integratedLogin = outcome.integrated;
    m_state.role = outcome.role;
    m_state.currentDatabase = outcome.database;
    m_loginDatabase = outcome.database;
    m_state.hostName = request.hostName;
    m_state.appName = request.appName;
    // Known to the engine before the client hears it is in, so a DROP
    // DATABASE right after the login already sees the session.
    openInEngine();
    m_phase = Phase::LoggedIn; // from here a lost connection closes the session in the engine too
    sendMessage(tokens.data());
    m_packetSize = outcome.packetSize;
    m_assembler.setMaxPacketSize(std::max(m_packetSize, kDefaultPacketSize));
    m_assembler.setMaxMessageSize(kMaxMessageAfterLogin);
    return true;
}

ResponseStream Session::makeStream()
{
    return ResponseStream([this](std::span<const std::uint8_t> bytes) { sendBytes(bytes); }, m_packetSize,
                          static_cast<std::uint16_t>(m_state.spid));
}

void Session::serverError(ResultSink &sink, const std::string &what)
{
    // An engine fault must not look like success, nor take the server down.
    sink.message(ServerMessage{50000, 1, 16, "Internal error in the emulator: " + what, "", 1});
}

void Session::runEngineCall(TokenResultSink &sink, const std::function<void()> &call)
{
    try {
        call();
    } catch (const ConnectionLost &) {
        throw;
    } catch (const std::exception &e) {
        serverError(sink, e.what());
    }
    pollAttention(true);
    if (sink.newDatabase())
        m_state.currentDatabase = *sink.newDatabase();
}

void Session::handleBatch(const Message &message)
{
    std::string text = parseSqlBatch(message.payload, m_format.tdsVersion);
    if (!m_messageMemory->growTo(m_messageMemory->held() + text.size())) {
        sendOutOfMemory();
        return;
    }
    if (m_instance.trace)
        m_instance.trace->batch(m_instance.config.instanceName, m_state.spid, text);
    ResponseStream stream = makeStream();
    TokenResultSink sink(stream, m_format, m_instance.config.serverName, TokenResultSink::Mode::Batch,
                         [this] { return pollAttention(false); });
    try {
        acknowledgeReset(stream);
        runEngineCall(sink, [&] { m_instance.engine->executeBatch(m_state, text, sink); });
        sink.finish(true);
        stream.finish();
    } catch (const ConnectionLost &) {
        traceEnd(sink.firstError(), false);
        throw;
    }
    m_attention = false;
    traceEnd(sink.firstError(), !m_broken);
}

void Session::traceEnd(std::int32_t error, bool delivered)
{
    if (m_instance.trace)
        m_instance.trace->end(m_instance.config.instanceName, m_state.spid, error, delivered);
}

void Session::handleRpc(const Message &message)
{
    std::vector<RpcCall> calls;
    try {
        calls = parseRpcRequest(message.payload, m_format.tdsVersion);
    } catch (const RefusedRequest &e) {
        ByteWriter out;
        writeMessage(out, m_format, e.message(), m_instance.config.serverName);
        writeDone(out, m_format, TokenId::Done, DoneStatus::Error, 0, 0);
        sendMessage(out.data());
        return;
    }
    ResponseStream stream = makeStream();
    std::int32_t firstError = 0;
    try {
        acknowledgeReset(stream);
        for (std::size_t i = 0; i < calls.size(); ++i) {
            const RpcCall &call = calls[i];
            if (m_instance.trace)
                m_instance.trace->rpc(m_instance.config.instanceName, m_state.spid, call.procedure, call.parameters);
            TokenResultSink sink(stream, m_format, m_instance.config.serverName, TokenResultSink::Mode::Rpc,
                                 [this] { return pollAttention(false); });
            sink.setRpcParameters(&call.parameters);
            try {
                runEngineCall(sink, [&] {
                    // A cancel that came before this call leaves it unrun.
                    if (!m_attention)
                        m_instance.engine->executeRpc(m_state, call.procedure, call.parameters, sink);
                });
                const bool last = i + 1 == calls.size() || m_attention;
                sink.finish(last);
                if (firstError == 0)
                    firstError = sink.firstError();
                if (last)
                    break;
            } catch (const ConnectionLost &) {
                if (firstError == 0)
                    firstError = sink.firstError();
                throw;
            }
        }
        stream.finish();
    } catch (const ConnectionLost &) {
        traceEnd(firstError, false);
        throw;
    }
    m_attention = false;
    traceEnd(firstError, !m_broken);
}

void Session::handleTransactionRequest(const Message &message)
{
    const TransactionRequest request = parseTransactionManagerRequest(message.payload, m_format.tdsVersion);
    ResponseStream stream = makeStream();
    TokenResultSink sink(stream, m_format, m_instance.config.serverName, TokenResultSink::Mode::Batch,
                         [this] { return pollAttention(false); });
    runEngineCall(sink, [&] { m_instance.engine->executeTransactionRequest(m_state, request, sink); });
    sink.finish(true);
    stream.finish();
    m_attention = false;
}

void Session::resetSession(bool keepTransaction)
{
    closeInEngine();
    m_state.currentDatabase = m_loginDatabase;
    if (!keepTransaction)
        m_state.transaction = SessionTransaction{};
    openInEngine();
    m_resetPending = true;
}

void Session::acknowledgeReset(ResponseStream &stream)
{
    if (!m_resetPending)
        return;
    writeResetConnectionAck(stream.tokens());
    m_resetPending = false;
}

void Session::sendAttentionAck()
{
    ByteWriter out;
    writeDone(out, m_format, TokenId::Done, DoneStatus::Attention, 0, 0);
    sendMessage(out.data());
}

void Session::log(const std::string &what) const
{
    std::fprintf(stderr, "sqlemu: %s session %d: %s\n", m_instance.config.instanceName.c_str(), m_state.spid,
                 what.c_str());
}

void Session::sendProtocolError(const std::string &reason)
{
    log("protocol error, connection closed: " + reason);
    if (m_phase != Phase::LoggedIn)
        return; // nothing the client could show yet
    try {
        ByteWriter out;
        writeMessage(
            out, m_format,
            ServerMessage{4002, 1, 16, "The incoming tabular data stream (TDS) protocol stream is incorrect.", "", 1},
            m_instance.config.serverName);
        writeDone(out, m_format, TokenId::Done, DoneStatus::Error, 0, 0);
        sendMessage(out.data());
    } catch (const ConnectionLost &) {}
    m_broken = true;
}

void Session::sendOutOfMemory()
{
    ByteWriter out;
    writeMessage(out, m_format, insufficientMemoryMessage(), m_instance.config.serverName);
    writeDone(out, m_format, TokenId::Done, DoneStatus::Error, 0, 0);
    sendMessage(out.data());
}

void Session::sendMessage(const Bytes &tokens)
{
    std::uint8_t packetId = 0;
    sendBytes(
        packetize(PacketType::TabularResult, tokens, m_packetSize, static_cast<std::uint16_t>(m_state.spid), packetId));
}

void Session::sendBytes(std::span<const std::uint8_t> plain)
{
    Bytes sealed;
    if (m_tls) {
        try {
            sealed = m_tls->encrypt(plain);
        } catch (const TlsError &e) {
            log(std::string("connection closed: ") + e.what());
            m_broken = true;
            throw ConnectionLost{};
        }
    }
    const std::span<const std::uint8_t> bytes = m_tls ? std::span<const std::uint8_t>(sealed) : plain;
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        ssize_t n = ::send(m_socket, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
                log("connection closed: the client stopped reading");
            m_broken = true;
            throw ConnectionLost{};
        }
        sent += static_cast<std::size_t>(n);
    }
}

bool Session::queueWhatArrived()
{
    Message message;
    while (true) {
        const auto result = m_assembler.next(message);
        if (result == MessageAssembler::Result::NeedMore)
            return true;
        if (result == MessageAssembler::Result::Malformed) {
            m_broken = true;
            m_attention = true;
            return false;
        }
        auto memory = std::exchange(m_incomingMemory, newReservation());
        if (message.type == static_cast<std::uint8_t>(PacketType::Attention)) {
            m_attention = true;
            continue;
        }
        // Assembled, the request holds its payload and no more.
        memory->shrinkTo(message.payload.size());
        m_queuedBytes += memory->held();
        m_queued.push_back(QueuedMessage{std::move(message), std::move(memory)});
    }
}

bool Session::pollAttention(bool force)
{
    if (m_attention)
        return true;
    auto now = std::chrono::steady_clock::now();
    if (!force && now - m_lastPoll < kAttentionPollInterval)
        return false;
    m_lastPoll = now;
    // Whole messages leave the assembler as each piece arrives, so that what
    // the queue holds decides when reading stops, not what the socket has.
    std::uint8_t buffer[4096];
    while (queueWhatArrived() && !queueFull()) {
        pollfd p{m_socket, POLLIN, 0};
        if (::poll(&p, 1, 0) <= 0)
            break;
        ssize_t n = ::recv(m_socket, buffer, sizeof buffer, MSG_DONTWAIT);
        if (n < 0 && (errno == EINTR || errno == EAGAIN))
            break;
        if (n <= 0 || !absorb(std::span(buffer, static_cast<std::size_t>(n)))) {
            // The client went away: stop the statement as if it had cancelled.
            m_broken = true;
            m_attention = true;
            return true;
        }
    }
    return m_attention;
}

} // namespace sqlemu::tds
