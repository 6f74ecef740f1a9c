// The operating system's socket services, as the IP masters need them. One implementation per
// platform sits in a folder of its own; nothing else in the library calls the socket API.
#ifndef MBUS_IP_SOCKET_LAYER_H
#define MBUS_IP_SOCKET_LAYER_H

#include <cstddef>
#include <cstdint>

namespace mbus {
namespace net {

// Wide enough for a descriptor and for a Windows SOCKET; all bits set marks no socket.
using Socket = std::intptr_t;
constexpr Socket kInvalidSocket = -1;

// An IPv4 or IPv6 address and a port. The address bytes are in network byte order (an IPv4
// address in the first four); the port is in host byte order.
struct Endpoint {
    enum class Family : std::uint8_t { Ipv4, Ipv6 };
    Family family = Family::Ipv4;
    std::uint8_t address[16] = {};
    std::uint32_t scopeId = 0; // the interface of a link-local IPv6 address
    std::uint16_t port = 0;
};

// What a dotted-address conversion returns for text that is not an address (and, as with
// inet_addr, for "255.255.255.255").
constexpr std::uint32_t kNoAddress = 0xFFFFFFFFu;

enum class WaitResult { Ready, TimedOut, Failed };
enum class ConnectResult { Connected, InProgress, Failed };

// Results of send and receive besides a byte count.
constexpr long kWouldBlock = -2;
constexpr long kFailed = -1;

// Start-up and clean-up of the socket library, counted per call where the platform needs it.
void startup();
void cleanup();

std::uint32_t parseDottedAddress(const char *text);
// A numeric IPv6 address ("::1", "fe80::1%eth0") without brackets; false for any other text,
// which is never handed to a name service.
bool parseIpv6Address(const char *text, Endpoint *address);
// The first address of each family that the resolver finds for a name, in the resolver's
// order, into found[0] and found[1]: the count, 0 when the name is unknown.
constexpr int kFamilyCount = 2;
int lookupHost(const char *name, Endpoint found[kFamilyCount]);

Socket openStream(Endpoint::Family family);
Socket openDatagram(Endpoint::Family family);
void closeSocket(Socket socket);
bool setNonBlocking(Socket socket);
ConnectResult startConnect(Socket socket, const Endpoint &peer);
// The socket's pending error after a connect (0 when none).
int pendingError(Socket socket);
// No Nagle delay, one-frame buffers, keep-alive; failures are harmless and ignored.
void setStreamOptions(Socket socket, int bufferSize);
// One-frame send and receive buffers; failures are ignored.
void setDatagramOptions(Socket socket, int bufferSize);

// Waits for one socket to become readable (the TLS link's handshake and record reads); timeoutMs
// 0 polls, a negative limit waits without end. A signal does not stretch the wait.
WaitResult waitReadable(Socket socket, int timeoutMs);
// Waits for one socket to become writable; timeoutMs 0 polls, a negative limit waits without
// end. A signal does not stretch the wait.
WaitResult waitWritable(Socket socket, int timeoutMs);

// Byte count, 0 for a peer that closed (receive only), kWouldBlock or kFailed. None of these
// waits, and none raises a signal on a closed connection.
long sendBytes(Socket socket, const void *data, std::size_t count);
long receiveBytes(Socket socket, void *buffer, std::size_t capacity);
long sendDatagram(Socket socket, const void *data, std::size_t count, const Endpoint &peer);
// One datagram; a datagram longer than capacity is a failure, as on platforms that refuse to
// hand over part of one.
long receiveDatagram(Socket socket, void *buffer, std::size_t capacity);

// Receives that wait: after armReceiveTimeout(socket, ms), receiveWithin and
// receiveDatagramWithin on that socket wait at most ms (at least 1) for input and then take
// what has arrived, up to capacity. A platform may wait inside the receive call itself, one
// system call instead of a wait and a receive; false when the socket cannot be set up so.
bool armReceiveTimeout(Socket socket, int timeoutMs);
// Results as above, with kWouldBlock for a wait that ran out. timeoutMs is the armed limit; a
// signal does not stretch the wait, and the wait never ends before the limit.
long receiveWithin(Socket socket, void *buffer, std::size_t capacity, int timeoutMs);
long receiveDatagramWithin(Socket socket, void *buffer, std::size_t capacity, int timeoutMs);
// Whether the last failed call reported a reset or a refusal by the peer's host.
bool lastFailureWasReset();

} // namespace net
} // namespace mbus

#endif
