// Common base of the masters that reach their device over IP: the device's address and port.
// How the socket is created and carried is left to the TCP and UDP masters.
#ifndef MBUS_IP_IP_CLIENT_BASE_H
#define MBUS_IP_IP_CLIENT_BASE_H

#include <cstdint>

#include "ip/socket_layer.h"
#include "protocol/master_functions.h"

namespace mbus {

class MbusIpClientBase : public MbusMasterFunctions {
public:
    static constexpr std::uint16_t kDefaultPort = 502;

    ~MbusIpClientBase() override;
    // Creates (and connects) the socket for serverAddress.
    virtual int openSocket() = 0;

    // Resolves a dotted address or a host name, then opens the socket.
    int openConnection(const char *hostName);
    int openConnection(const wchar_t *hostName);
    int setPort(std::uint16_t port);
    std::uint16_t getPort() const { return portNumber; }

protected:
    MbusIpClientBase();

    std::uint16_t portNumber = kDefaultPort;
    net::Ipv4Endpoint serverAddress;
};

} // namespace mbus

#endif
