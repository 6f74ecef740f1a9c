#include "xophost/command_line_parser.h"

#include <cctype>
#include <cmath>
#include <cstdlib>
#include <limits>

namespace {

bool isNameStart(char c)
{
    return std::isalpha(static_cast<unsigned char>(c)) != 0 || c == '_';
}

bool isNameChar(char c)
{
    return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '_';
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

bool matchWord(const std::string &text, std::size_t pos, const char *word)
{
    std::size_t i = 0;
    for (; word[i] != '\0'; ++i) {
        if (pos + i >= text.size() ||
            std::tolower(static_cast<unsigned char>(text[pos + i])) != word[i])
            return false;
    }
    return pos + i >= text.size() || !isNameChar(text[pos + i]);
}

const char *typeName(ParamType type)
{
    switch (type) {
    case ParamType::Number:
        return "a number";
    case ParamType::String:
        return "a string";
    case ParamType::Wave:
        return "a wave";
    case ParamType::FolderAndName:
        break;
    }
    return "a name";
}

// The longest object name in a DataFolderAndName.
constexpr std::size_t kMaxObjectName = 31;

} // namespace

bool CommandLineParser::isBlankOrComment(const std::string &line)
{
    std::size_t i = 0;
    while (i < line.size() && std::isspace(static_cast<unsigned char>(line[i])) != 0)
        ++i;
    return i >= line.size() || line.compare(i, 2, "//") == 0;
}

bool CommandLineParser::commandName(const std::string &line, std::string &name)
{
    std::size_t i = 0;
    while (i < line.size() && std::isspace(static_cast<unsigned char>(line[i])) != 0)
        ++i;
    if (i >= line.size() || !isNameStart(line[i]))
        return false;
    const std::size_t start = i;
    while (i < line.size() && isNameChar(line[i]))
        ++i;
    name = line.substr(start, i - start);
    return true;
}

bool CommandLineParser::parseNumber(const std::string &text, std::size_t &pos, double &value)
{
    std::size_t i = pos;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    double magnitude = 0.0;
    if (matchWord(text, i, "nan")) {
        magnitude = std::numeric_limits<double>::quiet_NaN();
        i += 3;
    } else if (matchWord(text, i, "inf")) {
        magnitude = std::numeric_limits<double>::infinity();
        i += 3;
    } else if (i + 1 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
        i += 2;
        const std::size_t digits = i;
        while (i < text.size() && hexDigit(text[i]) >= 0) {
            magnitude = magnitude * 16.0 + hexDigit(text[i]);
            ++i;
        }
        if (i == digits)
            return false;
    } else {
        const std::size_t start = i;
        std::size_t mantissaDigits = 0;
        while (i < text.size() && isDigit(text[i])) {
            ++i;
            ++mantissaDigits;
        }
        if (i < text.size() && text[i] == '.') {
            ++i;
            while (i < text.size() && isDigit(text[i])) {
                ++i;
                ++mantissaDigits;
            }
        }
        if (mantissaDigits == 0)
            return false;
        if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
            std::size_t e = i + 1;
            if (e < text.size() && (text[e] == '+' || text[e] == '-'))
                ++e;
            if (e >= text.size() || !isDigit(text[e]))
                return false;
            while (e < text.size() && isDigit(text[e]))
                ++e;
            i = e;
        }
        // The text is a plain decimal literal now, which strtod reads exactly.
        const std::string literal = text.substr(start, i - start);
        magnitude = std::strtod(literal.c_str(), nullptr);
    }
    if (i < text.size() && (isNameChar(text[i]) || text[i] == '.'))
        return false;
    value = negative ? -magnitude : magnitude;
    pos = i;
    return true;
}

void CommandLineParser::skipSpace()
{
    while (pos_ < line_.size() && std::isspace(static_cast<unsigned char>(line_[pos_])) != 0)
        ++pos_;
}

bool CommandLineParser::atLineEnd()
{
    skipSpace();
    return pos_ >= line_.size() || line_.compare(pos_, 2, "//") == 0;
}

bool CommandLineParser::accept(char c)
{
    skipSpace();
    if (pos_ < line_.size() && line_[pos_] == c) {
        ++pos_;
        return true;
    }
    return false;
}

bool CommandLineParser::readName(std::string &out)
{
    skipSpace();
    if (pos_ >= line_.size() || !isNameStart(line_[pos_]))
        return false;
    const std::size_t start = pos_;
    while (pos_ < line_.size() && isNameChar(line_[pos_]))
        ++pos_;
    out = line_.substr(start, pos_ - start);
    return true;
}

bool CommandLineParser::readString(std::string &out, std::string &error)
{
    // The opening quote is consumed.
    out.clear();
    while (pos_ < line_.size()) {
        const char c = line_[pos_++];
        if (c == '"')
            return true;
        if (c == '\\') {
            if (pos_ < line_.size() && (line_[pos_] == '"' || line_[pos_] == '\\')) {
                out += line_[pos_++];
                continue;
            }
            error = "unknown escape sequence in string";
            return false;
        }
        out += c;
    }
    error = "unterminated string";
    return false;
}

