#include "xophost/stand_in_host.h"

#include <algorithm>
#include <cctype>
#include <cstdarg>
#include <cstring>

#include "xophost/handle_heap.h"
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
    case NOMEM:
        return "Out of memory.";
    case IGOR_OBSOLETE:
        return "The host does not know this callback.";
    case USING_NULL_STRVAR:
        return "A text parameter is missing.";
    case XOP_RESOURCES_MISSING:
        return "The module lacks its XOPI resource.";
    case CANT_FIND_XOP_MAIN:
        return "The module has no XOPMain.";
    case OH_BAD_TEMPLATE:
        return "An operation template cannot be registered.";
    case OH_NOT_IN_XOPC:
        return "The operation is not listed in the module's XOPC resource.";
    case OH_NOT_COMPILABLE:
        return "The operation is not marked compilable in the module's XOPC resource.";
    case OH_BAD_STRUCT_SIZE:
        return "The runtime parameter record size does not match the operation template.";
    case NOT_IN_THREADSAFE:
        return "This service cannot be used in a thread-safe context.";
    case XOP_BAD_CALLBACK_MODE:
        return "A callback was made in the wrong callback mode.";
    case XOP_CALLBACK_NOT_THREADSAFE:
        return "A callback that is not thread-safe was made from another thread.";
    case STR_TOO_LONG:
        return "A text is too long.";
    case XOP_BAD_PARAMETER:
        return "A callback parameter is invalid.";
    case NOWAV:
        return "Expected a wave name.";
    case NAME_WAV_CONFLICT:
        return "A wave of this name exists already.";
    case NO_TEXTNUMERIC_WAVE_OVERWRITE:
        return "A text wave cannot be overwritten with a numeric wave, or the other way round.";
    case GENERAL_BAD_VIBS:
        return "A wave cannot be made like this.";
    default:
        return "Unknown host error.";
    }
}

