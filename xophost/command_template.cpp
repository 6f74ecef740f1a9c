#include "xophost/command_template.h"

#include <cctype>

namespace {

constexpr std::size_t kWordSize = 4;
constexpr std::size_t kParamSize = 8;

bool isNameStart(char c)
{
    return std::isalpha(static_cast<unsigned char>(c)) != 0 || c == '_';
}

bool isNameChar(char c)
{
    return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '_';
}

class TemplateReader {
public:
    explicit TemplateReader(const std::string &text) : text_(text) {}

    void skipSpace()
    {
        while (pos_ < text_.size() && std::isspace(static_cast<unsigned char>(text_[pos_])) != 0)
            ++pos_;
    }
    bool atEnd()
    {
        skipSpace();
        return pos_ >= text_.size();
    }
    bool accept(char c)
    {
        skipSpace();
        if (pos_ < text_.size() && text_[pos_] == c) {
            ++pos_;
            return true;
        }
        return false;
    }
    bool readName(std::string &out)
    {
        skipSpace();
        if (pos_ >= text_.size() || !isNameStart(text_[pos_]))
            return false;
        const std::size_t start = pos_;
        while (pos_ < text_.size() && isNameChar(text_[pos_]))
            ++pos_;
        out = text_.substr(start, pos_ - start);
        return true;
    }

private:
    const std::string &text_;
    std::size_t pos_ = 0;
};

// A DataFolderAndName with 31-byte names: the folder handle and the name.
constexpr std::size_t kDataFolderAndNameSize = 40;

bool readParam(TemplateReader &reader, TemplateParam &param, std::string &error)
{
    std::string type;
    if (!reader.readName(type) || !reader.accept(':')) {
        error = "expected type:name";
        return false;
    }
    if (type == "DataFolderAndName") {
        // DataFolderAndName:{name,waveType}
        std::string waveType;
        if (!reader.accept('{') || !reader.readName(param.name) || !reader.accept(',') ||
            !reader.readName(waveType) || !reader.accept('}')) {
            error = "expected DataFolderAndName:{name,type}";
            return false;
        }
        param.type = ParamType::FolderAndName;
        return true;
    }
    if (!reader.readName(param.name)) {
        error = "expected type:name";
        return false;
    }
    if (type == "number")
        param.type = ParamType::Number;
    else if (type == "string")
        param.type = ParamType::String;
    else if (type == "wave")
        param.type = ParamType::Wave;
    else {
        error = "unknown parameter type '" + type + "'";
        return false;
    }
    return true;
}

// Lays out the parameters after the "given" word at offset; returns the first "set" word.
std::size_t layOut(std::vector<TemplateParam> &params, std::size_t offset)
{
    for (TemplateParam &param : params) {
        param.offset = offset;
        offset += param.type == ParamType::FolderAndName ? kDataFolderAndNameSize : kParamSize;
    }
    return offset;
}

} // namespace

bool sameNameIgnoringCase(const std::string &a, const std::string &b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    }
    return true;
}

bool CommandTemplate::parse(const std::string &text, std::string &error)
{
    name_.clear();
    flags_.clear();
    keywords_.clear();
    contextOffset_ = 0;

    TemplateReader reader(text);
    if (!reader.readName(name_)) {
        error = "template does not start with a command name";
        return false;
    }
    std::size_t offset = 0;
    while (reader.accept('/')) {
        TemplateFlag flag;
        if (!reader.readName(flag.name)) {
            error = "flag without a name";
            return false;
        }
        if (findFlag(flag.name) != nullptr) {
            error = "flag /" + flag.name + " declared twice";
            return false;
        }
        if (reader.accept('=')) {
            TemplateParam param{};
            if (!readParam(reader, param, error))
                return false;
            flag.params.push_back(param);
        }
        flag.offset = offset;
        offset += kWordSize;
        flag.setOffset = layOut(flag.params, offset);
        offset = flag.setOffset + kWordSize * flag.params.size();
        flags_.push_back(flag);
    }
    bool first = true;
    while (!reader.atEnd()) {
        if (!first && !reader.accept(',')) {
            error = "expected ',' between keywords";
            return false;
        }
        first = false;
        TemplateKeyword keyword;
        if (!reader.readName(keyword.name) || !reader.accept('=')) {
            error = "expected keyword=";
            return false;
        }
        if (findKeyword(keyword.name) != nullptr) {
            error = "keyword " + keyword.name + " declared twice";
            return false;
        }
        const bool braced = reader.accept('{');
        do {
            TemplateParam param{};
            if (!readParam(reader, param, error))
                return false;
            keyword.params.push_back(param);
        } while (braced && reader.accept(','));
        if (braced && !reader.accept('}')) {
            error = "expected '}' after the parameters of " + keyword.name;
            return false;
        }
        keyword.givenOffset = offset;
        offset += kWordSize;
        keyword.setOffset = layOut(keyword.params, offset);
        offset = keyword.setOffset;
        offset += kWordSize * keyword.params.size();
        keywords_.push_back(keyword);
    }
    contextOffset_ = offset;
    return true;
}

const TemplateFlag *CommandTemplate::findFlag(const std::string &name) const
{
    for (const TemplateFlag &flag : flags_) {
        if (sameNameIgnoringCase(flag.name, name))
            return &flag;
    }
    return nullptr;
}

const TemplateKeyword *CommandTemplate::findKeyword(const std::string &name) const
{
    for (const TemplateKeyword &keyword : keywords_) {
        if (sameNameIgnoringCase(keyword.name, name))
            return &keyword;
    }
    return nullptr;
}
