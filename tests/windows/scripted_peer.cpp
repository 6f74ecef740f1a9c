#include "tests/windows/scripted_peer.h"

#include <chrono>

namespace {

// Every wait of the peer is this short, so that it notices a stop request quickly.
constexpr int kSliceMs = 20;
// No test needs a connection, or the whole peer, longer than this.
constexpr auto kLifetime = std::chrono::seconds(60);

bool readable(SOCKET socket, int timeoutMs)
{
    fd_set set;
    FD_ZERO(&set);
    FD_SET(socket, &set);
    timeval limit{0, timeoutMs * 1000};
    return ::select(0, &set, nullptr, nullptr, &limit) == 1;
}

void sendAll(SOCKET socket, const std::vector<std::uint8_t> &bytes, std::size_t from, std::size_t to)
{
    if (to > from)
        ::send(socket, reinterpret_cast<const char *>(bytes.data() + from), static_cast<int>(to - from), 0);
}

} // namespace

ScriptedPeer::ScriptedPeer(Transport transport) : transport_(transport)
{
    WSADATA data;
    ::WSAStartup(MAKEWORD(2, 2), &data);
    listener_ = ::socket(AF_INET, transport == Transport::Stream ? SOCK_STREAM : SOCK_DGRAM, 0);
    if (listener_ == INVALID_SOCKET)
        return;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int length = sizeof address;
    if (::bind(listener_, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0 ||
        ::getsockname(listener_, reinterpret_cast<sockaddr *>(&address), &length) != 0 ||
        (transport == Transport::Stream && ::listen(listener_, 8) != 0))
        return;
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] {
        if (transport_ == Transport::Stream)
            serveStream();
        else
            serveDatagrams();
    });
}

ScriptedPeer::~ScriptedPeer()
{
    stopping_ = true;
    if (thread_.joinable())
        thread_.join();
    if (listener_ != INVALID_SOCKET)
        ::closesocket(listener_);
    ::WSACleanup();
}

void ScriptedPeer::push(Action action)
{
    std::lock_guard<std::mutex> lock(mutex_);
    script_.push_back(action);
}

ScriptedPeer::Action ScriptedPeer::nextAction()
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (script_.empty())
        return Action::Reply;
    Action action = script_.front();
    script_.pop_front();
    return action;
}

int ScriptedPeer::connectionsAfterAccepting(int n) const
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (connections_ < n && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return connections_;
}

std::vector<std::uint8_t> ScriptedPeer::replyTo(const std::vector<std::uint8_t> &request)
{
    // request: 7-byte MBAP header, function code, data.
    if (request.size() < 12 || request[7] != 3)
        return request;
    const unsigned first = (request[8] << 8) | request[9];
    const unsigned count = (request[10] << 8) | request[11];
    std::vector<std::uint8_t> reply(request.begin(), request.begin() + 8);
    reply.push_back(static_cast<std::uint8_t>(2 * count));
    for (unsigned i = 0; i < count; ++i) {
        reply.push_back(static_cast<std::uint8_t>((first + i) >> 8));
        reply.push_back(static_cast<std::uint8_t>(first + i));
    }
    const std::size_t length = reply.size() - 6;
    reply[4] = static_cast<std::uint8_t>(length >> 8);
    reply[5] = static_cast<std::uint8_t>(length);
    return reply;
}

bool ScriptedPeer::readStreamRequest(SOCKET connection, std::vector<std::uint8_t> &frame)
{
    frame.clear();
    std::size_t wanted = 7; // the MBAP header, then the rest its length field announces
    const auto deadline = std::chrono::steady_clock::now() + kLifetime;
    while (frame.size() < wanted) {
        if (stopping_ || std::chrono::steady_clock::now() > deadline)
            return false;
        if (!readable(connection, kSliceMs))
            continue;
        char chunk[260];
        const int room = static_cast<int>(wanted - frame.size());
        const int got = ::recv(connection, chunk, room < static_cast<int>(sizeof chunk) ? room : sizeof chunk, 0);
        if (got <= 0)
            return false;
        frame.insert(frame.end(), chunk, chunk + got);
        if (frame.size() == 7)
            wanted = 6 + ((frame[4] << 8) | frame[5]);
    }
    return true;
}

void ScriptedPeer::serveStream()
{
    const auto deadline = std::chrono::steady_clock::now() + kLifetime;
    while (!stopping_ && std::chrono::steady_clock::now() < deadline) {
        if (!readable(listener_, kSliceMs))
            continue;
        SOCKET connection = ::accept(listener_, nullptr, nullptr);
        if (connection == INVALID_SOCKET)
            continue;
        ++connections_;
        std::vector<std::uint8_t> request;
        bool open = true;
        while (open && readStreamRequest(connection, request)) {
            ++requests_;
            std::vector<std::uint8_t> reply = replyTo(request);
            switch (nextAction()) {
            case Action::Reply:
                sendAll(connection, reply, 0, reply.size());
                break;
            case Action::Silent:
                break;
            case Action::Close:
                open = false;
                break;
            case Action::LateId: {
                const unsigned id = ((reply[0] << 8) | reply[1]) - 1u;
                reply[0] = static_cast<std::uint8_t>(id >> 8);
                reply[1] = static_cast<std::uint8_t>(id);
                sendAll(connection, reply, 0, reply.size());
                break;
            }
            case Action::Trickle:
                for (std::size_t i = 0; i < reply.size() && !stopping_; ++i) {
                    sendAll(connection, reply, i, i + 1);
                    std::this_thread::sleep_for(std::chrono::milliseconds(20));
                }
                break;
            case Action::CutHalf:
                sendAll(connection, reply, 0, reply.size() / 2);
                break;
            case Action::UnitZero:
                reply[6] = 0;
                sendAll(connection, reply, 0, reply.size());
                break;
            case Action::Short:
            case Action::Oversize:
                break; // datagram actions
            }
        }
        ::closesocket(connection);
    }
}

void ScriptedPeer::serveDatagrams()
{
    const auto deadline = std::chrono::steady_clock::now() + kLifetime;
    while (!stopping_ && std::chrono::steady_clock::now() < deadline) {
        if (!readable(listener_, kSliceMs))
            continue;
        char buffer[512];
        sockaddr_in from{};
        int fromLength = sizeof from;
        const int got = ::recvfrom(listener_, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr *>(&from),
                                   &fromLength);
        if (got <= 0)
            continue;
        ++requests_;
        std::vector<std::uint8_t> reply = replyTo(std::vector<std::uint8_t>(buffer, buffer + got));
        switch (nextAction()) {
        case Action::Silent:
            continue;
        case Action::UnitZero:
            reply[6] = 0;
            break;
        case Action::LateId: {
            const unsigned id = ((reply[0] << 8) | reply[1]) - 1u;
            reply[0] = static_cast<std::uint8_t>(id >> 8);
            reply[1] = static_cast<std::uint8_t>(id);
            break;
        }
        case Action::Short:
            reply.resize(8);
            break;
        case Action::Oversize:
            reply.resize(300, 0);
            break;
        default:
            break;
        }
        ::sendto(listener_, reinterpret_cast<const char *>(reply.data()), static_cast<int>(reply.size()), 0,
                 reinterpret_cast<const sockaddr *>(&from), fromLength);
    }
}
