// MBAP framing, reply checks, retries, reconnects, the poll delay and counters, against a
// device that misbehaves on request.
#include "tcp_fixture.h"

#include <string>
#include <vector>

#include <sys/socket.h>
#include <unistd.h>

using namespace mbus;

using sim::Fault;
using sim::FaultKind;
using TcpTransaction = TcpMasterTest;

namespace {
unsigned transactionIdOf(const std::vector<std::uint8_t> &frame)
{
    return (frame[0] << 8) | frame[1];
}
} // namespace

TEST_F(TcpTransaction, RequestFrameLayout)
{
    open();
    short value[1];
    ASSERT_EQ(MBUS_SUCCESS, master.readMultipleRegisters(17, 18, value, 1));
    auto requests = device.requests();
    ASSERT_EQ(1u, requests.size());
    // Transaction 1, protocol 0, length 6, unit 17, function 3, address 17, one register.
    EXPECT_EQ((std::vector<std::uint8_t>{0x00, 0x01, 0x00, 0x00, 0x00, 0x06, 0x11, 0x03, 0x00, 0x11, 0x00, 0x01}),
              requests[0]);
}

TEST_F(TcpTransaction, TransactionIdentifierRunsOnAndWraps)
{
    open();
    short value[1];
    master.setTransactionId(65534);
    ASSERT_EQ(MBUS_SUCCESS, master.readMultipleRegisters(1, 1, value, 1));
    ASSERT_EQ(MBUS_SUCCESS, master.readMultipleRegisters(1, 1, value, 1));
    master.closeConnection();
    open(); // reopening does not reset the identifier
    ASSERT_EQ(MBUS_SUCCESS, master.readMultipleRegisters(1, 1, value, 1));
    auto requests = device.requests();
    ASSERT_EQ(3u, requests.size());
    EXPECT_EQ(65535u, transactionIdOf(requests[0]));
    EXPECT_EQ(0u, transactionIdOf(requests[1]));
    EXPECT_EQ(1u, transactionIdOf(requests[2]));
}

TEST_F(TcpTransaction, ExceptionRepliesMapToTheirCodes)
{
    ASSERT_EQ(MBUS_SUCCESS, master.setRetryCnt(0));
    open();
    const struct {
        int exceptionCode;
        int result;
    } cases[] = {{1, 161}, {2, 162}, {3, 163}, {4, 164}, {6, 166}, {10, 170}, {11, 171}, {0xE4, 388}};
    short value[1];
    for (const auto &c : cases) {
        device.pushFault(Fault{FaultKind::Exception, c.exceptionCode});
        int total = master.getTotalCounter();
        int success = master.getSuccessCounter();
        EXPECT_EQ(c.result, master.readMultipleRegisters(1, 1, value, 1));
        EXPECT_EQ(total + 1, master.getTotalCounter());
        EXPECT_EQ(success, master.getSuccessCounter());
    }
    EXPECT_EQ(1, device.connectionCount()); // exception replies are not retried and keep the connection
}

TEST_F(TcpTransaction, ExceptionRepliesAreNotRetried)
{
    master.setRetryCnt(3);
    open();
    device.pushFault(Fault{FaultKind::Exception, 2});
    short value[1];
    EXPECT_EQ(MBUS_ILLEGAL_ADDRESS_RESPONSE, master.readMultipleRegisters(1, 1, value, 1));
    EXPECT_EQ(1u, device.requests().size());
    EXPECT_EQ(1, master.getTotalCounter());
}

TEST_F(TcpTransaction, LateReplyGivesInvalidIdentifierThenRecovers)
{
    open();
    device.setHoldingRegister(0, 7);
    short value[1];
    ASSERT_EQ(MBUS_SUCCESS, master.readMultipleRegisters(1, 1, value, 1));
    device.pushFault(Fault{FaultKind::LateReply, 0});
    EXPECT_EQ(MBUS_INVALID_MBAP_ID, master.readMultipleRegisters(1, 1, value, 1));
    ASSERT_EQ(MBUS_SUCCESS, master.readMultipleRegisters(1, 1, value, 1));
    EXPECT_EQ(7, value[0]);
    device.pushFault(Fault{FaultKind::WrongProtocolId, 0});
    EXPECT_EQ(MBUS_INVALID_MBAP_ID, master.readMultipleRegisters(1, 1, value, 1));
    device.pushFault(Fault{FaultKind::WrongTransactionId, 0});
    EXPECT_EQ(MBUS_INVALID_MBAP_ID, master.readMultipleRegisters(1, 1, value, 1));
    EXPECT_EQ(MBUS_SUCCESS, master.readMultipleRegisters(1, 1, value, 1));
}