// "V_a;V_b;" -> {"V_a", "V_b"}; null is an empty list; false unless every name ends with ';'.
bool splitVariableList(const char *list, std::vector<std::string> &names)
{
    names.clear();
    std::string current;
    for (const char *c = list; c != nullptr && *c != '\0'; ++c) {
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

template <typename T> T *pointer(int64_t slot)
{
    return reinterpret_cast<T *>(static_cast<uintptr_t>(slot));
}

// An int travels sign-extended in its slot; the callee reads the low 32 bits.
int lowInt(int64_t slot)
{
    return static_cast<int>(static_cast<uint32_t>(static_cast<uint64_t>(slot)));
}

int parameterCount(int code)
{
    switch (code) {
    case NOTICE:
    case SET_IGOR_CALLBACK_METHOD:
    case GET_IGOR_VERSION:
        return 1;
    case WAVEMODIFIED:
        return 1;
    case NOTICE2:
    case SET_RUNTIME_NUMERIC_VARIABLE:
    case SET_OPERATION_WAVE_REF:
    case MD_GETDPDATAFROMNUMERICWAVE:
    case MD_STOREDPDATAINNUMERICWAVE:
        return 2;
    case MD_GETWAVEDIMENSIONS:
        return 3;
    case GET_OPERATION_DEST_WAVE:
        return 8;
    case GET_IGOR_INTERNAL_INFO:
        return 4;
    case REGISTER_OPERATION:
        return 6;
    default:
        return -1;
    }
}

bool threadSafeCallback(int code)
{
    switch (code) {
    case NOTICE:
    case NOTICE2:
    case SET_RUNTIME_NUMERIC_VARIABLE:
    case WAVEMODIFIED:
    case MD_GETWAVEDIMENSIONS:
    case MD_GETDPDATAFROMNUMERICWAVE:
    case MD_STOREDPDATAINNUMERICWAVE:
    case SET_OPERATION_WAVE_REF:
    case GET_OPERATION_DEST_WAVE:
        return true;
    default:
        return false;
    }
}

// The modules loaded in this process, by their I/O records: a callback's argument is one of
// these handles in the legacy mode, a call record otherwise.
std::mutex hostsMutex;
std::map<IORecHandle, StandInHost *> &hosts()
{
    static std::map<IORecHandle, StandInHost *> theHosts;
    return theHosts;
}

StandInHost *hostOf(IORecHandle h)
{
    const std::lock_guard<std::mutex> lock(hostsMutex);
    const auto found = hosts().find(h);
    return found != hosts().end() ? found->second : nullptr;
}

} // namespace

// The command this thread is running, if any.
thread_local StandInHost::Running *StandInHost::runningHere_ = nullptr;

StandInHost::StandInHost(int hostVersion, std::FILE *history, std::FILE *errors)
    : hostVersion_(hostVersion), history_(history), errors_(errors)
{
    mainThread_ = std::this_thread::get_id();
    // Igor's I/O record lives in a handle of 16 items, zeroed.
    Handle record = HandleHeap::process().newHandle(sizeof(IORec));
    if (record == nullptr)
        return;
    ioRec_ = reinterpret_cast<IORecHandle>(record);
    IORec &r = **ioRec_;
    std::memset(&r, 0, sizeof r);
    r.callBackProc = &StandInHost::callBack;
    r.stuffHandle = HandleHeap::process().newHandle(0);
    const std::lock_guard<std::mutex> lock(hostsMutex);
    hosts()[ioRec_] = this;
}

StandInHost::~StandInHost()
{
    cleanup();
    if (preemptive_.joinable())
        preemptive_.join();
    library_.reset();
    if (ioRec_ == nullptr)
        return;
    {
        const std::lock_guard<std::mutex> lock(hostsMutex);
        hosts().erase(ioRec_);
    }
    HandleHeap::process().dispose((**ioRec_).stuffHandle);
    HandleHeap::process().dispose(reinterpret_cast<Handle>(ioRec_));
}

bool StandInHost::loadModule(const std::string &path, std::string &error)
{
    library_ = std::make_unique<ModuleLibrary>();
    if (!library_->load(path, error))
        return false;
    const ModuleLibrary &library = *library_;
    return start(library_->entry(),
                 [&library](const char *type, std::uint32_t *size) { return library.resource(type, 1100, size); },
                 error);
}

bool StandInHost::startModule(XOPMainFunc xopMain, ModuleResourceFunc resources, std::string &error)
{
    return start(xopMain,
                 [resources](const char *type, std::uint32_t *size) -> const unsigned char * {
                     *size = 0;
                     return resources != nullptr ? resources(type, 1100, size, nullptr) : nullptr;
                 },
                 error);
}

bool StandInHost::readResources(const ResourceReader &resource, std::string &error)
{
    std::uint32_t size = 0;
    const unsigned char *xopi = resource("XOPI", &size);
    if (xopi == nullptr || size < 2) {
        error = "the module has no XOPI resource: error " + std::to_string(XOP_RESOURCES_MISSING);
        return false;
    }
    (**ioRec_).XOPProtocolVersion = static_cast<int16_t>(xopi[0] | xopi[1] << 8);

    // XOPC: per operation its name, a NUL and a 16-bit category; an empty name ends it.
    categories_.clear();
    const unsigned char *xopc = resource("XOPC", &size);
    for (std::size_t pos = 0; xopc != nullptr && pos < size && xopc[pos] != '\0';) {
        const auto *name = reinterpret_cast<const char *>(xopc + pos);
        const std::size_t length = strnlen(name, size - pos);
        if (pos + length + 3 > size)
            break;
        const unsigned char *word = xopc + pos + length + 1;
        categories_.push_back({std::string(name, length), word[0] | word[1] << 8});
        pos += length + 3;
    }

    // STR# 1100: texts each ending in NUL; an empty text ends the table.
    messages_.clear();
    const unsigned char *table = resource("STR#", &size);
    for (std::size_t pos = 0; table != nullptr && pos < size && table[pos] != '\0';) {
        const auto *text = reinterpret_cast<const char *>(table + pos);
        const std::size_t length = strnlen(text, size - pos);
        messages_.emplace_back(text, length);
        pos += length + 1;
    }
    return true;
}

bool StandInHost::start(XOPMainFunc xopMain, const ResourceReader &resource, std::string &error)
{
    if (ioRec_ == nullptr) {
        error = "no memory for the I/O record";
        return false;
    }
    if (xopMain == nullptr) {
        error = "the module has no XOPMain: error " + std::to_string(CANT_FIND_XOP_MAIN);
        return false;
    }
    if (!readResources(resource, error))
        return false;
    IORec &r = **ioRec_;
    r.status = XOPINITING;
    r.message = INIT;
    r.result = 0;
    callRecordMode_ = false;
    loadViolation_ = 0;
    const int status = xopMain(ioRec_);
    r.status = INFOREGROUND;
    const int result = static_cast<int>(r.result);
    if (status != 0) {
        error = "the module refused to load: error " + std::to_string(result) + ": " + errorText(result);
        return false;
    }
    if (loadViolation_ != 0) {
        error = "the module broke the host's rules while loading: error " +
                std::to_string(loadViolation_) + ": " + errorText(loadViolation_);
        return false;
    }
    started_ = true;
    return true;
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
    if (!started_ || !onMainThread())
        return 0;
    IORec &r = **ioRec_;
    XOPEntryProc entry = r.XOPEntry;
    if (entry == nullptr)
        return 0;
    r.message = static_cast<int16_t>(message);
    r.numItems = 0;
    r.result = 0;
    entry();
    return static_cast<int>(r.result);
}

void StandInHost::cleanup()
{
    if (cleanedUp_ || !started_)
        return;
    waitForThread();
    cleanedUp_ = true;
    sendMessage(CLEANUP);
}

bool StandInHost::variable(const std::string &name, double &value) const
{
    const std::lock_guard<std::mutex> lock(outputMutex_);
    const auto found = variables_.find(lowerCase(name));
    if (found == variables_.end())
        return false;
    value = found->second.second;
    return true;
}

const StandInHost::Operation *StandInHost::findOperation(const std::string &name) const
{
    for (const auto &operation : operations_) {
        if (sameNameIgnoringCase(operation->commandTemplate.name(), name))
            return operation.get();
    }
    return nullptr;
}

void StandInHost::beforeOutput() const
{
    if (beforeOutput_)
        beforeOutput_();
}

void StandInHost::errorLine(const char *format, ...)
{
    const std::lock_guard<std::mutex> lock(outputMutex_);
    beforeOutput();
    va_list args;
    va_start(args, format);
    std::vfprintf(errors_, format, args);
    va_end(args);
    std::fflush(errors_);
}

StandInHost::Outcome StandInHost::runLine(const std::string &line, const std::string &location)
{
    // Whatever the module wrote on its own comes out before the next line's output.
    struct AfterLine {
        StandInHost &host;
        ~AfterLine()
        {
            const std::lock_guard<std::mutex> lock(host.outputMutex_);
            host.beforeOutput();
        }
    } afterLine{*this};
    if (CommandLineParser::isBlankOrComment(line))
        return Outcome::Done;
    const std::size_t first = line.find_first_not_of(" \t");
    if (line[first] == '&') {
        const std::string rest = line.substr(first + 1);
        if (CommandLineParser::isBlankOrComment(rest)) {
            errorLine("%ssyntax error: & needs a command\n", location.c_str());
            return Outcome::SyntaxError;
        }
        std::string word;
        if (CommandLineParser::commandName(rest, word) && sameNameIgnoringCase(word, "wait") &&
            CommandLineParser::isBlankOrComment(rest.substr(rest.find_first_not_of(" \t") + 4)))
            return waitForThread();
        return startOnThread(rest, location);
    }
    std::string name;
    if (!CommandLineParser::commandName(line, name)) {
        errorLine("%ssyntax error: expected a command name\n", location.c_str());
        return Outcome::SyntaxError;
    }
    const Operation *operation = findOperation(name);
    if (operation == nullptr && sameNameIgnoringCase(name, "print"))
        return runPrint(line, location);
    if (operation == nullptr && sameNameIgnoringCase(name, "make"))
        return runMake(line, location);
    if (operation == nullptr) {
        errorLine("%ssyntax error: unknown command %s\n", location.c_str(), name.c_str());
        return Outcome::SyntaxError;
    }
    CommandLineParser parser;
    ParsedCommand parsed;
    std::string error;
    if (!parser.parse(line, operation->commandTemplate, parsed, error)) {
        errorLine("%ssyntax error: %s: %s\n", location.c_str(),
                  operation->commandTemplate.name().c_str(), error.c_str());
        return Outcome::SyntaxError;
    }
    return runCommand(*operation, parsed, location, false);
}

StandInHost::Outcome StandInHost::startOnThread(const std::string &line, const std::string &location)
{
    std::string name;
    const Operation *operation =
        CommandLineParser::commandName(line, name) ? findOperation(name) : nullptr;
    if (operation == nullptr) {
        errorLine("%ssyntax error: & takes a command of the module\n", location.c_str());
        return Outcome::SyntaxError;
    }
    if (!operation->threadSafe) {
        errorLine("%ssyntax error: %s is not thread-safe\n", location.c_str(), name.c_str());
        return Outcome::SyntaxError;
    }
    CommandLineParser parser;
    ParsedCommand parsed;
    std::string error;
    if (!parser.parse(line, operation->commandTemplate, parsed, error)) {
        errorLine("%ssyntax error: %s: %s\n", location.c_str(),
                  operation->commandTemplate.name().c_str(), error.c_str());
        return Outcome::SyntaxError;
    }
    // One preemptive thread: the command before must be done.
    if (preemptive_.joinable())
        preemptive_.join();
    preemptive_ = std::thread([this, operation, parsed, location] {
        const Outcome outcome = runCommand(*operation, parsed, location, true);
        const std::lock_guard<std::mutex> lock(outputMutex_);
        threadOutcome_ = std::max(threadOutcome_, outcome);
    });
    return Outcome::Done;
}

StandInHost::Outcome StandInHost::waitForThread()
{
    if (preemptive_.joinable())
        preemptive_.join();
    const std::lock_guard<std::mutex> lock(outputMutex_);
    const Outcome outcome = threadOutcome_;
    threadOutcome_ = Outcome::Done;
    return outcome;
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
        errorLine("%ssyntax error: print takes one variable name\n", location.c_str());
        return Outcome::SyntaxError;
    }
    double value = 0.0;
    std::string text;
    if (variable(name, value))
        text = formatValue(value);
    else if (!waves_.print(name, text)) {
        errorLine("%sprint: no variable or wave named %s\n", location.c_str(), name.c_str());
        return Outcome::CommandFailed;
    }
    const std::lock_guard<std::mutex> lock(outputMutex_);
    beforeOutput();
    std::fprintf(history_, "%s\n", text.c_str());
    std::fflush(history_);
    return Outcome::Done;
}

