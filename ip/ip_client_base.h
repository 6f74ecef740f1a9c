// Common base of the masters that reach their device over IP: the device's addresses and port.
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
    // Creates (and connects) the socket for the resolved addresses.
    virtual int openSocket() = 0;

    // Resolves the host text, then opens the socket. The text is one of:
    //  - a dotted IPv4 address in any form inet_addr takes ("255.255.255.255" is looked up as a name);
    //  - an IPv6 address, bare ("::1", "fe80::1%eth0") or in brackets ("[::1]"); only the bracketed
    //    form may carry a port ("[::1]:1502"), which counts as if setPort had been called with it
    //    just before: getPort reports it, and later connections use it until the port is set again;
    //  - a host name. Of its addresses the first of each family is kept, in the resolver's order;
    //    the TCP masters try them in that order within the one connect time-out, the UDP master
    //    sends to the first. A name with IPv4 addresses only thus connects to its first one.
    // Text that is none of these, and a name the resolver does not know, give
    // MBUS_TCP_CONNECTION_ERROR without creating a socket (and leave the port unchanged).
    int openConnection(const char *hostName);
    int openConnection(const wchar_t *hostName);
    int setPort(std::uint16_t port);
    std::uint16_t getPort() const { return portNumber; }

protected:
    MbusIpClientBase();
    // Told the host text of each openConnection (narrow or wide) before it is resolved: the TLS
    // master checks its device's certificate against it.
    virtual void noteHostName(const char *) {}

    std::uint16_t portNumber = kDefaultPort;
    // Resolved by openConnection, with the port; reconnects use them without a new lookup.
    net::Endpoint serverAddresses[net::kFamilyCount];
    int serverAddressCount = 0;

private:
    int resolve(const char *hostName);
};

} // namespace mbus

#endif
