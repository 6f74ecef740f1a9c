// The block commands and the serial open against a device nobody on this team wrote: libmodbus's
// server (tests/interop), over TCP and on a pseudo-terminal, unit 1.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "extension/xop_main.h"
#include "tests/interop/device_process.h"
#include "xophost/stand_in_host.h"

namespace {

using Outcome = StandInHost::Outcome;

std::string waveText(StandInHost &host, const std::string &name)
{
    std::string text;
    EXPECT_TRUE(host.waves().print(name, text)) << name;
    return text;
}

// Input register a of that device holds (0x1234 + 0x0203 * a) mod 65536.
std::string inputRegisters(const std::string &name, int count)
{
    std::string text = "  " + name + "[0]= {";
    for (int a = 0; a < count; ++a)
        text += (a > 0 ? "," : "") + std::to_string((0x1234 + 0x0203 * a) % 65536);
    return text + "}";
}

class LibmodbusBlockTest : public ::testing::Test {
protected:
    void start(const char *transport)
    {
        const std::string problem =
            device.start({MBUS_INTEROP_LIBMODBUS_DEVICE, "--transport", transport, "--seconds", "60"}, 5000);
        ASSERT_EQ(problem, "");
        std::string error;
        ASSERT_TRUE(host.startModule(XOPMain, XOPGetResource, error)) << error;
    }
    std::FILE *history = std::tmpfile();
    std::FILE *errors = std::tmpfile();
    DeviceProcess device;
    StandInHost host{800, history, errors};
};

TEST_F(LibmodbusBlockTest, BlocksOfEveryKindOverTcp)
{
    start("tcp");
    ASSERT_EQ(host.runLine("MBOpen /Q IP=\"127.0.0.1\", port=" + std::to_string(device.port()) + ", timeout=2000"),
              Outcome::Done);
    // 300 registers take three requests.
    ASSERT_EQ(host.runLine("MBReadWave /Q /T=1 /U=1 /DEST=ir IP=\"127.0.0.1\", InputRegister={0, 300}"), Outcome::Done);
    EXPECT_EQ(waveText(host, "ir"), inputRegisters("ir", 300));
    ASSERT_EQ(host.runLine("make/O/D d={1.5, -1e-300, 6.25}"), Outcome::Done);
    for (const char *order : {"0", "3"}) {
        ASSERT_EQ(host.runLine(std::string("MBWriteWave /Q /T=5 /U=1 /B=") + order +
                               " IP=\"127.0.0.1\", data=d, HoldingRegister=10"),
                  Outcome::Done);
        ASSERT_EQ(host.runLine(std::string("MBReadWave /Q /T=5 /U=1 /B=") + order +
                               " /DEST=d2 IP=\"127.0.0.1\", HoldingRegister={10, 3}"),
                  Outcome::Done);
        EXPECT_EQ(waveText(host, "d2"), "  d2[0]= {1.5,-1e-300,6.25}");
    }
    // Discrete input a is on when a % 3 == 0; 1999 coils written and read back in two requests each.
    ASSERT_EQ(host.runLine("MBReadWave /Q /U=1 /DEST=di IP=\"127.0.0.1\", DiscreteInput={0, 7}"), Outcome::Done);
    EXPECT_EQ(waveText(host, "di"), "  di[0]= {1,0,0,1,0,0,1}");
    std::string bits = "{";
    for (int i = 0; i < 1999; ++i)
        bits += std::string(i > 0 ? "," : "") + (i % 7 == 0 ? "1" : "0");
    ASSERT_EQ(host.runLine("make/O/Y=0x48 c=" + bits + "}"), Outcome::Done);
    ASSERT_EQ(host.runLine("MBWriteWave /Q /U=1 IP=\"127.0.0.1\", data=c, Coil=1"), Outcome::Done);
    ASSERT_EQ(host.runLine("MBReadWave /Q /U=1 /DEST=c2 IP=\"127.0.0.1\", Coil={1, 1999}"), Outcome::Done);
    std::string expected = waveText(host, "c");
    expected.replace(2, 1, "c2");
    EXPECT_EQ(waveText(host, "c2"), expected);
}

TEST_F(LibmodbusBlockTest, AnRtuLineOnAPseudoTerminal)
{
    start("rtu-pty");
    ASSERT_EQ(host.runLine("MBOpenSerial /Q port=\"" + device.ptyPath() + "\", baud=38400, timeout=2000"),
              Outcome::Done);
    ASSERT_EQ(host.runLine("MBReadWave /Q /T=1 /DEST=ir IP=\"" + device.ptyPath() + "\", InputRegister={0, 130}"),
              Outcome::Done);
    EXPECT_EQ(waveText(host, "ir"), inputRegisters("ir", 130));
    ASSERT_EQ(host.runLine("MBWrite /Q IP=\"" + device.ptyPath() + "\", Register={5, 4321}"), Outcome::Done);
    ASSERT_EQ(host.runLine("MBRead /Q IP=\"" + device.ptyPath() + "\", HoldingRegister=5"), Outcome::Done);
    double value = 0;
    ASSERT_TRUE(host.variable("V_MBHoldingRegister", value));
    EXPECT_EQ(value, 4321);
}

} // namespace
