// The IP masters on Windows Sockets: every master against the device simulator on the build
// machine's loopback, and the failure paths of the socket layer against scripted peers.
#include <gtest/gtest.h>

#include <winsock2.h>

#include <chrono>
#include <cstring>
#include <memory>
#include <string>

#include "ip/ascii_over_tcp_master_protocol.h"
#include "ip/rtu_over_tcp_master_protocol.h"
#include "ip/tcp_master_protocol.h"
#include "ip/udp_master_protocol.h"
#include "tests/windows/scripted_peer.h"
#include "tests/windows/simulator_setting.h"

using namespace mbus;

namespace {

using Action = ScriptedPeer::Action;
constexpr int kShortTimeoutMs = 300;

class InspectableTcpMaster : public MbusTcpMasterProtocol {
public:
    bool isReconnectPending() const { return reconnectPending != 0; }
    net::Socket socket() const { return tcpLink.socket(); }
};

long long millisecondsSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
}

// A loopback port that was free a moment ago: bound, read, closed.
int freshlyClosedPort(int type)
{
    SOCKET probe = ::socket(AF_INET, type, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int length = sizeof address;
    int port = 0;
    if (::bind(probe, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0 &&
        ::getsockname(probe, reinterpret_cast<sockaddr *>(&address), &length) == 0)
        port = ntohs(address.sin_port);
    ::closesocket(probe);
    return port;
}

// Opens master on 127.0.0.1:port with the short time-out.
void openOn(MbusIpClientBase &master, int port, const char *host = "127.0.0.1")
{
    ASSERT_GT(port, 0);
    ASSERT_EQ(MBUS_SUCCESS, master.setPort(static_cast<std::uint16_t>(port)));
    ASSERT_EQ(MBUS_SUCCESS, master.setTimeout(kShortTimeoutMs));
    ASSERT_EQ(MBUS_SUCCESS, master.openConnection(host));
}

// The demo contents of the simulator (wire addresses): holding register n = n, input
// register n = 1000 + n, even coils on, odd discrete inputs on, exception status 0x6D.
// Writes go to addresses of their own per test, so the tests do not depend on their order.
void readsTheDemoContents(MbusMasterFunctions &master)
{
    short regs[10];
    ASSERT_EQ(MBUS_SUCCESS, master.readMultipleRegisters(1, 1, regs, 10));
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(i, regs[i]);
    ASSERT_EQ(MBUS_SUCCESS, master.readInputRegisters(1, 5, regs, 2));
    EXPECT_EQ(1004, regs[0]);
    EXPECT_EQ(1005, regs[1]);
    int bits[4];
    ASSERT_EQ(MBUS_SUCCESS, master.readCoils(1, 1, bits, 4));
    EXPECT_EQ(1, bits[0]);
    EXPECT_EQ(0, bits[1]);
    EXPECT_EQ(1, bits[2]);
    ASSERT_EQ(MBUS_SUCCESS, master.readInputDiscretes(1, 1, bits, 4));
    EXPECT_EQ(0, bits[0]);
    EXPECT_EQ(1, bits[1]);
}

void writesAndReadsBack(MbusMasterFunctions &master, int firstRef)
{
    const short values[3] = {1, -2, 300};
    short back[3] = {};
    ASSERT_EQ(MBUS_SUCCESS, master.writeMultipleRegisters(1, firstRef, values, 3));
    ASSERT_EQ(MBUS_SUCCESS, master.readMultipleRegisters(1, firstRef, back, 3));
    EXPECT_EQ(-2, back[1]);
    EXPECT_EQ(300, back[2]);
    const float number[1] = {2.5f};
    float numberBack[1] = {};
    ASSERT_EQ(MBUS_SUCCESS, master.writeMultipleFloats(1, firstRef + 4, number, 1));
    ASSERT_EQ(MBUS_SUCCESS, master.readMultipleFloats(1, firstRef + 4, numberBack, 1));
    EXPECT_EQ(2.5f, numberBack[0]);
    ASSERT_EQ(MBUS_SUCCESS, master.writeCoil(1, firstRef, 0));
    int coil[1] = {1};
    ASSERT_EQ(MBUS_SUCCESS, master.readCoils(1, firstRef, coil, 1));
    EXPECT_EQ(0, coil[0]);
}

} // namespace

TEST(SimulatedDevice, ModbusTcpReadsWritesAndSendsTextCommands)
{
    MbusTcpMasterProtocol master;
    openOn(master, simulatorPort("MBUS_SIM_TCP_PORT"));
    readsTheDemoContents(master);
    writesAndReadsBack(master, 41);
    unsigned char status = 0;
    ASSERT_EQ(MBUS_SUCCESS, master.readExceptionStatus(1, &status));
    EXPECT_EQ(0x6D, status);
    char response[MbusTcpMasterProtocol::kAsciiResponseSize];
    ASSERT_EQ(MBUS_SUCCESS, master.sendAsciiCommand("RUN 12", response));
    EXPECT_STREQ("OK RUN 12", response);
    EXPECT_EQ(master.getTotalCounter(), master.getSuccessCounter());
}

TEST(SimulatedDevice, HostNameGoesThroughTheNameLookup)
{
    MbusTcpMasterProtocol master;
    openOn(master, simulatorPort("MBUS_SIM_TCP_PORT"), "localhost");
    short value[1];
    EXPECT_EQ(MBUS_SUCCESS, master.readMultipleRegisters(1, 8, value, 1));
    EXPECT_EQ(7, value[0]);
}

TEST(SimulatedDevice, PollDelaySpacesTheSends)
{
    MbusTcpMasterProtocol master;
    ASSERT_EQ(MBUS_SUCCESS, master.setPollDelay(150));
    openOn(master, simulatorPort("MBUS_SIM_TCP_PORT"));
    short value[1];
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < 3; ++i)
        ASSERT_EQ(MBUS_SUCCESS, master.readMultipleRegisters(1, 1, value, 1)); // the first never waits
    // Ticks are whole milliseconds, so each interval may come up to 1 ms short in real time.
    EXPECT_GE(millisecondsSince(start), 298);
}

