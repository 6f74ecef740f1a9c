#include "host/host_services.h"

#include <chrono>
#include <cstdio>
#include <thread>

namespace {

// The binding to the host. A module is loaded once per host process and the services are free
// functions without a context argument, so the record must be reachable from here.
struct HostBinding {
    const XopHostRecord *record = nullptr;
    std::thread::id mainThread;
    bool alarmShown = false;
    std::chrono::steady_clock::time_point lastAlarm;
};

HostBinding &binding()
{
    static HostBinding theBinding;
    return theBinding;
}

const XopHostRecord *host()
{
    return binding().record;
}

// 3600 ticks of 1/60 s.
constexpr std::chrono::seconds kAlarmInterval{60};

bool onMainThread(const char *serviceName)
{
    HostBinding &b = binding();
    if (std::this_thread::get_id() == b.mainThread)
        return true;
    const auto now = std::chrono::steady_clock::now();
    if (!b.alarmShown || now - b.lastAlarm >= kAlarmInterval) {
        b.alarmShown = true;
        b.lastAlarm = now;
        if (b.record != nullptr && b.record->showMessageBox != nullptr) {
            char text[128];
            std::snprintf(text, sizeof text, "BUG: %s is not threadsafe.\r", serviceName);
            b.record->showMessageBox(b.record->context, text);
        }
    }
    return false;
}

} // namespace

int XOPInit(const XopHostRecord *record)
{
    HostBinding &b = binding();
    b.record = nullptr;
    if (record == nullptr || record->recordSize < sizeof(XopHostRecord))
        return XOP_ERR_NO_HOST;
    b.record = record;
    b.mainThread = std::this_thread::get_id();
    b.alarmShown = false;
    return 0;
}

int hostVersion()
{
    return host() != nullptr ? host()->hostVersion : 0;
}

void SetXOPEntry(XopEntryFunc entry)
{
    if (host() != nullptr && host()->setXOPEntry != nullptr)
        host()->setXOPEntry(host()->context, entry);
}

int GetXOPMessage()
{
    if (host() == nullptr || host()->getXOPMessage == nullptr)
        return 0;
    return host()->getXOPMessage(host()->context);
}

void SetXOPResult(int result)
{
    if (host() != nullptr && host()->setXOPResult != nullptr)
        host()->setXOPResult(host()->context, result);
}

int RegisterOperation(const char *cmdTemplate, const char *runtimeNumVarList,
                      const char *runtimeStrVarList, int runtimeParamStructSize,
                      XopExecuteFunc executeFunc, int options)
{
    if (host() == nullptr || host()->registerOperation == nullptr)
        return XOP_ERR_NO_HOST;
    if (!onMainThread("RegisterOperation"))
        return XOP_ERR_NOT_MAIN_THREAD;
    return host()->registerOperation(host()->context, cmdTemplate, runtimeNumVarList,
                                     runtimeStrVarList, runtimeParamStructSize, executeFunc,
                                     options);
}

int GetCStringFromHandle(XopTextHandle text, char *buffer, int maxChars)
{
    if (buffer == nullptr || maxChars < 0)
        return XOP_ERR_TEXT_TOO_LONG;
    buffer[0] = '\0';
    if (text == nullptr)
        return XOP_ERR_NULL_TEXT;
    if (host() == nullptr || host()->getCStringFromHandle == nullptr)
        return XOP_ERR_NO_HOST;
    const int result = host()->getCStringFromHandle(host()->context, text, buffer, maxChars);
    buffer[maxChars] = '\0';
    return result;
}

int setOutputVariable(const char *name, double value)
{
    if (host() == nullptr || host()->setOutputVariable == nullptr)
        return XOP_ERR_NO_HOST;
    return host()->setOutputVariable(host()->context, name, value);
}

void printHistoryLine(const char *text)
{
    if (host() != nullptr && host()->printHistoryLine != nullptr)
        host()->printHistoryLine(host()->context, text);
}
