// A Modbus/UDP device: one MBAP-framed request per datagram, one reply datagram back.
#pragma once

#include "sim/device_base.h"

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

namespace sim {

// Answers every unit identifier, to whichever address a request came from. Usage:
//   sim::UdpDevice dev; int port = dev.start(); ... dev.stop();
// Datagram faults: ShortDatagram (the first param bytes, default 8), LongDatagram (padded with
// junk to param bytes, default 300), LateReply (the previous request's transaction id), plus
// the identifier faults of Modbus/TCP, Delay, Drop, Exception, ExtraBytes and CutHalf.
// Trickle and SplitReply send their pieces as separate datagrams.
class UdpDevice final : public DeviceBase {
public:
    static constexpr int kDefaultLifetimeSeconds = 600;

    UdpDevice() = default;
    ~UdpDevice() override;

    // Listens on host (an IPv4 or IPv6 address). Returns the port (port 0: chosen by the
    // system), or -1.
    int start(int port = 0, const std::string& host = "127.0.0.1");
    void stop();
    int port() const { return port_.load(); }
    bool running() const { return running_.load(); }
    void setLifetimeSeconds(int seconds) { lifetimeSeconds_ = seconds; }

private:
    using Clock = std::chrono::steady_clock;
    struct Datagram {
        Clock::time_point due;
        std::vector<std::uint8_t> bytes;
        std::vector<std::uint8_t> peer;  // the sender's address as returned by recvfrom
    };

    void run();
    void handle(const std::uint8_t* frame, std::size_t len, const std::vector<std::uint8_t>& peer);
    void sendDue(Clock::time_point now);

    int fd_ = -1;
    int wakeRead_ = -1;
    int wakeWrite_ = -1;
    int lifetimeSeconds_ = kDefaultLifetimeSeconds;
    std::atomic<int> port_{-1};
    std::atomic<bool> running_{false};
    std::atomic<bool> stopping_{false};
    std::thread thread_;
    std::vector<Datagram> pending_;
    unsigned lastTransactionId_ = 0;
    bool hasLastTransactionId_ = false;
    std::vector<std::uint8_t> reply_;
    std::string text_;
};

} // namespace sim
