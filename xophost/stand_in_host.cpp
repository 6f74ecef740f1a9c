#include "xophost/stand_in_host.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#include "xophost/value_format.h"

namespace {

constexpr int kFirstModuleError = 10000;

std::string lowerCase(const std::string &text)
{
    std::string lower = text;
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return lower;
}

const char *hostErrorText(int code)
{
    switch (code) {
    case XOP_ERR_NO_HOST:
        return "The module has no host to call.";
    case XOP_ERR_NULL_TEXT:
        return "A text parameter is missing.";
    case XOP_ERR_TEXT_TOO_LONG:
        return "A text is too long.";
    case XOP_ERR_NOT_MAIN_THREAD:
        return "A host service was called outside the host's main thread.";
    case XOP_ERR_BAD_TEMPLATE:
        return "A command template cannot be parsed.";
    case XOP_ERR_RECORD_SIZE:
        return "A parameter record size does not match its command template.";
    case XOP_ERR_DUPLICATE_COMMAND:
        return "A command of that name is already registered.";
    case XOP_ERR_UNKNOWN_VARIABLE:
        return "Not an output variable of the running command.";
    default:
        return "Unknown host error.";
    }
}

// "V_a;V_b;" -> {"V_a", "V_b"}; false unless every name ends with ';'.
bool splitVariableList(const char *list, std::vector<std::string> &names)
{
    names.clear();
    if (list == nullptr)
        return false;
    std::string current;
    for (const char *c = list; *c != '\0'; ++c) {
        if (*c == ';') {
            if (current.empty())
                return false;
            names.push_back(current);
            current.clear();
        } else {
            current += *c;
        }
    }
    return current.empty();
}

} // namespace

StandInHost::StandInHost(int hostVersion, std::FILE *history, std::FILE *errors)
    : history_(history), errors_(errors)
{
    record_.recordSize = sizeof(XopHostRecord);
    record_.hostVersion = hostVersion;
    record_.context = this;
    record_.setXOPEntry = &StandInHost::setXOPEntry;
    record_.getXOPMessage = &StandInHost::getXOPMessage;
    record_.setXOPResult = &StandInHost::setXOPResult;
    record_.registerOperation = &StandInHost::registerOperation;
    record_.getCStringFromHandle = &StandInHost::getCStringFromHandle;
    record_.setOutputVariable = &StandInHost::setOutputVariable;
    record_.printHistoryLine = &StandInHost::printHistoryLine;
    record_.showMessageBox = &StandInHost::showMessageBox;
}

StandInHost::~StandInHost()
{
    cleanup();
    library_.reset();
}

bool StandInHost::loadModule(const std::string &path, std::string &error)
{
    library_ = std::make_unique<ModuleLibrary>();
    if (!library_->load(path, error))
        return false;
    uint32_t size = 0;
    const unsigned char *table = library_->resource("STR#", 1100, &size);
    return start(library_->entry(), table, size, error);
}

bool StandInHost::startModule(XopMainFunc xopMain, XopGetResourceFunc getResource,
                              std::string &error)
{
    uint32_t size = 0;
    const unsigned char *table =
        getResource != nullptr ? getResource("STR#", 1100, &size, nullptr) : nullptr;
    return start(xopMain, table, size, error);
}

bool StandInHost::start(XopMainFunc xopMain, const unsigned char *messageTable,
                        uint32_t tableSize, std::string &error)
{
    readMessageTable(messageTable, tableSize);
    result_ = 0;
    const int status = xopMain(&record_);
    if (status != 0) {
        error = "the module refused to load: error " + std::to_string(result_) + ": " +
                errorText(result_);
        return false;
    }
    started_ = true;
    return true;
}

void StandInHost::readMessageTable(const unsigned char *bytes, uint32_t size)
{
    messages_.clear();
    if (bytes == nullptr)
        return;
    // Texts each ending in NUL; an empty text (the final NUL) ends the table.
    std::size_t pos = 0;
    while (pos < size && bytes[pos] != '\0') {
        const auto *start = reinterpret_cast<const char *>(bytes + pos);
        const std::size_t length = strnlen(start, size - pos);
        messages_.emplace_back(start, length);
        pos += length + 1;
    }
}

std::string StandInHost::errorText(int code) const
{
    if (code >= kFirstModuleError) {
        const std::size_t n = static_cast<std::size_t>(code - kFirstModuleError);
        if (n >= 1 && n <= messages_.size())
            return messages_[n - 1];
        return "The module has no message for this code.";
    }
    return hostErrorText(code);
}

