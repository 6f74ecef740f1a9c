// The block commands and the serial open in the stand-in host, in this process, with the real
// library against simulated devices: TCP on loopback, RTU and ASCII on pseudo-terminals.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "extension/xop_main.h"
#include "sim/serial_device.h"
#include "sim/tcp_device.h"
#include "xophost/stand_in_host.h"

namespace {

using Outcome = StandInHost::Outcome;

std::string contents(std::FILE *file)
{
    std::fflush(file);
    std::rewind(file);
    std::string text;
    char buffer[4096];
    std::size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0)
        text.append(buffer, n);
    return text;
}

class BlockTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_NE(history, nullptr);
        ASSERT_NE(errors, nullptr);
        port = device.start(0);
        ASSERT_GT(port, 0);
        host = std::make_unique<StandInHost>(800, history, errors);
        std::string error;
        ASSERT_TRUE(host->startModule(XOPMain, XOPGetResource, error)) << error;
        ASSERT_EQ(run("MBOpen /Q IP=\"127.0.0.1\", port=" + std::to_string(port) + ", timeout=2000, delay=0"),
                  Outcome::Done);
    }
    void TearDown() override
    {
        host.reset();
        device.stop();
        std::fclose(history);
        std::fclose(errors);
    }
    Outcome run(const std::string &line) { return host->runLine(line); }
    std::string wave(const std::string &name)
    {
        std::string text;
        EXPECT_TRUE(host->waves().print(name, text)) << name;
        return text;
    }
    double variable(const std::string &name)
    {
        double value = -1;
        EXPECT_TRUE(host->variable(name, value)) << name;
        return value;
    }
    // Requests of one function code the device received since the last clear.
    std::size_t requestsOf(int functionCode)
    {
        std::size_t n = 0;
        for (const auto &frame : device.requests())
            n += frame.size() > 7 && frame[7] == functionCode ? 1 : 0;
        return n;
    }

    std::FILE *history = std::tmpfile();
    std::FILE *errors = std::tmpfile();
    sim::TcpDevice device;
    int port = 0;
    std::unique_ptr<StandInHost> host;
};

TEST_F(BlockTest, EveryTypeAndOrderRoundTripsThroughTheDevice)
{
    // Values each type holds exactly (a float 0.5 steps; mod-10000 no negatives).
    const char *values[] = {"{-2, 0, 32767, -32768}", "{0, 1, 65535, 4660}",  "{-2, 0, 2147483647, -2147483648}",
                            "{0, 1, 4294967295, 305419896}", "{3.25, -0.5, 1048576, 0}", "{1, -2.5e300, 0.1, 7}",
                            "{0, 1, 99999999, 12345678}"};
    for (int type = 0; type < 7; ++type) {
        ASSERT_EQ(run(std::string("make/O/D src=") + values[type]), Outcome::Done);
        for (int order = 0; order < 4; ++order) {
            SCOPED_TRACE("type " + std::to_string(type) + " order " + std::to_string(order));
            const std::string layout = "/T=" + std::to_string(type) + " /B=" + std::to_string(order);
            ASSERT_EQ(run("MBWriteWave /Q " + layout + " IP=\"127.0.0.1\", data=src, HoldingRegister=100"),
                      Outcome::Done);
            ASSERT_EQ(run("MBReadWave /Q " + layout + " /DEST=back IP=\"127.0.0.1\", HoldingRegister={100, 4}"),
                      Outcome::Done);
            std::string expected = wave("src");
            expected.replace(2, 3, "back");
            EXPECT_EQ(wave("back"), expected);
        }
    }
    // The device holds what the layout says: 3.25f = 0x40500000, bytes swapped in each register.
    ASSERT_EQ(run("make/O f={3.25}"), Outcome::Done);
    ASSERT_EQ(run("MBWriteWave /Q /T=4 /B=2 IP=\"127.0.0.1\", data=f, HoldingRegister=7"), Outcome::Done);
    EXPECT_EQ(device.holdingRegister(7), 0x5040);
    EXPECT_EQ(device.holdingRegister(8), 0x0000);
    // Input registers and discrete inputs read the same way; bits land in an unsigned byte wave.
    device.setInputRegister(5, 0xFFFF);
    device.setDiscreteInput(9, true);
    ASSERT_EQ(run("MBReadWave /Q /T=1 IP=\"127.0.0.1\", InputRegister={5, 2}"), Outcome::Done);
    EXPECT_EQ(wave("W_MBRead"), "  W_MBRead[0]= {65535,0}");
    ASSERT_EQ(run("MBReadWave IP=\"127.0.0.1\", DiscreteInput={8, 3}"), Outcome::Done);
    EXPECT_EQ(wave("W_MBRead"), "  W_MBRead[0]= {0,1,0}");
    EXPECT_NE(contents(history).find("=> MODBUS device 255 returned 3 values from discrete input #8 into W_MBRead\n"),
              std::string::npos);
    EXPECT_EQ(contents(errors), "");
}