StandInHost::Outcome StandInHost::runCommand(const Operation &operation, const ParsedCommand &parsed,
                                             const std::string &location, bool preemptive)
{
    HandleHeap &heap = HandleHeap::process();
    const CommandTemplate &t = operation.commandTemplate;
    std::vector<unsigned char> params(static_cast<std::size_t>(operation.recordSize), 0);
    const int32_t one = 1;
    std::vector<Handle> texts;
    bool filled = true;
    for (std::size_t f = 0; filled && f < parsed.flags.size(); ++f) {
        const TemplateFlag &flag = *parsed.flags[f];
        std::memcpy(params.data() + flag.offset, &one, sizeof one);
        filled = fillParams(params.data(), flag.params, parsed.flagValues[f], flag.setOffset, texts, location);
    }
    for (std::size_t k = 0; filled && k < parsed.keywords.size(); ++k) {
        const GivenKeyword &given = parsed.keywords[k];
        std::memcpy(params.data() + given.keyword->givenOffset, &one, sizeof one);
        filled = fillParams(params.data(), given.keyword->params, given.values, given.keyword->setOffset, texts,
                            location);
    }
    if (!filled) {
        for (Handle text : texts)
            heap.dispose(text);
        return Outcome::CommandFailed;
    }
    Running running{&operation, 0};
    // The calling context: the command line on the main thread; a ThreadSafe function on the
    // preemptive thread, where the thread pointer is Igor's and never null.
    if (preemptive) {
        std::memcpy(params.data() + t.contextOffset(), &one, sizeof one);
        void *threadPointer = &running;
        std::memcpy(params.data() + t.contextOffset() + 8, &threadPointer, sizeof threadPointer);
    }
    const std::size_t misusesBefore = heap.misuses();
    runningHere_ = &running;
    const int code = operation.execute(params.data());
    runningHere_ = nullptr;
    for (Handle text : texts) {
        if (!heap.owns(text))
            violation(NOMEM, t.name() + " disposed of a string parameter, which the host owns");
        heap.dispose(text);
    }
    if (heap.misuses() != misusesBefore && running.violation == 0)
        running.violation = NOMEM;
    if (code != 0)
        errorLine("%s%s: error %d: %s\n", location.c_str(), t.name().c_str(), code,
                  errorText(code).c_str());
    else if (running.violation != 0)
        errorLine("%s%s: error %d: %s\n", location.c_str(), t.name().c_str(), running.violation,
                  errorText(running.violation).c_str());
    return code != 0 || running.violation != 0 ? Outcome::CommandFailed : Outcome::Done;
}

