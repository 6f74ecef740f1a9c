// The address a device listens on: a dotted IPv4 address or an IPv6 address such as "::1".
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cstdint>
#include <string>

namespace sim {

struct SocketAddress {
    sockaddr_storage storage{};
    socklen_t length = 0;

    // False when host is neither kind of address.
    bool set(const std::string& host, int port)
    {
        storage = sockaddr_storage{};
        auto* v4 = reinterpret_cast<sockaddr_in*>(&storage);
        auto* v6 = reinterpret_cast<sockaddr_in6*>(&storage);
        if (::inet_pton(AF_INET, host.c_str(), &v4->sin_addr) == 1) {
            v4->sin_family = AF_INET;
            v4->sin_port = htons(std::uint16_t(port));
            length = sizeof *v4;
        } else if (::inet_pton(AF_INET6, host.c_str(), &v6->sin6_addr) == 1) {
            v6->sin6_family = AF_INET6;
            v6->sin6_port = htons(std::uint16_t(port));
            length = sizeof *v6;
        } else {
            return false;
        }
        return true;
    }
    int family() const { return storage.ss_family; }
    sockaddr* get() { return reinterpret_cast<sockaddr*>(&storage); }
    int port() const
    {
        return ntohs(family() == AF_INET6 ? reinterpret_cast<const sockaddr_in6*>(&storage)->sin6_port
                                          : reinterpret_cast<const sockaddr_in*>(&storage)->sin_port);
    }
};

} // namespace sim