int StandInHost::sendMessage(int message)
{
    if (!started_ || entry_ == nullptr)
        return 0;
    message_ = message;
    result_ = 0;
    entry_();
    message_ = 0;
    return result_;
}

void StandInHost::cleanup()
{
    if (cleanedUp_ || !started_)
        return;
    cleanedUp_ = true;
    sendMessage(XOP_MSG_CLEANUP);
}

bool StandInHost::variable(const std::string &name, double &value) const
{
    const auto found = variables_.find(lowerCase(name));
    if (found == variables_.end())
        return false;
    value = found->second.second;
    return true;
}

const StandInHost::Operation *StandInHost::findOperation(const std::string &name) const
{
    for (const Operation &operation : operations_) {
        if (sameNameIgnoringCase(operation.commandTemplate.name(), name))
            return &operation;
    }
    return nullptr;
}

void StandInHost::beforeOutput() const
{
    if (beforeOutput_)
        beforeOutput_();
}

StandInHost::Outcome StandInHost::runLine(const std::string &line, const std::string &location)
{
    // Whatever the module wrote on its own comes out before the next line's output.
    struct AfterLine {
        const StandInHost &host;
        ~AfterLine() { host.beforeOutput(); }
    } afterLine{*this};
    if (CommandLineParser::isBlankOrComment(line))
        return Outcome::Done;
    std::string name;
    if (!CommandLineParser::commandName(line, name)) {
        beforeOutput();
        std::fprintf(errors_, "%ssyntax error: expected a command name\n", location.c_str());
        return Outcome::SyntaxError;
    }
    const Operation *operation = findOperation(name);
    if (operation == nullptr && sameNameIgnoringCase(name, "print"))
        return runPrint(line, location);
    if (operation == nullptr) {
        beforeOutput();
        std::fprintf(errors_, "%ssyntax error: unknown command %s\n", location.c_str(),
                     name.c_str());
        return Outcome::SyntaxError;
    }
    CommandLineParser parser;
    ParsedCommand parsed;
    std::string error;
    if (!parser.parse(line, operation->commandTemplate, parsed, error)) {
        beforeOutput();
        std::fprintf(errors_, "%ssyntax error: %s: %s\n", location.c_str(),
                     operation->commandTemplate.name().c_str(), error.c_str());
        return Outcome::SyntaxError;
    }
    const int code = runCommand(*operation, parsed);
    if (code == 0)
        return Outcome::Done;
    beforeOutput();
    std::fprintf(errors_, "%s%s: error %d: %s\n", location.c_str(),
                 operation->commandTemplate.name().c_str(), code, errorText(code).c_str());
    return Outcome::CommandFailed;
}

StandInHost::Outcome StandInHost::runPrint(const std::string &line, const std::string &location)
{
    // "print NAME": the name alone, then nothing but a comment.
    std::size_t pos = line.find_first_not_of(" \t");
    pos += 5;
    const std::size_t start = line.find_first_not_of(" \t", pos);
    std::size_t end = start;
    while (end < line.size() &&
           (std::isalnum(static_cast<unsigned char>(line[end])) != 0 || line[end] == '_'))
        ++end;
    const std::string name = start == std::string::npos ? std::string()
                                                        : line.substr(start, end - start);
    const std::string rest = end < line.size() ? line.substr(end) : std::string();
    if (start == pos || name.empty() || !CommandLineParser::isBlankOrComment(rest)) {
        beforeOutput();
        std::fprintf(errors_, "%ssyntax error: print takes one variable name\n",
                     location.c_str());
        return Outcome::SyntaxError;
    }
    double value = 0.0;
    if (!variable(name, value)) {
        beforeOutput();
        std::fprintf(errors_, "%sprint: no variable named %s\n", location.c_str(), name.c_str());
        return Outcome::CommandFailed;
    }
    beforeOutput();
    std::fprintf(history_, "%s\n", formatValue(value).c_str());
    std::fflush(history_);
    return Outcome::Done;
}

int StandInHost::runCommand(const Operation &operation, const ParsedCommand &parsed)
{
    std::vector<unsigned char> params(static_cast<std::size_t>(operation.recordSize), 0);
    const int32_t one = 1;
    for (const TemplateFlag *flag : parsed.flags)
        std::memcpy(params.data() + flag->offset, &one, sizeof one);
    texts_.clear();
    for (const GivenKeyword &given : parsed.keywords) {
        const TemplateKeyword &keyword = *given.keyword;
        std::memcpy(params.data() + keyword.givenOffset, &one, sizeof one);
        for (std::size_t i = 0; i < keyword.params.size(); ++i) {
            unsigned char *slot = params.data() + keyword.params[i].offset;
            if (given.values[i].type == ParamType::String) {
                texts_.push_back(std::make_unique<std::string>(given.values[i].text));
                auto handle = reinterpret_cast<XopTextHandle>(texts_.back().get());
                std::memcpy(slot, &handle, sizeof handle);
            } else {
                std::memcpy(slot, &given.values[i].number, sizeof(double));
            }
            std::memcpy(params.data() + keyword.setOffset + 4 * i, &one, sizeof one);
        }
    }
    running_ = &operation;
    const int code = operation.execute(params.data());
    running_ = nullptr;
    texts_.clear();
    return code;
}

