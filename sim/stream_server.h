// A thread that serves byte streams: it hands received bytes to a framing and writes the timed
// reply pieces back. The streams are the connections of a TCP listener, or one given stream
// (the device side of a pseudo-terminal) that lives as long as the device.
#pragma once

#include "sim/device_base.h"
#include "sim/reply_plan.h"
#include "sim/tls_session.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <sys/types.h>
#include <thread>
#include <vector>

namespace sim {

class StreamServer : public DeviceBase {
public:
    // Serving stops by itself after this many seconds unless changed before start().
    static constexpr int kDefaultLifetimeSeconds = 600;
    // A TLS connection whose handshake is not done within this time is closed.
    static constexpr int kHandshakeLimitMs = 10000;

    StreamServer();
    ~StreamServer() override;

    // Listens on host:port (an IPv4 or IPv6 address; port 0: the system picks a free port) and
    // serves in a background thread. Returns the port, or -1 when the device already runs or the
    // socket cannot be set up.
    int start(int port = 0, const std::string& host = "127.0.0.1");
    // Stops serving, closes every connection and joins the thread. The most derived class
    // calls it in its destructor, because the thread makes virtual calls into the object.
    void stop();

    int port() const { return port_.load(); }
    bool running() const { return running_.load(); }
    int connectionCount() const { return connections_.load(); }
    // Connections open right now (as of the serving thread's last round).
    int openConnections() const { return open_.load(); }
    void setLifetimeSeconds(int seconds) { lifetimeSeconds_ = seconds; }

protected:
    using Clock = std::chrono::steady_clock;

    struct Scheduled {
        Clock::time_point due;
        std::vector<std::uint8_t> bytes;
        std::size_t sent = 0;
        ReplyPiece::Action action = ReplyPiece::Action::None;
    };

    struct Connection {
        int fd = -1;
        bool socket = true;               // send()/recv(); otherwise write()/read()
        bool permanent = false;           // the one given stream: never closed by a fault
        bool packetMode = false;          // pseudo-terminal in packet mode: reads carry a status byte
        std::size_t fresh = 0;            // bytes the last read added to `in`
        long long quietMs = 0;            // silence before the last read
        Clock::time_point lastReceive{};
        Clock::time_point dormantUntil{}; // a stream without a peer is left alone until then
        std::vector<std::uint8_t> in;     // received, not yet consumed
        std::deque<Scheduled> out;        // pieces still to write
        bool closing = false;             // close after this round
        std::uint16_t lastTransactionId = 0;
        bool hasLastTransactionId = false;
        std::unique_ptr<TlsSession> tls;  // TLS devices: the session over fd
        bool secured = false;             // its handshake is done
        bool handshakeWantsWrite = false;
        Clock::time_point handshakeDue{};
    };

    void faultsChanged() override;

    // Consume whole frames from conn.in (erase what was used) and queue their replies.
    virtual void onReceive(Connection& conn) = 0;

    // Called for every accepted connection: false refuses (closes) it; otherwise `session`
    // (null: plain bytes) carries the connection's bytes.
    virtual bool secure(int /*fd*/, std::unique_ptr<TlsSession>& session)
    {
        session.reset();
        return true;
    }

    // Queue reply pieces behind whatever is still waiting on this connection.
    static void queueReply(Connection& conn, std::vector<ReplyPiece> pieces);

    // Serves the single stream `fd` (taken over, closed by stop()) instead of listening.
    // While the persistent fault is Chatter, a byte goes out on it every param ms.
    // packetMode: `fd` is a pseudo-terminal in packet mode (TIOCPKT); a purge of the other
    // side's input is then seen, and answered with noise where a fault asks for it.
    bool startOnStream(int fd, bool packetMode = false);

private:
    void run();
    void acceptAll();
    void readFrom(Connection& conn);
    void flush(Connection& conn, Clock::time_point now);
    bool launch();
    void chatter(Clock::time_point now, Clock::time_point& wakeAt);
    static void closeConnection(Connection& conn, bool reset);
    static void endStream(Connection& conn);
    static void handshake(Connection& conn);
    // recv()/send() or their TLS counterparts: bytes moved, 0 when the peer closed, or -1
    // with errno (EAGAIN: wait for the socket).
    static ssize_t receive(Connection& conn, std::uint8_t* buf, std::size_t size);
    static ssize_t transmit(Connection& conn, const std::uint8_t* buf, std::size_t size);

    int listenFd_ = -1;
    int wakeRead_ = -1;
    std::atomic<int> wakeWrite_{-1};  // also written by the test thread (faultsChanged)
    int lifetimeSeconds_ = kDefaultLifetimeSeconds;
    std::atomic<int> port_{-1};
    std::atomic<int> connections_{0};
    std::atomic<int> open_{0};
    std::atomic<bool> running_{false};
    std::atomic<bool> stopping_{false};
    bool singleStream_ = false;
    Clock::time_point nextChatter_{};
    std::vector<std::unique_ptr<Connection>> conns_;
    std::thread thread_;
};

} // namespace sim
