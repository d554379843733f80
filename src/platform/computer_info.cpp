#include "platform/computer_info.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <unistd.h>

namespace movan {

namespace ComputerInfo {

QString hostName()
{
    char name[256] = {};
    if (gethostname(name, sizeof name - 1) != 0)
        return {};
    return QString::fromLocal8Bit(name);
}

QString localIPv4Address()
{
    const QByteArray name = hostName().toLocal8Bit();
    if (name.isEmpty())
        return {};
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo *result = nullptr;
    if (getaddrinfo(name.constData(), nullptr, &hints, &result) != 0 || !result)
        return {};
    char text[INET_ADDRSTRLEN] = {};
    const auto *address = reinterpret_cast<const sockaddr_in *>(result->ai_addr);
    const bool ok = inet_ntop(AF_INET, &address->sin_addr, text, sizeof text) != nullptr;
    freeaddrinfo(result);
    return ok ? QString::fromLatin1(text) : QString();
}

} // namespace ComputerInfo

} // namespace movan