TEST_F(BlockTest, LongBlocksAreSplitIntoRequestsTheDeviceAccepts)
{
    // 300 32-bit values are 600 registers: 123 per write (whole values: 122), 125 per read (124).
    std::string list = "{";
    for (int i = 0; i < 300; ++i)
        list += (i > 0 ? "," : "") + std::to_string(i * 100003 - 7);
    ASSERT_EQ(run("make/O/D big=" + list + "}"), Outcome::Done);
    device.clearRequests();
    ASSERT_EQ(run("MBWriteWave /Q /T=2 IP=\"127.0.0.1\", data=big, HoldingRegister=1000"), Outcome::Done);
    EXPECT_EQ(requestsOf(16), 5u); // 600 / 122 rounded up
    ASSERT_EQ(run("MBReadWave /Q /T=2 /DEST=big2 IP=\"127.0.0.1\", HoldingRegister={1000, 300}"), Outcome::Done);
    EXPECT_EQ(requestsOf(3), 5u); // 600 / 124 rounded up
    std::string expected = wave("big");
    expected.replace(2, 3, "big2");
    EXPECT_EQ(wave("big2"), expected);
    EXPECT_EQ(variable("V_MBCount"), 300);
    // 2500 coils: 1968 + 532 to write, 2000 + 500 to read; the last address is 65535.
    list = "{";
    for (int i = 0; i < 2500; ++i)
        list += (i > 0 ? "," : "") + std::to_string(i % 3 == 0 ? 1 : 0);
    ASSERT_EQ(run("make/O/Y=0x48 bits=" + list + "}"), Outcome::Done);
    device.clearRequests();
    ASSERT_EQ(run("MBWriteWave /Q IP=\"127.0.0.1\", data=bits, Coil=63036"), Outcome::Done);
    EXPECT_EQ(requestsOf(15), 2u);
    ASSERT_EQ(run("MBReadWave /Q /DEST=bits2 IP=\"127.0.0.1\", Coil={63036, 2500}"), Outcome::Done);
    EXPECT_EQ(requestsOf(1), 2u);
    expected = wave("bits");
    expected.replace(2, 4, "bits2");
    EXPECT_EQ(wave("bits2"), expected);
    EXPECT_TRUE(device.coil(65535)); // 2499 % 3 == 0
}

TEST_F(BlockTest, TheUnitIdGoesIntoEveryRequest)
{
    device.clearRequests();
    ASSERT_EQ(run("make/O w={1, 2}"), Outcome::Done);
    ASSERT_EQ(run("MBWriteWave /Q /U=17 IP=\"127.0.0.1\", data=w, HoldingRegister=1"), Outcome::Done);
    ASSERT_EQ(run("MBReadWave /Q /U=0 IP=\"127.0.0.1\", HoldingRegister={1, 2}"), Outcome::Done);
    ASSERT_EQ(run("MBReadWave /Q IP=\"127.0.0.1\", Coil={1, 2}"), Outcome::Done);
    const auto requests = device.requests();
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_EQ(requests[0][6], 17); // the MBAP unit identifier
    EXPECT_EQ(requests[1][6], 0);
    EXPECT_EQ(requests[2][6], 255);
}

