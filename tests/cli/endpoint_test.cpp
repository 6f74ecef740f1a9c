// URLs as a user types them, and the mistakes a user makes.
#include "cli/endpoint.h"

#include "mbus.h"

#include <gtest/gtest.h>

TEST(Endpoint, ReadsEveryTransportAndItsSettings)
{
    Endpoint e;
    std::string error;
    ASSERT_TRUE(Endpoint::parse("tcp://plc.local", e, error)) << error;
    EXPECT_EQ(e.transport, Transport::Tcp);
    EXPECT_EQ(e.host, "plc.local");
    EXPECT_EQ(e.port, 0);

    ASSERT_TRUE(Endpoint::parse("udp://10.0.0.7:1502?timeout=300", e, error)) << error;
    EXPECT_EQ(e.transport, Transport::Udp);
    EXPECT_EQ(e.port, 1502);
    EXPECT_EQ(e.timeoutMs, 300);

    ASSERT_TRUE(Endpoint::parse("ascii-over-tcp://[::1]:2323", e, error)) << error;
    EXPECT_EQ(e.transport, Transport::AsciiOverTcp);
    EXPECT_EQ(e.host, "::1");
    EXPECT_EQ(e.port, 2323);
    ASSERT_TRUE(Endpoint::parse("rtu-over-tcp://[fe80::1]", e, error)) << error;
    EXPECT_EQ(e.host, "fe80::1");

    // tls:// leaves the port to the TLS master, whose own is 802.
    ASSERT_TRUE(Endpoint::parse("tls://plc.local", e, error)) << error;
    EXPECT_EQ(e.transport, Transport::Tls);
    EXPECT_EQ(e.host, "plc.local");
    EXPECT_EQ(e.port, 0);
    MbusHandle tls = mbusNewTlsMaster();
    ASSERT_NE(tls, nullptr);
    EXPECT_EQ(mbusGetPort(tls), 802);
    mbusDestroy(tls);
    ASSERT_TRUE(Endpoint::parse("tls://10.0.0.7:8802?timeout=500", e, error)) << error;
    EXPECT_EQ(e.port, 8802);
    EXPECT_EQ(e.timeoutMs, 500);
    ASSERT_TRUE(Endpoint::parse("tls://[::1]:802", e, error)) << error;
    EXPECT_EQ(e.transport, Transport::Tls);
    EXPECT_EQ(e.host, "::1");
    EXPECT_EQ(e.port, 802);

    ASSERT_TRUE(Endpoint::parse("rtu:/dev/ttyUSB0?baud=9600&parity=none&stopbits=2&rs485=3", e, error)) << error;
    EXPECT_EQ(e.transport, Transport::Rtu);
    EXPECT_EQ(e.device, "/dev/ttyUSB0");
    EXPECT_EQ(e.baudRate, 9600);
    EXPECT_EQ(e.parity, MBUS_PARITY_NONE);
    EXPECT_EQ(e.stopBits, 2);
    EXPECT_EQ(e.dataBits, 8);
    EXPECT_EQ(e.rs485DelayMs, 3);
    EXPECT_EQ(e.maxUnit(), 247);

    ASSERT_TRUE(Endpoint::parse("ascii:COM3?parity=odd", e, error)) << error;
    EXPECT_EQ(e.dataBits, 7);
    EXPECT_EQ(e.parity, MBUS_PARITY_ODD);
    ASSERT_TRUE(Endpoint::parse("rtu-extended:/dev/ttyS1", e, error)) << error;
    EXPECT_EQ(e.transport, Transport::RtuExtended);
    EXPECT_EQ(e.maxUnit(), 2295);
}

TEST(Endpoint, RefusesWhatNamesNoDevice)
{
    for (const char *url : {"", "/dev/ttyUSB0", "modbus://host", "tcp:host", "tcp://", "tcp://:502", "tcp://host:",
                            "tcp://host:0", "tcp://host:65536", "tcp://host:50x", "tcp://[::1", "tcp://[::1]x",
                            "tcp://host?baud=9600", "tcp://host?timeout=0", "rtu:", "rtu:/dev/x?baud",
                            "rtu:/dev/x?parity=mark", "rtu:/dev/x?databits=6", "rtu:/dev/x?stopbits=3",
                            "rtu:/dev/x?speed=9600", "rtu-extended", "rtux:/dev/x", "tls:host", "tls://",
                            "tls://host:", "tls://host:65536", "tls://[::1", "tls://host?baud=9600", "tlss://host"}) {
        Endpoint e;
        std::string error;
        EXPECT_FALSE(Endpoint::parse(url, e, error)) << url;
        EXPECT_FALSE(error.empty()) << url;
    }
}
