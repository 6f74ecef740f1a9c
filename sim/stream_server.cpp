#include "sim/stream_server.h"

#include "sim/socket_address.h"

#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>

namespace sim {

namespace {

void closeFd(int& fd)
{
    if (fd >= 0) ::close(fd);
    fd = -1;
}

constexpr auto kDormantPause = std::chrono::milliseconds(20);
constexpr std::uint8_t kChatterByte = 0x55;

} // namespace

StreamServer::StreamServer() = default;

StreamServer::~StreamServer() { stop(); }

int StreamServer::start(int port, const std::string& host)
{
    if (running_.load()) return -1;
    if (thread_.joinable()) stop();  // the previous run ended by its lifetime
    if (port < 0 || port > 65535) return -1;
    SocketAddress addr;
    if (!addr.set(host, port)) return -1;

    listenFd_ = ::socket(addr.family(), SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (listenFd_ < 0) return -1;
    const int one = 1;
    ::setsockopt(listenFd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    if (::bind(listenFd_, addr.get(), addr.length) != 0 ||
        ::listen(listenFd_, 64) != 0 ||
        ::getsockname(listenFd_, addr.get(), &addr.length) != 0) {
        closeFd(listenFd_);
        return -1;
    }
    singleStream_ = false;
    if (!launch()) {
        closeFd(listenFd_);
        return -1;
    }
    port_ = addr.port();
    return port_.load();
}

bool StreamServer::startOnStream(int fd, bool packetMode)
{
    if (running_.load()) return false;
    if (thread_.joinable()) stop();
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0 || ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) != 0) return false;
    auto c = std::make_unique<Connection>();
    c->fd = fd;
    c->socket = false;
    c->permanent = true;
    c->packetMode = packetMode;
    conns_.push_back(std::move(c));
    singleStream_ = true;
    if (!launch()) {
        conns_.clear();  // the caller keeps the descriptor
        return false;
    }
    return true;
}

bool StreamServer::launch()
{
    int pipeFds[2];
    if (::pipe2(pipeFds, O_NONBLOCK | O_CLOEXEC) != 0) return false;
    wakeRead_ = pipeFds[0];
    wakeWrite_ = pipeFds[1];
    stopping_ = false;
    running_ = true;
    nextChatter_ = Clock::now();
    thread_ = std::thread([this] { run(); });
    return true;
}

void StreamServer::faultsChanged()
{
    const int fd = wakeWrite_.load();
    if (fd >= 0) {
        const char c = 'f';
        // A full pipe already wakes the thread; nothing to retry.
        [[maybe_unused]] ssize_t n = ::write(fd, &c, 1);
    }
}

void StreamServer::stop()
{
    stopping_ = true;
    faultsChanged();  // wakes the thread
    if (thread_.joinable()) thread_.join();
    for (auto& c : conns_) endStream(*c);
    conns_.clear();
    open_ = 0;
    closeFd(listenFd_);
    closeFd(wakeRead_);
    const int w = wakeWrite_.exchange(-1);
    if (w >= 0) ::close(w);
    running_ = false;
}

void StreamServer::queueReply(Connection& conn, std::vector<ReplyPiece> pieces)
{
    // Replies keep their order: a delayed reply holds back the ones behind it.
    Clock::time_point at = Clock::now();
    if (!conn.out.empty()) at = std::max(at, conn.out.back().due);
    for (auto& p : pieces) {
        at += std::chrono::milliseconds(p.delayMs);
        Scheduled s;
        s.due = at;
        s.bytes = std::move(p.bytes);
        s.action = conn.permanent ? ReplyPiece::Action::None : p.action;
        if (s.bytes.empty() && s.action == ReplyPiece::Action::None) continue;
        conn.out.push_back(std::move(s));
    }
}

void StreamServer::run()
{
    const Clock::time_point deadline = Clock::now() + std::chrono::seconds(lifetimeSeconds_);
    std::vector<pollfd> fds;
    while (!stopping_.load()) {
        Clock::time_point now = Clock::now();
        if (now >= deadline) break;
        Clock::time_point wakeAt = deadline;
        if (singleStream_) chatter(now, wakeAt);
        fds.clear();
        fds.push_back(pollfd{wakeRead_, POLLIN, 0});
        fds.push_back(pollfd{listenFd_, POLLIN, 0});  // -1 (single stream): ignored by poll
        for (auto& c : conns_) {
            short events = POLLIN;
            if (c->tls && !c->secured) {
                if (c->handshakeWantsWrite) events |= POLLOUT;
                wakeAt = std::min(wakeAt, c->handshakeDue);
            } else if (!c->out.empty()) {
                if (c->out.front().due <= now) events |= POLLOUT;  // blocked by a full buffer
                else wakeAt = std::min(wakeAt, c->out.front().due);
            }
            int fd = c->fd;
            if (c->dormantUntil > now) {
                fd = -1;
                wakeAt = std::min(wakeAt, c->dormantUntil);
            }
            // Bytes the session already holds are not seen by poll: read them at once.
            if (c->tls && c->secured && c->tls->hasPending()) wakeAt = now;
            fds.push_back(pollfd{fd, events, 0});
        }
        const auto waitMs = std::chrono::duration_cast<std::chrono::milliseconds>(wakeAt - now).count() + 1;
        const int rc = ::poll(fds.data(), fds.size(), int(std::min<long long>(waitMs, 1000)));
        if (rc < 0 && errno != EINTR) break;
        if (rc > 0 && (fds[0].revents & POLLIN)) {
            char buf[16];
            while (::read(wakeRead_, buf, sizeof buf) > 0) {}
        }
        if (stopping_.load()) break;
        if (rc > 0 && (fds[1].revents & POLLIN)) acceptAll();
        // Connections accepted just now are not in fds yet; they are polled next round.
        const std::size_t polled = fds.size() - 2;
        for (std::size_t i = 0; i < polled && i < conns_.size(); ++i) {
            Connection& c = *conns_[i];
            const short ready = rc > 0 ? fds[i + 2].revents : short(0);
            const short wanted = c.tls && !c.secured ? (POLLIN | POLLHUP | POLLERR | POLLOUT) : (POLLIN | POLLHUP | POLLERR);
            if ((ready & wanted) || (c.fd >= 0 && c.tls && c.secured && c.tls->hasPending())) readFrom(c);
        }
        now = Clock::now();
        for (auto& c : conns_) {
            if (c->fd >= 0) flush(*c, now);
            if (c->closing && c->fd >= 0) closeConnection(*c, false);
            if (c->fd >= 0 && c->tls && !c->secured && now >= c->handshakeDue) closeConnection(*c, false);
        }
        conns_.erase(std::remove_if(conns_.begin(), conns_.end(),
                                    [](const std::unique_ptr<Connection>& c) { return c->fd < 0; }),
                     conns_.end());
        open_ = int(conns_.size());
    }
    running_ = false;
}

void StreamServer::chatter(Clock::time_point now, Clock::time_point& wakeAt)
{
    const Fault f = persistentFault();
    if (f.kind != FaultKind::Chatter) return;
    const auto interval = std::chrono::milliseconds(f.param > 0 ? f.param : 1);
    if (now >= nextChatter_) {
        for (auto& c : conns_) {
            if (c->fd < 0 || !c->out.empty()) continue;
            // A full line buffer just loses the byte.
            [[maybe_unused]] ssize_t n = ::write(c->fd, &kChatterByte, 1);
        }
        nextChatter_ = now + interval;
    }
    wakeAt = std::min(wakeAt, nextChatter_);
}

void StreamServer::acceptAll()
{
    // Bounded: a burst of connections is taken in slices, the rest next round.
    for (int i = 0; i < 64; ++i) {
        const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) return;
        const int one = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        auto c = std::make_unique<Connection>();
        c->fd = fd;
        if (!secure(fd, c->tls)) {
            ::close(fd);
            continue;
        }
        if (c->tls) c->handshakeDue = Clock::now() + std::chrono::milliseconds(kHandshakeLimitMs);
        conns_.push_back(std::move(c));
        ++connections_;
    }
}