TEST_F(TcpTransaction, UnitIdentifierZeroIsAcceptedOthersAreNot)
{
    open();
    short value[1];
    device.pushFault(Fault{FaultKind::UnitIdZero, 0});
    EXPECT_EQ(MBUS_SUCCESS, master.readMultipleRegisters(17, 1, value, 1));
    device.pushFault(Fault{FaultKind::WrongUnitId, 0});
    EXPECT_EQ(MBUS_INVALID_FRAME_ERROR, master.readMultipleRegisters(17, 1, value, 1));
    EXPECT_EQ(2, connectionsAfterAccepting(2)); // a frame error rebuilds the connection
}

TEST_F(TcpTransaction, WrongFunctionCodeReconnects)
{
    open();
    short value[1];
    device.pushFault(Fault{FaultKind::WrongFunctionCode, 0});
    EXPECT_EQ(MBUS_INVALID_FRAME_ERROR, master.readMultipleRegisters(1, 1, value, 1));
    EXPECT_TRUE(master.isOpen());
    EXPECT_EQ(2, connectionsAfterAccepting(2));
    EXPECT_EQ(MBUS_SUCCESS, master.readMultipleRegisters(1, 1, value, 1));
}

TEST_F(TcpTransaction, FrameErrorIsRetriedOnAFreshConnection)
{
    master.setRetryCnt(1);
    open();
    device.pushFault(Fault{FaultKind::WrongFunctionCode, 0});
    device.setHoldingRegister(4, 99);
    short value[1];
    EXPECT_EQ(MBUS_SUCCESS, master.readMultipleRegisters(1, 5, value, 1));
    EXPECT_EQ(99, value[0]);
    EXPECT_EQ(2, master.getTotalCounter());
    EXPECT_EQ(1, master.getSuccessCounter());
    EXPECT_EQ(2, connectionsAfterAccepting(2));
}

TEST_F(TcpTransaction, InvalidReplyIsRetriedOnAFreshConnection)
{
    master.setRetryCnt(1);
    open();
    device.pushFault(Fault{FaultKind::LyingLength, 1000}); // 131: more than one frame announced
    device.setHoldingRegister(4, 77);
    short value[1];
    EXPECT_EQ(MBUS_SUCCESS, master.readMultipleRegisters(1, 5, value, 1));
    EXPECT_EQ(77, value[0]);
    EXPECT_EQ(2, master.getTotalCounter());
    EXPECT_EQ(2, connectionsAfterAccepting(2));
}

TEST_F(TcpTransaction, FinalTimeoutMarksTheConnectionForRebuilding)
{
    open();
    short value[1];
    device.pushFault(Fault{FaultKind::Drop, 0});
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(MBUS_REPLY_TIMEOUT, master.readMultipleRegisters(1, 1, value, 1));
    EXPECT_GE(millisecondsSince(start), kShortTimeoutMs);
    EXPECT_TRUE(master.isOpen());
    EXPECT_TRUE(master.isReconnectPending());
    EXPECT_EQ(1, device.connectionCount()); // the socket is left alone until the next transaction
    EXPECT_EQ(MBUS_SUCCESS, master.readMultipleRegisters(1, 1, value, 1));
    EXPECT_EQ(2, connectionsAfterAccepting(2));
    EXPECT_FALSE(master.isReconnectPending());
}

TEST_F(TcpTransaction, SignalsDoNotStretchAReplyTimeout)
{
    open();
    short value[1];
    device.pushFault(Fault{FaultKind::Drop, 0});
    auto start = std::chrono::steady_clock::now();
    {
        SignalStorm storm; // for seconds, unless the time-out ends the wait first
        EXPECT_EQ(MBUS_REPLY_TIMEOUT, master.readMultipleRegisters(1, 1, value, 1));
        EXPECT_GE(millisecondsSince(start), kShortTimeoutMs);
        EXPECT_LT(millisecondsSince(start), 2000);
    }
    EXPECT_EQ(MBUS_SUCCESS, master.readMultipleRegisters(1, 1, value, 1));
}

