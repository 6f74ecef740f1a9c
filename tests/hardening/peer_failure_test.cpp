// Devices that vanish in the middle of an exchange: every master returns a result code within
// its time-outs, and no send onto a dead connection raises SIGPIPE.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "ip/ascii_over_tcp_master_protocol.h"
#include "ip/rtu_over_tcp_master_protocol.h"
#include "ip/tcp_master_protocol.h"
#include "ip/udp_master_protocol.h"
#include "serial/rtu_master_protocol.h"
#include "tests/hardening/raw_peer.h"
#include "tests/hardening/reply_frames.h"

using namespace mbus;

namespace {

constexpr int kTimeoutMs = 100;
constexpr int kRegisters = 4;
// Slack on top of the time-outs a call may use; scheduling on a busy machine, never a hang.
constexpr long long kSlackMs = 2000;

volatile sig_atomic_t brokenPipes = 0;
void countBrokenPipe(int)
{
    brokenPipes = brokenPipes + 1;
}

// Counts SIGPIPE instead of dying of it, so that a test can say what happened.
class BrokenPipeCounter {
public:
    BrokenPipeCounter()
    {
        brokenPipes = 0;
        struct sigaction action {};
        action.sa_handler = countBrokenPipe;
        sigemptyset(&action.sa_mask);
        ::sigaction(SIGPIPE, &action, &saved_);
    }
    ~BrokenPipeCounter() { ::sigaction(SIGPIPE, &saved_, nullptr); }
    int count() const { return brokenPipes; }

private:
    struct sigaction saved_ {};
};

long long millisecondsSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
}

template <class MasterType, std::vector<std::uint8_t> (*kBuilder)(const std::vector<std::uint8_t> &)>
struct StreamKind {
    using Master = MasterType;
    static std::vector<std::uint8_t> reply(const std::vector<std::uint8_t> &request) { return kBuilder(request); }
};

using StreamKinds = ::testing::Types<StreamKind<MbusTcpMasterProtocol, mbapReadReply>,
                                     StreamKind<MbusRtuOverTcpMasterProtocol, rtuReadReply>,
                                     StreamKind<MbusAsciiOverTcpMasterProtocol, asciiReadReply>>;

template <class K>
class PeerFailure : public ::testing::Test {
protected:
    PeerFailure() : peer(K::reply) {}

    void SetUp() override
    {
        port = peer.start();
        ASSERT_GT(port, 0);
        ASSERT_EQ(MBUS_SUCCESS, master.setPort(static_cast<std::uint16_t>(port)));
        ASSERT_EQ(MBUS_SUCCESS, master.setTimeout(kTimeoutMs));
    }

    void open() { ASSERT_EQ(MBUS_SUCCESS, master.openConnection("127.0.0.1")); }

    // One read of the registers; its duration goes to elapsedMs.
    int readRegisters(long long *elapsedMs)
    {
        short regs[kRegisters] = {};
        auto start = std::chrono::steady_clock::now();
        int result = master.readMultipleRegisters(1, 1, regs, kRegisters);
        *elapsedMs = millisecondsSince(start);
        if (result == MBUS_SUCCESS) {
            for (int i = 0; i < kRegisters; ++i)
                EXPECT_EQ(replyRegister(i), static_cast<std::uint16_t>(regs[i]));
        } else {
            for (short r : regs)
                EXPECT_EQ(0, r) << "a failed read leaves zeros";
        }
        return result;
    }

    // The most one transaction may take: connect, send and reply waits of every attempt.
    long long bound() const { return 3LL * kTimeoutMs * (master.getRetryCnt() + 1) + kSlackMs; }

    BrokenPipeCounter pipes;
    RawPeer peer;
    typename K::Master master;
    int port = 0;
};

TYPED_TEST_SUITE(PeerFailure, StreamKinds);

TYPED_TEST(PeerFailure, WholeRepliesAreRead)
{
    this->open();
    long long ms = 0;
    for (int i = 0; i < 20; ++i)
        ASSERT_EQ(MBUS_SUCCESS, this->readRegisters(&ms));
}

TYPED_TEST(PeerFailure, CloseOrResetInTheMiddleOfAReplyIsAConnectionClosed)
{
    for (RawPeer::Ending ending : {RawPeer::Ending::HalfThenClose, RawPeer::Ending::HalfThenReset,
                                   RawPeer::Ending::CloseAtOnce, RawPeer::Ending::ResetAtOnce}) {
        SCOPED_TRACE(static_cast<int>(ending));
        this->peer.setEnding(ending);
        this->open();
        long long ms = 0;
        EXPECT_EQ(MBUS_CONNECTION_CLOSED, this->readRegisters(&ms));
        EXPECT_LT(ms, this->bound());
        // The master stays open and keeps reporting the closed connection, promptly.
        EXPECT_TRUE(this->master.isOpen());
        EXPECT_EQ(MBUS_CONNECTION_CLOSED, this->readRegisters(&ms));
        EXPECT_LT(ms, this->bound());
        // Reopened, it works again.
        this->master.closeConnection();
        this->peer.setEnding(RawPeer::Ending::Whole);
        this->open();
        EXPECT_EQ(MBUS_SUCCESS, this->readRegisters(&ms));
        this->master.closeConnection();
    }
    EXPECT_EQ(0, this->pipes.count());
}

TYPED_TEST(PeerFailure, HalfAReplyAndSilenceTimesOutOnceAndNotMore)
{
    this->peer.setEnding(RawPeer::Ending::HalfThenSilence);
    this->open();
    long long ms = 0;
    EXPECT_EQ(MBUS_REPLY_TIMEOUT, this->readRegisters(&ms));
    EXPECT_GE(ms, kTimeoutMs - 5);
    EXPECT_LT(ms, this->bound());
}

