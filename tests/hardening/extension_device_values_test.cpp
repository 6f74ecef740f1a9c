// Values a device chooses, through the extension's MBRead: a float register holding NaN, an
// infinity or the largest float is the device's to send. MBRead must store and print it without
// undefined behaviour (the ASan/UBSan build of the suite aborts on a float-to-int conversion out of
// range). Real library, simulated device on loopback, a recording host.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "extension/commands.h"
#include "extension/parameter_records.h"
#include "extension/xop_main.h"
#include "host/xop_host_record.h"
#include "sim/tcp_device.h"

namespace {

// What the module did with the host's services.
struct Recorder {
    XopEntryFunc entry = nullptr;
    int message = 0;
    std::vector<std::unique_ptr<std::string>> texts;
    std::map<std::string, double> variables;
    std::vector<std::string> history;
};

Recorder &recorder(void *context)
{
    return *static_cast<Recorder *>(context);
}

XopHostRecord hostRecord(Recorder &r)
{
    XopHostRecord record{};
    record.recordSize = sizeof record;
    record.hostVersion = 800;
    record.context = &r;
    record.setXOPEntry = [](void *c, XopEntryFunc e) { recorder(c).entry = e; };
    record.getXOPMessage = [](void *c) { return recorder(c).message; };
    record.setXOPResult = [](void *, int) {};
    record.registerOperation = [](void *, const char *, const char *, const char *, int, XopExecuteFunc, int) {
        return 0;
    };
    record.getCStringFromHandle = [](void *, XopTextHandle text, char *buffer, int maxChars) {
        const auto *content = reinterpret_cast<const std::string *>(text);
        if (content == nullptr)
            return static_cast<int>(XOP_ERR_NULL_TEXT);
        if (content->size() > static_cast<std::size_t>(maxChars))
            return static_cast<int>(XOP_ERR_TEXT_TOO_LONG);
        content->copy(buffer, content->size());
        buffer[content->size()] = '\0';
        return 0;
    };
    record.setOutputVariable = [](void *c, const char *name, double value) {
        recorder(c).variables[name] = value;
        return 0;
    };
    record.printHistoryLine = [](void *c, const char *text) { recorder(c).history.emplace_back(text); };
    record.showMessageBox = [](void *, const char *) {};
    return record;
}

class ExtensionDeviceValues : public ::testing::Test {
protected:
    void SetUp() override
    {
        port = device.start();
        ASSERT_GT(port, 0);
        ASSERT_EQ(0, XOPMain(&record));
        MBOpenRuntimeParams open{};
        open.IPEncountered = 1;
        open.hostName = text("127.0.0.1");
        open.portEncountered = 1;
        open.TCPport = port;
        ASSERT_EQ(0, ExecuteMBOpen(&open));
    }
    void TearDown() override
    {
        host.message = XOP_MSG_CLEANUP;
        if (host.entry != nullptr)
            host.entry();
    }

    XopTextHandle text(const std::string &content)
    {
        host.texts.push_back(std::make_unique<std::string>(content));
        return reinterpret_cast<XopTextHandle>(host.texts.back().get());
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
        return ExecuteMBRead(&read);
    }

    sim::TcpDevice device;
    int port = 0;
    Recorder host;
    XopHostRecord record = hostRecord(host);
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
            const double value = host.variables[holding ? "V_MBHoldingRegister" : "V_MBInputRegister"];
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
            EXPECT_EQ(0.0, host.variables["V_MBerr"]);
        }
    }
}

} // namespace