bool StandInHost::fillParams(unsigned char *record, const std::vector<TemplateParam> &params,
                             const std::vector<ParamValue> &values, std::size_t setOffset,
                             std::vector<Handle> &texts, const std::string &location)
{
    const int32_t one = 1;
    for (std::size_t i = 0; i < params.size() && i < values.size(); ++i) {
        unsigned char *slot = record + params[i].offset;
        switch (params[i].type) {
        case ParamType::String: {
            // A fresh handle per string, without NUL; Igor disposes of it after the call.
            Handle text = HandleHeap::process().newText(values[i].text);
            texts.push_back(text);
            std::memcpy(slot, &text, sizeof text);
            break;
        }
        case ParamType::Number:
            std::memcpy(slot, &values[i].number, sizeof(double));
            break;
        case ParamType::Wave: {
            // Igor resolves the name before the call and refuses an unknown one.
            const waveHndl wave = waves_.find(values[i].text);
            if (wave == nullptr) {
                errorLine("%sexpected wave name: no wave named %s: error %d\n", location.c_str(),
                          values[i].text.c_str(), NOWAV);
                return false;
            }
            std::memcpy(slot, &wave, sizeof wave);
            break;
        }
        case ParamType::FolderAndName: {
            // The current data folder (null), and the name as typed; the parser keeps it short.
            DataFolderAndName dest{};
            std::memcpy(dest.name, values[i].text.data(), std::min<std::size_t>(values[i].text.size(), MAX_OBJ_NAME));
            std::memcpy(slot, &dest, sizeof dest);
            break;
        }
        }
        // For a destination this word is also the wave reference's identifier.
        std::memcpy(record + setOffset + 4 * i, &one, sizeof one);
    }
    return true;
}