bool CommandLineParser::readValue(const std::string &keyword, const TemplateParam &param,
                                  ParamValue &value, std::string &error)
{
    skipSpace();
    value.type = param.type;
    value.number = 0.0;
    value.text.clear();
    if (pos_ >= line_.size() || line_[pos_] == ',' || line_[pos_] == '}' ||
        line_.compare(pos_, 2, "//") == 0) {
        error = "missing parameter " + param.name + " of keyword " + keyword;
        return false;
    }
    if (param.type == ParamType::Wave || param.type == ParamType::FolderAndName) {
        if (!readName(value.text)) {
            error = "keyword " + keyword + " expects " + typeName(param.type) + " for " + param.name;
            return false;
        }
        if (value.text.size() > kMaxObjectName) {
            error = "name " + value.text + " is longer than 31 characters";
            return false;
        }
        return true;
    }
    if (line_[pos_] == '"') {
        if (param.type != ParamType::String) {
            error = "keyword " + keyword + " expects " + typeName(param.type) + " for " +
                    param.name;
            return false;
        }
        ++pos_;
        return readString(value.text, error);
    }
    std::size_t end = pos_;
    double number = 0.0;
    if (!parseNumber(line_, end, number)) {
        std::size_t stop = pos_;
        while (stop < line_.size() && line_[stop] != ',' && line_[stop] != '}' &&
               std::isspace(static_cast<unsigned char>(line_[stop])) == 0)
            ++stop;
        error = "invalid value '" + line_.substr(pos_, stop - pos_) + "' for keyword " + keyword;
        return false;
    }
    if (param.type != ParamType::Number) {
        error = "keyword " + keyword + " expects " + typeName(param.type) + " for " + param.name;
        return false;
    }
    pos_ = end;
    value.number = number;
    return true;
}

bool CommandLineParser::parse(const std::string &line, const CommandTemplate &t,
                              ParsedCommand &out, std::string &error)
{
    line_ = line;
    pos_ = 0;
    out.flags.clear();
    out.flagValues.clear();
    out.keywords.clear();

    std::string name;
    if (!readName(name) || !sameNameIgnoringCase(name, t.name())) {
        error = "expected the command name " + t.name();
        return false;
    }
    while (accept('/')) {
        std::string flagName;
        if (!readName(flagName)) {
            error = "'/' without a flag name";
            return false;
        }
        const TemplateFlag *flag = t.findFlag(flagName);
        if (flag == nullptr) {
            error = "unknown flag /" + flagName + " for " + t.name();
            return false;
        }
        for (const TemplateFlag *given : out.flags) {
            if (given == flag) {
                error = "flag /" + flag->name + " given twice";
                return false;
            }
        }
        std::vector<ParamValue> values;
        if (flag->params.empty()) {
            if (accept('=')) {
                error = "flag /" + flag->name + " takes no value";
                return false;
            }
        } else {
            if (!accept('=')) {
                error = "flag /" + flag->name + " takes a value";
                return false;
            }
            ParamValue value{};
            if (!readValue("/" + flag->name, flag->params[0], value, error))
                return false;
            values.push_back(value);
        }
        out.flags.push_back(flag);
        out.flagValues.push_back(values);
    }
    bool first = true;
    while (!atLineEnd()) {
        if (!first && !accept(',')) {
            error = "expected ',' before '" + line_.substr(pos_) + "'";
            return false;
        }
        first = false;
        std::string keywordName;
        if (!readName(keywordName)) {
            error = atLineEnd() ? std::string("keyword expected after ','")
                                : "unexpected '" + line_.substr(pos_) + "'";
            return false;
        }
        const TemplateKeyword *keyword = t.findKeyword(keywordName);
        if (keyword == nullptr) {
            error = "unknown keyword " + keywordName + " for " + t.name();
            return false;
        }
        for (const GivenKeyword &given : out.keywords) {
            if (given.keyword == keyword) {
                error = "keyword " + keyword->name + " given twice";
                return false;
            }
        }
        if (!accept('=')) {
            error = "expected '=' after keyword " + keyword->name;
            return false;
        }
        GivenKeyword given{keyword, {}};
        const bool braced = accept('{');
        if (!braced && keyword->params.size() > 1) {
            error = "keyword " + keyword->name + " takes " +
                    std::to_string(keyword->params.size()) + " parameters in braces";
            return false;
        }
        for (std::size_t i = 0; i < keyword->params.size(); ++i) {
            if (i > 0 && !accept(',')) {
                error = "missing parameter " + keyword->params[i].name + " of keyword " +
                        keyword->name;
                return false;
            }
            ParamValue value{};
            if (!readValue(keyword->name, keyword->params[i], value, error))
                return false;
            given.values.push_back(value);
        }
        if (braced && !accept('}')) {
            skipSpace();
            error = pos_ < line_.size() && line_[pos_] == ','
                        ? "too many parameters for keyword " + keyword->name
                        : "expected '}' after the parameters of keyword " + keyword->name;
            return false;
        }
        out.keywords.push_back(given);
    }
    return true;
}
