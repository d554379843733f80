#include "tds/browser.h"

#include "tds/listener.h"

#include <algorithm>
#include <cctype>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace sqlemu::tds {

namespace {

constexpr std::uint8_t kBroadcastEx = 0x02;
constexpr std::uint8_t kUnicastEx = 0x03;
constexpr std::uint8_t kUnicastInstance = 0x04;
constexpr std::uint8_t kServerResponse = 0x05;
constexpr std::size_t kMaxInstanceName = 32;

std::string upper(std::string s)
{
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::toupper(c); });
    return s;
}

std::string record(const std::string &serverName, const BrowserInstance &instance)
{
    return "ServerName;" + serverName + ";InstanceName;" + instance.name + ";IsClustered;No;Version;" + instance.version
        + ";tcp;" + std::to_string(instance.port) + ";;";
}

Bytes response(const std::string &data)
{
    ByteWriter out;
    out.u8(kServerResponse);
    out.u16le(static_cast<std::uint16_t>(data.size()));
    out.bytes(std::span(reinterpret_cast<const std::uint8_t *>(data.data()), data.size()));
    return out.take();
}

} // namespace

std::optional<Bytes> browserResponse(std::span<const std::uint8_t> request, const std::string &serverName,
                                     const std::vector<BrowserInstance> &instances)
{
    if (request.empty())
        return std::nullopt;
    const std::string host = upper(serverName);
    switch (request[0]) {
    case kBroadcastEx:
    case kUnicastEx: {
        std::string data;
        for (const auto &instance : instances)
            data += record(host, instance);
        if (data.empty() || data.size() > 65535)
            return std::nullopt;
        return response(data);
    }
    case kUnicastInstance: {
        std::string name;
        for (std::size_t i = 1; i < request.size() && request[i] != 0; ++i)
            name += static_cast<char>(request[i]);
        if (name.empty() || name.size() > kMaxInstanceName)
            return std::nullopt;
        for (const auto &instance : instances) {
            if (upper(instance.name) == upper(name))
                return response(record(host, instance));
        }
        return std::nullopt;
    }
    default:
        return std::nullopt; // the dedicated admin connection is not offered
    }
}

BrowserService::~BrowserService()
{
    stop();
}

bool BrowserService::listen(const std::vector<std::string> &addresses, int port, std::string &error)
{
    m_port = bindAll(addresses, {}, port, SOCK_DGRAM, m_sockets, error);
    return m_port >= 0;
}

void BrowserService::start()
{
    for (int s : m_sockets)
        m_threads.emplace_back([this, s] { serve(s); });
}

void BrowserService::serve(int socket)
{
    std::uint8_t buffer[2048];
    while (!m_stopping) {
        pollfd p{socket, POLLIN, 0};
        if (::poll(&p, 1, 200) <= 0)
            continue;
        sockaddr_storage from{};
        socklen_t fromLength = sizeof from;
        ssize_t n = ::recvfrom(socket, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr *>(&from), &fromLength);
        if (n <= 0)
            continue;
        auto answer = browserResponse(std::span(buffer, static_cast<std::size_t>(n)), m_serverName, m_instances);
        if (answer)
            ::sendto(socket, answer->data(), answer->size(), 0, reinterpret_cast<sockaddr *>(&from), fromLength);
    }
}

void BrowserService::stop()
{
    if (m_stopping.exchange(true))
        return;
    for (auto &t : m_threads)
        t.join();
    for (int s : m_sockets)
        ::close(s);
}

} // namespace sqlemu::tds
