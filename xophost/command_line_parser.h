// Parses one command line against the template its command registered:
//   Name[/Flag...] [keyword=value[, keyword=value]...]
// A keyword with several parameters takes them in braces; strings are in double quotes with \"
// and \\ escapes; waves and destination names are plain names; numbers are decimal, hexadecimal (0x) or floating-point literals with an
// optional sign, NaN or Inf. Names, flags and keywords are matched without regard to case.
#ifndef XOPHOST_COMMAND_LINE_PARSER_H
#define XOPHOST_COMMAND_LINE_PARSER_H

#include <cstddef>
#include <string>
#include <vector>

#include "xophost/command_template.h"

struct ParamValue {
    ParamType type;
    double number;
    std::string text;
};

struct GivenKeyword {
    const TemplateKeyword *keyword;
    std::vector<ParamValue> values;
};

struct ParsedCommand {
    std::vector<const TemplateFlag *> flags;
    // The values of flags[i]'s parameters (none for a plain flag).
    std::vector<std::vector<ParamValue>> flagValues;
    std::vector<GivenKeyword> keywords;
};

class CommandLineParser {
public:
    // True for a line that holds nothing to run: blank, or a comment starting with "//".
    static bool isBlankOrComment(const std::string &line);
    // The leading name of a line (before any flag, blank or keyword); false if there is none.
    static bool commandName(const std::string &line, std::string &name);
    // The number literal at text[pos...]; on success pos is moved behind it.
    static bool parseNumber(const std::string &text, std::size_t &pos, double &value);

    // Parses the line for the command of template t. On failure error names the problem.
    bool parse(const std::string &line, const CommandTemplate &t, ParsedCommand &out,
               std::string &error);

private:
    void skipSpace();
    bool atLineEnd();
    bool accept(char c);
    bool readName(std::string &out);
    bool readValue(const std::string &keyword, const TemplateParam &param, ParamValue &value,
                   std::string &error);
    bool readString(std::string &out, std::string &error);

    std::string line_;
    std::size_t pos_ = 0;
};

#endif
