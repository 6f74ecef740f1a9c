// The IP masters over IPv6 and with names of both families, against simulated devices on ::1.
// A machine without an IPv6 loopback fails these tests and says why.
#include "tcp_fixture.h"

#include <cstring>
#include <string>

#include "ip/rtu_over_tcp_master_protocol.h"
#include "ip/udp_master_protocol.h"
#include "sim/rtu_over_tcp_device.h"
#include "sim/udp_device.h"

namespace {

constexpr const char *kNoLoopback = "no IPv6 loopback: nothing can listen on ::1 here";
constexpr int kTimeoutMs = 100;

net::Endpoint loopback(net::Endpoint::Family family, int port)
{
    net::Endpoint endpoint;
    if (family == net::Endpoint::Family::Ipv6) {
        EXPECT_TRUE(net::parseIpv6Address("::1", &endpoint));
    } else {
        const std::uint32_t address = net::parseDottedAddress("127.0.0.1");
        std::memcpy(endpoint.address, &address, sizeof address);
    }
    endpoint.port = static_cast<std::uint16_t>(port);
    return endpoint;
}

// The device accepts in its own thread: waits (boundedly) until it has seen n connections.
int connectionsAfter(const sim::StreamServer &device, int n)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (device.connectionCount() < n && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return device.connectionCount();
}

} // namespace

TEST(Ipv6, TcpMasterOpensEveryLiteralForm)
{
    sim::TcpDevice device;
    const int port = device.start(0, "::1");
    ASSERT_GT(port, 0) << kNoLoopback;
    device.setHoldingRegister(4, 1234);
    MbusTcpMasterProtocol master;
    ASSERT_EQ(MBUS_SUCCESS, master.setTimeout(kTimeoutMs));
    ASSERT_EQ(MBUS_SUCCESS, master.setPort(static_cast<std::uint16_t>(port)));
    short value[1];
    for (const char *host : {"::1", "[::1]", "0:0:0:0:0:0:0:1"}) {
        ASSERT_EQ(MBUS_SUCCESS, master.openConnection(host)) << host;
        EXPECT_EQ(MBUS_SUCCESS, master.readMultipleRegisters(1, 5, value, 1));
        EXPECT_EQ(1234, value[0]);
        master.closeConnection();
    }
    // The port in the brackets wins over the one set before, and stays.
    ASSERT_EQ(MBUS_SUCCESS, master.setPort(1));
    ASSERT_EQ(MBUS_SUCCESS, master.openConnection(("[::1]:" + std::to_string(port)).c_str()));
    EXPECT_EQ(port, master.getPort());
    master.closeConnection();
    // A reply time-out with a retry left rebuilds the connection to the address resolved at open.
    ASSERT_EQ(MBUS_SUCCESS, master.setRetryCnt(1));
    ASSERT_EQ(MBUS_SUCCESS, master.openConnection(L"[::1]"));
    device.pushFault(sim::Fault{sim::FaultKind::Drop, 0});
    EXPECT_EQ(MBUS_SUCCESS, master.readMultipleRegisters(1, 5, value, 1));
    EXPECT_EQ(6, connectionsAfter(device, 6));
}

TEST(Ipv6, UdpAndRtuOverTcpMasters)
{
    sim::UdpDevice udpDevice;
    const int udpPort = udpDevice.start(0, "::1");
    ASSERT_GT(udpPort, 0) << kNoLoopback;
    MbusUdpMasterProtocol udp;
    ASSERT_EQ(MBUS_SUCCESS, udp.setTimeout(kTimeoutMs));
    ASSERT_EQ(MBUS_SUCCESS, udp.openConnection(("[::1]:" + std::to_string(udpPort)).c_str()));
    const short written[2] = {7, -8};
    short back[2];
    ASSERT_EQ(MBUS_SUCCESS, udp.writeMultipleRegisters(1, 21, written, 2));
    ASSERT_EQ(MBUS_SUCCESS, udp.readMultipleRegisters(1, 21, back, 2));
    EXPECT_EQ(-8, back[1]);

    sim::RtuOverTcpDevice rtuDevice;
    const int rtuPort = rtuDevice.start(0, "::1");
    ASSERT_GT(rtuPort, 0) << kNoLoopback;
    rtuDevice.setHoldingRegister(0, 99);
    MbusRtuOverTcpMasterProtocol rtu;
    ASSERT_EQ(MBUS_SUCCESS, rtu.setTimeout(kTimeoutMs));
    ASSERT_EQ(MBUS_SUCCESS, rtu.setPort(static_cast<std::uint16_t>(rtuPort)));
    ASSERT_EQ(MBUS_SUCCESS, rtu.openConnection("::1"));
    ASSERT_EQ(MBUS_SUCCESS, rtu.readMultipleRegisters(1, 1, back, 1));
    EXPECT_EQ(99, back[0]);
}