TEST_F(BlockTest, BadInputGetsItsOwnErrorAndWritesNothing)
{
    ASSERT_EQ(run("make/O w={1, NaN, 3}"), Outcome::Done);
    ASSERT_EQ(run("make/O big={70000}"), Outcome::Done);
    ASSERT_EQ(run("make/T t={\"a\", \"b\"}"), Outcome::Done);
    ASSERT_EQ(run("make/O keep={5, 6}"), Outcome::Done);
    device.setHoldingRegister(1, 42);
    device.clearRequests();
    const struct {
        const char *line;
        int code;
    } bad[] = {
        {"MBWriteWave IP=\"127.0.0.1\", data=w, HoldingRegister=1", 10205},            // NaN
        {"MBWriteWave IP=\"127.0.0.1\", data=w, Coil=1", 10205},                       // NaN as a coil
        {"MBWriteWave /T=0 IP=\"127.0.0.1\", data=big, HoldingRegister=1", 10205},     // beyond 16 bits
        {"MBWriteWave IP=\"127.0.0.1\", data=t, HoldingRegister=1", 10204},            // a text wave
        {"MBWriteWave IP=\"127.0.0.1\", data=keep, HoldingRegister=65535", 10201},     // past the end
        {"MBReadWave IP=\"127.0.0.1\", HoldingRegister={1, -1}", 10201},
        {"MBReadWave IP=\"127.0.0.1\", HoldingRegister={1, 0}", 10201},
        {"MBReadWave IP=\"127.0.0.1\", HoldingRegister={1, 1e12}", 10201},
        {"MBReadWave /T=5 IP=\"127.0.0.1\", HoldingRegister={0, 16385}", 10201},      // 65540 registers
        {"MBReadWave /T=7 IP=\"127.0.0.1\", HoldingRegister={1, 1}", 10202},
        {"MBReadWave /B=4 IP=\"127.0.0.1\", HoldingRegister={1, 1}", 10202},
        {"MBReadWave /U=-1 IP=\"127.0.0.1\", HoldingRegister={1, 1}", 10203},
        {"MBReadWave /DEST=nowhere IP=\"elsewhere\", HoldingRegister={1, 1}", 10166},
    };
    for (const auto &b : bad) {
        SCOPED_TRACE(b.line);
        EXPECT_EQ(run(b.line), Outcome::CommandFailed);
        EXPECT_EQ(variable("V_MBerr"), b.code - 10000);
    }
    EXPECT_TRUE(device.requests().empty()) << "nothing went to the device";
    EXPECT_EQ(device.holdingRegister(1), 42);
    EXPECT_EQ(host->waves().find("nowhere"), nullptr);
    // A text wave as destination: Igor refuses to overwrite it, and it keeps its texts.
    EXPECT_EQ(run("MBReadWave /DEST=t IP=\"127.0.0.1\", HoldingRegister={1, 2}"), Outcome::CommandFailed);
    EXPECT_EQ(variable("V_MBerr"), 204);
    EXPECT_EQ(wave("t"), "  t[0]= {\"a\",\"b\"}");
    // Under /Q the failure is V_MBerr alone.
    EXPECT_EQ(run("MBReadWave /Q IP=\"127.0.0.1\", Coil={1, -5}"), Outcome::Done);
    EXPECT_EQ(variable("V_MBerr"), 201);
    const std::string e = contents(errors);
    EXPECT_NE(e.find("MBWriteWave: error 10205: A value in the wave cannot be written"), std::string::npos) << e;
    EXPECT_NE(e.find("MBReadWave: error 10204: The wave must be a real numeric wave"), std::string::npos) << e;
}

TEST_F(BlockTest, TwoThreadsOnOneConnectionNeverInterleave)
{
    // Each thread reads back the block it wrote; frames mixed on the connection would fail a
    // command or give the other thread's values.
    for (int i = 0; i < 30; ++i) {
        const std::string a = std::to_string(i);
        const std::string b = std::to_string(1000 + i);
        ASSERT_EQ(run("make/O/D wa={" + a + "," + a + "," + a + "}"), Outcome::Done);
        ASSERT_EQ(run("make/O/D wb={" + b + "," + b + "," + b + "}"), Outcome::Done);
        ASSERT_EQ(run("&MBWriteWave /Q /T=2 IP=\"127.0.0.1\", data=wa, HoldingRegister=10"), Outcome::Done);
        ASSERT_EQ(run("MBWriteWave /Q /T=2 IP=\"127.0.0.1\", data=wb, HoldingRegister=500"), Outcome::Done);
        ASSERT_EQ(run("&wait"), Outcome::Done);
        ASSERT_EQ(run("&MBReadWave /Q /T=2 /DEST=ra IP=\"127.0.0.1\", HoldingRegister={10, 3}"), Outcome::Done);
        ASSERT_EQ(run("MBReadWave /Q /T=2 /DEST=rb IP=\"127.0.0.1\", HoldingRegister={500, 3}"), Outcome::Done);
        ASSERT_EQ(run("&wait"), Outcome::Done);
        EXPECT_EQ(wave("ra"), "  ra[0]= {" + a + "," + a + "," + a + "}");
        EXPECT_EQ(wave("rb"), "  rb[0]= {" + b + "," + b + "," + b + "}");
    }
    EXPECT_EQ(contents(errors), "");
}

