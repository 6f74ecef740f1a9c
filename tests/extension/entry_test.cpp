// XOPMain: host version, registration of the five commands, and the host services binding.
#include <thread>

#include "host/host_services.h"
#include "tests/extension/module_fixture.h"

namespace {

TEST(XOPMainTest, RegistersTheFiveCommandsInOrder)
{
    RecordingHost host;
    ASSERT_EQ(XOPMain(&host.record), 0);
    EXPECT_EQ(host.result, 0);
    EXPECT_NE(host.entry, nullptr);
    ASSERT_EQ(host.registrations.size(), 5u);
    const struct {
        const char *cmdTemplate;
        const char *variables;
        int size;
    } expected[] = {
        {"MBOpen /Q IP=string:hostName, port=number:TCPport, timeout=number:timeOutms, "
         "delay=number:pollDelay",
         "V_MBerr;", 84},
        {"MBGetStatus /Q IP=string:hostName", "V_MBerr;V_MBstatus;", 36},
        {"MBClose /Q IP=string:hostName", "V_MBerr;", 36},
        {"MBRead /L /F /Q IP=string:hostName, Coil=number:addressCoil, "
         "DiscreteInput=number:addressDiscreteInput, "
         "HoldingRegister=number:addressHoldingRegister, InputRegister=number:addressInputRegister",
         "V_MBerr;V_MBCoil;V_MBDiscreteInput;V_MBHoldingRegister;V_MBInputRegister;", 108},
        {"MBWrite /L /F /Q IP=string:hostName, Coil={number:addressCoil, number:valueCoil}, "
         "Register={number:addressRegister, number:valueRegister}",
         "V_MBerr;", 100},
    };
    for (std::size_t i = 0; i < 5; ++i) {
        EXPECT_EQ(host.registrations[i].cmdTemplate, expected[i].cmdTemplate);
        EXPECT_EQ(host.registrations[i].numVarList, expected[i].variables);
        EXPECT_EQ(host.registrations[i].strVarList, "");
        EXPECT_EQ(host.registrations[i].recordSize, expected[i].size);
        EXPECT_EQ(host.registrations[i].options, 2);
        EXPECT_NE(host.registrations[i].execute, nullptr);
    }
    host.cleanup();
}

TEST(XOPMainTest, HostVersion620IsTheOldestAccepted)
{
    RecordingHost accepted(620);
    EXPECT_EQ(XOPMain(&accepted.record), 0);
    EXPECT_EQ(accepted.registrations.size(), 5u);

    RecordingHost refused(619);
    EXPECT_EQ(XOPMain(&refused.record), 1);
    EXPECT_EQ(refused.result, 10165);
    EXPECT_TRUE(refused.registrations.empty());
    // The entry callback is installed before the refusal.
    EXPECT_NE(refused.entry, nullptr);
}

TEST(XOPMainTest, AFailingRegistrationStopsTheRestAndIsTheResult)
{
    RecordingHost host;
    host.failAt = 2; // MBClose
    host.failCode = 4711;
    EXPECT_EQ(XOPMain(&host.record), 1);
    EXPECT_EQ(host.result, 4711);
    ASSERT_EQ(host.registrations.size(), 2u);
    EXPECT_EQ(host.registrations[1].cmdTemplate, "MBGetStatus /Q IP=string:hostName");
}

TEST(XOPMainTest, RefusesARecordItCannotUse)
{
    EXPECT_EQ(XOPMain(nullptr), 1);
    RecordingHost host;
    host.record.recordSize = sizeof(XopHostRecord) - 8;
    EXPECT_EQ(XOPMain(&host.record), 1);
    EXPECT_TRUE(host.registrations.empty());
    EXPECT_EQ(host.result, -1);
}

TEST(HostServicesTest, RegisterOperationOffTheMainThreadFailsWithOneMessageBox)
{
    RecordingHost host;
    ASSERT_EQ(XOPInit(&host.record), 0);
    int first = 0;
    int second = 0;
    std::thread other([&] {
        first = RegisterOperation("X /Q", "", "", 20, nullptr, 2);
        second = RegisterOperation("X /Q", "", "", 20, nullptr, 2);
    });
    other.join();
    EXPECT_EQ(first, XOP_ERR_NOT_MAIN_THREAD);
    EXPECT_EQ(second, XOP_ERR_NOT_MAIN_THREAD);
    EXPECT_EQ(host.messageBoxes, Lines{"BUG: RegisterOperation is not threadsafe.\r"});
    EXPECT_TRUE(host.registrations.empty());
    // On the main thread it reaches the host.
    EXPECT_EQ(RegisterOperation("X /Q", "", "", 20, nullptr, 2), 0);
    EXPECT_EQ(host.registrations.size(), 1u);
}

TEST(HostServicesTest, TextsAreAlwaysTerminatedAndNullHandlesRefused)
{
    RecordingHost host;
    ASSERT_EQ(XOPInit(&host.record), 0);
    char buffer[6];
    std::fill(std::begin(buffer), std::end(buffer), 'z');
    EXPECT_EQ(GetCStringFromHandle(host.text("abc"), buffer, 5), 0);
    EXPECT_STREQ(buffer, "abc");
    EXPECT_EQ(GetCStringFromHandle(host.text("abcdefgh"), buffer, 5), XOP_ERR_TEXT_TOO_LONG);
    EXPECT_EQ(buffer[5], '\0');
    EXPECT_EQ(GetCStringFromHandle(nullptr, buffer, 5), XOP_ERR_NULL_TEXT);
    EXPECT_STREQ(buffer, "");
}

TEST(HostServicesTest, UnboundServicesDoNothing)
{
    EXPECT_EQ(XOPInit(nullptr), XOP_ERR_NO_HOST);
    EXPECT_EQ(hostVersion(), 0);
    EXPECT_EQ(setOutputVariable("V_MBerr", 1), XOP_ERR_NO_HOST);
    EXPECT_EQ(RegisterOperation("X", "", "", 16, nullptr, 2), XOP_ERR_NO_HOST);
    EXPECT_EQ(GetXOPMessage(), 0);
    printHistoryLine("nowhere\r");
}

} // namespace