StandInHost::Outcome StandInHost::runMake(const std::string &line, const std::string &location)
{
    // make [/O] [/D | /T | /Y=type] NAME={value, ...}: single precision unless told otherwise, as
    // in Igor.
    std::size_t pos = line.find_first_not_of(" \t") + 4;
    bool overwrite = false;
    int type = NT_FP32;
    auto syntax = [&](const std::string &what) {
        errorLine("%ssyntax error: make: %s\n", location.c_str(), what.c_str());
        return Outcome::SyntaxError;
    };
    auto skip = [&] {
        while (pos < line.size() && (line[pos] == ' ' || line[pos] == '\t'))
            ++pos;
    };
    for (skip(); pos < line.size() && line[pos] == '/'; skip()) {
        ++pos;
        if (line.compare(pos, 1, "O") == 0 || line.compare(pos, 1, "o") == 0) {
            overwrite = true;
            ++pos;
        } else if (line.compare(pos, 1, "D") == 0 || line.compare(pos, 1, "d") == 0) {
            type = NT_FP64;
            ++pos;
        } else if (line.compare(pos, 1, "T") == 0 || line.compare(pos, 1, "t") == 0) {
            type = TEXT_WAVE_TYPE;
            ++pos;
        } else if ((line.compare(pos, 2, "Y=") == 0 || line.compare(pos, 2, "y=") == 0)) {
            pos += 2;
            double number = 0;
            if (!CommandLineParser::parseNumber(line, pos, number) || pointSize(static_cast<int>(number)) == 0 ||
                number != static_cast<int>(number))
                return syntax("/Y takes a numeric wave type");
            type = static_cast<int>(number);
        } else {
            return syntax("unknown flag");
        }
    }
    const std::size_t nameStart = pos;
    while (pos < line.size() && (std::isalnum(static_cast<unsigned char>(line[pos])) != 0 || line[pos] == '_'))
        ++pos;
    const std::string name = line.substr(nameStart, pos - nameStart);
    skip();
    if (!WaveStore::validName(name) || pos >= line.size() || line[pos] != '=')
        return syntax("expected NAME={...}");
    ++pos;
    skip();
    if (pos >= line.size() || line[pos] != '{')
        return syntax("expected NAME={...}");
    ++pos;
    std::vector<double> numbers;
    std::vector<std::string> texts;
    for (skip(); pos < line.size() && line[pos] != '}';) {
        if (type == TEXT_WAVE_TYPE) {
            if (line[pos] != '"')
                return syntax("a text wave takes quoted texts");
            const std::size_t end = line.find('"', pos + 1);
            if (end == std::string::npos)
                return syntax("unterminated text");
            texts.push_back(line.substr(pos + 1, end - pos - 1));
            pos = end + 1;
        } else {
            double number = 0;
            if (!CommandLineParser::parseNumber(line, pos, number))
                return syntax("a numeric wave takes numbers");
            numbers.push_back(number);
        }
        skip();
        if (pos < line.size() && line[pos] == ',') {
            ++pos;
            skip();
        }
    }
    if (pos >= line.size() || !CommandLineParser::isBlankOrComment(line.substr(pos + 1)))
        return syntax("expected '}' at the end");
    if (waves_.find(name) != nullptr && !overwrite) {
        errorLine("%smake: a wave named %s exists (use /O): error %d\n", location.c_str(), name.c_str(),
                  NAME_WAV_CONFLICT);
        return Outcome::CommandFailed;
    }
    const CountInt points = static_cast<CountInt>(type == TEXT_WAVE_TYPE ? texts.size() : numbers.size());
    waveHndl wave = nullptr;
    const int result = waves_.make(name, type, {points}, &wave);
    if (result != 0) {
        errorLine("%smake: error %d: %s\n", location.c_str(), result, errorText(result).c_str());
        return Outcome::CommandFailed;
    }
    if (type == TEXT_WAVE_TYPE)
        waves_.setTexts(wave, texts);
    else
        waves_.storeDoubles(wave, numbers.data());
    return Outcome::Done;
}

