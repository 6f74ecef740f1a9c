#include "tests/extension/recording_host.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

namespace {

RecordingHost &self(void *context)
{
    return *static_cast<RecordingHost *>(context);
}

} // namespace

RecordingHost::RecordingHost(int hostVersion)
{
    record.recordSize = sizeof(XopHostRecord);
    record.hostVersion = hostVersion;
    record.context = this;
    record.setXOPEntry = [](void *c, XopEntryFunc e) { self(c).entry = e; };
    record.getXOPMessage = [](void *c) { return self(c).message; };
    record.setXOPResult = [](void *c, int r) { self(c).result = r; };
    record.registerOperation = [](void *c, const char *t, const char *n, const char *s, int size,
                                  XopExecuteFunc f, int o) {
        RecordingHost &host = self(c);
        if (static_cast<int>(host.registrations.size()) == host.failAt) {
            host.failAt = -1;
            return host.failCode;
        }
        host.registrations.push_back({t, n, s, size, f, o});
        return 0;
    };
    record.getCStringFromHandle = [](void *, XopTextHandle h, char *buffer, int maxChars) {
        if (h == nullptr)
            return static_cast<int>(XOP_ERR_NULL_TEXT);
        const auto *text = reinterpret_cast<const std::string *>(h);
        const std::size_t n = std::min(text->size(), static_cast<std::size_t>(maxChars));
        std::memcpy(buffer, text->data(), n);
        buffer[n] = '\0';
        return text->size() > static_cast<std::size_t>(maxChars)
                   ? static_cast<int>(XOP_ERR_TEXT_TOO_LONG)
                   : 0;
    };
    record.setOutputVariable = [](void *c, const char *name, double value) {
        self(c).variables.emplace_back(name, value);
        return 0;
    };
    record.printHistoryLine = [](void *c, const char *text) { self(c).history.push_back(text); };
    record.showMessageBox = [](void *c, const char *text) {
        self(c).messageBoxes.push_back(text);
    };
}

XopTextHandle RecordingHost::text(const std::string &content)
{
    texts_.push_back(std::make_unique<std::string>(content));
    return reinterpret_cast<XopTextHandle>(texts_.back().get());
}

const Registration *RecordingHost::registration(const std::string &command) const
{
    for (const Registration &r : registrations) {
        if (r.cmdTemplate.compare(0, command.size() + 1, command + " ") == 0)
            return &r;
    }
    return nullptr;
}

Execution RecordingHost::run(const std::string &command, void *params)
{
    const Registration *r = registration(command);
    EXPECT_NE(r, nullptr) << command << " is not registered";
    const std::size_t historyBefore = history.size();
    const std::size_t variablesBefore = variables.size();
    testing::internal::CaptureStderr();
    const int code = r != nullptr ? r->execute(params) : -1;
    Execution e{code, testing::internal::GetCapturedStderr(), {}, {}};
    e.history.assign(history.begin() + static_cast<long>(historyBefore), history.end());
    e.variables.assign(variables.begin() + static_cast<long>(variablesBefore), variables.end());
    return e;
}

int RecordingHost::send(int hostMessage)
{
    message = hostMessage;
    result = -1;
    if (entry != nullptr)
        entry();
    message = 0;
    return result;
}

Execution RecordingHost::cleanup()
{
    const std::size_t historyBefore = history.size();
    testing::internal::CaptureStderr();
    const int r = send(XOP_MSG_CLEANUP);
    Execution e{r, testing::internal::GetCapturedStderr(), {}, {}};
    e.history.assign(history.begin() + static_cast<long>(historyBefore), history.end());
    return e;
}
