// Opening, closing and reopening a Modbus/TCP connection.
#include "tcp_fixture.h"

#include <netinet/in.h>
#include <sys/socket.h>
#include <fcntl.h>
#include <unistd.h>

using namespace mbus;

using TcpConnection = TcpMasterTest;

TEST_F(TcpConnection, OpensByDottedAddressAndByName)
{
    ASSERT_EQ(MBUS_SUCCESS, master.openConnection("127.0.0.1"));
    EXPECT_TRUE(master.isOpen());
    master.closeConnection();
    EXPECT_FALSE(master.isOpen());
    master.closeConnection(); // harmless on a closed master
    EXPECT_FALSE(master.isOpen());
    ASSERT_EQ(MBUS_SUCCESS, master.openConnection("localhost"));
    EXPECT_TRUE(master.isOpen());
    EXPECT_EQ(2, connectionsAfterAccepting(2));
}

TEST_F(TcpConnection, OpenWhileOpenIsRefusedAndKeepsTheConnection)
{
    open();
    EXPECT_EQ(MBUS_ILLEGAL_STATE, master.openConnection("127.0.0.1"));
    EXPECT_EQ(MBUS_ILLEGAL_STATE, master.setPort(1502));
    EXPECT_EQ(port, master.getPort());
    EXPECT_EQ(MBUS_ILLEGAL_STATE, master.setTimeout(500));
    short value[1];
    EXPECT_EQ(MBUS_SUCCESS, master.readMultipleRegisters(1, 1, value, 1));
}

TEST_F(TcpConnection, UnknownHostGivesConnectionErrorWithoutSocket)
{
    EXPECT_EQ(MBUS_TCP_CONNECTION_ERROR, master.openConnection("no-such-host.invalid"));
    EXPECT_FALSE(master.isOpen());
    EXPECT_EQ(MBUS_SUCCESS, master.openConnection("127.0.0.1")); // may be tried again at once
}

TEST(SocketLayer, DottedAddressConversion)
{
    EXPECT_EQ(htonl(0x7F000001), net::parseDottedAddress("127.0.0.1"));
    EXPECT_EQ(htonl(0xC0A8000A), net::parseDottedAddress("192.168.0.10"));
    EXPECT_EQ(net::kNoAddress, net::parseDottedAddress("localhost"));
    // The broadcast address converts to the "no address" value, so it goes on to the lookup.
    EXPECT_EQ(net::kNoAddress, net::parseDottedAddress("255.255.255.255"));
    net::Endpoint found[net::kFamilyCount];
    EXPECT_EQ(0, net::lookupHost("no-such-host.invalid", found));
}

TEST_F(TcpConnection, NothingListeningGivesConnectionError)
{
    // A port that was just free: bind, read its number, close.
    int probe = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(0, ::bind(probe, reinterpret_cast<sockaddr *>(&address), sizeof address));
    socklen_t length = sizeof address;
    ::getsockname(probe, reinterpret_cast<sockaddr *>(&address), &length);
    ::close(probe);

    ASSERT_EQ(MBUS_SUCCESS, master.setPort(ntohs(address.sin_port)));
    EXPECT_EQ(MBUS_TCP_CONNECTION_ERROR, master.openConnection("127.0.0.1"));
    EXPECT_FALSE(master.isOpen());
}

TEST_F(TcpConnection, ConnectTimeoutGivesConnectionError)
{
    UnansweredListener listener;
    ASSERT_GT(listener.port(), 0);
    ASSERT_EQ(MBUS_SUCCESS, master.setPort(static_cast<std::uint16_t>(listener.port())));
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(MBUS_TCP_CONNECTION_ERROR, master.openConnection("127.0.0.1"));
    EXPECT_GE(millisecondsSince(start), kShortTimeoutMs - 1); // it was the wait that ended it
    EXPECT_FALSE(master.isOpen());
    {
        SignalStorm storm; // each interrupted wait goes on with what is left, not the whole time-out
        start = std::chrono::steady_clock::now();
        EXPECT_EQ(MBUS_TCP_CONNECTION_ERROR, master.openConnection("127.0.0.1"));
        EXPECT_LT(millisecondsSince(start), 2000);
    }
}

TEST_F(TcpConnection, PortTakesEffectAtTheNextOpen)
{
    sim::TcpDevice other;
    int otherPort = other.start();
    ASSERT_GT(otherPort, 0);
    open();
    master.closeConnection();
    ASSERT_EQ(MBUS_SUCCESS, master.setPort(static_cast<std::uint16_t>(otherPort)));
    EXPECT_EQ(otherPort, master.getPort());
    open();
    EXPECT_EQ(otherPort, master.getPort());
    short value[1];
    EXPECT_EQ(MBUS_SUCCESS, master.readMultipleRegisters(1, 1, value, 1));
    EXPECT_EQ(1, other.connectionCount());
    EXPECT_EQ(1, connectionsAfterAccepting(1));
}

TEST_F(TcpConnection, DestroyingAnOpenMasterClosesItsSocket)
{
    auto *owned = new InspectableTcpMaster();
    ASSERT_EQ(MBUS_SUCCESS, owned->setPort(static_cast<std::uint16_t>(port)));
    ASSERT_EQ(MBUS_SUCCESS, owned->openConnection("127.0.0.1"));
    short value[1];
    ASSERT_EQ(MBUS_SUCCESS, owned->readMultipleRegisters(1, 1, value, 1)); // the device has accepted it
    int fd = static_cast<int>(owned->socket());
    ASSERT_NE(-1, ::fcntl(fd, F_GETFD));
    delete owned;
    EXPECT_EQ(-1, ::fcntl(fd, F_GETFD));
}

TEST_F(TcpConnection, FlatInterfaceOpensReadsAndCloses)
{
    MbusHandle handle = mbusNewTcpMaster();
    ASSERT_NE(nullptr, handle);
    ASSERT_EQ(MBUS_SUCCESS, mbusSetPort(handle, static_cast<unsigned short>(port)));
    ASSERT_EQ(MBUS_SUCCESS, mbusOpenConnection(handle, "127.0.0.1"));
    EXPECT_EQ(1, mbusIsOpen(handle));
    device.setHoldingRegister(9, 0x1234);
    short value[1];
    EXPECT_EQ(MBUS_SUCCESS, mbusReadMultipleRegisters(handle, 1, 10, value, 1));
    EXPECT_EQ(0x1234, value[0]);
    mbusCloseConnection(handle);
    EXPECT_EQ(0, mbusIsOpen(handle));
    EXPECT_EQ(MBUS_ILLEGAL_STATE, mbusReadMultipleRegisters(handle, 1, 10, value, 1));
    mbusDestroy(handle);
}
