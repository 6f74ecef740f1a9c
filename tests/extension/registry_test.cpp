// The connection registry, the master setup checks and the clean-up message.
#include <cstdint>
#include <string>

#include "extension/connection_registry.h"
#include "extension/master_setup.h"
#include "tests/extension/module_fixture.h"

namespace {

class RegistryTest : public ModuleTest {
protected:
    MbusHandle newMaster() { return mbusNewTcpMaster(); }
    // The history lines printed by f.
    template <typename F> Lines linesOf(F f)
    {
        const std::size_t before = host.history.size();
        f();
        return Lines(host.history.begin() + static_cast<long>(before), host.history.end());
    }
};

TEST_F(RegistryTest, FirstLookupCreatesTheTableAndScansSlotZero)
{
    MbusHandle found = newMaster();
    const Lines lines = linesOf([&] { EXPECT_EQ(getConnection("dev", &found), 0); });
    EXPECT_EQ(found, nullptr);
    EXPECT_EQ(lines, Lines{"=> initConn: Initialisation of all connections\r"} + lookupLines(1));
}

TEST_F(RegistryTest, LookupsScanOneSlotBeyondTheLastTaken)
{
    MbusHandle a = newMaster();
    EXPECT_EQ(linesOf([&] { EXPECT_TRUE(setConnection("a", a)); }),
              (Lines{"=> initConn: Initialisation of all connections\r",
                     "=> setConnection: connection #0 enabled\r"}));
    MbusHandle found = nullptr;
    EXPECT_EQ(linesOf([&] { EXPECT_EQ(getConnection("a", &found), 1); }), lookupLines(1, 0));
    EXPECT_EQ(found, a);
    EXPECT_EQ(linesOf([&] { EXPECT_EQ(getConnection("b", &found), 0); }), lookupLines(2));
    EXPECT_EQ(found, nullptr);
}

TEST_F(RegistryTest, NamesDifferingInCaseAreTwoConnections)
{
    MbusHandle lower = newMaster();
    MbusHandle upper = newMaster();
    setConnection("plc.local", lower);
    setConnection("PLC.local", upper);
    MbusHandle found = nullptr;
    EXPECT_EQ(getConnection("PLC.local", &found), 1);
    EXPECT_EQ(found, upper);
    EXPECT_EQ(getConnection("plc.local", &found), 1);
    EXPECT_EQ(found, lower);
}

TEST_F(RegistryTest, RegisteringANameAgainReEnablesItsSlot)
{
    MbusHandle first = newMaster();
    MbusHandle second = newMaster();
    setConnection("a", first);
    EXPECT_EQ(linesOf([&] { setConnection("a", second); }),
              Lines{"=> setConnection: connection #0 re-enabled\r"});
    MbusHandle found = nullptr;
    getConnection("a", &found);
    EXPECT_EQ(found, second);
    // The count did not grow: a miss still scans two slots.
    EXPECT_EQ(linesOf([&] { getConnection("zzz", &found); }), lookupLines(2));
    mbusDestroy(first);
}

TEST_F(RegistryTest, LongNamesAreKeptWholeAndNeverShareASlot)
{
    const std::string prefix(31, 'p');
    const std::string first = prefix + "-first.example.org";
    const std::string second = prefix + "-second.example.org";
    const std::string longest(254, 'x');
    MbusHandle a = newMaster();
    MbusHandle b = newMaster();
    MbusHandle c = newMaster();
    EXPECT_TRUE(setConnection(first.c_str(), a));
    EXPECT_TRUE(setConnection(second.c_str(), b));
    EXPECT_TRUE(setConnection(longest.c_str(), c));
    MbusHandle found = nullptr;
    EXPECT_EQ(getConnection(first.c_str(), &found), 1);
    EXPECT_EQ(found, a);
    EXPECT_EQ(getConnection(second.c_str(), &found), 1);
    EXPECT_EQ(found, b);
    EXPECT_EQ(getConnection(longest.c_str(), &found), 1);
    EXPECT_EQ(found, c);
    EXPECT_EQ(getConnection(prefix.c_str(), &found), 0);

    // A name beyond what a command accepts does not fit the field and is not stored.
    const std::string tooLong(255, 'y');
    MbusHandle d = newMaster();
    EXPECT_EQ(linesOf([&] { EXPECT_FALSE(setConnection(tooLong.c_str(), d)); }), Lines{});
    EXPECT_EQ(getConnection(tooLong.c_str(), &found), 0);
    mbusDestroy(d);
}

TEST_F(RegistryTest, FullTableStoresNothingMore)
{
    for (int i = 0; i < 20; ++i)
        ASSERT_TRUE(setConnection(("dev" + std::to_string(i)).c_str(), newMaster()));
    MbusHandle extra = newMaster();
    EXPECT_EQ(linesOf([&] { EXPECT_FALSE(setConnection("dev20", extra)); }), Lines{});
    MbusHandle found = extra;
    EXPECT_EQ(linesOf([&] { EXPECT_EQ(getConnection("dev20", &found), 0); }), lookupLines(20));
    EXPECT_EQ(found, nullptr);
    EXPECT_EQ(getMaxConnections(), 20);
    mbusDestroy(extra);
}

TEST_F(RegistryTest, ErasedSlotHoldsABlankAndIsTakenFirst)
{
    MbusHandle a = newMaster();
    MbusHandle b = newMaster();
    setConnection("a", a);
    setConnection("b", b);
    EXPECT_EQ(linesOf([] { eraseConnection("a"); }),
              Lines{"=> eraseConnection: connection #0 disabled\r"});
    MbusHandle found = nullptr;
    EXPECT_EQ(getConnection(" ", &found), 1);
    EXPECT_EQ(found, nullptr);
    MbusHandle c = newMaster();
    EXPECT_EQ(linesOf([&] { setConnection("c", c); }),
              Lines{"=> setConnection: connection #0 enabled\r"});
    EXPECT_EQ(linesOf([] { eraseNthConnection(1); }),
              Lines{"=> eraseNthConnection: connection #1 disabled\r"});
    // Taking a free slot grows the scan even when the slot was erased: slots 0..3 now.
    EXPECT_EQ(linesOf([&] { getConnection("zzz", &found); }), lookupLines(4));
    // Outside the scanned slots nothing happens.
    EXPECT_EQ(linesOf([&] {
                  eraseNthConnection(4);
                  eraseNthConnection(-1);
                  getNThConnection(4, &found);
              }),
              Lines{});
    EXPECT_EQ(found, nullptr);
    mbusDestroy(a);
    mbusDestroy(b);
}

TEST_F(RegistryTest, CleanUpBeforeAnyCommandCreatesAndReleasesTheTable)
{
    const Execution e = host.cleanup();
    EXPECT_EQ(e.code, 0);
    EXPECT_EQ(e.history, (Lines{"=> initConn: Initialisation of all connections\r",
                                "=> getNThConnection: handle of connection #0 returned\r",
                                "=> disposeMyConnections: list of connection disposed\r"}));
}

TEST_F(RegistryTest, CleanUpClosesErasesAndDestroysEveryMaster)
{
    openDevice("a");
    openDevice("b");
    MBConnectionRuntimeParams p = connectionRecord("b");
    host.run("MBClose", &p);
    const Execution e = host.cleanup();
    EXPECT_EQ(e.history, (Lines{"=> getNThConnection: handle of connection #0 returned\r",
                                "=> eraseNthConnection: connection #0 disabled\r",
                                "=> getNThConnection: handle of connection #1 returned\r",
                                "=> eraseNthConnection: connection #1 disabled\r",
                                "=> getNThConnection: handle of connection #2 returned\r",
                                "=> disposeMyConnections: list of connection disposed\r"}));
    ASSERT_EQ(fakeLibrary().masters.size(), 2u);
    EXPECT_EQ(fakeLibrary().masters[0]->closes, 1); // open: closed by the clean-up
    EXPECT_EQ(fakeLibrary().masters[1]->closes, 1); // closed by MBClose only
    EXPECT_EQ(fakeLibrary().liveMasters(), 0);

    // A command after the clean-up starts a fresh table.
    MBConnectionRuntimeParams s = connectionRecord("a");
    const Execution after = host.run("MBGetStatus", &s);
    EXPECT_EQ(after.code, 10166);
    EXPECT_EQ(after.history.front(), "=> initConn: Initialisation of all connections\r");
}

TEST_F(RegistryTest, OtherHostMessagesOnlySetResultZero)
{
    for (int message : {0, 1, 7, 11, 13}) {
        const std::size_t before = host.history.size();
        EXPECT_EQ(host.send(message), 0) << message;
        EXPECT_EQ(host.history.size(), before);
    }
}

TEST(ArgumentChecks, AcceptOneToTheLimitAndReportTheirOwnLine)
{
    struct Case {
        int (*check)(uint32_t);
        uint32_t limit;
        int code;
        const char *line;
    };
    const Case cases[] = {
        {checkStartRef, 65536, 162, "=> checkStartRef: MODBUS data address must be 1-0x10000\r"},
        {checkCoilCount, 2000, 1, "=> checkStartRef: MODBUS number of coils must be 1-2000\r"},
        {checkRegisterCount, 125, 1, "=> checkStartRef: MODBUS number of registers must be 1-125\r"},
        {checkLongRegisterCount, 62, 1,
         "=> checkStartRef: MODBUS number of registers must be 1-62\r"},
        {checkSlaveAddress, 255, 5,
         "=> checkSlaveAddress: MODBUS address of slave device or unit identifier must be "
         "1-255\r"},
    };
    for (const Case &c : cases) {
        testing::internal::CaptureStderr();
        EXPECT_EQ(c.check(1), 0);
        EXPECT_EQ(c.check(c.limit), 0);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
        testing::internal::CaptureStderr();
        EXPECT_EQ(c.check(0), c.code);
        EXPECT_EQ(c.check(c.limit + 1), c.code);
        EXPECT_EQ(c.check(0xFFFFFFFFu), c.code);
        EXPECT_EQ(testing::internal::GetCapturedStderr(),
                  std::string(c.line) + c.line + c.line);
    }
}

} // namespace