// ---- The callback procedure.

void StandInHost::violation(int code, const std::string &what)
{
    errorLine("xophost: %s: error %d\n", what.c_str(), code);
    Running *running = runningHere_;
    if (running != nullptr) {
        if (running->violation == 0)
            running->violation = code;
    } else if (onMainThread() && loadViolation_ == 0) {
        loadViolation_ = code;
    }
}

void StandInHost::callBack(void *arg)
{
    StandInHost *host = hostOf(static_cast<IORecHandle>(arg));
    if (host != nullptr) {
        host->legacyCall();
        return;
    }
    auto *rec = static_cast<XOPCallRec *>(arg);
    host = hostOf(rec->ioRecHandle);
    if (host == nullptr) {
        std::fprintf(stderr, "xophost: a callback with the record of no loaded module\n");
        return;
    }
    host->callRecordCall(*rec);
}

void StandInHost::legacyCall()
{
    IORec &r = **ioRec_;
    const int code = r.message;
    if (callRecordMode_ || !onMainThread()) {
        violation(XOP_BAD_CALLBACK_MODE, "callback " + std::to_string(code) +
                                             (callRecordMode_ ? " through the I/O record after the switch to call records"
                                                              : " through the I/O record off the main thread"));
        r.result = XOP_BAD_CALLBACK_MODE;
        return;
    }
    if (r.numItems < 0 || r.numItems > NUM_IOREC_ITEMS) {
        violation(XOP_BAD_PARAMETER, "callback " + std::to_string(code) + " with " +
                                         std::to_string(r.numItems) + " items");
        r.result = XOP_BAD_PARAMETER;
        return;
    }
    int64_t items[NUM_IOREC_ITEMS];
    std::memcpy(items, r.items, sizeof items);
    r.result = answer(code, r.numItems, items);
}

void StandInHost::callRecordCall(XOPCallRec &rec)
{
    const std::string what = "callback " + std::to_string(rec.message);
    if (rec.version != kXOPCallRecVersion || rec.reserved1 != 0 || rec.reserved2 != 0 ||
        rec.reserved3 != 0 || rec.reserved4 != 0 || rec.numParameters < 0 ||
        (rec.numParameters > 0 && rec.parametersP == nullptr)) {
        violation(XOP_BAD_PARAMETER, what + " with a malformed call record");
        rec.result = XOP_BAD_PARAMETER;
        return;
    }
    if (!callRecordMode_) {
        violation(XOP_BAD_CALLBACK_MODE, what + " as a call record before the switch");
        rec.result = XOP_BAD_CALLBACK_MODE;
        return;
    }
    rec.result = answer(rec.message, rec.numParameters, rec.parametersP);
}

