// The mbus program against the simulated Modbus/TCP device on loopback: output, and the exit
// status of every failure family.
#include "sim/ascii_over_tcp_device.h"
#include "sim/rtu_over_tcp_device.h"
#include "sim/tcp_device.h"
#include "sim/udp_device.h"
#include "tests/cli/mbus_process.h"
#include "tests/hardening/raw_peer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <thread>

namespace {

class MbusTcp : public ::testing::Test {
protected:
    void SetUp() override
    {
        const int port = device.start();
        ASSERT_GT(port, 0);
        url = "tcp://127.0.0.1:" + std::to_string(port);
    }
    MbusRun mbus(std::vector<std::string> arguments, bool terminal = false)
    {
        arguments.insert(arguments.begin() + 1, url);
        return runMbus(arguments, terminal);
    }

    sim::TcpDevice device;
    std::string url;
};

TEST_F(MbusTcp, ReadsRegistersAsTypedValuesInEveryFormat)
{
    device.setHoldingRegister(99, 0x4049); // pi, high word first
    device.setHoldingRegister(100, 0x0FDB);
    MbusRun run = mbus({"read", "holding", "100", "--type", "float", "--order", "abcd"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "address  raw        value\n100      4049 0FDB  3.1415927\n");

    run = mbus({"read", "--unit", "7", "holding", "99", "--base", "0", "-c", "2", "-f", "json"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "[{\"address\":99,\"raw\":\"4049\",\"value\":16457},{\"address\":100,\"raw\":\"0FDB\",\"value\":4059}]\n");

    device.setDiscreteInput(2, true);
    run = mbus({"read", "discrete", "2", "-c", "3", "-f", "csv"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "address,value\n2,0\n3,1\n4,0\n");
}

TEST_F(MbusTcp, ReadsMoreThanOneRequestHoldsWithoutSplittingValues)
{
    for (int a = 0; a < 300; ++a)
        device.setInputRegister(std::uint16_t(a), std::uint16_t(a));
    const MbusRun run = mbus({"read", "input", "1", "-c", "100", "--type", "uint32", "--order", "abcd", "-f", "csv"});
    EXPECT_EQ(run.status, 0) << run.err;
    // 200 registers: 124 in the first request, 76 in the second; pair 62 straddles no boundary.
    EXPECT_NE(run.out.find("\n125,007C 007D,8126589\n"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("\n199,00C6 00C7,12976327\n"), std::string::npos) << run.out;
    EXPECT_EQ(device.requests().size(), 2u);
}

TEST_F(MbusTcp, WritesWhatTheDeviceThenHolds)
{
    MbusRun run = mbus({"write", "holding", "11", "-1.5", "1e-3", "--type", "double", "--order", "dcba"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(device.holdingRegister(13), 0xF8BF); // -1.5 = BFF8 0000 0000 0000, bytes reversed
    run = mbus({"read", "holding", "11", "-c", "2", "--type", "double", "--order", "dcba", "-f", "csv"});
    EXPECT_EQ(run.out, "address,raw,value\n11,0000 0000 0000 F8BF,-1.5\n15,FCA9 F1D2 4D62 503F,0.001\n");

    EXPECT_EQ(mbus({"write", "holding", "1", "-2"}).status, 0);
    EXPECT_EQ(device.holdingRegister(0), 0xFFFE);
    EXPECT_EQ(mbus({"write", "coils", "5", "on", "0", "1"}).status, 0);
    EXPECT_TRUE(device.coil(4));
    EXPECT_FALSE(device.coil(5));
    EXPECT_TRUE(device.coil(6));
    EXPECT_EQ(mbus({"write", "holding", "20", "AB", "--type", "text", "--multiple"}).status, 0);
    EXPECT_EQ(device.holdingRegister(19), 0x4142);
    // Functions 16, 3 (the read), 6, 15 and 16 went out, in this order.
    const auto requests = device.requests();
    ASSERT_EQ(requests.size(), 5u);
    EXPECT_EQ(requests[0][7], 16);
    EXPECT_EQ(requests[2][7], 6);
    EXPECT_EQ(requests[3][7], 15);
    EXPECT_EQ(requests[4][7], 16);
}

TEST_F(MbusTcp, ExitStatusNamesTheFamilyOfTheFailure)
{
    device.pushFault({sim::FaultKind::Exception, 2});
    MbusRun run = mbus({"read", "holding", "1"});
    EXPECT_EQ(run.status, 4);
    EXPECT_EQ(run.err, "mbus: Illegal Data Address exception response (result 162)\n");
    EXPECT_EQ(run.out, "");

    device.pushFault({sim::FaultKind::Drop, 0});
    run = mbus({"read", "coils", "1", "--timeout", "100"});
    EXPECT_EQ(run.status, 3);
    EXPECT_EQ(run.err, "mbus: Reply time-out (result 132)\n");

    for (const std::vector<std::string> &wrong : std::vector<std::vector<std::string>>{
             {"read", "holding", "0"},                       // before the first address
             {"read", "holding", "65536", "-c", "2"},        // past the last one
             {"read", "coils", "1", "--type", "float"},      // bits have no type
             {"read", "holding", "1", "--type", "mod10000", "--order", "abcd"},
             {"write", "input", "1", "5"},                   // input registers are read-only
             {"write", "holding", "1", "70000"},             // no int16
             {"read", "holding", "1", "--unit", "256"},      // beyond Modbus/TCP's unit ids
             {"read", "holding", "1", "--bogus"}}) {
        run = mbus(wrong);
        EXPECT_EQ(run.status, 1) << wrong[2] << " " << run.err;
        EXPECT_NE(run.err, "");
    }
    EXPECT_EQ(device.requests().size(), 2u); // only the two above reached the device

    run = runMbus({"read", "tcp://127.0.0.1:1", "holding", "1"});
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.err, "mbus: cannot open tcp://127.0.0.1:1: TCP/IP connection error (result 68)\n");
}

TEST_F(MbusTcp, TracesEveryFrameOnStandardError)
{
    device.setHoldingRegister(0, 42);
    MbusRun run = mbus({"read", "holding", "1", "--trace"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "address  raw   value\n1        002A  42\n");
    const std::string sent = " ms sent 00 01 00 00 00 06 01 03 00 00 00 01\n";
    const std::string received = " ms received 00 01 00 00 00 05 01 03 02 00 2A\n";
    const std::size_t at = run.err.find(sent);
    ASSERT_NE(at, std::string::npos) << run.err;
    EXPECT_NE(run.err.find(received, at + sent.size()), std::string::npos) << run.err;

    // A reply that never comes leaves the request alone in the trace.
    device.pushFault({sim::FaultKind::Drop, 0});
    run = mbus({"read", "holding", "1", "--trace", "--timeout", "100"});
    EXPECT_EQ(run.status, 3);
    EXPECT_NE(run.err.find(sent), std::string::npos) << run.err;
    EXPECT_EQ(run.err.find(" ms received"), std::string::npos) << run.err;
}

TEST_F(MbusTcp, ScanListsTheUnitsThatAnswer)
{
    device.pushFault({sim::FaultKind::Drop, 0});
    device.pushFault({sim::FaultKind::Exception, 2});
    MbusRun run = mbus({"scan", "--from", "5", "--to", "7"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "unit  reply\n6     Illegal Data Address exception response\n7     ok\n");

    // Silence everywhere: eight units wait 250 ms each, not the library's usual second.
    device.setPersistentFault({sim::FaultKind::Drop, 0});
    const auto started = std::chrono::steady_clock::now();
    run = mbus({"scan", "--to", "8", "-f", "json"});
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(6));
    EXPECT_EQ(run.status, 3);
    EXPECT_EQ(run.out, "[]\n");
    EXPECT_EQ(run.err, "mbus: no unit answered; the last failure: Reply time-out (result 132)\n");
}

TEST_F(MbusTcp, WatchPrintsOneLineForEachPollAndValue)
{
    device.setHoldingRegister(0, 5);
    device.pushFault({sim::FaultKind::None, 0});
    device.pushFault({sim::FaultKind::Exception, 4});
    const MbusRun run = mbus({"watch", "holding", "1", "-n", "3", "-i", "20", "-f", "csv"});
    EXPECT_EQ(run.status, 0) << run.err;
    // Two good polls, the failed one between them on standard error with its time.
    EXPECT_EQ(run.out.rfind("time,address,raw,value\n", 0), 0u) << run.out;
    EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '\n'), 3);
    EXPECT_EQ(std::count(run.out.begin(), run.out.end(), 'Z'), 2);
    EXPECT_NE(run.out.find("Z,1,0005,5\n"), std::string::npos);
    EXPECT_NE(run.err.find("Z: Slave Device Failure exception response (result 164)\n"), std::string::npos) << run.err;
}

TEST_F(MbusTcp, WatchOnATerminalShowsChangedValuesInReverseVideo)
{
    device.setHoldingRegister(1, 7);
    // The value changes once the first poll has been answered, well before the second.
    std::thread changer([this] {
        for (int i = 0; i < 1000 && device.requests().empty(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        device.setHoldingRegister(1, 8);
    });
    const MbusRun run = mbus({"watch", "holding", "1", "-c", "2", "-n", "2", "-i", "1000"}, true);
    changer.join();
    EXPECT_EQ(run.status, 0) << run.err;
    const std::size_t second = run.out.find("poll 2");
    ASSERT_NE(second, std::string::npos) << run.out;
    EXPECT_EQ(run.out.rfind("\x1b[H\x1b[2J", 0), 0u);
    EXPECT_EQ(run.out.find("\x1b[7m"), run.out.find("\x1b[7m8\x1b[0m")) << run.out; // only the changed value
    EXPECT_GT(run.out.find("\x1b[7m8\x1b[0m"), second);
    EXPECT_NE(run.out.find("1        0000  0\r\n"), std::string::npos) << run.out;
}

TEST(MbusTransports, EveryIpTransportReachesItsDevice)
{
    sim::UdpDevice udp;
    sim::RtuOverTcpDevice rtu;
    sim::AsciiOverTcpDevice ascii;
    const std::pair<sim::DeviceBase *, std::string> devices[] = {
        {&udp, "udp://127.0.0.1:" + std::to_string(udp.start())},
        {&rtu, "rtu-over-tcp://127.0.0.1:" + std::to_string(rtu.start())},
        {&ascii, "ascii-over-tcp://localhost:" + std::to_string(ascii.start())}};
    for (const auto &[device, url] : devices) {
        device->setInputRegister(9, 0xFFFF);
        const MbusRun run = runMbus({"read", url, "-u", "3", "input", "10", "-f", "csv"});
        EXPECT_EQ(run.status, 0) << url << run.err;
        EXPECT_EQ(run.out, "address,raw,value\n10,FFFF,-1\n") << url;
    }
}

TEST(MbusInfo, ReadsTheIdentificationPageByPage)
{
    // Two pages: VendorName and ProductCode, then MajorMinorRevision.
    RawPeer peer([](const std::vector<std::uint8_t> &request) {
        std::vector<std::uint8_t> reply(request.begin(), request.begin() + 8);
        const std::vector<std::uint8_t> first{0x0E, 0x01, 0x01, 0xFF, 0x02, 0x02, 0x00, 0x04,
                                              'A',  'c',  'm',  'e',  0x01, 0x02, 'X',  '7'};
        const std::vector<std::uint8_t> second{0x0E, 0x01, 0x01, 0x00, 0x00, 0x01, 0x02, 0x03, '1', ',', '2'};
        const auto &page = request.size() == 11 && request[10] == 0x02 ? second : first;
        reply.insert(reply.end(), page.begin(), page.end());
        reply[5] = std::uint8_t(2 + page.size());
        return reply;
    });
    const int port = peer.start();
    ASSERT_GT(port, 0);
    const MbusRun run = runMbus({"info", "tcp://127.0.0.1:" + std::to_string(port), "-f", "csv"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "id,name,value\n0,VendorName,Acme\n1,ProductCode,X7\n2,MajorMinorRevision,\"1,2\"\n");
    EXPECT_EQ(peer.requests(), 2);


    // The RTU framing reads the replies by their announced length, over two pages here.
    sim::RtuOverTcpDevice rtu;
    rtu.setDeviceObject(0, "Acme");
    rtu.setDeviceObject(0x80, std::string(200, 'x'));
    rtu.setDeviceObject(0x81, std::string(200, 'y'));
    const MbusRun framed = runMbus({"info", "rtu-over-tcp://127.0.0.1:" + std::to_string(rtu.start()), "--level",
                                    "extended", "-f", "csv"});
    EXPECT_EQ(framed.status, 0) << framed.err;
    EXPECT_EQ(framed.out, "id,name,value\n0,VendorName,Acme\n128,object 0x80," + std::string(200, 'x') +
                              "\n129,object 0x81," + std::string(200, 'y') + "\n");
    EXPECT_EQ(rtu.requests().size(), 2u);
}

} // namespace
