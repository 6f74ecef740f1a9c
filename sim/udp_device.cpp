#include "sim/udp_device.h"

#include "sim/mbap_codec.h"
#include "sim/reply_plan.h"
#include "sim/socket_address.h"

#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

namespace sim {

namespace {

void closeFd(int& fd)
{
    if (fd >= 0) ::close(fd);
    fd = -1;
}

constexpr std::uint8_t kJunk = 0xA5;

} // namespace

UdpDevice::~UdpDevice() { stop(); }

int UdpDevice::start(int port, const std::string& host)
{
    if (running_.load()) return -1;
    if (thread_.joinable()) stop();
    if (port < 0 || port > 65535) return -1;
    SocketAddress addr;
    if (!addr.set(host, port)) return -1;
    fd_ = ::socket(addr.family(), SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd_ < 0) return -1;
    int pipeFds[2];
    if (::bind(fd_, addr.get(), addr.length) != 0 ||
        ::getsockname(fd_, addr.get(), &addr.length) != 0 ||
        ::pipe2(pipeFds, O_NONBLOCK | O_CLOEXEC) != 0) {
        closeFd(fd_);
        return -1;
    }
    wakeRead_ = pipeFds[0];
    wakeWrite_ = pipeFds[1];
    port_ = addr.port();
    pending_.clear();
    hasLastTransactionId_ = false;
    stopping_ = false;
    running_ = true;
    thread_ = std::thread([this] { run(); });
    return port_.load();
}

void UdpDevice::stop()
{
    stopping_ = true;
    if (wakeWrite_ >= 0) {
        const char c = 's';
        [[maybe_unused]] ssize_t n = ::write(wakeWrite_, &c, 1);
    }
    if (thread_.joinable()) thread_.join();
    closeFd(fd_);
    closeFd(wakeRead_);
    closeFd(wakeWrite_);
    running_ = false;
}

void UdpDevice::run()
{
    const Clock::time_point deadline = Clock::now() + std::chrono::seconds(lifetimeSeconds_);
    // Large enough for any datagram a master may send; what does not fit is cut by the system.
    std::vector<std::uint8_t> buf(2048);
    while (!stopping_.load()) {
        Clock::time_point now = Clock::now();
        if (now >= deadline) break;
        Clock::time_point wakeAt = deadline;
        for (const auto& d : pending_) wakeAt = std::min(wakeAt, d.due);
        pollfd fds[2] = {{wakeRead_, POLLIN, 0}, {fd_, POLLIN, 0}};
        const auto waitMs = std::chrono::duration_cast<std::chrono::milliseconds>(wakeAt - now).count() + 1;
        const int rc = ::poll(fds, 2, int(std::min<long long>(std::max<long long>(waitMs, 0), 1000)));
        if (rc < 0 && errno != EINTR) break;
        if (stopping_.load()) break;
        if (rc > 0 && (fds[1].revents & POLLIN)) {
            // Bounded: a flood is taken in slices.
            for (int i = 0; i < 64; ++i) {
                sockaddr_storage from{};
                socklen_t fromLen = sizeof from;
                const ssize_t n = ::recvfrom(fd_, buf.data(), buf.size(), 0,
                                             reinterpret_cast<sockaddr*>(&from), &fromLen);
                if (n < 0) break;
                const auto* p = reinterpret_cast<const std::uint8_t*>(&from);
                handle(buf.data(), std::size_t(n), std::vector<std::uint8_t>(p, p + fromLen));
            }
        }
        sendDue(Clock::now());
    }
    running_ = false;
}

void UdpDevice::handle(const std::uint8_t* frame, std::size_t len, const std::vector<std::uint8_t>& peer)
{
    if (len < MbapCodec::kHeader + 1 || MbapCodec::protocolId(frame) != 0 ||
        MbapCodec::lengthField(frame) != len - 6) {
        logRequest(frame, len);  // not a Modbus/UDP request: no answer
        return;
    }
    const Fault fault = beginRequest(frame, len);
    const unsigned tid = MbapCodec::transactionId(frame);
    const unsigned previousTid = hasLastTransactionId_ ? lastTransactionId_ : ((tid - 1) & 0xFFFF);
    lastTransactionId_ = tid;
    hasLastTransactionId_ = true;

    execute(fault, frame + MbapCodec::kHeader, len - MbapCodec::kHeader, reply_, text_);
    if (reply_.empty()) return;
    std::vector<std::uint8_t> out = MbapCodec::reply(fault, frame, previousTid, reply_, "");
    if (fault.kind == FaultKind::ShortDatagram) {
        out.resize(std::min(out.size(), std::size_t(fault.param > 0 ? fault.param : 8)));
    } else if (fault.kind == FaultKind::LongDatagram) {
        const std::size_t size = std::size_t(fault.param > 0 ? fault.param : 300);
        if (out.size() < size) out.resize(size, kJunk);
    }
    traceFrame("reply", out);
    Clock::time_point at = Clock::now();
    for (auto& piece : planReply(fault, frame, len, std::move(out))) {
        at += std::chrono::milliseconds(piece.delayMs);
        if (!piece.bytes.empty()) pending_.push_back(Datagram{at, std::move(piece.bytes), peer});
    }
    sendDue(Clock::now());
}

void UdpDevice::sendDue(Clock::time_point now)
{
    // The pieces of one reply have rising due times, so sending whatever is due keeps their
    // order; a delayed reply does not hold back the replies to later requests.
    std::size_t kept = 0;
    for (std::size_t i = 0; i < pending_.size(); ++i) {
        Datagram& d = pending_[i];
        if (d.due > now) {
            if (kept != i) pending_[kept] = std::move(d);
            ++kept;
            continue;
        }
        ::sendto(fd_, d.bytes.data(), d.bytes.size(), MSG_NOSIGNAL,
                 reinterpret_cast<const sockaddr*>(d.peer.data()), socklen_t(d.peer.size()));
    }
    pending_.resize(kept);
}

} // namespace sim
