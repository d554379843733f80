#include "fake_engine.h"
#include "tds/instance_context.h"
#include "tds/session.h"

#include "support/tds_wire_client.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

using namespace sqlemu;
using namespace sqlemu::tds;

namespace {

// A session served on one end of a socket pair, driven from the other.
class TdsSession : public ::testing::Test {
protected:
    void SetUp() override
    {
        int fds[2];
        ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, fds), 0);
        client = fds[0];
        server = fds[1];
        instance.engine = &engine;
        instance.config.serverName = "VM";
        instance.config.memory = &memory;
        instance.policy = LoginPolicy{
            {{"sa", {"pw", sqlemu::ServerRole::SysAdmin}}}, nullptr, *ServerVersion::fromName("16.0"), "VM"};
        thread = std::thread([this] { Session(server, instance).run(); });
    }
    void TearDown() override
    {
        ::shutdown(client, SHUT_RDWR);
        if (thread.joinable())
            thread.join();
        ::close(client);
        ::close(server);
    }

    void send(const Bytes &bytes, std::size_t chunk = 1 << 20)
    {
        for (std::size_t at = 0; at < bytes.size(); at += chunk)
            ASSERT_GT(::write(client, bytes.data() + at, std::min(chunk, bytes.size() - at)), 0);
    }
    // Reads one packet; empty when the server closed.
    Bytes readPacket()
    {
        Bytes header(8);
        if (!readExactly(header.data(), 8))
            return {};
        std::size_t length = (header[2] << 8) | header[3];
        header.resize(length);
        if (!readExactly(header.data() + 8, length - 8))
            return {};
        return header;
    }
    Bytes readMessage()
    {
        Bytes all;
        while (true) {
            Bytes p = readPacket();
            if (p.empty())
                return all;
            all.insert(all.end(), p.begin(), p.end());
            if (p[1] & 0x01)
                return all;
        }
    }
    bool readExactly(std::uint8_t *to, std::size_t n)
    {
        while (n > 0) {
            ssize_t got = ::read(client, to, n);
            if (got <= 0)
                return false;
            to += got;
            n -= static_cast<std::size_t>(got);
        }
        return true;
    }
    sqlemu::test::Response loginAs(const std::string &password, std::uint32_t packetSize = 4096,
                                   std::uint32_t tdsVersion = 0x74000004)
    {
        send(sqlemu::test::message(0x12, sqlemu::test::preLogin()));
        Bytes prelogin = readMessage();
        EXPECT_EQ(prelogin.at(0), 0x04);
        sqlemu::test::LoginFields f;
        f.password = password;
        f.packetSize = packetSize;
        f.tdsVersion = tdsVersion;
        send(sqlemu::test::message(0x10, sqlemu::test::login7(f)));
        return sqlemu::test::readResponse(readMessage());
    }
    sqlemu::test::Response batch(const std::string &text, std::size_t chunk = 1 << 20)
    {
        send(sqlemu::test::message(0x01, sqlemu::test::sqlBatch(text)), chunk);
        return sqlemu::test::readResponse(readMessage());
    }
    bool serverClosed()
    {
        std::uint8_t b;
        return ::read(client, &b, 1) == 0;
    }

    sqlemu::test::FakeEngine engine;
    sqlemu::MemoryBudget memory{std::size_t{1} << 20};
    InstanceContext instance;
    int client = -1;
    int server = -1;
    std::thread thread;
};

TEST_F(TdsSession, LogsInAndRunsBatchesSentInAnySplit)
{
    auto login = loginAs("pw");
    ASSERT_NE(login.find(0xAD), nullptr);
    auto r = batch("select 1", 1);
    EXPECT_EQ(r.ids(), (std::vector<std::uint8_t>{0x81, 0xD1, 0xFD}));
    r = batch("two statements", 5);
    EXPECT_EQ(r.ids(), (std::vector<std::uint8_t>{0x81, 0xD1, 0xD1, 0xFD, 0xAA, 0xFD}));
    EXPECT_EQ(r.tokens[2].values, (std::vector<std::string>{"مووان"}));
    EXPECT_EQ(engine.batches.size(), 2u);
}