TYPED_TEST(PeerFailure, RetriesAfterHalfRepliesReconnectAndStayWithinTheTimeOuts)
{
    ASSERT_EQ(MBUS_SUCCESS, this->master.setRetryCnt(2));
    this->peer.setEnding(RawPeer::Ending::HalfThenSilence);
    this->open();
    long long ms = 0;
    EXPECT_EQ(MBUS_REPLY_TIMEOUT, this->readRegisters(&ms));
    EXPECT_GE(ms, 3 * kTimeoutMs - 15);
    EXPECT_LT(ms, this->bound());
    EXPECT_EQ(3, this->peer.requests());
    EXPECT_EQ(3, this->peer.connections()); // a fresh connection for each retry
}

TYPED_TEST(PeerFailure, SendingOntoAConnectionThePeerResetRaisesNoSigpipe)
{
    // The poll delay holds the next send back until after the peer has gone, so the send
    // itself meets the dead connection.
    ASSERT_EQ(MBUS_SUCCESS, this->master.setPollDelay(150));
    this->peer.setResetDelayMs(20);
    for (RawPeer::Ending ending : {RawPeer::Ending::WholeThenResetLater}) {
        this->peer.setEnding(ending);
        this->open();
        long long ms = 0;
        ASSERT_EQ(MBUS_SUCCESS, this->readRegisters(&ms));
        for (int i = 0; i < 3; ++i) {
            int result = this->readRegisters(&ms);
            EXPECT_EQ(MBUS_CONNECTION_CLOSED, result) << "transaction " << i;
            EXPECT_LT(ms, this->bound());
        }
        this->master.closeConnection();
    }
    EXPECT_EQ(0, this->pipes.count());
}

TEST(PeerFailureDatagram, ADeviceThatIsGoneGivesAResultWithinTheTimeOut)
{
    // A port that was free a moment ago: the datagram is refused by the host, or lost.
    int probe = ::socket(AF_INET, SOCK_DGRAM, 0);
    ASSERT_GE(probe, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ASSERT_EQ(0, ::bind(probe, reinterpret_cast<sockaddr *>(&address), sizeof address));
    ASSERT_EQ(0, ::getsockname(probe, reinterpret_cast<sockaddr *>(&address), &length));
    ::close(probe);

    MbusUdpMasterProtocol master;
    ASSERT_EQ(MBUS_SUCCESS, master.setPort(ntohs(address.sin_port)));
    ASSERT_EQ(MBUS_SUCCESS, master.setTimeout(kTimeoutMs));
    ASSERT_EQ(MBUS_SUCCESS, master.setRetryCnt(1));
    ASSERT_EQ(MBUS_SUCCESS, master.openConnection("127.0.0.1"));
    for (int i = 0; i < 3; ++i) {
        short regs[kRegisters] = {};
        auto start = std::chrono::steady_clock::now();
        int result = master.readMultipleRegisters(1, 1, regs, kRegisters);
        EXPECT_TRUE(result == MBUS_REPLY_TIMEOUT || result == MBUS_TCP_CONNECTION_ERROR) << result;
        EXPECT_LT(millisecondsSince(start), 2 * kTimeoutMs + kSlackMs);
    }
}

// The far end of a pseudo-terminal answers half a reply and hangs up.
TEST(PeerFailureSerial, ALineThatHangsUpInTheMiddleOfAReplyGivesAResult)
{
    BrokenPipeCounter pipes;
    int device = -1, line = -1;
    char path[128] = {};
    ASSERT_EQ(0, ::openpty(&device, &line, path, nullptr, nullptr));
    // `line` stays open to the end: with no slave side open at all the far end would see a
    // hang-up before the master has even opened the line by its name.
    std::atomic<bool> hungUp{false};
    std::atomic<bool> answered{false};
    std::thread peer([&] {
        // Waits (boundedly) for the request, answers half of it, hangs up.
        pollfd entry{device, POLLIN, 0};
        if (::poll(&entry, 1, 5000) > 0) {
            std::uint8_t request[64];
            ssize_t got = ::read(device, request, sizeof request);
            if (got > 0) {
                std::vector<std::uint8_t> reply = rtuReadReply(std::vector<std::uint8_t>(request, request + got));
                answered = ::write(device, reply.data(), reply.size() / 2) > 0;
            }
        }
        ::close(device);
        hungUp = true;
    });

    MbusRtuMasterProtocol master;
    ASSERT_EQ(MBUS_SUCCESS, master.setTimeout(kTimeoutMs));
    ASSERT_EQ(MBUS_SUCCESS, master.openSerialPort(path, 115200, 8, 1, MBUS_PARITY_NONE));
    for (int i = 0; i < 3; ++i) {
        short regs[kRegisters] = {};
        auto start = std::chrono::steady_clock::now();
        int result = master.readMultipleRegisters(1, 1, regs, kRegisters);
        EXPECT_NE(MBUS_SUCCESS, result);
        EXPECT_TRUE(result == MBUS_IO_ERROR || result == MBUS_REPLY_TIMEOUT || result == MBUS_SEND_TIMEOUT ||
                    result == MBUS_CHECKSUM_ERROR)
            << "transaction " << i << ": " << result;
        EXPECT_LT(millisecondsSince(start), 3 * kTimeoutMs + kSlackMs);
    }
    peer.join();
    EXPECT_TRUE(hungUp);
    EXPECT_TRUE(answered) << "the request never reached the far end";
    master.closeConnection();
    ::close(line);
    EXPECT_EQ(0, pipes.count());
}

} // namespace
