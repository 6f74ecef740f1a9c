#include "fuzz/fuzz_host.h"

#include <cmath>
#include <cstring>

#include "extension/xop_main.h"
#include "fuzz/fuzz_check.h"

FuzzHost::FuzzHost()
{
    record_.recordSize = sizeof(XopHostRecord);
    record_.hostVersion = 800;
    record_.context = this;
    record_.setXOPEntry = &FuzzHost::setXOPEntry;
    record_.getXOPMessage = &FuzzHost::getXOPMessage;
    record_.setXOPResult = &FuzzHost::setXOPResult;
    record_.registerOperation = &FuzzHost::registerOperation;
    record_.getCStringFromHandle = &FuzzHost::getCStringFromHandle;
    record_.setOutputVariable = &FuzzHost::setOutputVariable;
    record_.printHistoryLine = &FuzzHost::printHistoryLine;
    record_.showMessageBox = &FuzzHost::showMessageBox;
}

bool FuzzHost::start()
{
    return XOPMain(&record_) == 0;
}

void FuzzHost::cleanup()
{
    if (entry_ == nullptr)
        return;
    message_ = XOP_MSG_CLEANUP;
    entry_();
    message_ = 0;
}

XopExecuteFunc FuzzHost::command(std::size_t index) const
{
    return index < commands_.size() ? commands_[index] : nullptr;
}

XopTextHandle FuzzHost::text(const std::string &content)
{
    texts_.push_back(std::make_unique<std::string>(content));
    return reinterpret_cast<XopTextHandle>(texts_.back().get());
}

int FuzzHost::run(std::size_t index, void *params)
{
    XopExecuteFunc execute = command(index);
    fuzzRequire(execute != nullptr, "the five commands are registered");
    running_ = &variableLists_[index];
    int code = execute(params);
    running_ = nullptr;
    return code;
}

void FuzzHost::setXOPEntry(void *context, XopEntryFunc entry)
{
    self(context).entry_ = entry;
}

int FuzzHost::getXOPMessage(void *context)
{
    return self(context).message_;
}

void FuzzHost::setXOPResult(void *context, int result)
{
    self(context).result_ = result;
}

int FuzzHost::registerOperation(void *context, const char *cmdTemplate, const char *numVarList, const char *,
                                int, XopExecuteFunc execute, int)
{
    fuzzRequire(cmdTemplate != nullptr && numVarList != nullptr && execute != nullptr, "a complete registration");
    FuzzHost &host = self(context);
    host.commands_.push_back(execute);
    host.variableLists_.emplace_back(numVarList);
    return 0;
}

int FuzzHost::getCStringFromHandle(void *context, XopTextHandle text, char *buffer, int maxChars)
{
    FuzzHost &host = self(context);
    fuzzRequire(buffer != nullptr && maxChars >= 0, "a buffer for the text");
    buffer[0] = '\0';
    if (text == nullptr)
        return XOP_ERR_NULL_TEXT;
    const auto *content = reinterpret_cast<const std::string *>(text);
    bool ours = false;
    for (const auto &owned : host.texts_)
        ours = ours || owned.get() == content;
    fuzzRequire(ours, "a text handle the host handed out");
    const std::size_t limit = static_cast<std::size_t>(maxChars);
    const std::size_t length = content->size() < limit ? content->size() : limit;
    std::memcpy(buffer, content->data(), length);
    buffer[length] = '\0';
    return content->size() > limit ? XOP_ERR_TEXT_TOO_LONG : 0;
}

int FuzzHost::setOutputVariable(void *context, const char *name, double value)
{
    FuzzHost &host = self(context);
    fuzzRequire(host.running_ != nullptr && name != nullptr, "output variables only while a command runs");
    const std::string wanted = std::string(name) + ";";
    fuzzRequire(host.running_->find(wanted) != std::string::npos, "an output variable the command declared");
    if (std::strcmp(name, "V_MBerr") == 0)
        fuzzRequire(std::isfinite(value) && value == std::floor(value), "V_MBerr is an integer");
    ++host.variablesSet_;
    return 0;
}

void FuzzHost::printHistoryLine(void *, const char *text)
{
    fuzzRequire(text != nullptr, "history text");
}

void FuzzHost::showMessageBox(void *, const char *text)
{
    fuzzRequire(text != nullptr, "message box text");
}
