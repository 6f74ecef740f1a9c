// A Modbus/TCP master connected to a simulated device on loopback.
#ifndef MBUS_TESTS_TCP_FIXTURE_H
#define MBUS_TESTS_TCP_FIXTURE_H

#include <gtest/gtest.h>
#include <pthread.h>
#include <signal.h>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "ip/tcp_master_protocol.h"
#include "sim/tcp_device.h"

using namespace mbus;

// Reaches into the master for what a test must set up or observe directly.
class InspectableTcpMaster : public MbusTcpMasterProtocol {
public:
    void setTransactionId(std::uint16_t id) { mbap.setTransactionId(id); }
    std::uint16_t lastTransactionId() const { return mbap.getTransactionId(); }
    bool isReconnectPending() const { return reconnectPending != 0; }
    net::Socket socket() const { return tcpLink.socket(); }
};

// Interrupts the thread that made it with a signal every 5 ms, for at most 4 seconds, until it
// is destroyed: each interrupted wait of that thread ends early with EINTR.
class SignalStorm {
public:
    SignalStorm()
    {
        struct sigaction action {};
        action.sa_handler = [](int) {};
        sigemptyset(&action.sa_mask); // no SA_RESTART
        ::sigaction(SIGUSR1, &action, &previous);
        const pthread_t target = ::pthread_self();
        sender = std::thread([this, target] {
            for (int i = 0; i < 800 && !done.load(); ++i) {
                ::pthread_kill(target, SIGUSR1);
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
        });
    }
    ~SignalStorm()
    {
        done = true;
        sender.join();
        ::sigaction(SIGUSR1, &previous, nullptr);
    }

private:
    struct sigaction previous {};
    std::atomic<bool> done{false};
    std::thread sender;
};

// A loopback listener that never accepts and whose queue is full: it drops further handshakes,
// so a connect to it stays pending until its time-out.
class UnansweredListener {
public:
    UnansweredListener()
    {
        listener = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (::bind(listener, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0 ||
            ::listen(listener, 0) != 0 || ::getsockname(listener, reinterpret_cast<sockaddr *>(&address), &length) != 0)
            return;
        for (int &filler : fillers) {
            filler = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
            ::connect(filler, reinterpret_cast<sockaddr *>(&address), sizeof address);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        portNumber = ntohs(address.sin_port);
    }
    ~UnansweredListener()
    {
        for (int filler : fillers)
            ::close(filler);
        ::close(listener);
    }
    // 0 when it could not be set up.
    int port() const { return portNumber; }

private:
    int listener = -1;
    int fillers[4] = {-1, -1, -1, -1};
    int portNumber = 0;
};

class TcpMasterTest : public ::testing::Test {
protected:
    static constexpr int kShortTimeoutMs = 100;

    void SetUp() override
    {
        port = device.start();
        ASSERT_GT(port, 0);
        ASSERT_EQ(MBUS_SUCCESS, master.setPort(static_cast<std::uint16_t>(port)));
        ASSERT_EQ(MBUS_SUCCESS, master.setTimeout(kShortTimeoutMs));
    }

    void open() { ASSERT_EQ(MBUS_SUCCESS, master.openConnection("127.0.0.1")); }

    // A device accepts in its own thread: wait (boundedly) until it has seen n connections.
    int connectionsAfterAccepting(int n, const sim::StreamServer *on = nullptr)
    {
        const sim::StreamServer &server = on != nullptr ? *on : device;
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (server.connectionCount() < n && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        return server.connectionCount();
    }

    static long long millisecondsSince(std::chrono::steady_clock::time_point start)
    {
        return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
    }

    sim::TcpDevice device;
    InspectableTcpMaster master;
    int port = 0;
};

#endif
