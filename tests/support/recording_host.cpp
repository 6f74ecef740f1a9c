#include "tests/support/recording_host.h"

#include <cstring>
#include <map>

#include "xophost/handle_heap.h"

namespace {

// Igor tells a legacy call (the I/O record's handle) from a call record by the mode it recorded
// for the module; the hosts alive in this process, by their records.
std::mutex hostsMutex;
std::map<IORecHandle, RecordingHost *> &hosts()
{
    static std::map<IORecHandle, RecordingHost *> theHosts;
    return theHosts;
}

RecordingHost *hostOf(IORecHandle h)
{
    const std::lock_guard<std::mutex> lock(hostsMutex);
    const auto found = hosts().find(h);
    return found != hosts().end() ? found->second : nullptr;
}

// The variables a command is running with, per thread.
thread_local const Registration *runningCommand = nullptr;

template <typename T> T *pointer(int64_t slot)
{
    return reinterpret_cast<T *>(static_cast<uintptr_t>(slot));
}

std::string textAt(int64_t slot)
{
    const char *text = pointer<const char>(slot);
    return text != nullptr ? text : "";
}

int expectedCount(int code)
{
    switch (code) {
    case NOTICE:
    case SET_IGOR_CALLBACK_METHOD:
    case GET_IGOR_VERSION:
        return 1;
    case SET_RUNTIME_NUMERIC_VARIABLE:
    case SET_RUNTIME_STRING_VARIABLE:
        return 2;
    case GET_IGOR_INTERNAL_INFO:
        return 4;
    case REGISTER_OPERATION:
        return 6;
    default:
        return -1;
    }
}

} // namespace

RecordingHost::RecordingHost(int hostVersion) : hostVersion_(hostVersion)
{
    mainThread_ = std::this_thread::get_id();
    ioRec_ = reinterpret_cast<IORecHandle>(HandleHeap::process().newHandle(sizeof(IORec)));
    IORec &r = **ioRec_;
    std::memset(&r, 0, sizeof r);
    r.XOPProtocolVersion = 4;
    r.status = XOPINITING;
    r.callBackProc = &RecordingHost::callBack;
    r.stuffHandle = HandleHeap::process().newHandle(0);
    r.message = INIT;
    const std::lock_guard<std::mutex> lock(hostsMutex);
    hosts()[ioRec_] = this;
}

RecordingHost::~RecordingHost()
{
    {
        const std::lock_guard<std::mutex> lock(hostsMutex);
        hosts().erase(ioRec_);
    }
    for (Handle h : texts_)
        HandleHeap::process().dispose(h);
    HandleHeap::process().dispose((**ioRec_).stuffHandle);
    HandleHeap::process().dispose(reinterpret_cast<Handle>(ioRec_));
}

Handle RecordingHost::text(const std::string &content)
{
    Handle h = HandleHeap::process().newText(content);
    texts_.push_back(h);
    return h;
}

const Registration *RecordingHost::registration(const std::string &command) const
{
    for (const Registration &r : registrations) {
        if (r.cmdTemplate.compare(0, command.size() + 1, command + " ") == 0)
            return &r;
    }
    return nullptr;
}

int RecordingHost::run(const std::string &command, void *params)
{
    const Registration *r = registration(command);
    if (r == nullptr)
        return -1;
    runningCommand = r;
    const int code = r->execute(params);
    runningCommand = nullptr;
    return code;
}

int RecordingHost::send(int message)
{
    XOPEntryProc callback = record().XOPEntry;
    if (callback == nullptr)
        return -1;
    IORec &r = **ioRec_;
    r.status = INFOREGROUND;
    r.message = static_cast<int16_t>(message);
    r.numItems = 0;
    r.result = 0;
    callback();
    return result();
}

void RecordingHost::violation(const std::string &what)
{
    violations.push_back(what);
}

