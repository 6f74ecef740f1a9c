// XOPMain and the host services against a recording callback procedure: the start-up sequence
// call by call, the parameter slots as the module writes them in both callback modes, the
// registration of the five commands, refusals with Igor's error codes, and the thread rules.
#include <cstring>
#include <thread>

#include "host/host_services.h"
#include "tests/extension/module_fixture.h"
#include "xophost/handle_heap.h"

namespace {

template <typename T> const T *at(int64_t slot)
{
    return reinterpret_cast<const T *>(static_cast<uintptr_t>(slot));
}

TEST(XOPMainTest, StartsUpInIgorsOrderAndRegistersTheCommands)
{
    CapturingHost host;
    ASSERT_EQ(XOPMain(host.ioRec()), 0);
    EXPECT_EQ(host.result(), 0);
    EXPECT_EQ(host.entry(), &hostMessageEntry);
    EXPECT_TRUE(host.callRecordMode());
    EXPECT_EQ(host.violations, Lines{});
    ASSERT_EQ(host.calls.size(), 11u);

    // Legacy: the version into an int the module owns, then the switch with 1.
    EXPECT_FALSE(host.calls[0].callRecord);
    EXPECT_EQ(host.calls[0].code, GET_IGOR_VERSION);
    ASSERT_EQ(host.calls[0].params.size(), 1u);
    EXPECT_NE(host.calls[0].params[0], 0);
    EXPECT_FALSE(host.calls[1].callRecord);
    EXPECT_EQ(host.calls[1].code, SET_IGOR_CALLBACK_METHOD);
    EXPECT_EQ(host.calls[1].params, std::vector<int64_t>{1});
    // The legacy calls went through the I/O record; the call records left it alone.
    EXPECT_EQ(host.record().message, SET_IGOR_CALLBACK_METHOD);
    EXPECT_EQ(host.record().numItems, 1);
    int64_t item = 0;
    std::memcpy(&item, host.record().items, sizeof item); // unaligned in the packed record
    EXPECT_EQ(item, 1);

    // Call records from here on: the memory table...
    const CallbackCall &table = host.calls[2];
    EXPECT_TRUE(table.callRecord);
    EXPECT_EQ(table.code, GET_IGOR_INTERNAL_INFO);
    ASSERT_EQ(table.params.size(), 4u);
    EXPECT_STREQ(at<char>(table.params[0]), "WMMemoryFunctions");
    EXPECT_EQ(table.params[1], 0);
    EXPECT_EQ(table.params[2], 800);
    EXPECT_NE(table.params[3], 0);

    // ...and the five registrations: template, lists, size, execute address, options.
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
        const CallbackCall &call = host.calls[3 + i];
        EXPECT_TRUE(call.callRecord);
        EXPECT_EQ(call.code, REGISTER_OPERATION);
        ASSERT_EQ(call.params.size(), 6u);
        EXPECT_STREQ(at<char>(call.params[0]), expected[i].cmdTemplate);
        EXPECT_STREQ(at<char>(call.params[1]), expected[i].variables);
        EXPECT_STREQ(at<char>(call.params[2]), "");
        EXPECT_EQ(call.params[3], expected[i].size);
        EXPECT_NE(call.params[4], 0);
        EXPECT_EQ(call.params[5], kOperationIsThreadSafe);
    }
    // The block commands and the serial open follow the five, thread-safe as they are.
    const struct {
        const char *name;
        const char *variables;
        int size;
    } added[] = {{"MBReadWave ", "V_MBerr;V_MBCount;", 244},
                 {"MBWriteWave ", "V_MBerr;V_MBCount;", 132},
                 {"MBOpenSerial ", "V_MBerr;", 180}};
    for (std::size_t i = 0; i < 3; ++i) {
        const CallbackCall &call = host.calls[8 + i];
        EXPECT_EQ(call.code, REGISTER_OPERATION);
        ASSERT_EQ(call.params.size(), 6u);
        EXPECT_EQ(std::string(at<char>(call.params[0])).rfind(added[i].name, 0), 0u);
        EXPECT_STREQ(at<char>(call.params[1]), added[i].variables);
        EXPECT_EQ(call.params[3], added[i].size);
        EXPECT_EQ(call.params[5], kOperationIsThreadSafe);
    }
    ASSERT_EQ(host.registrations.size(), 8u);
    EXPECT_EQ(host.cleanup().code, 0);
}