TEST_F(TcpTransaction, TimeoutsAreRetriedWithReconnects)
{
    master.setRetryCnt(2);
    open();
    device.setPersistentFault(Fault{FaultKind::Drop, 0});
    short value[1];
    EXPECT_EQ(MBUS_REPLY_TIMEOUT, master.readMultipleRegisters(1, 1, value, 1));
    EXPECT_EQ(3u, device.requests().size());
    EXPECT_EQ(3, master.getTotalCounter());
    EXPECT_EQ(0, master.getSuccessCounter());
    EXPECT_EQ(3, connectionsAfterAccepting(3)); // a reconnect after the first and the second attempt
    EXPECT_TRUE(master.isReconnectPending());
    device.clearFaults();
    EXPECT_EQ(MBUS_SUCCESS, master.readMultipleRegisters(1, 1, value, 1));
    EXPECT_EQ(4, connectionsAfterAccepting(4));
}

TEST_F(TcpTransaction, FailedReconnectLeavesTheMasterClosed)
{
    open();
    short value[1];
    device.pushFault(Fault{FaultKind::Drop, 0});
    EXPECT_EQ(MBUS_REPLY_TIMEOUT, master.readMultipleRegisters(1, 1, value, 1));
    device.stop();
    EXPECT_EQ(MBUS_TCP_CONNECTION_ERROR, master.readMultipleRegisters(1, 1, value, 1));
    EXPECT_FALSE(master.isOpen());
    EXPECT_EQ(MBUS_ILLEGAL_STATE, master.readMultipleRegisters(1, 1, value, 1));
}

TEST_F(TcpTransaction, ClosedOrResetPeerGivesConnectionClosedUntilReopened)
{
    for (FaultKind kind : {FaultKind::Close, FaultKind::Reset}) {
        open();
        short value[1];
        device.pushFault(Fault{kind, 0});
        EXPECT_EQ(MBUS_CONNECTION_CLOSED, master.readMultipleRegisters(1, 1, value, 1));
        EXPECT_TRUE(master.isOpen());
        EXPECT_EQ(MBUS_CONNECTION_CLOSED, master.readMultipleRegisters(1, 1, value, 1));
        EXPECT_EQ(MBUS_CONNECTION_CLOSED, master.readMultipleRegisters(1, 1, value, 1));
        master.closeConnection();
        open();
        EXPECT_EQ(MBUS_SUCCESS, master.readMultipleRegisters(1, 1, value, 1));
        master.closeConnection();
    }
}

TEST_F(TcpTransaction, ReplyCutOffTimesOutAndTrickleIsAccepted)
{
    open();
    short regs[10];
    device.pushFault(Fault{FaultKind::CutHalf, 0});
    EXPECT_EQ(MBUS_REPLY_TIMEOUT, master.readMultipleRegisters(1, 1, regs, 10));
    device.setHoldingRegister(9, 0x0A0B);
    // 29 bytes with 20 ms pauses: far longer in all than the 100 ms time-out.
    device.pushFault(Fault{FaultKind::Trickle, 20});
    EXPECT_EQ(MBUS_SUCCESS, master.readMultipleRegisters(1, 1, regs, 10));
    EXPECT_EQ(0x0A0B, regs[9]);
}

TEST_F(TcpTransaction, LengthFieldBeyondTheFrameIsRefused)
{
    open();
    short regs[2] = {5, 5};
    device.pushFault(Fault{FaultKind::LyingLength, 1000});
    EXPECT_EQ(MBUS_INVALID_REPLY_ERROR, master.readMultipleRegisters(1, 1, regs, 2));
    EXPECT_EQ(0, regs[0]);
    device.pushFault(Fault{FaultKind::LyingLength, 3}); // announces bytes that never come
    EXPECT_EQ(MBUS_REPLY_TIMEOUT, master.readMultipleRegisters(1, 1, regs, 2));
    EXPECT_EQ(MBUS_SUCCESS, master.readMultipleRegisters(1, 1, regs, 2));
}

TEST_F(TcpTransaction, StaleBytesAreDrainedBeforeTheNextRequest)
{
    open();
    device.setHoldingRegister(0, 11);
    short value[1];
    device.pushFault(Fault{FaultKind::ExtraBytes, 40});
    ASSERT_EQ(MBUS_SUCCESS, master.readMultipleRegisters(1, 1, value, 1));
    ASSERT_EQ(MBUS_SUCCESS, master.readMultipleRegisters(1, 1, value, 1));
    EXPECT_EQ(11, value[0]);
}