TEST(Ipv6, BadLiteralsAreRefusedLikeUnknownNames)
{
    MbusTcpMasterProtocol master;
    ASSERT_EQ(MBUS_SUCCESS, master.setPort(1502));
    for (const char *host : {"[::1", "[::1]:", "[::1]:65536", "[::1]:123456", "[::1]:12a", "[::1]x", "[]",
                             "[127.0.0.1]", "[localhost]", "::g", "1::2::3", "127.0.0.1:502", "no-such-host.invalid"}) {
        EXPECT_EQ(MBUS_TCP_CONNECTION_ERROR, master.openConnection(host)) << host;
        EXPECT_FALSE(master.isOpen());
    }
    EXPECT_EQ(1502, master.getPort());
}

TEST(Ipv6, NameTriesTheFirstAddressOfEachFamilyInTheResolversOrder)
{
    net::Endpoint found[net::kFamilyCount];
    const int count = net::lookupHost("localhost", found);
    ASSERT_GE(count, 1);
    if (count == 2) {
        EXPECT_NE(found[0].family, found[1].family);
    }
    const bool ipv6First = found[0].family == net::Endpoint::Family::Ipv6;
    // A device on either loopback with the same port: the first family of the lookup gets the
    // connection; without it, the other family does, if the name has one.
    sim::TcpDevice v4;
    sim::TcpDevice v6;
    const int port = v4.start(0, "127.0.0.1");
    ASSERT_GT(port, 0);
    ASSERT_EQ(port, v6.start(port, "::1")) << kNoLoopback << " (or its port is taken)";
    MbusTcpMasterProtocol master;
    ASSERT_EQ(MBUS_SUCCESS, master.setTimeout(kTimeoutMs));
    ASSERT_EQ(MBUS_SUCCESS, master.setPort(static_cast<std::uint16_t>(port)));
    ASSERT_EQ(MBUS_SUCCESS, master.openConnection("localhost"));
    short value[1];
    EXPECT_EQ(MBUS_SUCCESS, master.readMultipleRegisters(1, 1, value, 1));
    EXPECT_EQ(1, connectionsAfter(ipv6First ? v6 : v4, 1));
    master.closeConnection();
    (ipv6First ? v6 : v4).stop();
    EXPECT_EQ(count == 2 ? MBUS_SUCCESS : MBUS_TCP_CONNECTION_ERROR, master.openConnection("localhost"));

    // UDP sends to the first address.
    sim::UdpDevice udpDevice;
    const int udpPort = udpDevice.start(0, ipv6First ? "::1" : "127.0.0.1");
    ASSERT_GT(udpPort, 0);
    MbusUdpMasterProtocol udp;
    ASSERT_EQ(MBUS_SUCCESS, udp.setTimeout(kTimeoutMs));
    ASSERT_EQ(MBUS_SUCCESS, udp.setPort(static_cast<std::uint16_t>(udpPort)));
    ASSERT_EQ(MBUS_SUCCESS, udp.openConnection("localhost"));
    EXPECT_EQ(MBUS_SUCCESS, udp.readMultipleRegisters(1, 1, value, 1));
}

TEST(Ipv6, AddressesAreTriedInOrderWithinOneTimeout)
{
    // Nothing listens on ::1 at the device's port: the refusal leads on to the IPv4 address.
    sim::TcpDevice device;
    const int port = device.start(0, "127.0.0.1");
    ASSERT_GT(port, 0);
    const net::Endpoint refusedFirst[] = {loopback(net::Endpoint::Family::Ipv6, port),
                                          loopback(net::Endpoint::Family::Ipv4, port)};
    TcpLink link;
    EXPECT_EQ(MBUS_SUCCESS, link.connect(refusedFirst, 2, 1000, Clock{}));
    EXPECT_EQ(1, connectionsAfter(device, 1));
    link.close();

    // Three addresses that never answer share one time-out rather than taking one each.
    UnansweredListener silent;
    ASSERT_GT(silent.port(), 0);
    const net::Endpoint unanswered = loopback(net::Endpoint::Family::Ipv4, silent.port());
    const net::Endpoint silentThrice[] = {unanswered, unanswered, unanswered};
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(MBUS_TCP_CONNECTION_ERROR, link.connect(silentThrice, 3, 1000, Clock{}));
    const auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_GE(elapsed, std::chrono::milliseconds(999));
    EXPECT_LT(elapsed, std::chrono::milliseconds(2500));
    EXPECT_FALSE(link.isOpen());
}