void StreamServer::readFrom(Connection& conn)
{
    if (conn.tls && !conn.secured) {
        handshake(conn);
        if (!conn.secured) return;  // waiting for the peer, or closed
    }
    const Clock::time_point now = Clock::now();
    const std::size_t before = conn.in.size();
    std::uint8_t buf[4096];
    // Bounded so that one chatty peer cannot starve the others.
    for (int i = 0; i < 16; ++i) {
        const ssize_t n = receive(conn, buf, sizeof buf);
        if (n > 0 && conn.packetMode) {
            // Each read is one packet: TIOCPKT_DATA (0) and data, or one status byte.
            if (buf[0] == TIOCPKT_DATA) {
                conn.in.insert(conn.in.end(), buf + 1, buf + n);
            } else if ((buf[0] & TIOCPKT_FLUSHREAD) && takePurgeNoise()) {
                // The master has just purged its input: a byte now lands in its silence test.
                [[maybe_unused]] ssize_t w = ::write(conn.fd, &kChatterByte, 1);
            }
            continue;
        }
        if (n > 0) {
            conn.in.insert(conn.in.end(), buf, buf + n);
            if (std::size_t(n) < sizeof buf) break;
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
        if (conn.permanent) {
            // A pseudo-terminal whose other side is not open: wait for a peer.
            conn.in.clear();
            conn.dormantUntil = now + kDormantPause;
            return;
        }
        closeConnection(conn, false);  // peer closed or failed
        return;
    }
    conn.fresh = conn.in.size() - before;
    conn.quietMs = std::chrono::duration_cast<std::chrono::milliseconds>(now - conn.lastReceive).count();
    conn.lastReceive = now;
    if (conn.fresh > 0) onReceive(conn);
}

void StreamServer::flush(Connection& conn, Clock::time_point now)
{
    while (!conn.out.empty() && conn.out.front().due <= now) {
        Scheduled& s = conn.out.front();
        while (s.sent < s.bytes.size()) {
            const ssize_t n = transmit(conn, s.bytes.data() + s.sent, s.bytes.size() - s.sent);
            if (n > 0) {
                s.sent += std::size_t(n);
                continue;
            }
            if (n < 0 && errno == EINTR) continue;
            if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return;  // POLLOUT next round
            if (conn.permanent) {
                conn.out.clear();
                conn.dormantUntil = now + kDormantPause;
            } else {
                closeConnection(conn, false);
            }
            return;
        }
        if (s.action != ReplyPiece::Action::None) {
            closeConnection(conn, s.action == ReplyPiece::Action::Reset);
            return;
        }
        conn.out.pop_front();
    }
}

void StreamServer::closeConnection(Connection& conn, bool reset)
{
    if (conn.permanent) {
        conn.closing = false;  // a line cannot be hung up; what was received is dropped
        conn.in.clear();
        return;
    }
    if (conn.fd < 0) return;
    if (conn.tls && !reset) conn.tls->shutdown();
    if (reset) {
        // Linger on with a zero time makes close() send RST instead of FIN.
        linger lg{1, 0};
        ::setsockopt(conn.fd, SOL_SOCKET, SO_LINGER, &lg, sizeof lg);
    }
    endStream(conn);
}

void StreamServer::endStream(Connection& conn)
{
    conn.tls.reset();  // before its socket goes
    if (conn.fd >= 0) ::close(conn.fd);
    conn.fd = -1;
    conn.out.clear();
    conn.in.clear();
}

void StreamServer::handshake(Connection& conn)
{
    switch (conn.tls->handshake()) {
    case TlsSession::Status::Done:
        conn.secured = true;
        conn.handshakeWantsWrite = false;
        break;
    case TlsSession::Status::WantRead:
        conn.handshakeWantsWrite = false;
        break;
    case TlsSession::Status::WantWrite:
        conn.handshakeWantsWrite = true;
        break;
    default:
        closeConnection(conn, false);  // refused, broken off or not TLS at all
        break;
    }
}

ssize_t StreamServer::receive(Connection& conn, std::uint8_t* buf, std::size_t size)
{
    if (!conn.tls) return conn.socket ? ::recv(conn.fd, buf, size, MSG_DONTWAIT) : ::read(conn.fd, buf, size);
    std::size_t got = 0;
    switch (conn.tls->read(buf, size, got)) {
    case TlsSession::Status::Done: return ssize_t(got);
    case TlsSession::Status::WantRead:
    case TlsSession::Status::WantWrite: errno = EAGAIN; return -1;
    case TlsSession::Status::Closed: return 0;
    default: errno = EPROTO; return -1;
    }
}

ssize_t StreamServer::transmit(Connection& conn, const std::uint8_t* buf, std::size_t size)
{
    if (!conn.tls)
        return conn.socket ? ::send(conn.fd, buf, size, MSG_NOSIGNAL | MSG_DONTWAIT) : ::write(conn.fd, buf, size);
    std::size_t put = 0;
    switch (conn.tls->write(buf, size, put)) {
    case TlsSession::Status::Done: return ssize_t(put);
    case TlsSession::Status::WantRead:
    case TlsSession::Status::WantWrite: errno = EAGAIN; return -1;
    default: errno = EPIPE; return -1;
    }
}

} // namespace sim