TEST(XOPMainTest, OutputVariablesAndHistoryTravelAsCallRecords)
{
    CapturingHost host;
    ASSERT_EQ(XOPMain(host.ioRec()), 0);
    host.calls.clear();
    MBConnectionRuntimeParams p{};
    p.IPEncountered = 1;
    p.hostName = host.text("dev");
    host.run("MBClose", &p);
    ASSERT_FALSE(host.calls.empty());
    bool sawVariable = false;
    for (const CallbackCall &call : host.calls) {
        EXPECT_TRUE(call.callRecord);
        if (call.code == SET_RUNTIME_NUMERIC_VARIABLE) {
            // The name, and the double by address.
            ASSERT_EQ(call.params.size(), 2u);
            EXPECT_STREQ(at<char>(call.params[0]), "V_MBerr");
            sawVariable = true;
        } else {
            EXPECT_EQ(call.code, NOTICE);
            ASSERT_EQ(call.params.size(), 1u);
        }
    }
    EXPECT_TRUE(sawVariable);
    EXPECT_EQ(host.variables, (std::vector<std::pair<std::string, double>>{{"V_MBerr", 0.0}}));
    EXPECT_EQ(host.history.back(), "=> MODBUS/TCP connection closed with devive at address dev\r");
    host.cleanup();
    EXPECT_EQ(host.violations, Lines{});
}

TEST(XOPMainTest, HostVersion620IsTheOldestAccepted)
{
    CapturingHost accepted(620);
    EXPECT_EQ(XOPMain(accepted.ioRec()), 0);
    EXPECT_EQ(accepted.registrations.size(), 8u);
    accepted.cleanup();

    CapturingHost tooOld(619);
    EXPECT_EQ(XOPMain(tooOld.ioRec()), 1);
    EXPECT_EQ(tooOld.result(), 10165);
    EXPECT_TRUE(tooOld.registrations.empty());
    // The version was the only question; the entry callback is installed before the refusal.
    ASSERT_EQ(tooOld.calls.size(), 1u);
    EXPECT_EQ(tooOld.calls[0].code, GET_IGOR_VERSION);
    EXPECT_EQ(tooOld.entry(), &hostMessageEntry);
    EXPECT_EQ(tooOld.violations, Lines{});
}

TEST(XOPMainTest, RefusesWithIgorsCodesWhatItCannotWorkWith)
{
    // An Igor without the version callback (before 6.32) and without a version resource to read.
    CapturingHost noVersion;
    noVersion.versionAnswer = IGOR_OBSOLETE;
    EXPECT_EQ(XOPMain(noVersion.ioRec()), 1);
    EXPECT_EQ(noVersion.result(), 10165);

    // The switch to the call-record mode refused: the thread-safe commands cannot run.
    CapturingHost legacyOnly;
    legacyOnly.callbackMethodAnswer = IGOR_OBSOLETE;
    EXPECT_EQ(XOPMain(legacyOnly.ioRec()), 1);
    EXPECT_EQ(legacyOnly.result(), IGOR_OBSOLETE);
    EXPECT_FALSE(legacyOnly.callRecordMode());
    EXPECT_TRUE(legacyOnly.registrations.empty());
    EXPECT_EQ(legacyOnly.violations, Lines{});

    // A version-7 host: no memory table on Windows (the exports serve), asked for elsewhere.
    CapturingHost igor7(700);
    igor7.fillMemoryTable = false;
    const int loaded = XOPMain(igor7.ioRec());
#if defined(_WIN32)
    EXPECT_EQ(loaded, 0);
    ASSERT_EQ(igor7.calls.size(), 10u); // two start-up calls, eight registrations
    EXPECT_EQ(igor7.calls[2].code, REGISTER_OPERATION);
    igor7.cleanup();
#else
    // No table, no exports: handle sizes cannot be read.
    EXPECT_EQ(loaded, 1);
    ASSERT_EQ(igor7.calls.size(), 3u);
    EXPECT_EQ(igor7.calls[2].code, GET_IGOR_INTERNAL_INFO);
    EXPECT_EQ(igor7.result(), IGOR_OBSOLETE);
    EXPECT_TRUE(igor7.registrations.empty());
#endif

    EXPECT_EQ(XOPMain(nullptr), 1);
}

