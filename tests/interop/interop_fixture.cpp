#include "tests/interop/interop_fixture.h"

#include <string>
#include <vector>

namespace {

// A device lives for the length of one test; its own limit only matters if the test dies.
constexpr const char *kDeviceLifetimeSeconds = "60";
// Python and pymodbus take a while to start on a busy machine.
constexpr int kAnnounceMs = 15000;

const char *transportArgument(Transport transport)
{
    switch (transport) {
    case Transport::Tcp:
        return "tcp";
    case Transport::Udp:
        return "udp";
    case Transport::RtuOverTcp:
        return "rtu-over-tcp";
    case Transport::AsciiOverTcp:
        return "ascii-over-tcp";
    case Transport::RtuPty:
        return "rtu-pty";
    case Transport::AsciiPty:
        return "ascii-pty";
    }
    return "";
}

std::vector<std::string> deviceCommand(const PeerProfile &peer)
{
    std::vector<std::string> argv;
    if (peer.peer == Peer::Libmodbus) {
        argv.push_back(MBUS_INTEROP_LIBMODBUS_DEVICE);
    } else {
        // The system's interpreter: the pymodbus under test is the one of the Debian package.
        argv.push_back(MBUS_INTEROP_PYTHON);
        argv.push_back(MBUS_INTEROP_PYMODBUS_DEVICE);
    }
    argv.insert(argv.end(), {"--transport", transportArgument(peer.transport), "--seconds", kDeviceLifetimeSeconds});
    return argv;
}

MbusHandle newMaster(Transport transport)
{
    switch (transport) {
    case Transport::Tcp:
        return mbusNewTcpMaster();
    case Transport::Udp:
        return mbusNewUdpMaster();
    case Transport::RtuOverTcp:
        return mbusNewRtuOverTcpMaster();
    case Transport::AsciiOverTcp:
        return mbusNewAsciiOverTcpMaster();
    case Transport::RtuPty:
        return mbusNewRtuMaster();
    case Transport::AsciiPty:
        return mbusNewAsciiMaster();
    }
    return nullptr;
}

} // namespace

void Interop::SetUp()
{
    std::string problem = device.start(deviceCommand(profile()), kAnnounceMs);
    // A missing or broken peer is a failure: the point of these tests is that it answers.
    ASSERT_TRUE(problem.empty()) << problem;
    open();
}

void Interop::TearDown()
{
    mbusDestroy(master);
    master = nullptr;
    device.stop();
}

bool Interop::isSerialLine() const
{
    return profile().transport == Transport::RtuPty || profile().transport == Transport::AsciiPty;
}

bool Interop::isMbapFramed() const
{
    return profile().transport == Transport::Tcp || profile().transport == Transport::Udp;
}

void Interop::open(int timeoutMs, int retryCnt)
{
    mbusDestroy(master);
    master = newMaster(profile().transport);
    ASSERT_NE(master, nullptr);
    ASSERT_EQ(MBUS_SUCCESS, mbusSetTimeout(master, timeoutMs));
    ASSERT_EQ(MBUS_SUCCESS, mbusSetRetryCnt(master, retryCnt));
    if (isSerialLine()) {
        // A pseudo-terminal carries bytes at any rate; the settings only have to be accepted.
        ASSERT_EQ(MBUS_SUCCESS, mbusOpenSerialPort(master, device.ptyPath().c_str(), 19200, 8, 1, MBUS_PARITY_NONE))
            << device.ptyPath();
    } else {
        ASSERT_EQ(MBUS_SUCCESS, mbusSetPort(master, static_cast<unsigned short>(device.port())));
        ASSERT_EQ(MBUS_SUCCESS, mbusOpenConnection(master, "127.0.0.1"));
    }
}
