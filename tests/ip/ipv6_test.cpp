// The IP masters over IPv6 and with names of both families. A machine without an IPv6 loopback
// fails these tests and says why.
#include "tcp_fixture.h"

#include <cstring>
#include <string>

#include "ip/rtu_over_tcp_master_protocol.h"
#include "ip/udp_master_protocol.h"
#include "sim/rtu_over_tcp_device.h"
#include "sim/udp_device.h"

namespace {

constexpr const char *kNoLoopback = "no IPv6 loopback: nothing can listen on ::1 here (or the port is taken)";

net::Endpoint endpointOf(const char *text, int port)
{
    net::Endpoint endpoint;
    const std::uint32_t dotted = net::parseDottedAddress(text);
    if (dotted == net::kNoAddress)
        EXPECT_TRUE(net::parseIpv6Address(text, &endpoint)) << text;
    else
        std::memcpy(endpoint.address, &dotted, sizeof dotted);
    endpoint.port = static_cast<std::uint16_t>(port);
    return endpoint;
}

} // namespace

// The fixture's device listens on 127.0.0.1; a second one listens on ::1 at the same port.
class Ipv6 : public TcpMasterTest {
protected:
    void SetUp() override
    {
        TcpMasterTest::SetUp();
        ASSERT_EQ(port, v6.start(port, "::1")) << kNoLoopback;
    }

    sim::TcpDevice v6;
};

TEST_F(Ipv6, TcpMasterOpensEveryLiteralForm)
{
    v6.setHoldingRegister(4, 1234);
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
    // A reply time-out with a retry left reconnects to the address resolved at open.
    ASSERT_EQ(MBUS_SUCCESS, master.setRetryCnt(1));
    ASSERT_EQ(MBUS_SUCCESS, master.openConnection(L"[::1]"));
    v6.pushFault(sim::Fault{sim::FaultKind::Drop, 0});
    EXPECT_EQ(MBUS_SUCCESS, master.readMultipleRegisters(1, 5, value, 1));
    EXPECT_EQ(6, connectionsAfterAccepting(6, &v6));
    EXPECT_EQ(0, device.connectionCount());
}

TEST_F(Ipv6, UdpAndRtuOverTcpMasters)
{
    sim::UdpDevice udpDevice;
    sim::RtuOverTcpDevice rtuDevice;
    const int udpPort = udpDevice.start(0, "::1");
    const int rtuPort = rtuDevice.start(0, "::1");
    ASSERT_GT(udpPort, 0);
    ASSERT_GT(rtuPort, 0);
    MbusUdpMasterProtocol udp;
    MbusRtuOverTcpMasterProtocol rtu;
    ASSERT_EQ(MBUS_SUCCESS, udp.openConnection(("[::1]:" + std::to_string(udpPort)).c_str()));
    ASSERT_EQ(MBUS_SUCCESS, rtu.setPort(static_cast<std::uint16_t>(rtuPort)));
    ASSERT_EQ(MBUS_SUCCESS, rtu.openConnection("::1"));
    const short written[2] = {7, -8};
    for (MbusMasterFunctions *client :
         {static_cast<MbusMasterFunctions *>(&udp), static_cast<MbusMasterFunctions *>(&rtu)}) {
        short back[2] = {};
        ASSERT_EQ(MBUS_SUCCESS, client->writeMultipleRegisters(1, 21, written, 2));
        ASSERT_EQ(MBUS_SUCCESS, client->readMultipleRegisters(1, 21, back, 2));
        EXPECT_EQ(-8, back[1]);
    }
}

TEST_F(Ipv6, BadLiteralsAreRefusedLikeUnknownNames)
{
    for (const char *host : {"[::1", "[::1]:", "[::1]:65536", "[::1]:123456", "[::1]:12a", "[::1]x", "[]",
                             "[127.0.0.1]", "[localhost]", "::g", "1::2::3", "127.0.0.1:502", "no-such-host.invalid"}) {
        EXPECT_EQ(MBUS_TCP_CONNECTION_ERROR, master.openConnection(host)) << host;
        EXPECT_FALSE(master.isOpen());
    }
    EXPECT_EQ(port, master.getPort());
}

TEST_F(Ipv6, NameTriesTheFirstAddressOfEachFamilyInTheResolversOrder)
{
    net::Endpoint found[net::kFamilyCount];
    const int count = net::lookupHost("localhost", found);
    ASSERT_GE(count, 1);
    // The first family gets the connection; without a device there, the other family, if any.
    sim::TcpDevice &first = found[0].family == net::Endpoint::Family::Ipv6 ? v6 : device;
    ASSERT_EQ(MBUS_SUCCESS, master.openConnection("localhost"));
    EXPECT_EQ(1, connectionsAfterAccepting(1, &first));
    master.closeConnection();
    first.stop();
    EXPECT_EQ(count == 2 ? MBUS_SUCCESS : MBUS_TCP_CONNECTION_ERROR, master.openConnection("localhost"));
}

TEST_F(Ipv6, AddressesAreTriedInOrderWithinOneTimeout)
{
    v6.stop(); // a refusal on ::1 leads on to 127.0.0.1
    const net::Endpoint refusedFirst[] = {endpointOf("::1", port), endpointOf("127.0.0.1", port)};
    TcpLink link;
    EXPECT_EQ(MBUS_SUCCESS, link.connect(refusedFirst, 2, 1000, Clock{}));
    EXPECT_EQ(1, connectionsAfterAccepting(1));
    link.close();
    // Three addresses that never answer share one time-out rather than taking one each.
    UnansweredListener silent;
    ASSERT_GT(silent.port(), 0);
    const net::Endpoint unanswered = endpointOf("127.0.0.1", silent.port());
    const net::Endpoint silentThrice[] = {unanswered, unanswered, unanswered};
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(MBUS_TCP_CONNECTION_ERROR, link.connect(silentThrice, 3, 1000, Clock{}));
    const long long elapsed = millisecondsSince(start);
    EXPECT_GE(elapsed, 999);
    EXPECT_LT(elapsed, 2500);
    EXPECT_FALSE(link.isOpen());
}
