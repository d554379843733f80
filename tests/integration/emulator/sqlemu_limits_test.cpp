// The real sqlemu at the edges of what it may hold and hand out: tasks and
// address space that run out, batches beyond its memory, a client that stops
// reading, its data folder's lock, wildcard listen addresses, a killed backup
// under a reused process id, and a login that is not sysadmin. Each time the
// one request is refused and everything else, the user's databases first,
// is as it was.

#include "killed_server_fixture.h"
#include "wait_for_event.h"

#include "support/child_process.h"
#include "support/process_usage.h"
#include "support/sanitizers.h"
#include "support/temp_folder.h"

#include <arpa/inet.h>
#include <csignal>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// A plain TCP connection that says nothing: the server gives it a session
// (a thread) as soon as it accepts it.
class SilentConnection {
public:
    explicit SilentConnection(int port)
        : m_socket(connectToLoopback(port))
        , m_connected(m_socket >= 0)
    {}
    ~SilentConnection() { ::close(m_socket); }
    SilentConnection(const SilentConnection &) = delete;
    SilentConnection &operator=(const SilentConnection &) = delete;

    // True once the server has closed the connection, waiting up to wait.
    bool closedByServer(std::chrono::milliseconds wait)
    {
        if (!m_connected)
            return true;
        pollfd p{m_socket, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(wait.count())) <= 0)
            return false;
        char byte = 0;
        return ::recv(m_socket, &byte, 1, MSG_DONTWAIT) <= 0;
    }

private:
    int m_socket = -1;
    bool m_connected = false;
};

