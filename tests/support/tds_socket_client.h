#pragma once

// A bare TDS client on a blocking loopback socket for the benchmarks: sends
// whole messages and reads a response packet by packet, noting when each
// packet arrived.

#include "support/tds_wire_client.h"

#include <arpa/inet.h>
#include <chrono>
#include <cstdlib>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace sqlemu::test {

using sqlemu::tds::Bytes;
using Clock = std::chrono::steady_clock;

struct Packet {
    Clock::time_point at;
    Bytes bytes; // header and payload
};

class SocketClient {
public:
    explicit SocketClient(int port)
    {
        m_socket = ::socket(AF_INET, SOCK_STREAM, 0);
        int on = 1;
        ::setsockopt(m_socket, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(static_cast<std::uint16_t>(port));
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (::connect(m_socket, reinterpret_cast<sockaddr *>(&a), sizeof a) != 0)
            std::abort();
    }
    ~SocketClient() { ::close(m_socket); }
    SocketClient(const SocketClient &) = delete;
    SocketClient &operator=(const SocketClient &) = delete;

    // PRELOGIN and LOGIN7 as sa without a password; true when the server
    // acknowledged the login.
    bool login()
    {
        exchange(sqlemu::test::message(0x12, sqlemu::test::preLogin()));
        const Bytes answer = exchange(sqlemu::test::message(0x10, sqlemu::test::login7(sqlemu::test::LoginFields{})));
        return sqlemu::test::readResponse(answer).find(0xAD) != nullptr;
    }

    // Sends a request and returns the whole response, packet headers included.
    Bytes exchange(const Bytes &request)
    {
        Bytes all;
        for (Packet &p : requestPackets(request))
            all.insert(all.end(), p.bytes.begin(), p.bytes.end());
        return all;
    }

    // Sends a request and returns the response's packets as they came.
    std::vector<Packet> requestPackets(const Bytes &request)
    {
        send(request);
        return responsePackets();
    }

    // For clients that send several requests before reading: the whole of
    // a request, blocking while the server reads nothing.
    void send(const Bytes &request)
    {
        for (std::size_t at = 0; at < request.size();) {
            const ssize_t n = ::write(m_socket, request.data() + at, request.size() - at);
            if (n <= 0)
                std::abort();
            at += static_cast<std::size_t>(n);
        }
    }

    // The packets of the next response, as they came.
    std::vector<Packet> responsePackets()
    {
        std::vector<Packet> packets;
        while (true) {
            Packet p;
            p.bytes.resize(8);
            readExactly(p.bytes.data(), 8);
            const std::size_t length = (p.bytes[2] << 8) | p.bytes[3];
            p.bytes.resize(length);
            readExactly(p.bytes.data() + 8, length - 8);
            p.at = Clock::now();
            const bool last = p.bytes[1] & 0x01;
            packets.push_back(std::move(p));
            if (last)
                return packets;
        }
    }

private:
    void readExactly(std::uint8_t *to, std::size_t n)
    {
        while (n > 0) {
            const ssize_t got = ::read(m_socket, to, n);
            if (got <= 0)
                std::abort();
            to += got;
            n -= static_cast<std::size_t>(got);
        }
    }

    int m_socket = -1;
};

} // namespace sqlemu::test