TEST(SerialBlockTest, RtuAndAsciiLinesServeTheBlockAndTheFiveCommands)
{
    std::FILE *history = std::tmpfile();
    std::FILE *errors = std::tmpfile();
    ASSERT_NE(history, nullptr);
    ASSERT_NE(errors, nullptr);
    sim::SerialDevice rtu;
    sim::SerialDevice ascii;
    const std::string rtuPath = rtu.start(sim::SerialFraming::Rtu);
    const std::string asciiPath = ascii.start(sim::SerialFraming::Ascii);
    ASSERT_FALSE(rtuPath.empty());
    ASSERT_FALSE(asciiPath.empty());
    for (int i = 0; i < 100; ++i)
        rtu.setHoldingRegister(static_cast<uint16_t>(i), static_cast<uint16_t>(i * 3));
    ascii.setInputRegister(4, 0xBEEF);
    {
        StandInHost host(800, history, errors);
        std::string error;
        ASSERT_TRUE(host.startModule(XOPMain, XOPGetResource, error)) << error;
        ASSERT_EQ(host.runLine("MBOpenSerial port=\"" + rtuPath + "\", baud=19200, parity=\"none\", stopBits=2, "
                               "timeout=2000, unit=4"),
                  Outcome::Done);
        ASSERT_EQ(host.runLine("MBReadWave /U=3 /DEST=line IP=\"" + rtuPath + "\", HoldingRegister={0, 100}"),
                  Outcome::Done);
        EXPECT_EQ(rtu.requests().back()[0], 3);
        // The five commands address the unit the open named.
        ASSERT_EQ(host.runLine("MBRead IP=\"" + rtuPath + "\", HoldingRegister=5"), Outcome::Done);
        EXPECT_EQ(rtu.requests().back()[0], 4);
        ASSERT_EQ(host.runLine("MBWrite IP=\"" + rtuPath + "\", Register={6, 77}"), Outcome::Done);
        // Opening an open line again is refused; closed, it opens anew.
        EXPECT_EQ(host.runLine("MBOpenSerial /Q port=\"" + rtuPath + "\""), Outcome::Done);
        double err = 0;
        ASSERT_TRUE(host.variable("V_MBerr", err));
        EXPECT_EQ(err, 2);
        ASSERT_EQ(host.runLine("MBClose IP=\"" + rtuPath + "\""), Outcome::Done);
        ASSERT_EQ(host.runLine("MBOpenSerial /Q port=\"" + rtuPath + "\", protocol=\"rtu\", rs485=0"), Outcome::Done);
        ASSERT_EQ(host.runLine("MBOpenSerial port=\"" + asciiPath + "\", protocol=\"ASCII\", dataBits=7, parity=\"E\""),
                  Outcome::Done);
        ASSERT_EQ(host.runLine("MBReadWave /T=1 /U=9 /DEST=a IP=\"" + asciiPath + "\", InputRegister={4, 1}"),
                  Outcome::Done);
        EXPECT_EQ(host.runLine("MBOpenSerial port=\"" + asciiPath + "x\", protocol=\"CAN\""),
                  Outcome::CommandFailed);
        EXPECT_EQ(host.runLine("MBOpenSerial port=\"/dev/null/none\""), Outcome::CommandFailed);
        std::string text;
        ASSERT_TRUE(host.waves().print("line", text));
        EXPECT_EQ(text.substr(0, 26), "  line[0]= {0,3,6,9,12,15,");
        ASSERT_TRUE(host.waves().print("a", text));
        EXPECT_EQ(text, "  a[0]= {48879}");
    }
    EXPECT_EQ(rtu.holdingRegister(6), 77);
    const std::string out = contents(history);
    EXPECT_NE(out.find("=> MODBUS RTU connection established on " + rtuPath +
                       " at 19200 baud, 8 data bits, parity none, 2 stop bits, timeout of 2000ms and poll delay "
                       "of 0ms\n"),
              std::string::npos)
        << out;
    EXPECT_NE(out.find("=> MODBUS/TCP device returned 15 from holding register #5\n"), std::string::npos);
    EXPECT_NE(out.find("=> MODBUS serial connection error #206\n"), std::string::npos);
    EXPECT_NE(out.find("=> MODBUS serial connection error #66\n"), std::string::npos) << out;
    rtu.stop();
    ascii.stop();
    std::fclose(history);
    std::fclose(errors);
}

} // namespace