TEST_F(TdsSession, ARequestBeyondTheServersMemoryIsAnsweredWith701AndTheSessionGoesOn)
{
    loginAs("pw");
    // Half a megabyte of text is a megabyte on the wire: more than the
    // server's whole budget may hold while it grows.
    auto r = batch("select 1;" + std::string(512 * 1024, ';'));
    ASSERT_EQ(r.ids(), (std::vector<std::uint8_t>{0xAA, 0xFD}));
    EXPECT_EQ(r.tokens[0].number, 701);
    EXPECT_EQ(r.tokens[0].severity, 17);
    EXPECT_EQ(r.tokens[0].text, "There is insufficient system memory in resource pool 'default' to run this query.");
    EXPECT_EQ(r.tokens[1].status, DoneStatus::Error);
    EXPECT_TRUE(engine.batches.empty()); // never run, not even in part

    // What it held is given back: the next request fits again, and once the
    // session is done with it (just after its answer) nothing is held.
    r = batch("select 1");
    EXPECT_EQ(r.ids(), (std::vector<std::uint8_t>{0x81, 0xD1, 0xFD}));
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (memory.used() != 0 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_EQ(memory.used(), 0u);
}

TEST_F(TdsSession, UsesThePacketSizeTheClientAskedFor)
{
    loginAs("pw", 512);
    send(sqlemu::test::message(0x01, sqlemu::test::sqlBatch("big"), 512));
    Bytes wire = readMessage();
    for (std::size_t at = 0; at < wire.size();) {
        std::size_t length = (wire[at + 2] << 8) | wire[at + 3];
        ASSERT_LE(length, 512u);
        at += length;
    }
    EXPECT_EQ(sqlemu::test::readResponse(wire).tokens.size(), 202u);
}

TEST_F(TdsSession, AWrongPasswordClosesTheConnection)
{
    auto r = loginAs("nope");
    ASSERT_EQ(r.tokens.at(0).number, 18456);
    EXPECT_TRUE(serverClosed());
}

TEST_F(TdsSession, UseChangesTheDatabaseOfTheSession)
{
    loginAs("pw");
    auto r = batch("use Tarnel");
    EXPECT_EQ(r.ids(), (std::vector<std::uint8_t>{0xE3, 0xAB, 0xFD}));
    EXPECT_EQ(r.tokens[0].text, "Tarnel");
}

TEST_F(TdsSession, AnRpcIsAnsweredAsAProcedure)
{
    loginAs("pw");
    ByteWriter w;
    sqlemu::test::allHeaders(w);
    w.u16le(0xFFFF);
    w.u16le(10);
    w.u16le(0);
    sqlemu::test::nvarcharParam(w, "@statement", "select @a");
    sqlemu::test::nvarcharParam(w, "@params", "@a int");
    sqlemu::test::intParam(w, "@a", 5);
    send(sqlemu::test::message(0x03, w.data()));
    auto r = sqlemu::test::readResponse(readMessage());
    EXPECT_EQ(r.ids(), (std::vector<std::uint8_t>{0x81, 0xD1, 0xD1, 0xD1, 0xFF, 0x79, 0xFE}));
    ASSERT_EQ(engine.rpcs.size(), 1u);
    EXPECT_EQ(engine.rpcs[0].first, "sp_executesql");
    EXPECT_EQ(std::get<std::int64_t>(engine.rpcs[0].second[2].value), 5);
}

TEST_F(TdsSession, OutputParametersComeBackAsReturnValues)
{
    loginAs("pw");
    ByteWriter w;
    sqlemu::test::allHeaders(w);
    w.u16le(0xFFFF);
    w.u16le(10);
    w.u16le(0);
    sqlemu::test::nvarcharParam(w, "@statement", "set @doubled = @doubled * 2");
    sqlemu::test::nvarcharParam(w, "@params", "@doubled int output, @kept int output");
    sqlemu::test::intParam(w, "@doubled", 21, true);
    sqlemu::test::intParam(w, "@kept", 7, true);
    send(sqlemu::test::message(0x03, w.data()));
    auto r = sqlemu::test::readResponse(readMessage());
    ASSERT_EQ(r.ids(), (std::vector<std::uint8_t>{0x81, 0xD1, 0xD1, 0xD1, 0xD1, 0xFF, 0x79, 0xAC, 0xAC, 0xFE}));
    EXPECT_EQ(r.tokens[7].text, "@doubled");
    EXPECT_EQ(r.tokens[7].number, 2);
    EXPECT_EQ(r.tokens[7].values, (std::vector<std::string>{"42"}));
    EXPECT_EQ(r.tokens[8].text, "@kept"); // not assigned: its value as sent
    EXPECT_EQ(r.tokens[8].values, (std::vector<std::string>{"7"}));
}

TEST_F(TdsSession, ResetConnectionStartsTheSessionAfresh)
{
    loginAs("pw");
    batch("use Tarnel");
    send(sqlemu::test::message(0x01, sqlemu::test::sqlBatch("select 1"), 4096, 0x08));
    auto r = sqlemu::test::readResponse(readMessage());
    ASSERT_EQ(r.ids(), (std::vector<std::uint8_t>{0xE3, 0x81, 0xD1, 0xFD}));
    EXPECT_EQ(r.tokens[0].envType, 18);
    EXPECT_EQ(engine.closedSessions, 1);
    auto again = batch("use tempdb");
    EXPECT_EQ(again.tokens.at(0).text, "tempdb");
}

// The transaction-manager request: the begin and its end name one
// descriptor on the wire; an end without a transaction is an error, never a
// bare DONE.
TEST_F(TdsSession, TransactionRequestsAnnounceTheirDescriptorAndRefuseAnEndWithoutBegin)
{
    loginAs("pw");
    const auto request = [&](std::uint16_t type) {
        send(sqlemu::test::message(0x0E, sqlemu::test::transactionRequest(type)));
        return sqlemu::test::readResponse(readMessage());
    };
    auto begin = request(5);
    ASSERT_EQ(begin.ids(), (std::vector<std::uint8_t>{0xE3, 0xFD}));
    EXPECT_EQ(begin.tokens[0].envType, 8);
    EXPECT_EQ(begin.tokens[0].newValue.size(), 8u);
    EXPECT_TRUE(begin.tokens[0].oldValue.empty());
    EXPECT_EQ(begin.tokens[1].status, 0x00);

    auto commit = request(7);
    ASSERT_EQ(commit.ids(), (std::vector<std::uint8_t>{0xE3, 0xFD}));
    EXPECT_EQ(commit.tokens[0].envType, 9);
    EXPECT_TRUE(commit.tokens[0].newValue.empty());
    EXPECT_EQ(commit.tokens[0].oldValue, begin.tokens[0].newValue);

    for (std::uint16_t type : {7, 8}) {
        auto refused = request(type);
        ASSERT_EQ(refused.ids(), (std::vector<std::uint8_t>{0xAA, 0xFD})) << type;
        EXPECT_EQ(refused.tokens[0].number, type == 7 ? 3902 : 3903);
        EXPECT_EQ(refused.tokens[1].status, 0x02) << "DONE carries the error";
    }
    request(5);
    auto rolledBack = request(8);
    EXPECT_EQ(rolledBack.tokens.at(0).envType, 10);
}

// The engine closes a killed session's connection from another thread:
// the idle client finds it closed without sending anything, and the
// session ends and is forgotten, also after a reset.
TEST_F(TdsSession, AKilledIdleSessionsConnectionClosesAtOnce)
{
    const struct {
        const char *what;
        bool reset;
        int opened;
    } cases[] = {{"logged in", false, 1}, {"after a reset", true, 2}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        TearDown();
        engine.openedSessions = 0;
        engine.closedSessions = 0;
        SetUp();
        loginAs("pw");
        if (c.reset) {
            send(sqlemu::test::message(0x01, sqlemu::test::sqlBatch("select 1"), 4096, 0x08));
            readMessage();
        }
        ASSERT_EQ(engine.openedSessions, c.opened);
        ASSERT_TRUE(engine.kill());
        EXPECT_TRUE(serverClosed());
        thread.join();
        EXPECT_EQ(engine.closedSessions, c.opened);
        EXPECT_FALSE(engine.kill()); // the descriptor is no longer the engine's to shut down
    }
}

TEST_F(TdsSession, MessagesOfALongStatementArriveBeforeItEnds)
{
    loginAs("pw");
    send(sqlemu::test::message(0x01, sqlemu::test::sqlBatch("slow 30")));
    Bytes first = readPacket();
    ASSERT_FALSE(first.empty());
    EXPECT_EQ(first[1], 0x00); // a packet of its own, more to come
    auto r = sqlemu::test::readResponse(first);
    EXPECT_EQ(r.tokens.at(0).text, "1 percent processed.");
    Bytes rest = readMessage();
    EXPECT_EQ(sqlemu::test::readResponse(rest).tokens.back().id, 0xFD);
}

TEST_F(TdsSession, AttentionStopsTheStatementAndIsAcknowledged)
{
    loginAs("pw");
    send(sqlemu::test::message(0x01, sqlemu::test::sqlBatch("slow 100000")));
    ASSERT_FALSE(readPacket().empty()); // it runs
    send(sqlemu::test::packet(0x06, {}));
    Bytes rest = readMessage();
    auto r = sqlemu::test::readResponse(rest);
    ASSERT_FALSE(r.tokens.empty());
    EXPECT_EQ(r.tokens.back().id, 0xFD);
    EXPECT_EQ(r.tokens.back().status, DoneStatus::Attention);
    // and the session goes on
    EXPECT_EQ(batch("select 1").ids(), (std::vector<std::uint8_t>{0x81, 0xD1, 0xFD}));

    // A late attention, after the response ended, is still acknowledged.
    send(sqlemu::test::packet(0x06, {}));
    auto ack = sqlemu::test::readResponse(readMessage());
    ASSERT_EQ(ack.ids(), (std::vector<std::uint8_t>{0xFD}));
    EXPECT_EQ(ack.tokens[0].status, DoneStatus::Attention);
}

TEST_F(TdsSession, ARequestTheClientAbandonedWhileSendingIsNotRun)
{
    loginAs("pw");
    Bytes first = sqlemu::test::packet(0x01, sqlemu::test::sqlBatch("select 1"), 0x00);
    Bytes abandoned = sqlemu::test::packet(0x01, {}, 0x03); // end of message + ignore
    first.insert(first.end(), abandoned.begin(), abandoned.end());
    send(first);
    auto r = sqlemu::test::readResponse(readMessage());
    ASSERT_EQ(r.ids(), (std::vector<std::uint8_t>{0xFD}));
    EXPECT_EQ(r.tokens[0].status, 0);
    EXPECT_TRUE(engine.batches.empty());
}

TEST_F(TdsSession, AnEngineFaultIsReportedAsAnError)
{
    loginAs("pw");
    auto r = batch("throw");
    ASSERT_EQ(r.ids(), (std::vector<std::uint8_t>{0xAA, 0xFD}));
    EXPECT_EQ(r.tokens[0].severity, 16);
    EXPECT_EQ(r.tokens[1].status, DoneStatus::Error);
}

// A parameter of a type the client's protocol version does not have (here
// datetime2, sent on TDS 7.2) refuses that request with 8009; the session
// goes on, as on a real server.
TEST_F(TdsSession, AParameterOfAnUnknownTypeRefusesTheRequestAndTheSessionGoesOn)
{
    loginAs("pw", 4096, 0x72090002);
    ByteWriter w;
    sqlemu::test::allHeaders(w);
    w.u16le(0xFFFF);
    w.u16le(10);
    w.u16le(0);
    sqlemu::test::nvarcharParam(w, "@statement", "select @d");
    sqlemu::test::nvarcharParam(w, "@params", "@d datetime2");
    w.bVarChar("@d");
    w.u8(0);
    for (std::uint8_t b : {0x2A, 0x07, 0x08}) // datetime2(7), 8 bytes follow
        w.u8(b);
    for (int i = 0; i < 8; ++i)
        w.u8(0);
    send(sqlemu::test::message(0x03, w.data()));
    auto r = sqlemu::test::readResponse(readMessage());
    ASSERT_EQ(r.ids(), (std::vector<std::uint8_t>{0xAA, 0xFD}));
    EXPECT_EQ(r.tokens[0].number, 8009);
    EXPECT_EQ(r.tokens[0].text,
              "The incoming tabular data stream (TDS) remote procedure call (RPC) protocol stream is "
              "incorrect. Parameter 3 (\"@d\"): Data type 0x2A is unknown.");
    EXPECT_EQ(r.tokens[1].status, DoneStatus::Error);
    EXPECT_TRUE(engine.rpcs.empty()) << "nothing of the request ran";
    EXPECT_EQ(batch("select 1").ids().back(), 0xFD) << "the session goes on";
}

TEST_F(TdsSession, MalformedInputEndsTheConnection)
{
    loginAs("pw");
    send(Bytes{0x01, 0x01, 0x00, 0x03, 0, 0, 0, 0});
    auto r = sqlemu::test::readResponse(readMessage());
    ASSERT_FALSE(r.tokens.empty());
    EXPECT_EQ(r.tokens[0].number, 4002);
    EXPECT_TRUE(serverClosed());
}

TEST_F(TdsSession, GarbageBeforeLoginIsDroppedSilently)
{
    send(Bytes{0x12, 0x01, 0x00, 0x0A, 0, 0, 0, 0, 0x00, 0x00}); // PRELOGIN option cut short
    EXPECT_TRUE(serverClosed());
}

TEST_F(TdsSession, ALoginLargerThanAnyRealOneIsRefused)
{
    Bytes chunk = sqlemu::test::packet(0x10, Bytes(4000, 0x41), 0x00);
    for (int i = 0; i < 70; ++i) { // 280 KB and no end of message
        if (::send(client, chunk.data(), chunk.size(), MSG_NOSIGNAL) <= 0)
            break;
    }
    EXPECT_TRUE(serverClosed());
}

TEST_F(TdsSession, RequestsBeforeLoginAreRefused)
{
    send(sqlemu::test::message(0x01, sqlemu::test::sqlBatch("select 1")));
    EXPECT_TRUE(serverClosed());
    EXPECT_TRUE(engine.batches.empty());
}

} // namespace

