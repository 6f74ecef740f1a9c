// MBOpen, MBClose and MBGetStatus through a recording host and the fake library.
#include <cmath>
#include <limits>

#include "tests/extension/module_fixture.h"

namespace {

using Variables = std::vector<std::pair<std::string, double>>;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

class MBOpenTest : public ModuleTest {};

TEST_F(MBOpenTest, DefaultsOpenPort502WithTimeout1000AndDelay10)
{
    MBOpenRuntimeParams p = openRecord("10.0.0.7");
    const Execution e = host.run("MBOpen", &p);
    EXPECT_EQ(e.code, 0);
    EXPECT_EQ(e.history, (Lines{"=> initConn: Initialisation of all connections\r"} + lookupLines(1) +
                  Lines{"=> setConnection: connection #0 enabled\r",
                        "=> MODBUS/TCP connection established with device at address 10.0.0.7 on "
                        "TCP port 502 with timeout of 1000ms and poll delay of 10ms\r"}));
    EXPECT_EQ(e.diagnostics, "=> initProtocol: LITTLE_ENDIAN selected\r"
                             "=> openProtocol: MODBUS/TCP connection opened\r");
    EXPECT_EQ(e.variables, (Variables{{"V_MBerr", 0}}));
    ASSERT_EQ(fakeLibrary().masters.size(), 1u);
    const FakeMaster &m = *fakeLibrary().masters[0];
    EXPECT_TRUE(m.open);
    EXPECT_TRUE(m.littleEndianFloats);
    EXPECT_EQ(m.port, 502);
    EXPECT_EQ(m.timeout, 1000);
    EXPECT_EQ(m.pollDelay, 10);
    EXPECT_EQ(m.openedHost, "10.0.0.7");
}

TEST_F(MBOpenTest, GivenPortIsTakenModulo65536WithoutRangeCheck)
{
    for (const auto &[given, expected] :
         std::vector<std::pair<double, int>>{{70000, 4464}, {1502.9, 1502}, {-1, 65535}}) {
        const std::string name = "dev" + std::to_string(expected);
        MBOpenRuntimeParams p = openRecord(name);
        p.portEncountered = 1;
        p.TCPport = given;
        EXPECT_EQ(host.run("MBOpen", &p).code, 0) << given;
        EXPECT_EQ(fakeLibrary().masters.back()->port, expected) << given;
    }
}

TEST_F(MBOpenTest, TimeOutAboveLimitFailsBeforeTheHostNameIsLookedAt)
{
    MBOpenRuntimeParams p{};
    p.timeoutEncountered = 1;
    p.timeOutms = 200000;
    const Execution e = host.run("MBOpen", &p);
    EXPECT_EQ(e.code, 10001);
    EXPECT_EQ(e.diagnostics, "=> ExecuteMBOpen -> error #1\r");
    EXPECT_EQ(e.history, Lines{"=> MODBUS/TCP connection error #1\r"});
    EXPECT_EQ(e.variables, (Variables{{"V_MBerr", 1}}));
    EXPECT_TRUE(fakeLibrary().masters.empty());
}

TEST_F(MBOpenTest, TimeOutZeroPassesTheCommandAndIsRefusedByTheLibrary)
{
    MBOpenRuntimeParams p = openRecord("dev");
    p.timeoutEncountered = 1;
    p.timeOutms = 0;
    const Execution e = host.run("MBOpen", &p);
    EXPECT_EQ(e.code, 10001);
    EXPECT_EQ(e.variables, (Variables{{"V_MBerr", 1}}));
    ASSERT_EQ(fakeLibrary().masters.size(), 1u);
    EXPECT_FALSE(fakeLibrary().masters[0]->open);
}

TEST_F(MBOpenTest, NumbersThatAreNoIntegersAreRefusedWithoutTouchingTheLibrary)
{
    const double bad[] = {kNaN, kInf, -kInf, 1e10, -1e10, 4294967296.0 + 1000};
    for (double value : bad) {
        for (int field = 0; field < 3; ++field) {
            MBOpenRuntimeParams p = openRecord("dev");
            if (field == 0) {
                p.timeoutEncountered = 1;
                p.timeOutms = value;
            } else if (field == 1) {
                p.delayEncountered = 1;
                p.pollDelay = value;
            } else {
                if (std::isfinite(value) && std::fabs(value) < 9e18)
                    continue; // ports take any 64-bit number
                p.portEncountered = 1;
                p.TCPport = value;
            }
            const Execution e = host.run("MBOpen", &p);
            EXPECT_EQ(e.code, 10001) << value << " in field " << field;
            EXPECT_EQ(e.variables, (Variables{{"V_MBerr", 1}}));
        }
    }
    EXPECT_TRUE(fakeLibrary().masters.empty());
}

TEST_F(MBOpenTest, NegativeTimeOutOrDelayIsRefusedAsAHugeUnsignedValue)
{
    MBOpenRuntimeParams p = openRecord("dev");
    p.delayEncountered = 1;
    p.pollDelay = -1;
    EXPECT_EQ(host.run("MBOpen", &p).code, 10001);
    p = openRecord("dev");
    p.timeoutEncountered = 1;
    p.timeOutms = -5;
    EXPECT_EQ(host.run("MBOpen", &p).code, 10001);
    p = openRecord("dev");
    p.timeoutEncountered = p.delayEncountered = 1;
    p.timeOutms = 100000.9;
    p.pollDelay = 100000;
    EXPECT_EQ(host.run("MBOpen", &p).code, 0);
    EXPECT_EQ(fakeLibrary().masters.back()->timeout, 100000);
}

TEST_F(MBOpenTest, HostNameFailuresEachHaveTheirLine)
{
    struct Case {
        int ipGiven;
        Handle handle;
        const char *line;
    };
    const Case cases[] = {
        {0, host.text("dev"), "=> ExecuteMBOpen: No IP address!\r"},
        {1, nullptr, "=> ExecuteMBOpen: Null IP address pointer!\r"},
        {1, host.text(std::string(255, 'a')), "=> ExecuteMBOpen: GetCStringFromHandle() error.\r"},
        {1, host.text(""), "=> ExecuteMBOpen: Empty IP address!\r"},
    };
    for (const Case &c : cases) {
        MBOpenRuntimeParams p{};
        p.IPEncountered = c.ipGiven;
        p.hostName = c.handle;
        const Execution e = host.run("MBOpen", &p);
        EXPECT_EQ(e.code, 10001);
        EXPECT_EQ(e.diagnostics, std::string(c.line) + "=> ExecuteMBOpen -> error #1\r");
        EXPECT_EQ(e.history, Lines{"=> MODBUS/TCP connection error #1\r"});
    }
    // 254 characters is the longest name accepted.
    MBOpenRuntimeParams p = openRecord(std::string(254, 'a'));
    EXPECT_EQ(host.run("MBOpen", &p).code, 0);
    EXPECT_EQ(fakeLibrary().masters.back()->openedHost, std::string(254, 'a'));
}

TEST_F(MBOpenTest, SecondOpenWhileOpenFailsWithWrongState)
{
    openDevice("dev");
    MBOpenRuntimeParams p = openRecord("dev");
    const Execution e = host.run("MBOpen", &p);
    EXPECT_EQ(e.code, 10002);
    EXPECT_EQ(e.diagnostics, "=> ExecuteMBOpen -> error #2\r");
    EXPECT_EQ(e.history, (lookupLines(1, 0) + Lines{"=> MODBUS/TCP connection error #2\r"}));
}

TEST_F(MBOpenTest, QuietFailureReturnsZeroAndLeavesTheCodeInVMBerr)
{
    fakeLibrary().openResult = MBUS_TCP_CONNECTION_ERROR;
    MBOpenRuntimeParams p = openRecord("dev");
    p.QFlagEncountered = 1;
    const Execution e = host.run("MBOpen", &p);
    EXPECT_EQ(e.code, 0);
    EXPECT_EQ(e.diagnostics, "=> initProtocol: LITTLE_ENDIAN selected\r"
                             "=> openProtocol: Error opening protocol: library text 68\r"
                             "=> ExecuteMBOpen -> error #68\r");
    // The registry's lines are printed whatever the quiet flag; the command's own line is not.
    EXPECT_EQ(e.history, Lines{"=> initConn: Initialisation of all connections\r"} +
                             lookupLines(1) + Lines{"=> setConnection: connection #0 enabled\r"});
    EXPECT_EQ(e.variables, (Variables{{"V_MBerr", 68}}));
}

TEST_F(MBOpenTest, QuietSuccessPrintsNoResultLine)
{
    MBOpenRuntimeParams p = openRecord("dev");
    p.QFlagEncountered = 1;
    const Execution e = host.run("MBOpen", &p);
    EXPECT_EQ(e.code, 0);
    EXPECT_EQ(e.history.back(), "=> setConnection: connection #0 enabled\r");
}

TEST_F(MBOpenTest, TwentyFirstHostNameFailsAndLeavesNoMasterBehind)
{
    for (int i = 0; i < 20; ++i)
        openDevice("dev" + std::to_string(i));
    MBOpenRuntimeParams p = openRecord("one too many");
    const Execution e = host.run("MBOpen", &p);
    EXPECT_EQ(e.code, 10002);
    EXPECT_EQ(e.diagnostics, "=> initProtocol: LITTLE_ENDIAN selected\r"
                             "=> openProtocol: no free connection for one too many\r"
                             "=> ExecuteMBOpen -> error #2\r");
    ASSERT_EQ(fakeLibrary().masters.size(), 21u);
    EXPECT_TRUE(fakeLibrary().masters.back()->destroyed);
    EXPECT_EQ(fakeLibrary().masters.back()->opens, 0);
    EXPECT_EQ(fakeLibrary().liveMasters(), 20);

    // Later commands for that name find no connection; the others keep theirs.
    MBConnectionRuntimeParams s = connectionRecord("one too many");
    EXPECT_EQ(host.run("MBGetStatus", &s).code, 10166);
    s = connectionRecord("dev19");
    EXPECT_EQ(host.run("MBGetStatus", &s).code, 0);
}

TEST_F(MBOpenTest, FailedFactoryRegistersNothingAndALaterOpenWorks)
{
    fakeLibrary().failNew = true;
    MBOpenRuntimeParams p = openRecord("dev");
    Execution e = host.run("MBOpen", &p);
    EXPECT_EQ(e.code, 10002);
    EXPECT_EQ(e.diagnostics, "=> initProtocol: LITTLE_ENDIAN selected\r"
                             "=> openProtocol: cannot instantiate protocol: library text 2\r"
                             "=> ExecuteMBOpen -> error #2\r");
    fakeLibrary().failNew = false;
    e = host.run("MBOpen", &p);
    EXPECT_EQ(e.code, 0);
    EXPECT_EQ(fakeLibrary().liveMasters(), 1);
}

class MBCloseTest : public ModuleTest {};

TEST_F(MBCloseTest, NameNeverOpenedSucceedsAndLooksUpTwice)
{
    MBConnectionRuntimeParams p = connectionRecord("nobody");
    const Execution e = host.run("MBClose", &p);
    EXPECT_EQ(e.code, 0);
    EXPECT_EQ(e.diagnostics, "");
    EXPECT_EQ(e.history,
              Lines{"=> initConn: Initialisation of all connections\r"} + lookupLines(1) +
                  lookupLines(1) +
                  Lines{"=> MODBUS/TCP connection closed with devive at address nobody\r"});
    EXPECT_EQ(e.variables, (Variables{{"V_MBerr", 0}}));
}

TEST_F(MBCloseTest, ClosesAndKeepsTheMasterForTheNextOpen)
{
    MBOpenRuntimeParams o = openRecord("dev");
    o.portEncountered = 1;
    o.TCPport = 1502;
    ASSERT_EQ(host.run("MBOpen", &o).code, 0);
    MBConnectionRuntimeParams p = connectionRecord("dev");
    Execution e = host.run("MBClose", &p);
    EXPECT_EQ(e.code, 0);
    EXPECT_EQ(e.diagnostics, "=> closeProtocol: connection closed with device dev on port 1502\r");
    EXPECT_EQ(e.history, (lookupLines(1, 0) + lookupLines(1, 0) +
                             Lines{"=> MODBUS/TCP connection closed with devive at address dev\r"}));
    EXPECT_FALSE(fakeLibrary().masters[0]->open);

    // Reopening reuses the master with new settings, without a second initProtocol line.
    o = openRecord("dev");
    o.timeoutEncountered = 1;
    o.timeOutms = 250;
    e = host.run("MBOpen", &o);
    EXPECT_EQ(e.code, 0);
    EXPECT_EQ(e.diagnostics, "=> openProtocol: MODBUS/TCP connection opened\r");
    ASSERT_EQ(fakeLibrary().masters.size(), 1u);
    EXPECT_EQ(fakeLibrary().masters[0]->port, 502);
    EXPECT_EQ(fakeLibrary().masters[0]->timeout, 250);
    EXPECT_EQ(fakeLibrary().masters[0]->opens, 2);
}

TEST_F(MBCloseTest, EveryHostNameFailureIsReportedAsOneWithoutRangeAlarm)
{
    MBConnectionRuntimeParams p{};
    p.IPEncountered = 1; // null handle
    Execution e = host.run("MBClose", &p);
    EXPECT_EQ(e.code, 10001);
    EXPECT_EQ(e.diagnostics, "=> ExecuteMBOpen: Null IP address pointer!\r"
                             "=> ExecuteMBClose -> error #1\r");
    EXPECT_EQ(e.history, Lines{"=> MODBUS/TCP error #1\r"});
    EXPECT_EQ(e.variables, (Variables{{"V_MBerr", 1}}));

    p = connectionRecord("");
    p.QFlagEncountered = 1;
    e = host.run("MBClose", &p);
    EXPECT_EQ(e.code, 0);
    EXPECT_EQ(e.diagnostics, "=> ExecuteMBOpen: Empty IP address!\r"
                             "=> ExecuteMBClose -> error #1\r");
    EXPECT_TRUE(e.history.empty());
    EXPECT_EQ(e.variables, (Variables{{"V_MBerr", 1}}));
}

class MBGetStatusTest : public ModuleTest {};

TEST_F(MBGetStatusTest, BeforeAnyOpenFailsWithNoConnection)
{
    MBConnectionRuntimeParams p = connectionRecord("dev");
    const Execution e = host.run("MBGetStatus", &p);
    EXPECT_EQ(e.code, 10166);
    EXPECT_EQ(e.diagnostics, "=> ExecuteMBGetStatus -> error #166\r");
    EXPECT_EQ(e.history, Lines{"=> initConn: Initialisation of all connections\r"} +
                             lookupLines(1) + Lines{"=> MODBUS/TCP error #166\r"});
    EXPECT_EQ(e.variables, (Variables{{"V_MBerr", 166}, {"V_MBstatus", 0}}));
}

TEST_F(MBGetStatusTest, NullHandleIsAConnectionError)
{
    MBConnectionRuntimeParams p{};
    p.IPEncountered = 1;
    const Execution e = host.run("MBGetStatus", &p);
    EXPECT_EQ(e.code, 10068);
    EXPECT_EQ(e.variables, (Variables{{"V_MBerr", 68}, {"V_MBstatus", 0}}));
}

TEST_F(MBGetStatusTest, ClosedConnectionFailsAfterTheOpenTest)
{
    openDevice("dev");
    MBConnectionRuntimeParams p = connectionRecord("dev");
    host.run("MBClose", &p);
    const Execution e = host.run("MBGetStatus", &p);
    EXPECT_EQ(e.code, 10069);
    EXPECT_EQ(e.diagnostics, "=> ExecuteMBGetStatus: isOpen...\r"
                             "=> ExecuteMBGetStatus -> error #69\r");
    EXPECT_TRUE(fakeLibrary().calls.empty());
}

TEST_F(MBGetStatusTest, ReadsTheStatusByteOfUnit255)
{
    openDevice("dev");
    fakeLibrary().statusByte = 0xA5;
    MBConnectionRuntimeParams p = connectionRecord("dev");
    const Execution e = host.run("MBGetStatus", &p);
    EXPECT_EQ(e.code, 0);
    EXPECT_EQ(fakeLibrary().calls, Lines{"mbusReadExceptionStatus 255"});
    EXPECT_EQ(e.diagnostics, "=> ExecuteMBGetStatus: isOpen...\r"
                             "=> ExecuteMBGetStatus: readExceptionStatus...\r"
                             "=> ExecuteMBGetStatus -> statusByte=165\r");
    EXPECT_EQ(e.history, (lookupLines(1, 0) + Lines{"=> statusByte = 165\r"}));
    EXPECT_EQ(e.variables, (Variables{{"V_MBerr", 0}, {"V_MBstatus", 165}}));
}

TEST_F(MBGetStatusTest, GatewayExceptionRaisesTheRangeAlarmAndReportsStatusZero)
{
    openDevice("dev");
    fakeLibrary().results["mbusReadExceptionStatus"] = MBUS_GATEWAY_TARGET_FAILED_RESPONSE;
    MBConnectionRuntimeParams p = connectionRecord("dev");
    Execution e = host.run("MBGetStatus", &p);
    EXPECT_EQ(e.code, 10171);
    EXPECT_EQ(e.history, (lookupLines(1, 0) +
                  Lines{"BUG FIX REQUIRED in MBGetStatus: Error code 10171  > FIRST_XOP_ERR "
                        "(10000) + 166\r",
                        "=> MODBUS/TCP error #171\r"}));
    EXPECT_EQ(e.variables, (Variables{{"V_MBerr", 171}, {"V_MBstatus", 0}}));

    // Quiet: the alarm line stays, the error line goes, the result is 0.
    fakeLibrary().results["mbusReadExceptionStatus"] = MBUS_GATEWAY_PATH_UNAVAILABLE_RESPONSE;
    p.QFlagEncountered = 1;
    e = host.run("MBGetStatus", &p);
    EXPECT_EQ(e.code, 0);
    EXPECT_EQ(e.diagnostics.substr(e.diagnostics.rfind("=>")),
              "=> ExecuteMBGetStatus -> error #170\r");
    EXPECT_EQ(e.history.back(),
              "BUG FIX REQUIRED in MBGetStatus: Error code 10170  > FIRST_XOP_ERR (10000) + 166\r");
    EXPECT_EQ(e.variables, (Variables{{"V_MBerr", 170}, {"V_MBstatus", 0}}));
}

} // namespace
