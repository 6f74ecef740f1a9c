// The stand-in host in-process: registration checks, record filling, variables, history and
// error lines, with a module made of test functions.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "xophost/handle_heap.h"
#include "xophost/stand_in_host.h"

namespace {

// What the test command saw; the execute function has no context argument.
struct Seen {
    std::vector<unsigned char> record;
    std::string text;
    int textResult = -1;
    int result = 0;
    bool breakRule = false;
};
Seen seen;
IORecHandle boundRecord = nullptr;
bool callRecords = false;

int recordingExecute(void *params);

// The module's side of a callback, in the mode it switched to.
int64_t call(int code, std::vector<int64_t> params)
{
    if (callRecords) {
        XOPCallRec rec{};
        rec.version = kXOPCallRecVersion;
        rec.ioRecHandle = boundRecord;
        rec.message = code;
        rec.numParameters = static_cast<int32_t>(params.size());
        rec.parametersP = params.empty() ? nullptr : params.data();
        (**boundRecord).callBackProc(&rec);
        return rec.result;
    }
    IORec &r = **boundRecord;
    r.result = 0;
    r.message = static_cast<int16_t>(code);
    r.numItems = static_cast<int16_t>(params.size());
    if (!params.empty())
        std::memcpy(r.items, params.data(), sizeof(int64_t) * params.size()); // unaligned in the record
    r.callBackProc(boundRecord);
    return r.result;
}

int64_t slot(const void *p)
{
    return static_cast<int64_t>(reinterpret_cast<uintptr_t>(p));
}

int64_t registerProbe(const char *cmdTemplate, const char *variables, int size)
{
    return call(REGISTER_OPERATION, {slot(cmdTemplate), slot(variables), slot(""), size,
                                     slot(reinterpret_cast<void *>(recordingExecute)), kOperationIsThreadSafe});
}

int recordingExecute(void *params)
{
    // Template "Probe /A /B S=string:s, N={number:x, number:y}, V=number:v" implies 84 bytes.
    seen.record.assign(static_cast<unsigned char *>(params), static_cast<unsigned char *>(params) + 84);
    Handle handle = nullptr;
    std::memcpy(&handle, seen.record.data() + 12, sizeof handle);
    // Igor's text: no NUL, its size from the memory functions.
    const BCInt size = handle != nullptr ? HandleHeap::memoryFunctions().GetHandleSize(handle) : 0;
    seen.text = handle != nullptr ? std::string(*handle, static_cast<std::size_t>(size)) : "";
    const double value = 2.5;
    call(SET_RUNTIME_NUMERIC_VARIABLE, {slot("V_probe"), slot(&value)});
    call(NOTICE, {slot("probe ran\rtwice\r")});
    if (seen.breakRule)
        call(SET_RUNTIME_NUMERIC_VARIABLE, {slot("V_other"), slot(&value)});
    return seen.result;
}

const unsigned char kTable[] = "first\0second\0";
const unsigned char kXopi[] = {4, 0, 0, 0, 0, 0, 0, 0, 0xBE, 2};
// Probe compilable and thread-safe, Loose compilable only, Plain neither.
const unsigned char kXopc[] = "Probe\0\x40\x80Loose\0\x40\0Plain\0\0\0";

const unsigned char *testResources(const char *type, int id, uint32_t *size, uint16_t *)
{
    const struct {
        const char *type;
        const unsigned char *bytes;
        uint32_t size;
    } resources[] = {{"STR#", kTable, sizeof kTable}, {"XOPI", kXopi, sizeof kXopi}, {"XOPC", kXopc, sizeof kXopc}};
    for (const auto &r : resources) {
        if (std::strcmp(type, r.type) == 0 && id == 1100) {
            *size = r.size;
            return r.bytes;
        }
    }
    return nullptr;
}

int testMain(IORecHandle ioRec)
{
    boundRecord = ioRec;
    callRecords = false;
    EXPECT_EQ((**ioRec).XOPProtocolVersion, 4);
    EXPECT_EQ((**ioRec).message, INIT);
    int version = 0;
    EXPECT_EQ(call(GET_IGOR_VERSION, {slot(&version)}), 0);
    EXPECT_EQ(version, 8000);
    EXPECT_EQ(call(SET_IGOR_CALLBACK_METHOD, {1}), 0);
    callRecords = true;
    WMMemoryFunctions table{};
    EXPECT_EQ(call(GET_IGOR_INTERNAL_INFO, {slot("WMMemoryFunctions"), 0, 800, slot(&table)}), 0);
#if defined(_WIN32)
    // Windows Igor leaves the table empty: its memory functions are exports.
    EXPECT_EQ(table.GetHandleSize, nullptr);
#else
    EXPECT_NE(table.GetHandleSize, nullptr);
#endif
    if (registerProbe("Probe /A /B S=string:s, N={number:x, number:y}, V=number:v", "V_probe;", 84) != 0)
        return 1;
    (**ioRec).result = 0;
    return 0;
}

// Each registration the host refuses, with its code.
int refusedRegistrationsMain(IORecHandle ioRec)
{
    testMain(ioRec);
    EXPECT_EQ(registerProbe("Loose /A", "", 16), XOP_BAD_PARAMETER); // thread-safe, XOPC says not
    EXPECT_EQ(registerProbe("Plain /A", "", 20), OH_NOT_COMPILABLE);
    EXPECT_EQ(registerProbe("Other /A", "", 20), OH_NOT_IN_XOPC);
    EXPECT_EQ(registerProbe("probe", "", 16), OH_BAD_TEMPLATE);   // already registered
    EXPECT_EQ(registerProbe("Bad = =", "", 16), OH_BAD_TEMPLATE);
    EXPECT_EQ(registerProbe("Loose /A", "V_a", 24), OH_BAD_TEMPLATE);
    EXPECT_EQ(call(REGISTER_OPERATION, {slot("Loose /A"), 0, 0, 24, slot(reinterpret_cast<void *>(recordingExecute)), 0}),
              OH_BAD_STRUCT_SIZE);
    return 0;
}

int refusingMain(IORecHandle ioRec)
{
    (**ioRec).result = 10002;
    return 1;
}

// Breaks one rule after the other while starting.
int unrulyMain(IORecHandle ioRec)
{
    boundRecord = ioRec;
    callRecords = true; // before the switch
    EXPECT_EQ(call(NOTICE, {slot("x\r")}), XOP_BAD_CALLBACK_MODE);
    callRecords = false;
    EXPECT_EQ(call(SET_IGOR_CALLBACK_METHOD, {1}), 0);
    EXPECT_EQ(call(NOTICE, {slot("x\r")}), XOP_BAD_CALLBACK_MODE); // legacy after the switch
    callRecords = true;
    EXPECT_EQ(call(4711, {}), IGOR_OBSOLETE);
    EXPECT_EQ(call(NOTICE, {}), XOP_BAD_PARAMETER);
    int64_t threadAnswer = 0;
    std::thread([&] { threadAnswer = registerProbe("Probe /A", "", 16); }).join();
    EXPECT_EQ(threadAnswer, XOP_CALLBACK_NOT_THREADSAFE);
    return 0;
}

std::string contents(std::FILE *file)
{
    std::fflush(file);
    std::rewind(file);
    std::string text;
    char buffer[256];
    std::size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0)
        text.append(buffer, n);
    return text;
}

class StandInHostTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        history = std::tmpfile();
        errors = std::tmpfile();
        ASSERT_NE(history, nullptr);
        ASSERT_NE(errors, nullptr);
        host = std::make_unique<StandInHost>(800, history, errors);
        seen = Seen();
        std::string error;
        ASSERT_TRUE(host->startModule(testMain, testResources, error)) << error;
    }
    void TearDown() override
    {
        host.reset();
        std::fclose(history);
        std::fclose(errors);
    }
    template <typename T> T at(std::size_t offset)
    {
        T value{};
        std::memcpy(&value, seen.record.data() + offset, sizeof value);
        return value;
    }
    std::FILE *history = nullptr;
    std::FILE *errors = nullptr;
    std::unique_ptr<StandInHost> host;
};

TEST_F(StandInHostTest, FillsTheRecordAsTheTemplateLaysItOut)
{
    ASSERT_EQ(host->runLine("probe /B S=\"abc\", V=-7, N={0x20, 1.5}"), StandInHost::Outcome::Done);
    ASSERT_EQ(seen.record.size(), 84u);
    EXPECT_EQ(at<int32_t>(0), 0);  // /A
    EXPECT_EQ(at<int32_t>(4), 1);  // /B
    EXPECT_EQ(at<int32_t>(8), 1);  // S given
    EXPECT_EQ(at<int32_t>(20), 1); // S's parameter set
    EXPECT_EQ(at<int32_t>(24), 1); // N given
    EXPECT_EQ(at<double>(28), 32.0);
    EXPECT_EQ(at<double>(36), 1.5);
    EXPECT_EQ(at<int32_t>(44), 1);
    EXPECT_EQ(at<int32_t>(48), 1);
    EXPECT_EQ(at<int32_t>(52), 1); // V given
    EXPECT_EQ(at<double>(56), -7.0);
    EXPECT_EQ(at<int32_t>(64), 1);
    // From the command line: not from a function, not from a macro, no thread pointer.
    for (std::size_t offset = 68; offset < 84; ++offset)
        EXPECT_EQ(seen.record[offset], 0) << offset;
    EXPECT_EQ(seen.text, "abc");
    double value = 0;
    ASSERT_TRUE(host->variable("v_PROBE", value));
    EXPECT_EQ(value, 2.5);
    EXPECT_EQ(contents(history), "probe ran\ntwice\n");
}

