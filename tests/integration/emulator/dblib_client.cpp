#include "dblib_client.h"

#include <mutex>
#include <poll.h>
#include <sybdb.h>
#include <sybfront.h>
#include <sys/socket.h>

namespace {

thread_local DbLibConnection *t_current = nullptr;

// Points db-lib's global handlers at the connection in use on this thread.
struct Current {
    explicit Current(DbLibConnection *c)
        : previous(t_current)
    {
        t_current = c;
    }
    ~Current() { t_current = previous; }
    DbLibConnection *previous;
};

} // namespace

int dblibMessageHandler(DBPROCESS *, DBINT number, int state, int severity, char *text, char *server, char *procedure,
                        int line)
{
    if (t_current) {
        t_current->messages.push_back({static_cast<int>(number), state, severity, text ? text : "",
                                       server ? server : "", procedure ? procedure : "", line,
                                       std::chrono::steady_clock::now()});
    }
    return 0;
}

int dblibErrorHandler(DBPROCESS *, int, int, int, char *text, char *osText)
{
    if (t_current)
        t_current->clientErrors.push_back(std::string(text ? text : "") + (osText ? std::string(" ") + osText : ""));
    return INT_CANCEL;
}

DbLibConnection::DbLibConnection()
{
    static std::once_flag once;
    std::call_once(once, [] {
        dbinit();
        dbmsghandle(dblibMessageHandler);
        dberrhandle(dblibErrorHandler);
    });
}

DbLibConnection::~DbLibConnection()
{
    close();
}

bool DbLibConnection::open(const std::string &server, const std::string &user, const std::string &password,
                           const std::string &database)
{
    Current current(this);
    LOGINREC *login = dblogin();
    if (!user.empty()) {
        DBSETLUSER(login, user.c_str());
        DBSETLPWD(login, password.c_str());
    }
    DBSETLAPP(login, "sqlemu-tests");
    DBSETLCHARSET(login, "UTF-8");
    if (!database.empty())
        DBSETLDBNAME(login, database.c_str());
    m_process = dbopen(login, server.c_str());
    dbloginfree(login);
    return m_process != nullptr;
}

bool DbLibConnection::closedByServer(std::chrono::milliseconds timeout) const
{
    if (!m_process)
        return false;
    pollfd p{dbiordesc(m_process), POLLIN, 0};
    if (::poll(&p, 1, static_cast<int>(timeout.count())) <= 0)
        return false;
    char byte = 0;
    // End of stream, or a reset: nothing the server still sends.
    return ::recv(p.fd, &byte, 1, MSG_PEEK | MSG_DONTWAIT) <= 0;
}

void DbLibConnection::close()
{
    if (m_process) {
        Current current(this);
        dbclose(m_process);
        m_process = nullptr;
    }
}

std::vector<ResultSet> DbLibConnection::readResults(bool *ok)
{
    std::vector<ResultSet> sets;
    bool good = true;
    m_returnStatus.reset();
    RETCODE rc;
    while ((rc = dbresults(m_process)) != NO_MORE_RESULTS) {
        if (rc == FAIL) {
            good = false;
            break;
        }
        int count = dbnumcols(m_process);
        if (count > 0) {
            ResultSet set;
            for (int c = 1; c <= count; ++c)
                set.columns.emplace_back(dbcolname(m_process, c));
            while (dbnextrow(m_process) != NO_MORE_ROWS) {
                std::vector<std::optional<std::string>> row;
                for (int c = 1; c <= count; ++c) {
                    BYTE *data = dbdata(m_process, c);
                    DBINT length = dbdatlen(m_process, c);
                    if (!data) {
                        row.emplace_back(std::nullopt);
                        continue;
                    }
                    std::vector<char> text(static_cast<std::size_t>(length) * 4 + 64);
                    DBINT n = dbconvert(m_process, dbcoltype(m_process, c), data, length, SYBCHAR,
                                        reinterpret_cast<BYTE *>(text.data()), static_cast<DBINT>(text.size()));
                    row.emplace_back(n >= 0 ? std::string(text.data(), static_cast<std::size_t>(n)) : std::string());
                }
                set.rows.push_back(std::move(row));
            }
            sets.push_back(std::move(set));
        }
        if (dbhasretstat(m_process))
            m_returnStatus = dbretstatus(m_process);
    }
    for (const auto &m : messages)
        good = good && m.severity <= 10;
    if (ok)
        *ok = good;
    return sets;
}

std::vector<ResultSet> DbLibConnection::execute(const std::string &sql, bool *ok)
{
    Current current(this);
    messages.clear();
    if (!m_process || dbcmd(m_process, sql.c_str()) == FAIL || dbsqlexec(m_process) == FAIL) {
        if (m_process)
            readResults(nullptr);
        if (ok)
            *ok = false;
        return {};
    }
    return readResults(ok);
}

std::vector<ResultSet> DbLibConnection::call(const std::string &procedure, const std::vector<RpcArgument> &arguments,
                                             bool *ok)
{
    Current current(this);
    messages.clear();
    if (!m_process || dbrpcinit(m_process, procedure.c_str(), 0) == FAIL) {
        if (ok)
            *ok = false;
        return {};
    }
    std::vector<DBINT> numbers(arguments.size());
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const RpcArgument &a = arguments[i];
        auto *name = const_cast<char *>(a.name.c_str());
        if (a.kind == RpcArgument::Kind::Int) {
            numbers[i] = a.number;
            dbrpcparam(m_process, name, 0, SYBINT4, -1, -1, reinterpret_cast<BYTE *>(&numbers[i]));
        } else {
            auto *data = reinterpret_cast<BYTE *>(const_cast<char *>(a.text.data()));
            dbrpcparam(m_process, name, 0, SYBVARCHAR, -1, static_cast<DBINT>(a.text.size()), data);
        }
    }
    if (dbrpcsend(m_process) == FAIL || dbsqlok(m_process) == FAIL) {
        readResults(nullptr);
        if (ok)
            *ok = false;
        return {};
    }
    return readResults(ok);
}

bool DbLibConnection::send(const std::string &sql)
{
    Current current(this);
    messages.clear();
    return m_process && dbcmd(m_process, sql.c_str()) != FAIL && dbsqlsend(m_process) != FAIL;
}

bool DbLibConnection::drain(bool *ok)
{
    Current current(this);
    if (dbsqlok(m_process) == FAIL) {
        if (ok)
            *ok = false;
        return false;
    }
    readResults(ok);
    return true;
}

bool DbLibConnection::cancel()
{
    Current current(this);
    return m_process && dbcancel(m_process) != FAIL;
}