TEST(SimulatedDevice, FlatInterfaceOverModbusUdp)
{
    const int port = simulatorPort("MBUS_SIM_UDP_PORT");
    ASSERT_GT(port, 0);
    MbusHandle master = mbusNewUdpMaster();
    ASSERT_NE(nullptr, master);
    ASSERT_EQ(MBUS_SUCCESS, mbusSetPort(master, static_cast<unsigned short>(port)));
    ASSERT_EQ(MBUS_SUCCESS, mbusOpenConnection(master, "127.0.0.1"));
    short regs[3] = {};
    EXPECT_EQ(MBUS_SUCCESS, mbusReadMultipleRegisters(master, 1, 21, regs, 3));
    EXPECT_EQ(20, regs[0]);
    EXPECT_EQ(22, regs[2]);
    EXPECT_EQ(MBUS_SUCCESS, mbusWriteSingleRegister(master, 1, 51, -7));
    EXPECT_EQ(MBUS_SUCCESS, mbusReadMultipleRegisters(master, 1, 51, regs, 1));
    EXPECT_EQ(-7, regs[0]);
    mbusCloseConnection(master);
    EXPECT_EQ(MBUS_ILLEGAL_STATE, mbusReadMultipleRegisters(master, 1, 51, regs, 1));
    mbusDestroy(master);
}

TEST(SimulatedDevice, RtuAndAsciiFramesOverTcp)
{
    MbusRtuOverTcpMasterProtocol rtu;
    openOn(rtu, simulatorPort("MBUS_SIM_RTU_OVER_TCP_PORT"));
    readsTheDemoContents(rtu);
    writesAndReadsBack(rtu, 61);
    MbusAsciiOverTcpMasterProtocol ascii;
    openOn(ascii, simulatorPort("MBUS_SIM_ASCII_OVER_TCP_PORT"));
    readsTheDemoContents(ascii);
    writesAndReadsBack(ascii, 71);
}

TEST(SimulatedDevice, EveryIpMasterOverIpv6)
{
    MbusTcpMasterProtocol tcp;
    openOn(tcp, simulatorPort("MBUS_SIM_TCP_IPV6_PORT"), "[::1]");
    readsTheDemoContents(tcp);
    writesAndReadsBack(tcp, 81);
    MbusUdpMasterProtocol udp;
    openOn(udp, simulatorPort("MBUS_SIM_UDP_IPV6_PORT"), "::1");
    readsTheDemoContents(udp);
    MbusRtuOverTcpMasterProtocol rtu;
    openOn(rtu, simulatorPort("MBUS_SIM_RTU_OVER_TCP_IPV6_PORT"), "::1");
    readsTheDemoContents(rtu);
}

