#pragma once

// The SQL Server Browser (SQL Server Resolution Protocol, UDP 1434): tells
// clients given HOST\INSTANCE which TCP port the instance listens on.

#include "tds/byte_io.h"

#include <atomic>
#include <optional>
#include <span>
#include <string>
#include <thread>
#include <vector>

namespace sqlemu::tds {

struct BrowserInstance {
    std::string name; // MSSQLSERVER for the default instance
    int port = 0;
    std::string version;
};

// The answer to one request datagram, or nothing when a real browser stays
// silent (unknown instance, unknown request).
std::optional<Bytes> browserResponse(std::span<const std::uint8_t> request, const std::string &serverName,
                                     const std::vector<BrowserInstance> &instances);

class BrowserService {
public:
    BrowserService(std::string serverName, std::vector<BrowserInstance> instances)
        : m_serverName(std::move(serverName))
        , m_instances(std::move(instances))
    {}
    ~BrowserService();

    // Binds UDP port on every address (the first must succeed).
    bool listen(const std::vector<std::string> &addresses, int port, std::string &error);
    int port() const { return m_port; }
    void start();
    void stop();

private:
    void serve(int socket);

    std::string m_serverName;
    std::vector<BrowserInstance> m_instances;
    std::vector<int> m_sockets;
    std::vector<std::thread> m_threads;
    std::atomic<bool> m_stopping{false};
    int m_port = 0;
};

} // namespace sqlemu::tds
