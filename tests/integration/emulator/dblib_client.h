#pragma once

// A small FreeTDS db-lib client for the integration tests: the same library
// the product talks through, driven directly.

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

typedef struct tds_dblib_dbprocess DBPROCESS;

struct SeenMessage {
    int number = 0;
    int state = 0;
    int severity = 0;
    std::string text;
    std::string server;
    std::string procedure;
    int line = 0;
    std::chrono::steady_clock::time_point at;
};

struct ResultSet {
    std::vector<std::string> columns;
    std::vector<std::vector<std::optional<std::string>>> rows;
};

// db-lib sends character parameters of TDS 7 servers as NVARCHAR (its own
// SYBNVARCHAR is a Sybase type that SQL Server does not know).
struct RpcArgument {
    enum class Kind { Text, Int } kind = Kind::Text;
    std::string name;
    std::string text;
    int number = 0;
};

class DbLibConnection {
public:
    DbLibConnection();
    ~DbLibConnection();
    DbLibConnection(const DbLibConnection &) = delete;
    DbLibConnection &operator=(const DbLibConnection &) = delete;

    // server: "HOST:PORT" or "HOST\INSTANCE". An empty user logs in with
    // Kerberos (the ticket cache of KRB5CCNAME).
    bool open(const std::string &server, const std::string &user, const std::string &password,
              const std::string &database = "");
    void close();

    // Runs a batch and returns every result set; false in ok when the server
    // reported an error or the call failed.
    std::vector<ResultSet> execute(const std::string &sql, bool *ok = nullptr);
    std::vector<ResultSet> call(const std::string &procedure, const std::vector<RpcArgument> &arguments,
                                bool *ok = nullptr);
    // Sends a batch without reading its results; cancel() then stops it.
    bool send(const std::string &sql);
    // Reads the pending results (after send); false on failure.
    bool drain(bool *ok = nullptr);
    bool cancel();
    // Whether the server closed the connection, seen on its socket without
    // sending anything, as a client checks an idle connection; waits up to
    // timeout for it.
    bool closedByServer(std::chrono::milliseconds timeout) const;
    std::optional<int> returnStatus() const { return m_returnStatus; }

    std::vector<SeenMessage> messages; // INFO and ERROR tokens, in arrival order
    // Whether the server sent message NUMBER since the connection opened.
    bool saw(int number) const
    {
        for (const auto &m : messages) {
            if (m.number == number)
                return true;
        }
        return false;
    }
    std::vector<std::string> clientErrors; // db-lib's own errors

private:
    friend int dblibMessageHandler(DBPROCESS *, std::int32_t, int, int, char *, char *, char *, int);
    friend int dblibErrorHandler(DBPROCESS *, int, int, int, char *, char *);
    std::vector<ResultSet> readResults(bool *ok);

    DBPROCESS *m_process = nullptr;
    std::optional<int> m_returnStatus;
};