namespace {

// The same session writing --trace: a line when each request arrives, and
// one when the server has finished with it.
class TdsSessionTrace : public TdsSession {
protected:
    void SetUp() override
    {
        tracePath = std::filesystem::temp_directory_path()
            / ("sqlemu-session-trace-" + std::to_string(::getpid()) + ".jsonl");
        std::filesystem::remove(tracePath);
        trace = std::make_unique<TraceLog>(tracePath.string());
        instance.trace = trace.get();
        TdsSession::SetUp();
    }
    void TearDown() override
    {
        TdsSession::TearDown();
        std::filesystem::remove(tracePath);
    }
    std::vector<nlohmann::json> lines() const
    {
        std::vector<nlohmann::json> out;
        std::ifstream in(tracePath);
        for (std::string line; std::getline(in, line);)
            out.push_back(nlohmann::json::parse(line));
        return out;
    }

    // The end line follows the response: it may come a moment after the
    // client has read the answer.
    std::vector<nlohmann::json> linesOnceThereAre(std::size_t count) const
    {
        auto out = lines();
        for (int i = 0; i < 500 && out.size() < count; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            out = lines();
        }
        return out;
    }

    std::filesystem::path tracePath;
    std::unique_ptr<TraceLog> trace;
};

TEST_F(TdsSessionTrace, EachRequestEndsWithItsFirstErrorAndWhetherItsAnswerArrived)
{
    loginAs("pw");
    struct Case {
        std::string batch;
        int error;
    };
    const Case cases[] = {
        {"select 1", 0}, {"two statements", 911}, {"two errors", 3201}, {"throw", 50000}, {"nonsense", 102},
    };
    for (const auto &c : cases)
        batch(c.batch);
    const auto trace = linesOnceThereAre(2 * std::size(cases));
    ASSERT_EQ(trace.size(), 2 * std::size(cases));
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(cases[i].batch);
        EXPECT_EQ(trace[2 * i]["kind"], "batch");
        EXPECT_EQ(trace[2 * i]["text"], cases[i].batch);
        const auto &end = trace[2 * i + 1];
        EXPECT_EQ(end["kind"], "end");
        EXPECT_EQ(end["session"], trace[2 * i]["session"]);
        EXPECT_EQ(end["error"], cases[i].error);
        EXPECT_EQ(end["delivered"], true);
    }
}