TEST(XOPMainTest, AFailingRegistrationStopsTheRestAndIsTheResult)
{
    CapturingHost host;
    host.failAt = 2; // MBClose
    host.failCode = 4711;
    EXPECT_EQ(XOPMain(host.ioRec()), 1);
    EXPECT_EQ(host.result(), 4711);
    ASSERT_EQ(host.registrations.size(), 2u);
    EXPECT_EQ(host.registrations[1].cmdTemplate, "MBGetStatus /Q IP=string:hostName");
}

TEST(HostServicesTest, OffTheMainThreadOnlyThreadSafeCallbacksAreMade)
{
    CapturingHost host;
    ASSERT_EQ(XOPMain(host.ioRec()), 0);
    host.calls.clear();
    int first = 0;
    int second = 0;
    testing::internal::CaptureStderr();
    std::thread other([&] {
        first = RegisterOperation("X /Q", "", "", 20, nullptr, 2);
        second = RegisterOperation("X /Q", "", "", 20, nullptr, 2);
        SetXOPResult(77);
        printHistoryLine("from a thread\r");
    });
    other.join();
    // One alarm in 3600 ticks, whichever service raised it.
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "BUG: RegisterOperation is not threadsafe.\r");
    EXPECT_EQ(first, NOT_IN_THREADSAFE);
    EXPECT_EQ(second, NOT_IN_THREADSAFE);
    EXPECT_EQ(host.result(), 0);
    // The history line went out as a call record from that thread; nothing else did.
    ASSERT_EQ(host.calls.size(), 1u);
    EXPECT_EQ(host.calls[0].code, NOTICE);
    EXPECT_TRUE(host.calls[0].callRecord);
    EXPECT_FALSE(host.calls[0].onMainThread);
    EXPECT_EQ(host.registrations.size(), 8u);
    host.cleanup();
}

TEST(HostServicesTest, TextsComeFromIgorHandlesWithoutNul)
{
    CapturingHost host;
    ASSERT_EQ(XOPMain(host.ioRec()), 0);
    char buffer[6];
    std::fill(std::begin(buffer), std::end(buffer), 'z');
    EXPECT_EQ(GetCStringFromHandle(host.text("abc"), buffer, 5), 0);
    EXPECT_STREQ(buffer, "abc");
    EXPECT_EQ(GetCStringFromHandle(host.text("abcdefgh"), buffer, 5), STR_TOO_LONG);
    EXPECT_STREQ(buffer, "abcde");
    // Exactly max characters fit, and the terminator behind them is written too.
    std::fill(std::begin(buffer), std::end(buffer), 'z');
    EXPECT_EQ(GetCStringFromHandle(host.text("vwxyz"), buffer, 5), 0);
    EXPECT_STREQ(buffer, "vwxyz");
    // The size is the host's: a shrunk handle keeps its old bytes but not their length.
    Handle shrunk = host.text("abcd");
    ASSERT_EQ(HandleHeap::process().setSize(shrunk, 2), 0);
    EXPECT_EQ(GetCStringFromHandle(shrunk, buffer, 5), 0);
    EXPECT_STREQ(buffer, "ab");
    EXPECT_EQ(GetCStringFromHandle(host.text(""), buffer, 5), 0);
    EXPECT_STREQ(buffer, "");
    EXPECT_EQ(GetCStringFromHandle(nullptr, buffer, 5), USING_NULL_STRVAR);
    EXPECT_STREQ(buffer, "");
    host.cleanup();
}

TEST(HostServicesTest, UnboundServicesDoNothing)
{
    EXPECT_EQ(XOPInit(nullptr), kNoHost);
    EXPECT_EQ(hostVersion(), 0);
    EXPECT_EQ(setOutputVariable("V_MBerr", 1), IGOR_OBSOLETE);
    EXPECT_EQ(RegisterOperation("X", "", "", 16, nullptr, 2), IGOR_OBSOLETE);
    EXPECT_EQ(GetXOPMessage(), 0);
    printHistoryLine("nowhere\r");
}

} // namespace
