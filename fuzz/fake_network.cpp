// net:: on top of the script: see fuzz/fake_network.h.
#include "fuzz/fake_network.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <map>

#include "fuzz/fuzz_check.h"
#include "fuzz/pending_reply.h"
#include "ip/socket_layer.h"

using namespace mbus;

namespace {

struct FakeSocket {
    bool datagram = false;
    bool connected = false;
    int connectOutcome = 0;
    bool writeBlocked = false;   // the next writability wait times out
    bool receiveLimited = false; // armReceiveTimeout was called: receives may wait
    bool sendRetry = false;      // a send was refused with would-block; the retry sends in part
    Exchange held;               // the exchange of that refused send
    PendingReply pending;
};

struct Network {
    ReplyScript *script = nullptr;
    StreamPeer *peer = nullptr;
    std::map<net::Socket, FakeSocket> sockets;
    net::Socket nextId = 1000;
};

Network &network()
{
    static Network instance;
    return instance;
}

FakeSocket &socketOf(net::Socket socket)
{
    auto found = network().sockets.find(socket);
    fuzzRequire(found != network().sockets.end(), "socket used after close or never opened");
    return found->second;
}

net::Socket openSocket(bool datagram)
{
    fuzzRequire(network().script != nullptr || network().peer != nullptr, "socket opened outside a run");
    net::Socket id = network().nextId++;
    network().sockets[id].datagram = datagram;
    return id;
}

// Loads the reply of an exchange whose request went out whole.
void deliver(FakeSocket &s, Exchange &exchange, const void *data, std::size_t count)
{
    network().script->shape(exchange, static_cast<const std::uint8_t *>(data), count);
    if (s.pending.available() > 0)
        network().script->forgetWrappedPdu();
    s.pending.load(exchange);
}

} // namespace

void FakeNetwork::attach(ReplyScript *script)
{
    attach(script, nullptr);
}

void FakeNetwork::attach(ReplyScript *script, StreamPeer *peer)
{
    network().script = script;
    network().peer = peer;
}

void FakeNetwork::detach()
{
    fuzzRequire(network().sockets.empty(), "every socket is closed once its master is gone");
    network().sockets.clear();
    network().script = nullptr;
    network().peer = nullptr;
}

int FakeNetwork::openSockets()
{
    return static_cast<int>(network().sockets.size());
}

