// Command templates, their record layouts, and command lines parsed against them.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "xophost/command_line_parser.h"
#include "xophost/command_template.h"
#include "xophost/value_format.h"

namespace {

const char kWriteTemplate[] =
    "MBWrite /L /F /Q IP=string:hostName, Coil={number:addressCoil, number:valueCoil}, "
    "Register={number:addressRegister, number:valueRegister}";

TEST(CommandTemplateTest, LayoutsMatchTheRecordsOfTheFiveCommands)
{
    const struct {
        const char *text;
        std::size_t size;
    } cases[] = {
        {"MBOpen /Q IP=string:hostName, port=number:TCPport, timeout=number:timeOutms, "
         "delay=number:pollDelay",
         84},
        {"MBClose /Q IP=string:hostName", 36},
        {"MBRead /L /F /Q IP=string:hostName, Coil=number:addressCoil, "
         "DiscreteInput=number:addressDiscreteInput, "
         "HoldingRegister=number:addressHoldingRegister, InputRegister=number:addressInputRegister",
         108},
        {kWriteTemplate, 100},
    };
    for (const auto &c : cases) {
        CommandTemplate t;
        std::string error;
        ASSERT_TRUE(t.parse(c.text, error)) << error;
        EXPECT_EQ(t.recordSize(true), c.size) << c.text;
    }
    CommandTemplate t;
    std::string error;
    ASSERT_TRUE(t.parse(kWriteTemplate, error));
    EXPECT_EQ(t.name(), "MBWrite");
    ASSERT_EQ(t.flags().size(), 3u);
    EXPECT_EQ(t.flags()[2].offset, 8u);
    const TemplateKeyword *reg = t.findKeyword("register");
    ASSERT_NE(reg, nullptr);
    EXPECT_EQ(reg->givenOffset, 56u);
    ASSERT_EQ(reg->params.size(), 2u);
    EXPECT_EQ(reg->params[0].offset, 60u);
    EXPECT_EQ(reg->params[1].offset, 68u);
    EXPECT_EQ(reg->setOffset, 76u);
    EXPECT_EQ(t.findKeyword("IP")->params[0].type, ParamType::String);
}

TEST(CommandTemplateTest, MalformedTemplatesAreRefused)
{
    for (const char *text : {"", "/Q", "Cmd /", "Cmd IP=text:x", "Cmd IP=string", "Cmd A=number:a B=number:b",
                             "Cmd A={number:a, number:b", "Cmd /Q /Q", "Cmd A=number:a, a=number:b"}) {
        CommandTemplate t;
        std::string error;
        EXPECT_FALSE(t.parse(text, error)) << text;
        EXPECT_FALSE(error.empty()) << text;
    }
}

TEST(NumberLiteralTest, AcceptsDecimalHexFloatingAndNamedValues)
{
    const struct {
        const char *text;
        double value;
    } cases[] = {{"17", 17},         {"-17", -17},          {"+3.5", 3.5},   {".5", 0.5},
                 {"2.", 2},          {"1e3", 1000},         {"-2.5E-1", -0.25}, {"0x10", 16},
                 {"0XfFfF", 65535},  {"-0x1", -1},          {"Inf", INFINITY}, {"-inf", -INFINITY},
                 {"70000", 70000},   {"0x100000000", 4294967296.0}};
    for (const auto &c : cases) {
        std::size_t pos = 0;
        double value = 0;
        ASSERT_TRUE(CommandLineParser::parseNumber(c.text, pos, value)) << c.text;
        EXPECT_EQ(value, c.value) << c.text;
        EXPECT_EQ(pos, std::string(c.text).size()) << c.text;
    }
    std::size_t pos = 0;
    double value = 0;
    ASSERT_TRUE(CommandLineParser::parseNumber("NaN}", pos, value));
    EXPECT_TRUE(std::isnan(value));
    EXPECT_EQ(pos, 3u);
    for (const char *bad : {"", "-", "0x", "1e", "1.2.3", "12abc", "0x1g", "nanx", "infinity", "e5", "."}) {
        pos = 0;
        EXPECT_FALSE(CommandLineParser::parseNumber(bad, pos, value)) << bad;
    }
}

class LineParserTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string problem;
        ASSERT_TRUE(write.parse(kWriteTemplate, problem));
    }
    bool parse(const std::string &line)
    {
        error.clear();
        return CommandLineParser().parse(line, write, parsed, error);
    }
    CommandTemplate write;
    ParsedCommand parsed;
    std::string error;
};

