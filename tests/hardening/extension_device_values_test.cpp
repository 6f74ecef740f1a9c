// Values a device chooses, through the extension's MBRead: a float register holding NaN, an
// infinity or the largest float is the device's to send. MBRead must store and print it without
// undefined behaviour (the ASan/UBSan build of the suite aborts on a float-to-int conversion out of
// range). Real library, simulated device on loopback, the recording host of tests/support.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "extension/parameter_records.h"
#include "extension/xop_main.h"
#include "sim/tcp_device.h"
#include "tests/support/recording_host.h"

namespace {

// The last value the command gave an output variable.
double lastValue(const RecordingHost &host, const std::string &name)
{
    for (auto it = host.variables.rbegin(); it != host.variables.rend(); ++it) {
        if (it->first == name)
            return it->second;
    }
    return -12345.0;
}

class ExtensionDeviceValues : public ::testing::Test {
protected:
    void SetUp() override
    {
        port = device.start();
        ASSERT_GT(port, 0);
        ASSERT_EQ(0, XOPMain(host.ioRec()));
        MBOpenRuntimeParams open{};
        open.IPEncountered = 1;
        open.hostName = text("127.0.0.1");
        open.portEncountered = 1;
        open.TCPport = port;
        ASSERT_EQ(0, host.run("MBOpen", &open));
    }
    void TearDown() override
    {
        host.send(CLEANUP);
        EXPECT_TRUE(host.violations.empty());
    }

    Handle text(const std::string &content)
    {
        return host.text(content);
    }

    // The module takes floats low word first: the float's low half goes to the lower address.
    void putFloatBits(std::uint16_t address, std::uint32_t bits)
    {
        device.setHoldingRegister(address, static_cast<std::uint16_t>(bits & 0xFFFF));
        device.setHoldingRegister(static_cast<std::uint16_t>(address + 1), static_cast<std::uint16_t>(bits >> 16));
        device.setInputRegister(address, static_cast<std::uint16_t>(bits & 0xFFFF));
        device.setInputRegister(static_cast<std::uint16_t>(address + 1), static_cast<std::uint16_t>(bits >> 16));
    }

    int readFloat(bool holding, int address, bool quiet)
    {
        MBReadRuntimeParams read{};
        read.FFlagEncountered = 1;
        read.QFlagEncountered = quiet;
        read.IPEncountered = 1;
        read.hostName = text("127.0.0.1");
        read.HoldingRegisterEncountered = holding;
        read.addressHoldingRegister = address;
        read.InputRegisterEncountered = !holding;
        read.addressInputRegister = address;
        return host.run("MBRead", &read);
    }

    sim::TcpDevice device;
    int port = 0;
    RecordingHost host;
};

TEST_F(ExtensionDeviceValues, FloatRegistersHoldingNanInfinityOrTheLargestFloatAreStoredAndPrinted)
{
    struct Case {
        std::uint32_t bits;
        const char *printed;
    };
    const Case cases[] = {
        {0x7FC00000u, "nan"},          // quiet NaN
        {0x7F800000u, "inf"},          // +infinity
        {0xFF800000u, "-inf"},         // -infinity
        {0x7F7FFFFFu, "3.40282e+38"},  // the largest float, far beyond int
        {0xCF000001u, "-2.14748e+09"}, // just below INT_MIN
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.printed);
        putFloatBits(1, c.bits);
        for (bool holding : {true, false}) {
            host.history.clear();
            ASSERT_EQ(0, readFloat(holding, 1, false));
            const double value = lastValue(host, holding ? "V_MBHoldingRegister" : "V_MBInputRegister");
            float expected;
            std::memcpy(&expected, &c.bits, sizeof expected);
            if (std::isnan(expected))
                EXPECT_TRUE(std::isnan(value));
            else
                EXPECT_EQ(static_cast<double>(expected), value);
            // The registry's lookup lines come first; the result line is the last.
            ASSERT_FALSE(host.history.empty());
            EXPECT_EQ(std::string("=> MODBUS/TCP device returned ") + c.printed + " from " +
                          (holding ? "holding" : "input") + " register #1\r",
                      host.history.back());
            EXPECT_EQ(0.0, lastValue(host, "V_MBerr"));
        }
    }
}

} // namespace