namespace mbus {
namespace net {

void startup() {}
void cleanup() {}

std::uint32_t parseDottedAddress(const char *text)
{
    return ::inet_addr(text);
}

bool parseIpv6Address(const char *text, Endpoint *address)
{
    // A pure conversion, no name service: the system's own is used.
    *address = Endpoint{};
    address->family = Endpoint::Family::Ipv6;
    return ::inet_pton(AF_INET6, text, address->address) == 1;
}

int lookupHost(const char *name, Endpoint found[kFamilyCount])
{
    // No resolver in a fuzz run: names of letters, digits, dots and dashes are found.
    if (name == nullptr || *name == '\0')
        return 0;
    for (const char *c = name; *c; ++c) {
        bool plain =
            (*c >= 'a' && *c <= 'z') || (*c >= 'A' && *c <= 'Z') || (*c >= '0' && *c <= '9') || *c == '.' || *c == '-';
        if (!plain)
            return 0;
    }
    found[0] = Endpoint{};
    const std::uint32_t address = ::htonl(0x7F000002);
    std::memcpy(found[0].address, &address, sizeof address);
    return 1;
}

Socket openStream(Endpoint::Family)
{
    return openSocket(false);
}

Socket openDatagram(Endpoint::Family)
{
    return openSocket(true);
}

void closeSocket(Socket socket)
{
    if (socket == kInvalidSocket)
        return;
    auto found = network().sockets.find(socket);
    fuzzRequire(found != network().sockets.end(), "socket closed twice or never opened");
    const bool toPeer = network().peer != nullptr && !found->second.datagram && found->second.connected;
    network().sockets.erase(found);
    if (toPeer)
        network().peer->closed();
}

bool setNonBlocking(Socket socket)
{
    socketOf(socket);
    return true;
}

ConnectResult startConnect(Socket socket, const Endpoint &)
{
    FakeSocket &s = socketOf(socket);
    fuzzRequire(!s.datagram, "a datagram socket is never connected");
    if (network().peer != nullptr) {
        for (const auto &other : network().sockets)
            fuzzRequire(&other.second == &s || !other.second.connected, "one connection to the device at a time");
    }
    s.connectOutcome = network().peer != nullptr ? network().peer->connect() : network().script->connectOutcome();
    s.connected = true;
    if (s.connectOutcome == 0)
        return ConnectResult::Connected;
    if (s.connectOutcome == 4) {
        errno = ECONNREFUSED;
        return ConnectResult::Failed;
    }
    s.writeBlocked = s.connectOutcome == 2;
    return ConnectResult::InProgress;
}

int pendingError(Socket socket)
{
    return socketOf(socket).connectOutcome == 3 ? ECONNREFUSED : 0;
}

void setStreamOptions(Socket socket, int)
{
    socketOf(socket);
}

void setDatagramOptions(Socket socket, int)
{
    socketOf(socket);
}

WaitResult waitReadable(Socket socket, int)
{
    FakeSocket &s = socketOf(socket);
    if (network().peer != nullptr && !s.datagram)
        return network().peer->readable() ? WaitResult::Ready : WaitResult::TimedOut;
    return s.pending.readable() ? WaitResult::Ready : WaitResult::TimedOut;
}

WaitResult waitWritable(Socket socket, int)
{
    FakeSocket &s = socketOf(socket);
    if (s.writeBlocked) {
        s.writeBlocked = false;
        return WaitResult::TimedOut;
    }
    if (network().peer != nullptr && !s.datagram && s.connectOutcome < 3)
        return network().peer->writable() ? WaitResult::Ready : WaitResult::TimedOut;
    return WaitResult::Ready;
}

long sendBytes(Socket socket, const void *data, std::size_t count)
{
    FakeSocket &s = socketOf(socket);
    fuzzRequire(!s.datagram && s.connected, "stream send on a connected stream socket");
    if (network().peer != nullptr) {
        fuzzRequire(s.connectOutcome < 3, "no send on a refused connection");
        return network().peer->fromMaster(static_cast<const std::uint8_t *>(data), count);
    }
    if (s.pending.ended()) {
        errno = EPIPE;
        return kFailed;
    }
    if (s.sendRetry) {
        s.sendRetry = false;
        if (count <= 1)
            return kWouldBlock;
        return static_cast<long>(count - 1);
    }
    Exchange exchange = network().script->next();
    switch (exchange.send) {
    case SendOutcome::Sent:
        deliver(s, exchange, data, count);
        return static_cast<long>(count);
    case SendOutcome::Partial:
        // Full buffer first; once writable, only part of the request fits.
        s.sendRetry = true;
        return kWouldBlock;
    case SendOutcome::TimedOut:
        s.writeBlocked = true;
        return kWouldBlock;
    case SendOutcome::Failed:
        errno = ECONNRESET;
        return kFailed;
    }
    return kFailed;
}

long receiveBytes(Socket socket, void *buffer, std::size_t capacity)
{
    FakeSocket &s = socketOf(socket);
    fuzzRequire(capacity > 0, "receive into a buffer of at least one byte");
    if (network().peer != nullptr && !s.datagram) {
        fuzzRequire(s.connected && s.connectOutcome < 3, "receive on a connected stream socket");
        return network().peer->toMaster(static_cast<std::uint8_t *>(buffer), capacity);
    }
    long got = s.pending.readStream(static_cast<std::uint8_t *>(buffer), capacity);
    if (got == PendingReply::kNothing)
        return kWouldBlock;
    if (got == PendingReply::kFailure) {
        errno = ECONNRESET;
        return kFailed;
    }
    return got;
}

long sendDatagram(Socket socket, const void *data, std::size_t count, const Endpoint &)
{
    FakeSocket &s = socketOf(socket);
    fuzzRequire(s.datagram, "datagram send on a datagram socket");
    Exchange exchange = network().script->next();
    switch (exchange.send) {
    case SendOutcome::Sent:
        deliver(s, exchange, data, count);
        return static_cast<long>(count);
    case SendOutcome::Partial:
        return static_cast<long>(count / 2);
    case SendOutcome::TimedOut:
        s.writeBlocked = true;
        return kWouldBlock;
    case SendOutcome::Failed:
        errno = ENETUNREACH;
        return kFailed;
    }
    return kFailed;
}

long receiveDatagram(Socket socket, void *buffer, std::size_t capacity)
{
    FakeSocket &s = socketOf(socket);
    long got = s.pending.readDatagram(static_cast<std::uint8_t *>(buffer), capacity);
    if (got == PendingReply::kNothing)
        return kWouldBlock;
    if (got == PendingReply::kFailure) {
        errno = ECONNREFUSED;
        return kFailed;
    }
    if (got > static_cast<long>(capacity)) {
        errno = EMSGSIZE; // as the platform layer reports a datagram that does not fit
        return kFailed;
    }
    return got;
}

bool armReceiveTimeout(Socket socket, int timeoutMs)
{
    fuzzRequire(timeoutMs > 0, "a receive time-out of at least 1 ms");
    socketOf(socket).receiveLimited = true;
    return true;
}

// A wait for data that the script has not sent ends at once as a time-out: what the receives
// without waiting report as nothing there.
long receiveWithin(Socket socket, void *buffer, std::size_t capacity, int)
{
    fuzzRequire(socketOf(socket).receiveLimited, "a receive that waits on a socket with a receive time-out");
    return receiveBytes(socket, buffer, capacity);
}

long receiveDatagramWithin(Socket socket, void *buffer, std::size_t capacity, int)
{
    fuzzRequire(socketOf(socket).receiveLimited, "a receive that waits on a socket with a receive time-out");
    return receiveDatagram(socket, buffer, capacity);
}

bool lastFailureWasReset()
{
    return errno == ECONNRESET || errno == ECONNREFUSED;
}

} // namespace net
} // namespace mbus
