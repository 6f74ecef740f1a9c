// A TCP device on loopback that answers every request with a reply the test builds and then
// misbehaves as told: part of the reply followed by a close, a reset or silence; a close or reset
// instead of any reply; or a whole reply and a reset a little later. It serves one connection
// after another, so masters may reconnect.
#ifndef MBUS_TESTS_HARDENING_RAW_PEER_H
#define MBUS_TESTS_HARDENING_RAW_PEER_H

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

class RawPeer {
public:
    enum class Ending {
        Whole,               // the reply, the connection stays
        HalfThenClose,       // the first half, then an orderly close
        HalfThenReset,       // the first half, then a reset
        HalfThenSilence,     // the first half, then nothing
        CloseAtOnce,         // no reply, an orderly close
        ResetAtOnce,         // no reply, a reset
        WholeThenResetLater  // the reply, then a reset after resetDelayMs
    };
    using ReplyBuilder = std::function<std::vector<std::uint8_t>(const std::vector<std::uint8_t> &request)>;

    explicit RawPeer(ReplyBuilder builder) : builder_(std::move(builder)) {}
    ~RawPeer();
    RawPeer(const RawPeer &) = delete;
    RawPeer &operator=(const RawPeer &) = delete;

    // Listens on 127.0.0.1 at a port the system picks; returns it, or -1.
    int start();
    void stop();
    void setEnding(Ending ending) { ending_ = ending; }
    void setResetDelayMs(int ms) { resetDelayMs_ = ms; }
    int requests() const { return requests_; }
    int connections() const { return connections_; }

private:
    struct Link {
        int fd;
        long long resetAtMs; // 0: none
    };
    void run();
    void serve(Link &link);
    static void closeLink(Link &link, bool reset);

    ReplyBuilder builder_;
    std::atomic<Ending> ending_{Ending::Whole};
    std::atomic<int> resetDelayMs_{20};
    std::atomic<int> requests_{0};
    std::atomic<int> connections_{0};
    std::atomic<bool> stopping_{false};
    int listenFd_ = -1;
    std::vector<Link> links_;
    std::thread thread_;
};

#endif