TEST_F(LineParserTest, FlagsKeywordsBracesStringsAndNumbers)
{
    ASSERT_TRUE(parse(R"(mbwrite/q /L ip="a \"b\" \\c", coil={0x10, -1}  ,Register = { 2,3.5 } // note)"))
        << error;
    ASSERT_EQ(parsed.flags.size(), 2u);
    EXPECT_EQ(parsed.flags[0]->name, "Q");
    EXPECT_EQ(parsed.flags[1]->name, "L");
    ASSERT_EQ(parsed.keywords.size(), 3u);
    EXPECT_EQ(parsed.keywords[0].values[0].text, "a \"b\" \\c");
    EXPECT_EQ(parsed.keywords[1].keyword->name, "Coil");
    EXPECT_EQ(parsed.keywords[1].values[0].number, 16);
    EXPECT_EQ(parsed.keywords[1].values[1].number, -1);
    EXPECT_EQ(parsed.keywords[2].values[1].number, 3.5);

    ASSERT_TRUE(parse("MBWrite")) << error;
    EXPECT_TRUE(parsed.flags.empty());
    EXPECT_TRUE(parsed.keywords.empty());
}

TEST_F(LineParserTest, ProblemsAreNamed)
{
    const struct {
        const char *line;
        const char *problem;
    } cases[] = {
        {"MBWrite /X", "unknown flag /X"},
        {"MBWrite /Q/Q", "flag /Q given twice"},
        {"MBWrite /Q=1", "flag /Q takes no value"},
        {"MBWrite Foo=1", "unknown keyword Foo"},
        {"MBWrite IP=1", "keyword IP expects a string"},
        {"MBWrite Coil={\"a\", 1}", "keyword Coil expects a number"},
        {"MBWrite Coil={3}", "missing parameter valueCoil"},
        {"MBWrite Coil={3, }", "missing parameter valueCoil"},
        {"MBWrite Coil={1, 2, 3}", "too many parameters"},
        {"MBWrite Coil=3", "takes 2 parameters in braces"},
        {"MBWrite IP=", "missing parameter hostName"},
        {"MBWrite IP=\"a\", IP=\"b\"", "keyword IP given twice"},
        {"MBWrite IP=\"abc", "unterminated string"},
        {"MBWrite IP=\"a\\n\"", "unknown escape"},
        {"MBWrite Coil={1, 0x}", "invalid value '0x'"},
        {"MBWrite IP=\"a\" Coil={1,2}", "expected ','"},
        {"MBWrite IP=\"a\",", "keyword expected"},
        {"MBWrite Coil {1,2}", "expected '='"},
    };
    for (const auto &c : cases) {
        EXPECT_FALSE(parse(c.line)) << c.line;
        EXPECT_NE(error.find(c.problem), std::string::npos) << c.line << " -> " << error;
    }
}

TEST(LineTest, BlankLinesCommentsAndNames)
{
    EXPECT_TRUE(CommandLineParser::isBlankOrComment(""));
    EXPECT_TRUE(CommandLineParser::isBlankOrComment("   \t"));
    EXPECT_TRUE(CommandLineParser::isBlankOrComment("  // MBOpen"));
    EXPECT_FALSE(CommandLineParser::isBlankOrComment("MBOpen // x"));
    std::string name;
    EXPECT_TRUE(CommandLineParser::commandName("  MBRead/Q IP=\"x\"", name));
    EXPECT_EQ(name, "MBRead");
    EXPECT_FALSE(CommandLineParser::commandName("/Q", name));
}

TEST(ValueFormatTest, IntegersPlainlyOthersShortestExact)
{
    EXPECT_EQ(formatValue(0), "0");
    EXPECT_EQ(formatValue(-0.0), "0");
    EXPECT_EQ(formatValue(-1), "-1");
    EXPECT_EQ(formatValue(100000), "100000");
    EXPECT_EQ(formatValue(4294967296.0), "4294967296");
    EXPECT_EQ(formatValue(3.25), "3.25");
    EXPECT_EQ(formatValue(0.1), "0.1");
    EXPECT_EQ(formatValue(static_cast<double>(3.14f)), "3.140000104904175");
    EXPECT_EQ(formatValue(1e-7), "1e-07");
    EXPECT_EQ(formatValue(NAN), "NaN");
    EXPECT_EQ(formatValue(-INFINITY), "-Inf");
    for (double v : {1.0 / 3, 2.0 / 3e10, 123456.789, -9.87654321e-300}) {
        EXPECT_EQ(std::strtod(formatValue(v).c_str(), nullptr), v) << v;
    }
}

} // namespace