TEST(WindowsSockets, DottedAddressesAndNameLookup)
{
    net::startup();
    EXPECT_EQ(htonl(0x7F000001), net::parseDottedAddress("127.0.0.1"));
    EXPECT_EQ(htonl(0xC0A8000A), net::parseDottedAddress("192.168.0.10"));
    EXPECT_EQ(net::kNoAddress, net::parseDottedAddress("localhost"));
    EXPECT_EQ(net::kNoAddress, net::parseDottedAddress("255.255.255.255"));
    net::Endpoint found[net::kFamilyCount];
    ASSERT_GE(net::lookupHost("localhost", found), 1);
    EXPECT_EQ(0, net::lookupHost("no-such-host.invalid", found));
    net::Endpoint v6;
    ASSERT_TRUE(net::parseIpv6Address("::1", &v6));
    EXPECT_EQ(net::Endpoint::Family::Ipv6, v6.family);
    EXPECT_EQ(1, v6.address[15]);
    EXPECT_FALSE(net::parseIpv6Address("::g", &v6));
    net::cleanup();
}

TEST(WindowsSockets, RefusedConnectFailsWithoutWaitingOutTheTimeout)
{
    MbusTcpMasterProtocol master;
    ASSERT_EQ(MBUS_SUCCESS, master.setPort(static_cast<std::uint16_t>(freshlyClosedPort(SOCK_STREAM))));
    ASSERT_EQ(MBUS_SUCCESS, master.setTimeout(10000));
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(MBUS_TCP_CONNECTION_ERROR, master.openConnection("127.0.0.1"));
    // Windows reports a failed connect as an exception, never as writable: a wait for
    // writability alone would only end after the full 10 s.
    EXPECT_LT(millisecondsSince(start), 8000);
    EXPECT_FALSE(master.isOpen());
    EXPECT_EQ(MBUS_TCP_CONNECTION_ERROR, master.openConnection("no-such-host.invalid"));
    EXPECT_FALSE(master.isOpen());
}

TEST(WindowsSockets, SilentPeerTimesOutAndTheNextTransactionReconnects)
{
    ScriptedPeer peer(ScriptedPeer::Transport::Stream);
    InspectableTcpMaster master;
    openOn(master, peer.port());
    peer.push(Action::Silent);
    short value[1];
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(MBUS_REPLY_TIMEOUT, master.readMultipleRegisters(1, 1, value, 1));
    EXPECT_GE(millisecondsSince(start), kShortTimeoutMs - 1);
    EXPECT_TRUE(master.isOpen());
    EXPECT_TRUE(master.isReconnectPending());
    EXPECT_EQ(1, peer.connections());
    ASSERT_EQ(MBUS_SUCCESS, master.readMultipleRegisters(1, 5, value, 1));
    EXPECT_EQ(4, value[0]);
    EXPECT_EQ(2, peer.connectionsAfterAccepting(2));
    EXPECT_FALSE(master.isReconnectPending());
}

TEST(WindowsSockets, TimeoutsAreRetriedOnFreshConnections)
{
    ScriptedPeer peer(ScriptedPeer::Transport::Stream);
    MbusTcpMasterProtocol master;
    ASSERT_EQ(MBUS_SUCCESS, master.setRetryCnt(2));
    openOn(master, peer.port());
    for (int i = 0; i < 3; ++i)
        peer.push(Action::Silent);
    short value[1];
    EXPECT_EQ(MBUS_REPLY_TIMEOUT, master.readMultipleRegisters(1, 1, value, 1));
    EXPECT_EQ(3, peer.requests());
    EXPECT_EQ(3, peer.connectionsAfterAccepting(3));
    EXPECT_EQ(3, master.getTotalCounter());
    EXPECT_EQ(0, master.getSuccessCounter());
}

TEST(WindowsSockets, ClosedPeerGivesConnectionClosedUntilReopened)
{
    ScriptedPeer peer(ScriptedPeer::Transport::Stream);
    MbusTcpMasterProtocol master;
    openOn(master, peer.port());
    peer.push(Action::Close);
    short value[1];
    EXPECT_EQ(MBUS_CONNECTION_CLOSED, master.readMultipleRegisters(1, 1, value, 1));
    EXPECT_TRUE(master.isOpen());
    EXPECT_EQ(MBUS_CONNECTION_CLOSED, master.readMultipleRegisters(1, 1, value, 1));
    master.closeConnection();
    ASSERT_EQ(MBUS_SUCCESS, master.openConnection("127.0.0.1"));
    EXPECT_EQ(MBUS_SUCCESS, master.readMultipleRegisters(1, 3, value, 1));
    EXPECT_EQ(2, value[0]);
}