TEST_F(TcpTransaction, PollDelaySpacesTheSends)
{
    ASSERT_EQ(MBUS_SUCCESS, master.setPollDelay(150));
    open();
    short value[1];
    auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(MBUS_SUCCESS, master.readMultipleRegisters(1, 1, value, 1)); // the first never waits
    ASSERT_EQ(MBUS_SUCCESS, master.readMultipleRegisters(1, 1, value, 1));
    ASSERT_EQ(MBUS_SUCCESS, master.readMultipleRegisters(1, 1, value, 1));
    // Ticks are whole milliseconds, so each interval may come up to 1 ms short in real time.
    EXPECT_GE(millisecondsSince(start), 298);
}

TEST_F(TcpTransaction, ExceptionStatusReplyIsCompleteAfterNineBytes)
{
    open();
    device.setExceptionStatus(0xA5);
    unsigned char status = 0;
    ASSERT_EQ(MBUS_SUCCESS, master.readExceptionStatus(1, &status));
    EXPECT_EQ(0xA5, status);
}

TEST_F(TcpTransaction, SendAsciiCommand)
{
    open();
    char response[MbusTcpMasterProtocol::kAsciiResponseSize];
    ASSERT_EQ(MBUS_SUCCESS, master.sendAsciiCommand("RUN 12", response));
    EXPECT_EQ("RUN 12", device.lastTextCommand());
    EXPECT_STREQ("OK RUN 12", response);

    auto requests = device.requests();
    ASSERT_EQ(2u, requests.size());
    // Unit 1, function 16 at 0x270F, 4 registers, 8 bytes: the text, CR and a padding NUL.
    EXPECT_EQ((std::vector<std::uint8_t>{0x01, 0x10, 0x27, 0x0F, 0x00, 0x04, 0x08, 'R', 'U', 'N', ' ', '1', '2', '\r',
                                         0x00}),
              std::vector<std::uint8_t>(requests[0].begin() + 6, requests[0].end()));
    EXPECT_EQ((std::vector<std::uint8_t>{0x01, 0x03, 0x27, 0x0F, 0x00, 0x28}),
              std::vector<std::uint8_t>(requests[1].begin() + 6, requests[1].end()));
}

TEST_F(TcpTransaction, SendAsciiCommandRefusals)
{
    char response[MbusTcpMasterProtocol::kAsciiResponseSize];
    EXPECT_EQ(MBUS_CONNECTION_CLOSED, master.sendAsciiCommand("X", response));
    open();
    EXPECT_EQ(MBUS_ILLEGAL_ARGUMENT, master.sendAsciiCommand("", response));
    EXPECT_EQ(MBUS_ILLEGAL_ARGUMENT, master.sendAsciiCommand(std::string(256, 'A').c_str(), response));
    // 246 bytes fit 123 registers; 247 characters pad to 248 and do not.
    EXPECT_EQ(MBUS_ILLEGAL_ARGUMENT, master.sendAsciiCommand(std::string(247, 'A').c_str(), response));
    EXPECT_TRUE(device.requests().empty());
    EXPECT_EQ(MBUS_SUCCESS, master.sendAsciiCommand(std::string(245, 'A').c_str(), response));
}

namespace {
// A TCP link on a socket the test made.
class AdoptingTcpLink : public TcpLink {
public:
    explicit AdoptingTcpLink(net::Socket socket) { handle = socket; }
};
} // namespace

TEST(TcpLinkSend, PartialSendIsASendTimeout)
{
    int pair[2];
    ASSERT_EQ(0, ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0, pair));
    // Fill the stream, then make room for less than one frame: the send goes out in part.
    std::vector<unsigned char> chunk(1024, 0x55);
    for (int i = 0; i < 4096 && ::send(pair[0], chunk.data(), chunk.size(), MSG_NOSIGNAL) > 0; ++i) {
    }
    ASSERT_EQ(static_cast<ssize_t>(chunk.size()), ::recv(pair[1], chunk.data(), chunk.size(), 0));
    AdoptingTcpLink link(pair[0]);
    std::vector<unsigned char> frame(1 << 20, 0xAA);
    EXPECT_EQ(MBUS_SEND_TIMEOUT, link.send(frame.data(), static_cast<int>(frame.size()), 100));
    ::close(pair[1]);
}
