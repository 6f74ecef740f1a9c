// The stand-in host in-process: registration checks, record filling, variables, history and
// error lines, with a module made of test functions.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "xophost/stand_in_host.h"

namespace {

// What the test command saw; the execute function has no context argument.
struct Seen {
    std::vector<unsigned char> record;
    std::string text;
    int textResult = -1;
    int result = 0;
};
Seen seen;
const XopHostRecord *boundRecord = nullptr;

int recordingExecute(void *params)
{
    // Template "Probe /A /B S=string:s, N={number:x, number:y}, V=number:v" implies 84 bytes.
    seen.record.assign(static_cast<unsigned char *>(params), static_cast<unsigned char *>(params) + 84);
    XopTextHandle handle = nullptr;
    std::memcpy(&handle, seen.record.data() + 12, sizeof handle);
    char buffer[8];
    seen.textResult = boundRecord->getCStringFromHandle(boundRecord->context, handle, buffer, 7);
    seen.text = buffer;
    boundRecord->setOutputVariable(boundRecord->context, "V_probe", 2.5);
    boundRecord->printHistoryLine(boundRecord->context, "probe ran\rtwice\r");
    return seen.result;
}

const unsigned char kTable[] = "first\0second\0";

const unsigned char *testResources(const char *type, int id, uint32_t *size, uint16_t *)
{
    if (std::strcmp(type, "STR#") != 0 || id != 1100)
        return nullptr;
    *size = sizeof kTable; // includes the final NUL
    return kTable;
}

int testMain(const XopHostRecord *record)
{
    boundRecord = record;
    int r = record->registerOperation(record->context,
                                      "Probe /A /B S=string:s, N={number:x, number:y}, V=number:v",
                                      "V_probe;", "", 84, recordingExecute, 2);
    if (r != 0)
        return 1;
    // Registrations the host must refuse.
    EXPECT_EQ(record->registerOperation(record->context, "Bad /A", "", "", 24, recordingExecute, 2),
              XOP_ERR_RECORD_SIZE);
    EXPECT_EQ(record->registerOperation(record->context, "Bad = =", "", "", 16, recordingExecute, 2),
              XOP_ERR_BAD_TEMPLATE);
    EXPECT_EQ(record->registerOperation(record->context, "probe", "", "", 16, recordingExecute, 2),
              XOP_ERR_DUPLICATE_COMMAND);
    EXPECT_EQ(record->registerOperation(record->context, "Other", "V_a", "", 16, recordingExecute, 2),
              XOP_ERR_BAD_TEMPLATE);
    EXPECT_EQ(record->setOutputVariable(record->context, "V_probe", 1), XOP_ERR_UNKNOWN_VARIABLE);
    record->setXOPResult(record->context, 0);
    return 0;
}

int refusingMain(const XopHostRecord *record)
{
    record->setXOPResult(record->context, 10002);
    return 1;
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
    for (std::size_t offset = 68; offset < 84; ++offset)
        EXPECT_EQ(seen.record[offset], 0) << offset; // calling context: none
    EXPECT_EQ(seen.text, "abc");
    EXPECT_EQ(seen.textResult, 0);
    double value = 0;
    ASSERT_TRUE(host->variable("v_PROBE", value));
    EXPECT_EQ(value, 2.5);
    EXPECT_EQ(contents(history), "probe ran\ntwice\n");
}

TEST_F(StandInHostTest, KeywordsNotGivenStayZeroAndLongTextsAreCut)
{
    ASSERT_EQ(host->runLine("Probe S=\"abcdefghij\""), StandInHost::Outcome::Done);
    EXPECT_EQ(at<int32_t>(24), 0);
    EXPECT_EQ(at<double>(28), 0.0);
    EXPECT_EQ(seen.text, "abcdefg");
    EXPECT_EQ(seen.textResult, XOP_ERR_TEXT_TOO_LONG);
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
    EXPECT_NE(e.find("s:1: print: no variable named V_probe\n"), std::string::npos) << e;
}

TEST_F(StandInHostTest, FailuresAreReportedWithTheModulesMessageText)
{
    seen.result = 10002;
    EXPECT_EQ(host->runLine("Probe", "x.txt:4: "), StandInHost::Outcome::CommandFailed);
    seen.result = 10003;
    EXPECT_EQ(host->runLine("Probe"), StandInHost::Outcome::CommandFailed);
    seen.result = XOP_ERR_NULL_TEXT;
    EXPECT_EQ(host->runLine("Probe"), StandInHost::Outcome::CommandFailed);
    EXPECT_EQ(host->runLine("Nope /Q", "x.txt:5: "), StandInHost::Outcome::SyntaxError);
    EXPECT_EQ(host->runLine("Probe /C"), StandInHost::Outcome::SyntaxError);
    EXPECT_EQ(host->runLine("// Probe"), StandInHost::Outcome::Done);
    EXPECT_EQ(contents(errors),
              // From the refused registrations at start.
              "xophost: cannot register Bad: record of 24 bytes, template implies 20\n"
              "xophost: cannot register 'Bad = =': expected keyword=\n"
              "xophost: cannot register 'Other': variable names must each end in ';'\n"
              "x.txt:4: Probe: error 10002: second\n"
              "Probe: error 10003: The module has no message for this code.\n"
              "Probe: error 1002: A text parameter is missing.\n"
              "x.txt:5: syntax error: unknown command Nope\n"
              "syntax error: Probe: unknown flag /C for Probe\n"
                  + std::string());
}

TEST(StandInHostLoadTest, ARefusingModuleIsReportedWithItsResult)
{
    std::FILE *sink = std::tmpfile();
    StandInHost host(800, sink, sink);
    std::string error;
    EXPECT_FALSE(host.startModule(refusingMain, testResources, error));
    EXPECT_EQ(error, "the module refused to load: error 10002: second");
    EXPECT_FALSE(host.loadModule("/nonexistent/Zorvane.xop", error));
    EXPECT_NE(error.find("cannot load /nonexistent/Zorvane.xop"), std::string::npos);
    std::fclose(sink);
}

} // namespace