// Whether a TCP connection to address:port is accepted (IPv4 or IPv6).
bool accepts(const std::string &address, int port)
{
    sockaddr_storage storage{};
    socklen_t length = 0;
    if (address.find(':') != std::string::npos) {
        auto *a = reinterpret_cast<sockaddr_in6 *>(&storage);
        a->sin6_family = AF_INET6;
        a->sin6_port = htons(static_cast<std::uint16_t>(port));
        ::inet_pton(AF_INET6, address.c_str(), &a->sin6_addr);
        length = sizeof *a;
    } else {
        auto *a = reinterpret_cast<sockaddr_in *>(&storage);
        a->sin_family = AF_INET;
        a->sin_port = htons(static_cast<std::uint16_t>(port));
        ::inet_pton(AF_INET, address.c_str(), &a->sin_addr);
        length = sizeof *a;
    }
    const int s = ::socket(storage.ss_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const bool ok = ::connect(s, reinterpret_cast<sockaddr *>(&storage), length) == 0;
    ::close(s);
    return ok;
}

bool alive(pid_t pid)
{
    return ::kill(pid, 0) == 0 && processStatusBytes(pid, "VmRSS") > 0;
}

// Logs in as sa and lists the databases, retrying for a while: the server
// gives back what ended sessions held within its accept loop's pause.
bool servesAgain(const std::string &address)
{
    return happensWithin([&] {
        DbLibConnection c;
        bool ok = false;
        if (c.open(address, "sa", ""))
            c.execute("select name from master.dbo.sysdatabases", &ok);
        return ok;
    });
}

// Many silent connections at once: some are refused (closed at once), the
// others keep their sessions; the server lives on through it and serves
// again once they are gone. Returns how many were refused.
int flood(pid_t server, int port, int connections)
{
    std::vector<std::unique_ptr<SilentConnection>> held;
    for (int i = 0; i < connections; ++i)
        held.push_back(std::make_unique<SilentConnection>(port));
    int refused = 0;
    for (auto &c : held)
        refused += c->closedByServer(100ms) ? 1 : 0;
    EXPECT_TRUE(alive(server));
    return refused;
}

TEST(SqlemuLimits, ATaskLimitRefusesTheConnectionsItCannotServeAndTheServerGoesOn)
{
    // A task limit binds only an ordinary user, as the service's would.
    const fs::path folder = makeTemporaryFolder("sqlemu-nproc");
    ASSERT_EQ(::chown(folder.c_str(), 65534, 65534), 0);
    const std::string errors = (folder / "stderr.txt").string();
    Child child = startChild(
        {.arguments = {"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", "prlimit", "--nproc=16",
                       builtExecutable("sqlemu"), "--data-dir", (folder / "data").string(), "--port", "0"},
         .errorFile = errors});
    ASSERT_GT(child.pid, 0);
    const std::string ready = readUntil(child.output, "\n", 15s);
    ::close(child.output);
    const auto at = ready.find("MSSQLSERVER=");
    ASSERT_NE(at, std::string::npos) << ready << readFile(errors);
    const int port = std::stoi(ready.substr(at + 12));

    EXPECT_GT(flood(child.pid, port, 40), 0);
    EXPECT_TRUE(servesAgain("127.0.0.1:" + std::to_string(port))) << readFile(errors);
    EXPECT_NE(readFile(errors).find("connection(s) refused"), std::string::npos) << readFile(errors);
    EXPECT_EQ(killChild(child.pid, SIGTERM), 0);
    fs::remove_all(folder);
}

TEST(SqlemuLimits, AnAddressSpaceCapRefusesTheConnectionsItCannotServeAndTheServerGoesOn)
{
    std::size_t idle = 0;
    {
        SqlemuProcess probe;
        ASSERT_TRUE(probe.start()) << probe.error();
        ASSERT_TRUE(servesAgain(probe.address()));
        idle = processStatusBytes(probe.processId(), "VmSize");
    }
    ASSERT_GT(idle, 0u);
    SqlemuOptions options;
    options.launcher = {"prlimit", "--as=" + std::to_string(idle + (200u << 20))};
    SqlemuProcess server(options);
    ASSERT_TRUE(server.start()) << server.error();
    EXPECT_GT(flood(server.processId(), server.port(), 60), 0);
    EXPECT_TRUE(servesAgain(server.address())) << server.standardError();
    EXPECT_EQ(server.stop(), 0);
}

TEST(SqlemuLimits, BatchesBeyondTheServersMemoryAreRefusedWith701AndTheSessionGoesOn)
{
    SqlemuOptions options;
    options.extraArguments = {"--max-memory", "96"};
    SqlemuProcess server(options);
    ASSERT_TRUE(server.start()) << server.error();
    DbLibConnection c;
    ASSERT_TRUE(c.open(server.address(), "sa", ""));
    const std::size_t before = processStatusBytes(server.processId(), "VmHWM");

    // 62 MB on the wire (the most a message may be is 64): more than the
    // server's whole budget.
    bool ok = true;
    c.execute("select 1" + std::string(31u << 20, ';'), &ok);
    EXPECT_FALSE(ok);
    EXPECT_TRUE(c.saw(701));
    // Small on the wire, but millions of tokens.
    c.messages.clear();
    ok = true;
    c.execute("use tempdb" + std::string(3u << 20, ';'), &ok);
    EXPECT_FALSE(ok);
    EXPECT_TRUE(c.saw(701));

    // The session goes on where it was; the memory went back.
    auto sets = c.execute("select db_name()", &ok);
    ASSERT_TRUE(ok);
    EXPECT_EQ(sets.at(0).rows.at(0).at(0), "master");
    const std::size_t grown = processStatusBytes(server.processId(), "VmHWM") - before;
    if (kResidentSizeIsMeaningful) {
        EXPECT_LT(grown, std::size_t{160} << 20) << grown / (1024 * 1024) << " MB";
    }
}

TEST(SqlemuLimits, AClientThatStopsReadingLosesItsSessionAfterTheSendTimeout)
{
    SqlemuOptions options;
    options.extraArguments = {"--send-timeout", "1"};
    SqlemuProcess server(options);
    ASSERT_TRUE(server.start()) << server.error();
    DbLibConnection stuck;
    ASSERT_TRUE(stuck.open(server.address(), "sa", ""));
    // Some 40 MB of rows, far beyond what the sockets' buffers take, to a
    // client that reads none of it.
    std::string batch;
    for (int i = 0; i < 25000; ++i)
        batch += "select * from master.dbo.sysdatabases ";
    ASSERT_TRUE(stuck.send(batch));
    // The rows take a sanitizer build on a busy machine a long while to make;
    // the session ends one send timeout after the buffers are full.
    EXPECT_TRUE(happensWithin([&] {
        return server.standardError().find("the client stopped reading") != std::string::npos;
    })) << server.standardError();
    EXPECT_TRUE(servesAgain(server.address()));
}

TEST(SqlemuLimits, DeletingTheLockFileDoesNotFreeTheDataFolder)
{
    SqlemuProcess first;
    ASSERT_TRUE(first.start()) << first.error();
    const fs::path lock = fs::path(first.dataDir()) / ".sqlemu.lock";
    ASSERT_TRUE(fs::exists(lock));
    fs::remove(lock);

    SqlemuOptions options;
    options.dataDir = first.dataDir();
    SqlemuProcess second(options);
    EXPECT_FALSE(second.start());
    EXPECT_NE(second.error().find("is in use by another sqlemu"), std::string::npos) << second.error();
    EXPECT_TRUE(servesAgain(first.address()));
}

TEST(SqlemuLimits, WildcardAddressesListenBesideLoopback)
{
    SqlemuOptions options;
    options.saPassword = "Secret1";
    options.extraArguments = {"--listen", "0.0.0.0", "--listen", "::"};
    SqlemuProcess server(options);
    ASSERT_TRUE(server.start()) << server.error();
    EXPECT_TRUE(accepts("127.0.0.1", server.port()));
    EXPECT_TRUE(accepts("::1", server.port()));
    DbLibConnection c;
    EXPECT_TRUE(c.open(server.address(), "sa", "Secret1"));
}

// sqlemu as the first process of a namespace of its own, as in a container:
// started again, it has the same process id as the server that was killed.
class SqlemuReusedProcessId : public KilledServerTest {
protected:
    SqlemuReusedProcessId()
        : KilledServerTest("sqlemu-pid1")
    {
        // The server is the first process of its own process-id space, as in
        // a container; it goes when the launcher goes.
        options.launcher = {"unshare", "--pid", "--fork", "--kill-child=SIGKILL"};
    }
};

TEST_F(SqlemuReusedProcessId, AKilledBackupsPartialFileIsGoneAfterTheRestart)
{
    const fs::path backups = folder / "backups";
    fs::create_directories(backups);
    {
        auto server = start();
        DbLibConnection db;
        ASSERT_TRUE(db.open(server->address(), "sa", ""));
        ASSERT_TRUE(attachAndBackUpSource(db, 3));
        auto pid = db.execute("select cast(serverproperty('ProcessID') as int)");
        ASSERT_EQ(pid.at(0).rows.at(0).at(0), "1");
        bool ok = false;
        db.execute("EXEC sqlemu_test_pace_storage @milliseconds = 10000", &ok);
        ASSERT_TRUE(ok);
        ASSERT_TRUE(db.send("BACKUP DATABASE Source TO DISK = N'" + (backups / "New.Bak").string() + "'"));
        ASSERT_TRUE(happensWithin([&] { return !strayFiles(backups).empty(); }));
        ASSERT_EQ(strayFiles(backups).size(), 1u);
        // SIGKILL to the namespace's first process ends it as a kill -9 of
        // the service would.
        std::ifstream children("/proc/" + std::to_string(server->processId()) + "/task/"
                               + std::to_string(server->processId()) + "/children");
        pid_t sqlemu = 0;
        children >> sqlemu;
        ASSERT_GT(sqlemu, 0);
        ::kill(sqlemu, SIGKILL);
        server->stop();
    }
    ASSERT_EQ(strayFiles(backups).size(), 1u);
    auto server = start();
    EXPECT_EQ(strayFiles(backups), std::vector<std::string>{});
    DbLibConnection db;
    ASSERT_TRUE(db.open(server->address(), "sa", ""));
    auto names = db.execute("select name from master.dbo.sysdatabases where dbid > 4");
    ASSERT_EQ(names.at(0).rows.size(), 1u);
    EXPECT_EQ(names[0].rows[0][0], "Source");
}

// Through FreeTDS as the tool meets it: a login without a server role on a
// server that others share.
class SqlemuPermissions : public KilledServerTest {
protected:
    SqlemuPermissions()
        : KilledServerTest("sqlemu-roles")
    {
        options.saPassword = "Secret1";
        options.logins = {"clerk:Clerk1", "operator:Op1:dbcreator"};
    }
};

TEST_F(SqlemuPermissions, ALoginWithoutARoleCanNeitherOverwriteFilesNorDropDatabases)
{
    auto server = start();
    DbLibConnection sa;
    ASSERT_TRUE(sa.open(server->address(), "sa", "Secret1"));
    ASSERT_TRUE(attachAndBackUpSource(sa, 3));
    const fs::path victim = folder / "operator-notes.txt";
    writeFile(victim, "not a database");
    const std::string mediaBefore = readFile(media);
    const auto names = sa.execute("select filename from master.dbo.sysdatabases where name = 'Source'");
    const fs::path data = names.at(0).rows.at(0).at(0).value();
    const std::string dataBefore = readFile(data);

    DbLibConnection clerk;
    ASSERT_TRUE(clerk.open(server->address(), "clerk", "Clerk1"));
    bool ok = true;
    clerk.execute("RESTORE DATABASE Source FROM DISK = N'" + media.string() + "' WITH MOVE 'Data_Data' TO N'"
                      + victim.string() + "', MOVE 'Data_log' TO N'" + (folder / "x.ldf").string() + "', REPLACE",
                  &ok);
    EXPECT_FALSE(ok);
    EXPECT_TRUE(clerk.saw(3110));
    ok = true;
    clerk.execute("DROP DATABASE Source", &ok);
    EXPECT_FALSE(ok);
    EXPECT_TRUE(clerk.saw(3701));
    ok = true;
    clerk.execute("BACKUP DATABASE Source TO DISK = N'" + media.string() + "'", &ok);
    EXPECT_FALSE(ok);
    EXPECT_TRUE(clerk.saw(262));

    // Nothing the clerk asked for happened.
    EXPECT_EQ(readFile(victim), "not a database");
    EXPECT_EQ(readFile(media), mediaBefore);
    EXPECT_EQ(readFile(data), dataBefore);
    auto listed = sa.execute("select status from master.dbo.sysdatabases where name = 'Source'", &ok);
    ASSERT_TRUE(ok);
    ASSERT_EQ(listed.at(0).rows.size(), 1u);
    EXPECT_EQ(listed[0].rows[0][0], "65536"); // online

    // A dbcreator does what the tool needs.
    DbLibConnection op;
    ASSERT_TRUE(op.open(server->address(), "operator", "Op1"));
    op.execute("BACKUP DATABASE Source TO DISK = N'" + (folder / "op.bak").string() + "'", &ok);
    EXPECT_TRUE(ok);
}

} // namespace