TEST_F(StandInHostTest, KeywordsNotGivenStayZeroAndTextsKeepTheirLength)
{
    ASSERT_EQ(host->runLine("Probe S=\"abcdefghij\""), StandInHost::Outcome::Done);
    EXPECT_EQ(at<int32_t>(24), 0);
    EXPECT_EQ(at<double>(28), 0.0);
    EXPECT_EQ(seen.text, "abcdefghij");
    ASSERT_EQ(host->runLine("Probe S=\"\""), StandInHost::Outcome::Done);
    EXPECT_EQ(seen.text, "");
}

TEST_F(StandInHostTest, ACommandOnThePreemptiveThreadRunsAsFromAThreadSafeFunction)
{
    ASSERT_EQ(host->runLine("&Probe S=\"abc\""), StandInHost::Outcome::Done);
    EXPECT_EQ(host->runLine("&wait"), StandInHost::Outcome::Done);
    EXPECT_EQ(at<int32_t>(68), 1); // calledFromFunction
    EXPECT_EQ(at<int32_t>(72), 0);
    EXPECT_NE(at<void *>(76), nullptr);
    EXPECT_EQ(seen.text, "abc");
    seen.result = 10002;
    ASSERT_EQ(host->runLine("& Probe", "t:2: "), StandInHost::Outcome::Done);
    EXPECT_EQ(host->waitForThread(), StandInHost::Outcome::CommandFailed);
    EXPECT_EQ(host->runLine("&print V_probe", "t:3: "), StandInHost::Outcome::SyntaxError);
    EXPECT_EQ(contents(errors), "t:2: Probe: error 10002: second\n"
                                "t:3: syntax error: & takes a command of the module\n");
}

TEST_F(StandInHostTest, ABrokenRuleFailsTheCommandWithTheHostsCode)
{
    seen.breakRule = true;
    EXPECT_EQ(host->runLine("Probe", "s:1: "), StandInHost::Outcome::CommandFailed);
    EXPECT_EQ(contents(errors), "xophost: output variable V_other not declared by Probe: error 6165\n"
                                "s:1: Probe: error 6165: A callback parameter is invalid.\n");
}