int64_t StandInHost::answer(int code, int count, const int64_t *p)
{
    const std::string what = "callback " + std::to_string(code);
    const int wanted = parameterCount(code);
    if (wanted < 0) {
        violation(IGOR_OBSOLETE, what + ": unknown code");
        return IGOR_OBSOLETE;
    }
    if (!onMainThread() && !threadSafeCallback(code)) {
        violation(XOP_CALLBACK_NOT_THREADSAFE, what + " off the main thread");
        return XOP_CALLBACK_NOT_THREADSAFE;
    }
    if (count != wanted) {
        violation(XOP_BAD_PARAMETER, what + " with " + std::to_string(count) + " parameters instead of " +
                                         std::to_string(wanted));
        return XOP_BAD_PARAMETER;
    }
    switch (code) {
    case NOTICE:
    case NOTICE2:
        return notice(p);
    case REGISTER_OPERATION:
        return registerOperation(p);
    case SET_RUNTIME_NUMERIC_VARIABLE:
        return setNumericVariable(p);
    case SET_IGOR_CALLBACK_METHOD:
        if (p[0] != 0 && p[0] != 1) {
            violation(XOP_BAD_PARAMETER, what + ": no callback method " + std::to_string(p[0]));
            return XOP_BAD_PARAMETER;
        }
        callRecordMode_ = p[0] == 1;
        return 0;
    case GET_IGOR_VERSION:
        if (p[0] == 0) {
            violation(XOP_BAD_PARAMETER, what + " without a place for the version");
            return XOP_BAD_PARAMETER;
        }
        // 1000 times the version: 8.00 is 8000.
        *pointer<int>(p[0]) = hostVersion_ * 10;
        return 0;
    case GET_IGOR_INTERNAL_INFO:
        return internalInfo(p);
    default:
        return waveCall(code, p);
    }
}

int64_t StandInHost::waveCall(int code, const int64_t *p)
{
    const std::string what = "callback " + std::to_string(code);
    const auto wave = pointer<char *>(p[0]);
    if (code == GET_OPERATION_DEST_WAVE) {
        // dfH, name, refId, options, dimensions, type, wave out, created out
        const char *name = pointer<const char>(p[1]);
        const CountInt *sizes = pointer<const CountInt>(p[4]);
        auto *out = pointer<waveHndl>(p[6]);
        if (p[0] != 0 || name == nullptr || sizes == nullptr || out == nullptr) {
            violation(XOP_BAD_PARAMETER, what + ": this host has the current data folder only, and needs a name, "
                                                "dimensions and a place for the wave");
            return XOP_BAD_PARAMETER;
        }
        std::vector<CountInt> dimensions;
        for (int i = 0; i <= MAX_DIMENSIONS && sizes[i] != 0; ++i)
            dimensions.push_back(sizes[i]);
        if (dimensions.empty())
            dimensions.push_back(0);
        *out = nullptr;
        return waves_.destination(name, lowInt(p[3]), lowInt(p[5]), dimensions, out, pointer<int>(p[7]));
    }
    if (!waves_.isWave(wave)) {
        violation(XOP_BAD_PARAMETER, what + " with a handle that is no wave");
        return XOP_BAD_PARAMETER;
    }
    switch (code) {
    case WAVEMODIFIED:
    case SET_OPERATION_WAVE_REF:
        return 0;
    case MD_GETWAVEDIMENSIONS: {
        int *count = pointer<int>(p[1]);
        CountInt *sizes = pointer<CountInt>(p[2]);
        if (count == nullptr || sizes == nullptr) {
            violation(XOP_BAD_PARAMETER, what + " without places for the dimensions");
            return XOP_BAD_PARAMETER;
        }
        return waves_.dimensions(wave, *count, sizes);
    }
    case MD_GETDPDATAFROMNUMERICWAVE:
        if (p[1] == 0)
            break;
        return waves_.getDoubles(wave, pointer<double>(p[1]));
    default:
        if (p[1] == 0)
            break;
        return waves_.storeDoubles(wave, pointer<const double>(p[1]));
    }
    violation(XOP_BAD_PARAMETER, what + " without data");
    return XOP_BAD_PARAMETER;
}

int64_t StandInHost::notice(const int64_t *p)
{
    const char *text = pointer<const char>(p[0]);
    if (text == nullptr) {
        violation(XOP_BAD_PARAMETER, "history text missing");
        return XOP_BAD_PARAMETER;
    }
    std::string line(text);
    std::replace(line.begin(), line.end(), '\r', '\n');
    const std::lock_guard<std::mutex> lock(outputMutex_);
    beforeOutput();
    std::fputs(line.c_str(), history_);
    std::fflush(history_);
    return 0;
}