void RecordingHost::callBack(void *arg)
{
    RecordingHost *host = hostOf(static_cast<IORecHandle>(arg));
    const bool legacy = host != nullptr;
    auto *rec = static_cast<XOPCallRec *>(arg);
    if (!legacy)
        host = hostOf(rec->ioRecHandle);
    if (host == nullptr)
        return; // no host to tell: nothing may be written
    const std::lock_guard<std::mutex> lock(host->mutex_);
    CallbackCall call{!legacy, 0, {}, std::this_thread::get_id() == host->mainThread_};
    if (legacy) {
        const IORec &r = host->record();
        call.code = r.message;
        if (r.result != 0)
            host->violation("legacy call without its result set to 0");
        if (r.numItems < 0 || r.numItems > NUM_IOREC_ITEMS)
            host->violation("legacy call with " + std::to_string(r.numItems) + " items");
        else {
            // The items lie at offset 60 of the packed record: copied, never read in place.
            call.params.resize(static_cast<std::size_t>(r.numItems));
            std::memcpy(call.params.data(), r.items, sizeof(int64_t) * call.params.size());
        }
        if (host->callRecordMode_)
            host->violation("legacy call in the call-record mode");
        if (!call.onMainThread)
            host->violation("legacy call off the main thread");
    } else {
        call.code = rec->message;
        if (rec->version != kXOPCallRecVersion || rec->reserved1 != 0 || rec->reserved2 != 0 ||
            rec->reserved3 != 0 || rec->reserved4 != 0)
            host->violation("malformed call record");
        if (rec->numParameters > 0 && rec->parametersP != nullptr)
            call.params.assign(rec->parametersP, rec->parametersP + rec->numParameters);
        if (!host->callRecordMode_)
            host->violation("call record before the mode switch");
    }
    host->calls.push_back(call);
    const int64_t result = host->answer(call.code, call.params);
    if (legacy)
        (**host->ioRec_).result = result;
    else
        rec->result = result;
}

int64_t RecordingHost::answer(int code, const std::vector<int64_t> &p)
{
    const int wanted = expectedCount(code);
    if (wanted < 0) {
        violation("unknown callback " + std::to_string(code));
        return IGOR_OBSOLETE;
    }
    if (static_cast<int>(p.size()) != wanted) {
        violation("callback " + std::to_string(code) + " with " + std::to_string(p.size()) + " parameters");
        return XOP_BAD_PARAMETER;
    }
    switch (code) {
    case GET_IGOR_VERSION:
        if (versionAnswer != 0)
            return versionAnswer;
        *pointer<int>(p[0]) = hostVersion_ * 10;
        return 0;
    case SET_IGOR_CALLBACK_METHOD:
        if (callbackMethodAnswer == 0)
            callRecordMode_ = p[0] == 1;
        return callbackMethodAnswer;
    case GET_IGOR_INTERNAL_INFO:
        if (fillMemoryTable && textAt(p[0]) == "WMMemoryFunctions" && p[2] == kWMMemoryFunctionsVersion)
            *pointer<WMMemoryFunctions>(p[3]) = HandleHeap::memoryFunctions();
        return 0;
    case REGISTER_OPERATION: {
        if (static_cast<int>(registrations.size()) == failAt) {
            failAt = -1;
            return failCode;
        }
        registrations.push_back({textAt(p[0]), textAt(p[1]), textAt(p[2]), static_cast<int>(p[3]),
                                 pointer<int(void *)>(p[4]), static_cast<int>(p[5])});
        return 0;
    }
    case SET_RUNTIME_NUMERIC_VARIABLE: {
        const std::string name = textAt(p[0]);
        if (runningCommand == nullptr || (";" + runningCommand->numVarList).find(";" + name + ";") == std::string::npos)
            violation("output variable " + name + " outside the running command's list");
        variables.emplace_back(name, *pointer<const double>(p[1]));
        return 0;
    }
    case NOTICE:
        history.push_back(textAt(p[0]));
        return 0;
    default:
        violation("callback " + std::to_string(code) + " this host does not serve");
        return IGOR_OBSOLETE;
    }
}