TEST_F(StandInHostTest, PrintShowsVariablesAndRefusesUnknownNames)
{
    EXPECT_EQ(host->runLine("print V_probe", "s:1: "), StandInHost::Outcome::CommandFailed);
    EXPECT_EQ(host->runLine("Probe"), StandInHost::Outcome::Done);
    EXPECT_EQ(host->runLine("  print V_probe  // the value"), StandInHost::Outcome::Done);
    EXPECT_EQ(host->runLine("print"), StandInHost::Outcome::SyntaxError);
    EXPECT_EQ(host->runLine("print V_probe V_x"), StandInHost::Outcome::SyntaxError);
    EXPECT_EQ(contents(history), "probe ran\ntwice\n2.5\n");
    const std::string e = contents(errors);
    EXPECT_NE(e.find("s:1: print: no variable or wave named V_probe\n"), std::string::npos) << e;
}

TEST_F(StandInHostTest, FailuresAreReportedWithTheModulesMessageText)
{
    seen.result = 10002;
    EXPECT_EQ(host->runLine("Probe", "x.txt:4: "), StandInHost::Outcome::CommandFailed);
    seen.result = 10003;
    EXPECT_EQ(host->runLine("Probe"), StandInHost::Outcome::CommandFailed);
    seen.result = USING_NULL_STRVAR;
    EXPECT_EQ(host->runLine("Probe"), StandInHost::Outcome::CommandFailed);
    EXPECT_EQ(host->runLine("Nope /Q", "x.txt:5: "), StandInHost::Outcome::SyntaxError);
    EXPECT_EQ(host->runLine("Probe /C"), StandInHost::Outcome::SyntaxError);
    EXPECT_EQ(host->runLine("// Probe"), StandInHost::Outcome::Done);
    EXPECT_EQ(contents(errors), "x.txt:4: Probe: error 10002: second\n"
                                "Probe: error 10003: The module has no message for this code.\n"
                                "Probe: error 185: A text parameter is missing.\n"
                                "x.txt:5: syntax error: unknown command Nope\n"
                                "syntax error: Probe: unknown flag /C for Probe\n");
}

TEST(StandInHostLoadTest, RefusalsAndBrokenRulesAtStartAreReportedWithTheirCodes)
{
    std::FILE *sink = std::tmpfile();
    std::string error;
    {
        StandInHost host(800, sink, sink);
        EXPECT_FALSE(host.startModule(refusingMain, testResources, error));
        EXPECT_EQ(error, "the module refused to load: error 10002: second");
    }
    {
        StandInHost host(800, sink, sink);
        EXPECT_FALSE(host.startModule(refusedRegistrationsMain, testResources, error));
        EXPECT_EQ(error, "the module broke the host's rules while loading: error 6165: A callback "
                         "parameter is invalid.");
    }
    {
        StandInHost host(800, sink, sink);
        EXPECT_FALSE(host.startModule(unrulyMain, testResources, error));
        EXPECT_EQ(error, "the module broke the host's rules while loading: error 1315: A callback "
                         "was made in the wrong callback mode.");
    }
    {
        StandInHost host(800, sink, sink);
        EXPECT_FALSE(host.startModule(testMain, nullptr, error));
        EXPECT_EQ(error, "the module has no XOPI resource: error 342");
        EXPECT_FALSE(host.loadModule("/nonexistent/Zorvane.xop", error));
        EXPECT_NE(error.find("cannot load /nonexistent/Zorvane.xop"), std::string::npos);
    }
    EXPECT_EQ(contents(sink),
              "xophost: cannot register Loose: thread-safe, but not in the XOPC resource: error 6165\n"
              "xophost: cannot register Plain: not compilable in the XOPC resource: error 898\n"
              "xophost: cannot register Other: not in the module's XOPC resource: error 896\n"
              "xophost: cannot register probe: already registered: error 878\n"
              "xophost: cannot register 'Bad = =': expected keyword=: error 878\n"
              "xophost: cannot register Loose: variable names must each end in ';': error 878\n"
              "xophost: cannot register Loose: record of 24 bytes, template implies 12: error 899\n"
              "xophost: callback 8 as a call record before the switch: error 1315\n"
              "xophost: callback 8 through the I/O record after the switch to call records: error 1315\n"
              "xophost: callback 4711: unknown code: error 163\n"
              "xophost: callback 8 with 0 parameters instead of 1: error 6165\n"
              "xophost: callback 187 off the main thread: error 1316\n");
    std::fclose(sink);
}

} // namespace
