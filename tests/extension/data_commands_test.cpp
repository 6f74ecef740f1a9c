// MBRead and MBWrite through a recording host and the fake library.
#include <limits>

#include "tests/extension/module_fixture.h"

namespace {

using Variables = std::vector<std::pair<std::string, double>>;

// Gives item 0 (coil), 1 (discrete input), 2 (holding) or 3 (input register) at address.
void selectItem(MBReadRuntimeParams &p, int item, double address)
{
    switch (item) {
    case 0:
        p.CoilEncountered = 1;
        p.addressCoil = address;
        break;
    case 1:
        p.DiscreteInputEncountered = 1;
        p.addressDiscreteInput = address;
        break;
    case 2:
        p.HoldingRegisterEncountered = 1;
        p.addressHoldingRegister = address;
        break;
    default:
        p.InputRegisterEncountered = 1;
        p.addressInputRegister = address;
        break;
    }
}

class DataCommandTest : public ModuleTest {
protected:
    void SetUp() override
    {
        ModuleTest::SetUp();
        openDevice("dev");
    }
    const Lines found = lookupLines(1, 0);
};

using MBReadTest = DataCommandTest;

TEST_F(MBReadTest, EachItemAndWidthCallsItsFunctionWithReferencePlusOne)
{
    struct Case {
        int item; // 0 coil, 1 discrete input, 2 holding, 3 input register
        int l, f;
        const char *call;
        const char *variable;
        double value;
        const char *line;
    };
    fakeLibrary().bitValue = 1;
    fakeLibrary().shortValue = -2;
    fakeLibrary().longValue = -100000;
    fakeLibrary().floatValue = 2.5f;
    const Case cases[] = {
        {0, 0, 0, "mbusReadCoils 255 18 1", "V_MBCoil", 1,
         "=> MODBUS/TCP device returned 1 from coil #17\r"},
        {1, 1, 1, "mbusReadInputDiscretes 255 18 1", "V_MBDiscreteInput", 1,
         "=> MODBUS/TCP device returned 1 from discrete input #17\r"},
        {2, 0, 0, "mbusReadMultipleRegisters 255 18 1", "V_MBHoldingRegister", -2,
         "=> MODBUS/TCP device returned -2 from holding register #17\r"},
        {2, 1, 0, "mbusReadMultipleLongInts 255 18 1", "V_MBHoldingRegister", -100000,
         "=> MODBUS/TCP device returned -100000 from holding register #17\r"},
        {2, 0, 1, "mbusReadMultipleFloats 255 18 1", "V_MBHoldingRegister", 2.5,
         "=> MODBUS/TCP device returned 2.5 from holding register #17\r"},
        {2, 1, 1, "mbusReadMultipleLongInts 255 18 1", "V_MBHoldingRegister", -100000,
         "=> MODBUS/TCP device returned -100000 from holding register #17\r"},
        {3, 0, 0, "mbusReadInputRegisters 255 18 1", "V_MBInputRegister", -2,
         "=> MODBUS/TCP device returned -2 from input register #17\r"},
        {3, 1, 0, "mbusReadInputLongInts 255 18 1", "V_MBInputRegister", -100000,
         "=> MODBUS/TCP device returned -100000 from input register #17\r"},
        {3, 0, 1, "mbusReadInputFloats 255 18 1", "V_MBInputRegister", 2.5,
         "=> MODBUS/TCP device returned 2.5 from input register #17\r"},
    };
    for (const Case &c : cases) {
        fakeLibrary().calls.clear();
        MBReadRuntimeParams p = readRecord("dev");
        p.LFlagEncountered = c.l;
        p.FFlagEncountered = c.f;
        selectItem(p, c.item, 17.9); // truncated toward zero
        const Execution e = host.run("MBRead", &p);
        EXPECT_EQ(e.code, 0) << c.call;
        EXPECT_EQ(fakeLibrary().calls, Lines{c.call});
        EXPECT_EQ(e.history, found + Lines{c.line});
        EXPECT_EQ(e.variables, (Variables{{c.variable, c.value}, {"V_MBerr", 0}}));
        EXPECT_EQ(e.diagnostics, "");
    }
}

TEST_F(MBReadTest, OnlyTheFirstItemGivenIsRead)
{
    MBReadRuntimeParams p = readRecord("dev");
    p.CoilEncountered = p.HoldingRegisterEncountered = 1;
    p.addressCoil = 3;
    p.addressHoldingRegister = 4;
    const Execution e = host.run("MBRead", &p);
    EXPECT_EQ(fakeLibrary().calls, Lines{"mbusReadCoils 255 4 1"});
    EXPECT_EQ(e.variables, (Variables{{"V_MBCoil", 1}, {"V_MBerr", 0}}));
}

TEST_F(MBReadTest, NoItemReadsNothingAndSucceeds)
{
    MBReadRuntimeParams p = readRecord("dev");
    const Execution e = host.run("MBRead", &p);
    EXPECT_EQ(e.code, 0);
    EXPECT_TRUE(fakeLibrary().calls.empty());
    EXPECT_EQ(e.history, found);
    EXPECT_EQ(e.variables, (Variables{{"V_MBerr", 0}}));
}

TEST_F(MBReadTest, RegisterHoldingFFFFReadsAsMinusOne)
{
    fakeLibrary().shortValue = static_cast<short>(0xFFFF);
    MBReadRuntimeParams p = readRecord("dev");
    p.HoldingRegisterEncountered = 1;
    p.addressHoldingRegister = 1;
    EXPECT_EQ(host.run("MBRead", &p).variables.front(),
              (std::pair<std::string, double>{"V_MBHoldingRegister", -1}));
}

TEST_F(MBReadTest, AddressZeroAnd65536AreRefused)
{
    MBReadRuntimeParams p = readRecord("dev");
    p.CoilEncountered = 1;
    p.addressCoil = 0;
    Execution e = host.run("MBRead", &p);
    EXPECT_EQ(e.code, 10162);
    EXPECT_EQ(e.diagnostics, "=> checkStartRef: MODBUS data address must be 1-0x10000\r"
                             "=> ExecuteMBRead -> error #162\r");
    EXPECT_EQ(e.history, found + Lines{"=> MODBUS/TCP error #162\r"});
    EXPECT_EQ(e.variables, (Variables{{"V_MBerr", 162}}));
    EXPECT_TRUE(fakeLibrary().calls.empty());

    // 65536 passes the check and becomes reference 65537, which the library refuses.
    p.addressCoil = 65536;
    e = host.run("MBRead", &p);
    EXPECT_EQ(e.code, 10001);
    EXPECT_EQ(fakeLibrary().calls, Lines{"mbusReadCoils 255 65537 1"});
    EXPECT_EQ(e.diagnostics, "=> ExecuteMBRead -> Cannot read coil...\r"
                             "=> ExecuteMBRead -> error #1\r");

    p.addressCoil = -1; // a huge unsigned address
    EXPECT_EQ(host.run("MBRead", &p).code, 10162);
}

TEST_F(MBReadTest, AddressesThatAreNoIntegersAreInvalidParameters)
{
    const double bad[] = {std::numeric_limits<double>::quiet_NaN(),
                          std::numeric_limits<double>::infinity(), 4294967313.0, -3e9};
    for (double address : bad) {
        MBReadRuntimeParams p = readRecord("dev");
        p.InputRegisterEncountered = 1;
        p.addressInputRegister = address;
        const Execution e = host.run("MBRead", &p);
        EXPECT_EQ(e.code, 10001) << address;
        EXPECT_EQ(e.diagnostics, "=> ExecuteMBRead -> error #1\r");
        EXPECT_EQ(e.variables, (Variables{{"V_MBerr", 1}}));
    }
    EXPECT_TRUE(fakeLibrary().calls.empty());
}

TEST_F(MBReadTest, LibraryFailuresNameTheItemThatCouldNotBeRead)
{
    struct Case {
        int item, l, f;
        const char *function;
        const char *line;
    };
    const Case cases[] = {
        {0, 0, 0, "mbusReadCoils", "=> ExecuteMBRead -> Cannot read coil...\r"},
        {1, 0, 0, "mbusReadInputDiscretes", "=> ExecuteMBRead -> Cannot read discrete input...\r"},
        {2, 1, 0, "mbusReadMultipleLongInts",
         "=> ExecuteMBRead -> Cannot read int[32] holding register...\r"},
        {2, 0, 1, "mbusReadMultipleFloats",
         "=> ExecuteMBRead -> Cannot read float[32] holding register...\r"},
        {2, 0, 0, "mbusReadMultipleRegisters",
         "=> ExecuteMBRead -> Cannot read short[32] holding register...\r"},
        {3, 0, 0, "mbusReadInputRegisters", "=> ExecuteMBRead -> Cannot read input register...\r"},
        {3, 1, 0, "mbusReadInputLongInts", "=> ExecuteMBRead -> Cannot read input register...\r"},
        {3, 0, 1, "mbusReadInputFloats", "=> ExecuteMBRead -> Cannot read input register...\r"},
    };
    for (const Case &c : cases) {
        fakeLibrary().results[c.function] = MBUS_REPLY_TIMEOUT;
        MBReadRuntimeParams p = readRecord("dev");
        p.LFlagEncountered = c.l;
        p.FFlagEncountered = c.f;
        selectItem(p, c.item, 5);
        const Execution e = host.run("MBRead", &p);
        EXPECT_EQ(e.code, 10132) << c.function;
        EXPECT_EQ(e.diagnostics, std::string(c.line) + "=> ExecuteMBRead -> error #132\r");
        EXPECT_EQ(e.history, found + Lines{"=> MODBUS/TCP error #132\r"});
        // Only V_MBerr: a failed read leaves the value variables alone.
        EXPECT_EQ(e.variables, (Variables{{"V_MBerr", 132}}));
    }
}

TEST_F(MBReadTest, GatewayExceptionUnderQuietReturnsZeroWithTheAlarmLine)
{
    fakeLibrary().results["mbusReadCoils"] = MBUS_GATEWAY_PATH_UNAVAILABLE_RESPONSE;
    MBReadRuntimeParams p = readRecord("dev");
    p.QFlagEncountered = p.CoilEncountered = 1;
    p.addressCoil = 1;
    const Execution e = host.run("MBRead", &p);
    EXPECT_EQ(e.code, 0);
    EXPECT_EQ(e.history, found + Lines{"BUG FIX REQUIRED in MBRead: Error code 10170  > "
                                       "FIRST_XOP_ERR (10000) + 166\r"});
    EXPECT_EQ(e.variables, (Variables{{"V_MBerr", 170}}));
}

TEST_F(MBReadTest, QuietSuccessSetsTheValueWithoutAHistoryLine)
{
    MBReadRuntimeParams p = readRecord("dev");
    p.QFlagEncountered = p.DiscreteInputEncountered = 1;
    p.addressDiscreteInput = 2;
    const Execution e = host.run("MBRead", &p);
    EXPECT_EQ(e.history, found);
    EXPECT_EQ(e.variables, (Variables{{"V_MBDiscreteInput", 1}, {"V_MBerr", 0}}));
}

TEST_F(MBReadTest, UnknownOrClosedConnections)
{
    MBReadRuntimeParams p = readRecord("other");
    p.CoilEncountered = 1;
    p.addressCoil = 1;
    Execution e = host.run("MBRead", &p);
    EXPECT_EQ(e.code, 10166);
    EXPECT_EQ(e.diagnostics, "=> ExecuteMBRead -> No connection...\r"
                             "=> ExecuteMBRead -> error #166\r");
    EXPECT_EQ(e.history, lookupLines(2) + Lines{"=> MODBUS/TCP error #166\r"});

    MBConnectionRuntimeParams c = connectionRecord("dev");
    host.run("MBClose", &c);
    p = readRecord("dev");
    p.CoilEncountered = 1;
    p.addressCoil = 1;
    e = host.run("MBRead", &p);
    EXPECT_EQ(e.code, 10069);
    EXPECT_EQ(e.diagnostics, "=> ExecuteMBRead -> Connection is not opened...\r"
                             "=> ExecuteMBRead -> error #69\r");
    EXPECT_TRUE(fakeLibrary().calls.empty());
}

using MBWriteTest = DataCommandTest;

TEST_F(MBWriteTest, CoilThenRegisterWithTheLow16BitsOfTheValue)
{
    MBWriteRuntimeParams p = writeRecord("dev");
    p.CoilEncountered = p.RegisterEncountered = 1;
    p.addressCoil = 7;
    p.valueCoil = 5;
    p.addressRegister = 9;
    p.valueRegister = 65535;
    Execution e = host.run("MBWrite", &p);
    EXPECT_EQ(e.code, 0);
    EXPECT_EQ(fakeLibrary().calls,
              (Lines{"mbusWriteCoil 255 8 5", "mbusWriteSingleRegister 255 10 65535"}));
    EXPECT_EQ(e.history, (found + Lines{"=> MODBUS/TCP device coil #7 set to 5\r",
                                       "=> MODBUS/TCP device register #9 set to -1\r"}));
    EXPECT_EQ(e.variables, (Variables{{"V_MBerr", 0}}));

    fakeLibrary().calls.clear();
    p.CoilEncountered = 0;
    p.valueRegister = 70000;
    e = host.run("MBWrite", &p);
    EXPECT_EQ(fakeLibrary().calls, Lines{"mbusWriteSingleRegister 255 10 4464"});
    EXPECT_EQ(e.history.back(), "=> MODBUS/TCP device register #9 set to 4464\r");
}

TEST_F(MBWriteTest, CoilFailureEndsTheCommandBeforeTheRegister)
{
    fakeLibrary().results["mbusWriteCoil"] = MBUS_ILLEGAL_ADDRESS_RESPONSE;
    MBWriteRuntimeParams p = writeRecord("dev");
    p.CoilEncountered = p.RegisterEncountered = 1;
    p.addressCoil = p.addressRegister = 1;
    const Execution e = host.run("MBWrite", &p);
    EXPECT_EQ(e.code, 10162);
    EXPECT_EQ(fakeLibrary().calls, Lines{"mbusWriteCoil 255 2 0"});
    EXPECT_EQ(e.diagnostics, "=> ExecuteMBWrite -> error #162\r");
    EXPECT_EQ(e.history, found + Lines{"=> MODBUS/TCP error #162\r"});
}

TEST_F(MBWriteTest, BadAddressesAndValuesAreRefusedBeforeAnyWrite)
{
    MBWriteRuntimeParams p = writeRecord("dev");
    p.RegisterEncountered = 1;
    p.addressRegister = 0;
    Execution e = host.run("MBWrite", &p);
    EXPECT_EQ(e.code, 10162);
    EXPECT_EQ(e.diagnostics, "=> checkStartRef: MODBUS data address must be 1-0x10000\r"
                             "=> ExecuteMBWrite -> error #162\r");

    const double bad[] = {std::numeric_limits<double>::quiet_NaN(),
                          -std::numeric_limits<double>::infinity(), 1e12};
    for (double value : bad) {
        p = writeRecord("dev");
        p.CoilEncountered = 1;
        p.addressCoil = 1;
        p.valueCoil = value;
        EXPECT_EQ(host.run("MBWrite", &p).code, 10001) << value;
        p = writeRecord("dev");
        p.RegisterEncountered = 1;
        p.addressRegister = 1;
        p.valueRegister = value;
        e = host.run("MBWrite", &p);
        EXPECT_EQ(e.code, 10001) << value;
        EXPECT_EQ(e.variables, (Variables{{"V_MBerr", 1}}));
    }
    EXPECT_TRUE(fakeLibrary().calls.empty());
}

TEST_F(MBWriteTest, NeitherKeywordSucceedsWithoutWriting)
{
    MBWriteRuntimeParams p = writeRecord("dev");
    p.LFlagEncountered = p.FFlagEncountered = 1;
    const Execution e = host.run("MBWrite", &p);
    EXPECT_EQ(e.code, 0);
    EXPECT_TRUE(fakeLibrary().calls.empty());
    EXPECT_EQ(e.variables, (Variables{{"V_MBerr", 0}}));
}

TEST_F(MBWriteTest, UnknownOrClosedConnectionsWriteNoLineOfTheirOwn)
{
    MBWriteRuntimeParams p = writeRecord("never opened");
    p.CoilEncountered = 1;
    p.addressCoil = 1;
    Execution e = host.run("MBWrite", &p);
    EXPECT_EQ(e.code, 10166);
    EXPECT_EQ(e.diagnostics, "=> ExecuteMBWrite -> error #166\r");

    MBConnectionRuntimeParams c = connectionRecord("dev");
    host.run("MBClose", &c);
    p = writeRecord("dev");
    p.CoilEncountered = 1;
    p.addressCoil = 1;
    p.QFlagEncountered = 1;
    e = host.run("MBWrite", &p);
    EXPECT_EQ(e.code, 0);
    EXPECT_EQ(e.diagnostics, "=> ExecuteMBWrite -> error #69\r");
    EXPECT_EQ(e.history, found);
    EXPECT_EQ(e.variables, (Variables{{"V_MBerr", 69}}));
}

TEST_F(MBWriteTest, NullHandleIsAnInvalidParameter)
{
    MBWriteRuntimeParams p{};
    p.IPEncountered = 1;
    const Execution e = host.run("MBWrite", &p);
    EXPECT_EQ(e.code, 10001);
    EXPECT_EQ(e.diagnostics, "=> ExecuteMBOpen: Null IP address pointer!\r"
                             "=> ExecuteMBWrite -> error #1\r");
}

} // namespace