int64_t StandInHost::internalInfo(const int64_t *p)
{
    const char *name = pointer<const char>(p[0]);
    auto *table = pointer<WMMemoryFunctions>(p[3]);
    if (name == nullptr || std::strcmp(name, "WMMemoryFunctions") != 0 ||
        p[2] != kWMMemoryFunctionsVersion || table == nullptr) {
        violation(XOP_BAD_PARAMETER, "internal information the host does not have");
        return XOP_BAD_PARAMETER;
    }
#if !defined(_WIN32)
    // Windows Igor leaves the table empty (its memory functions are exports); elsewhere the table
    // is the only way to Igor's handles.
    *table = HandleHeap::memoryFunctions();
#endif
    return 0;
}

int StandInHost::refuseRegistration(int code, const std::string &what)
{
    violation(code, "cannot register " + what);
    return code;
}

int64_t StandInHost::registerOperation(const int64_t *p)
{
    const char *cmdTemplate = pointer<const char>(p[0]);
    const auto execute = pointer<int(void *)>(p[4]);
    const int recordSize = lowInt(p[3]);
    const int options = lowInt(p[5]);
    auto operation = std::make_unique<Operation>();
    std::string error;
    if (cmdTemplate == nullptr || execute == nullptr)
        return refuseRegistration(XOP_BAD_PARAMETER, "an operation without a template or an execute function");
    if (!operation->commandTemplate.parse(cmdTemplate, error))
        return refuseRegistration(OH_BAD_TEMPLATE, std::string("'") + cmdTemplate + "': " + error);
    const std::string name = operation->commandTemplate.name();
    std::vector<std::string> strings;
    if (!splitVariableList(pointer<const char>(p[1]), operation->variables) ||
        !splitVariableList(pointer<const char>(p[2]), strings))
        return refuseRegistration(OH_BAD_TEMPLATE, name + ": variable names must each end in ';'");
    if (!strings.empty())
        return refuseRegistration(OH_BAD_TEMPLATE, name + ": this host has no string output variables");
    if (findOperation(name) != nullptr)
        return refuseRegistration(OH_BAD_TEMPLATE, name + ": already registered");
    const auto category = std::find_if(categories_.begin(), categories_.end(),
                                       [&](const Category &c) { return c.name == name; });
    if (category == categories_.end())
        return refuseRegistration(OH_NOT_IN_XOPC, name + ": not in the module's XOPC resource");
    if ((category->category & compilableOp) == 0)
        return refuseRegistration(OH_NOT_COMPILABLE, name + ": not compilable in the XOPC resource");
    operation->threadSafe = (options & kOperationIsThreadSafe) != 0;
    if (operation->threadSafe && (category->category & threadSafeOp) == 0)
        return refuseRegistration(XOP_BAD_PARAMETER, name + ": thread-safe, but not in the XOPC resource");
    const std::size_t needed = operation->commandTemplate.recordSize(operation->threadSafe);
    if (recordSize < 0 || static_cast<std::size_t>(recordSize) != needed)
        return refuseRegistration(OH_BAD_STRUCT_SIZE, name + ": record of " + std::to_string(recordSize) +
                                                          " bytes, template implies " + std::to_string(needed));
    operation->recordSize = recordSize;
    operation->execute = execute;
    operations_.push_back(std::move(operation));
    return 0;
}

int64_t StandInHost::setNumericVariable(const int64_t *p)
{
    const char *name = pointer<const char>(p[0]);
    const double *value = pointer<const double>(p[1]);
    const Running *running = runningHere_;
    if (name == nullptr || value == nullptr) {
        violation(XOP_BAD_PARAMETER, "output variable without a name or a value");
        return XOP_BAD_PARAMETER;
    }
    if (running == nullptr) {
        violation(XOP_BAD_PARAMETER, std::string("output variable ") + name + " outside a command");
        return XOP_BAD_PARAMETER;
    }
    const std::vector<std::string> &declared = running->operation->variables;
    if (std::find(declared.begin(), declared.end(), name) == declared.end()) {
        violation(XOP_BAD_PARAMETER, std::string("output variable ") + name + " not declared by " +
                                         running->operation->commandTemplate.name());
        return XOP_BAD_PARAMETER;
    }
    const std::lock_guard<std::mutex> lock(outputMutex_);
    variables_[lowerCase(name)] = {name, *value};
    return 0;
}