void StandInHost::setXOPEntry(void *context, XopEntryFunc entry)
{
    self(context).entry_ = entry;
}

int StandInHost::getXOPMessage(void *context)
{
    return self(context).message_;
}

void StandInHost::setXOPResult(void *context, int result)
{
    self(context).result_ = result;
}

int StandInHost::registerOperation(void *context, const char *cmdTemplate,
                                   const char *numVarList, const char *strVarList,
                                   int recordSize, XopExecuteFunc execute, int /*options*/)
{
    StandInHost &host = self(context);
    Operation operation;
    std::string error;
    if (cmdTemplate == nullptr || execute == nullptr)
        error = "no template or no execute function";
    else if (operation.commandTemplate.parse(cmdTemplate, error) &&
             (!splitVariableList(numVarList, operation.variables) || strVarList == nullptr))
        error = "variable names must each end in ';'";
    if (!error.empty()) {
        std::fprintf(host.errors_, "xophost: cannot register '%s': %s\n",
                     cmdTemplate != nullptr ? cmdTemplate : "", error.c_str());
        return XOP_ERR_BAD_TEMPLATE;
    }
    if (host.findOperation(operation.commandTemplate.name()) != nullptr)
        return XOP_ERR_DUPLICATE_COMMAND;
    if (recordSize < 0 ||
        static_cast<std::size_t>(recordSize) != operation.commandTemplate.recordSize()) {
        std::fprintf(host.errors_,
                     "xophost: cannot register %s: record of %d bytes, template implies %zu\n",
                     operation.commandTemplate.name().c_str(), recordSize,
                     operation.commandTemplate.recordSize());
        return XOP_ERR_RECORD_SIZE;
    }
    operation.recordSize = recordSize;
    operation.execute = execute;
    host.operations_.push_back(std::move(operation));
    return 0;
}

int StandInHost::getCStringFromHandle(void *context, XopTextHandle text, char *buffer,
                                      int maxChars)
{
    StandInHost &host = self(context);
    if (buffer == nullptr || maxChars < 0)
        return XOP_ERR_TEXT_TOO_LONG;
    buffer[0] = '\0';
    const auto *known = reinterpret_cast<const std::string *>(text);
    const bool ours = std::any_of(host.texts_.begin(), host.texts_.end(),
                                  [known](const auto &owned) { return owned.get() == known; });
    if (text == nullptr || !ours)
        return XOP_ERR_NULL_TEXT;
    const std::size_t limit = static_cast<std::size_t>(maxChars);
    const std::size_t length = std::min(known->size(), limit);
    std::memcpy(buffer, known->data(), length);
    buffer[length] = '\0';
    return known->size() > limit ? XOP_ERR_TEXT_TOO_LONG : 0;
}

int StandInHost::setOutputVariable(void *context, const char *name, double value)
{
    StandInHost &host = self(context);
    if (host.running_ == nullptr || name == nullptr)
        return XOP_ERR_UNKNOWN_VARIABLE;
    for (const std::string &declared : host.running_->variables) {
        if (declared == name) {
            host.variables_[lowerCase(declared)] = {declared, value};
            return 0;
        }
    }
    return XOP_ERR_UNKNOWN_VARIABLE;
}

void StandInHost::printHistoryLine(void *context, const char *text)
{
    StandInHost &host = self(context);
    if (text == nullptr)
        return;
    std::string line(text);
    std::replace(line.begin(), line.end(), '\r', '\n');
    host.beforeOutput();
    std::fputs(line.c_str(), host.history_);
    std::fflush(host.history_);
}

void StandInHost::showMessageBox(void *context, const char *text)
{
    StandInHost &host = self(context);
    std::string line = text != nullptr ? text : "";
    std::replace(line.begin(), line.end(), '\r', '\n');
    std::fprintf(host.errors_, "xophost: message box: %s", line.c_str());
    if (line.empty() || line.back() != '\n')
        std::fputc('\n', host.errors_);
}
