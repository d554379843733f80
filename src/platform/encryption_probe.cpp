#include "platform/encryption_probe.h"

#include <array>
#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace movan {

namespace {

using Clock = std::chrono::steady_clock;

int millisecondsLeft(Clock::time_point deadline)
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

class Socket {
public:
    explicit Socket(int fd)
        : m_fd(fd)
    {}
    ~Socket()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Socket(const Socket &) = delete;
    Socket &operator=(const Socket &) = delete;
    int fd() const { return m_fd; }

private:
    int m_fd;
};

bool waitFor(int fd, short events, Clock::time_point deadline)
{
    pollfd p{fd, events, 0};
    while (true) {
        const int ready = ::poll(&p, 1, millisecondsLeft(deadline));
        if (ready > 0)
            return true;
        if (ready == 0 || errno != EINTR)
            return false;
    }
}

int connectTo(const QString &host, int port, Clock::time_point deadline)
{
    addrinfo hints{};
    hints.ai_socktype = SOCK_STREAM;
    addrinfo *found = nullptr;
    if (::getaddrinfo(host.toUtf8().constData(), QByteArray::number(port).constData(), &hints, &found) != 0)
        return -1;
    int result = -1;
    for (addrinfo *a = found; a && result < 0; a = a->ai_next) {
        const int fd = ::socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK, a->ai_protocol);
        if (fd < 0)
            continue;
        int error = 0;
        socklen_t size = sizeof error;
        if ((::connect(fd, a->ai_addr, a->ai_addrlen) == 0
             || (errno == EINPROGRESS && waitFor(fd, POLLOUT, deadline)
                 && ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) == 0 && error == 0)))
            result = fd;
        else
            ::close(fd);
    }
    ::freeaddrinfo(found);
    return result;
}

// VERSION, ENCRYPTION (on), INSTOPT (none), THREADID, MARS (off).
std::vector<unsigned char> preLoginAskingForEncryption()
{
    const std::vector<unsigned char> payload = {
        0x00, 0x00, 0x1A, 0x00, 0x06, 0x01, 0x00, 0x20, 0x00, 0x01, 0x02, 0x00, 0x21,
        0x00, 0x01, 0x03, 0x00, 0x22, 0x00, 0x04, 0x04, 0x00, 0x26, 0x00, 0x01, 0xFF, // options
        0x01, 0x00, 0x00, 0x00, 0x00, 0x00, // version
        0x01, // encryption on
        0x00, // no instance
        0x00, 0x00, 0x00, 0x00, // thread id
        0x00, // no MARS
    };
    const std::size_t length = payload.size() + 8;
    std::vector<unsigned char> packet
        = {0x12, 0x01, static_cast<unsigned char>(length >> 8), static_cast<unsigned char>(length & 0xFF), 0x00, 0x00,
           0x01, 0x00};
    packet.insert(packet.end(), payload.begin(), payload.end());
    return packet;
}

std::optional<int> encryptionOption(const std::vector<unsigned char> &payload)
{
    for (std::size_t at = 0; at + 5 <= payload.size() && payload[at] != 0xFF; at += 5) {
        const std::size_t offset = (payload[at + 1] << 8) | payload[at + 2];
        const std::size_t length = (payload[at + 3] << 8) | payload[at + 4];
        if (payload[at] == 0x01 && length >= 1 && offset < payload.size())
            return payload[offset];
    }
    return std::nullopt;
}

} // namespace

std::optional<int> serverEncryptionAnswer(const QString &host, int port, int timeoutMs)
{
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    Socket socket(connectTo(host, port, deadline));
    if (socket.fd() < 0)
        return std::nullopt;
    const std::vector<unsigned char> request = preLoginAskingForEncryption();
    for (std::size_t sent = 0; sent < request.size();) {
        if (!waitFor(socket.fd(), POLLOUT, deadline))
            return std::nullopt;
        const ssize_t n = ::send(socket.fd(), request.data() + sent, request.size() - sent, MSG_NOSIGNAL);
        if (n <= 0 && errno != EINTR && errno != EAGAIN)
            return std::nullopt;
        sent += n > 0 ? static_cast<std::size_t>(n) : 0;
    }
    // One answer packet: the header, then as many bytes as it says.
    std::vector<unsigned char> answer;
    std::array<unsigned char, 4096> buffer{};
    while (answer.size() < 8 || answer.size() < static_cast<std::size_t>((answer[2] << 8) | answer[3])) {
        if (!waitFor(socket.fd(), POLLIN, deadline))
            return std::nullopt;
        const ssize_t n = ::recv(socket.fd(), buffer.data(), buffer.size(), 0);
        if (n == 0 || (n < 0 && errno != EINTR && errno != EAGAIN))
            return std::nullopt;
        if (n > 0)
            answer.insert(answer.end(), buffer.begin(), buffer.begin() + n);
        if (answer.size() >= 4 && ((answer[2] << 8) | answer[3]) < 8)
            return std::nullopt;
    }
    if (answer[0] != 0x04)
        return std::nullopt;
    const std::size_t length = (answer[2] << 8) | answer[3];
    return encryptionOption(std::vector<unsigned char>(answer.begin() + 8, answer.begin() + length));
}

} // namespace movan