TEST_F(TdsSessionTrace, TheRequestIsTracedBeforeItRunsAndItsAnswerIsNotDeliveredToAClientThatLeft)
{
    loginAs("pw");
    send(sqlemu::test::message(0x01, sqlemu::test::sqlBatch("slow 100000")));
    ASSERT_FALSE(readPacket().empty()); // it runs
    auto running = lines();
    ASSERT_EQ(running.size(), 1u);
    EXPECT_EQ(running[0]["kind"], "batch");

    ::shutdown(client, SHUT_RDWR);
    thread.join();
    const auto trace = lines();
    ASSERT_EQ(trace.size(), 2u);
    EXPECT_EQ(trace[1]["kind"], "end");
    EXPECT_EQ(trace[1]["error"], 0);
    EXPECT_EQ(trace[1]["delivered"], false);
}

TEST_F(TdsSessionTrace, AClientThatStoppedSendingHasGoneAndItsAnswerIsNotDelivered)
{
    loginAs("pw");
    send(sqlemu::test::message(0x01, sqlemu::test::sqlBatch("slow 100000")));
    ASSERT_FALSE(readPacket().empty());
    // Half closed: the server could still write, but the client has left.
    ::shutdown(client, SHUT_WR);
    const auto trace = linesOnceThereAre(2);
    ASSERT_EQ(trace.size(), 2u);
    EXPECT_EQ(trace[1]["kind"], "end");
    EXPECT_EQ(trace[1]["delivered"], false);
}

TEST_F(TdsSessionTrace, AnRpcEndsOnceForTheWholeRequest)
{
    loginAs("pw");
    ByteWriter w;
    sqlemu::test::allHeaders(w);
    w.u16le(0xFFFF);
    w.u16le(10);
    w.u16le(0);
    sqlemu::test::nvarcharParam(w, "@statement", "select @a");
    sqlemu::test::nvarcharParam(w, "@params", "@a int");
    sqlemu::test::intParam(w, "@a", 5);
    send(sqlemu::test::message(0x03, w.data()));
    sqlemu::test::readResponse(readMessage());
    const auto trace = linesOnceThereAre(2);
    ASSERT_EQ(trace.size(), 2u);
    EXPECT_EQ(trace[0]["kind"], "rpc");
    EXPECT_EQ(trace[1]["kind"], "end");
    EXPECT_EQ(trace[1]["delivered"], true);
}

} // namespace