TEST(WindowsSockets, LateCutAndTricklingReplies)
{
    ScriptedPeer peer(ScriptedPeer::Transport::Stream);
    MbusTcpMasterProtocol master;
    openOn(master, peer.port());
    short regs[10];
    peer.push(Action::LateId);
    EXPECT_EQ(MBUS_INVALID_MBAP_ID, master.readMultipleRegisters(1, 1, regs, 10));
    // The rest of the late reply is drained before the next request goes out.
    ASSERT_EQ(MBUS_SUCCESS, master.readMultipleRegisters(1, 11, regs, 10));
    EXPECT_EQ(19, regs[9]);
    peer.push(Action::CutHalf);
    EXPECT_EQ(MBUS_REPLY_TIMEOUT, master.readMultipleRegisters(1, 1, regs, 10));
    // 29 bytes 20 ms apart: far longer in all than the 300 ms time-out, which bounds each wait.
    peer.push(Action::Trickle);
    ASSERT_EQ(MBUS_SUCCESS, master.readMultipleRegisters(1, 21, regs, 10));
    EXPECT_EQ(29, regs[9]);
    peer.push(Action::UnitZero);
    EXPECT_EQ(MBUS_SUCCESS, master.readMultipleRegisters(17, 1, regs, 1));
}

TEST(WindowsSockets, DestroyingAnOpenMasterClosesItsSocket)
{
    ScriptedPeer peer(ScriptedPeer::Transport::Stream);
    auto master = std::make_unique<InspectableTcpMaster>();
    openOn(*master, peer.port());
    const SOCKET socket = static_cast<SOCKET>(master->socket());
    int type = 0;
    int length = sizeof type;
    ASSERT_EQ(0, ::getsockopt(socket, SOL_SOCKET, SO_TYPE, reinterpret_cast<char *>(&type), &length));
    EXPECT_EQ(SOCK_STREAM, type);
    master.reset();
    // The master's own start-up reference is gone too; keep the library up for the check.
    WSADATA data;
    ::WSAStartup(MAKEWORD(2, 2), &data);
    EXPECT_NE(0, ::getsockopt(socket, SOL_SOCKET, SO_TYPE, reinterpret_cast<char *>(&type), &length));
    EXPECT_EQ(WSAENOTSOCK, ::WSAGetLastError());
    ::WSACleanup();
}

TEST(WindowsSockets, DatagramChecks)
{
    ScriptedPeer peer(ScriptedPeer::Transport::Datagram);
    MbusUdpMasterProtocol master;
    ASSERT_EQ(MBUS_SUCCESS, master.setRetryCnt(2));
    openOn(master, peer.port());
    short regs[4];
    for (int i = 0; i < 3; ++i)
        peer.push(Action::Silent);
    EXPECT_EQ(MBUS_REPLY_TIMEOUT, master.readMultipleRegisters(1, 1, regs, 4));
    EXPECT_EQ(3, peer.requests());
    peer.push(Action::Short);
    EXPECT_EQ(MBUS_INVALID_REPLY_ERROR, master.readMultipleRegisters(1, 1, regs, 4));
    // Longer than any frame: Windows fails the receive (WSAEMSGSIZE).
    peer.push(Action::Oversize);
    EXPECT_EQ(MBUS_IO_ERROR, master.readMultipleRegisters(1, 1, regs, 4));
    peer.push(Action::UnitZero);
    ASSERT_EQ(MBUS_SUCCESS, master.readMultipleRegisters(9, 31, regs, 4));
    EXPECT_EQ(33, regs[3]);
    EXPECT_EQ(MBUS_SUCCESS, master.readMultipleRegisters(9, 1, regs, 4));
}

TEST(WindowsSockets, DatagramToNobodyTimesOutOrReportsTheRefusal)
{
    MbusUdpMasterProtocol master;
    openOn(master, freshlyClosedPort(SOCK_DGRAM)); // nothing is sent yet, so this succeeds
    EXPECT_TRUE(master.isOpen());
    short value[1];
    const int result = master.readMultipleRegisters(1, 1, value, 1);
    // Windows reports the refused datagram as WSAECONNRESET on the next receive.
    EXPECT_TRUE(result == MBUS_REPLY_TIMEOUT || result == MBUS_TCP_CONNECTION_ERROR) << result;
    EXPECT_TRUE(master.isOpen());
}
