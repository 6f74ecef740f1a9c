#include "host/host_services.h"

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <mutex>
#include <thread>

#include "host/igor_exports.h"

namespace {

constexpr int kMinimumCallRecordVersion = 620;

// The binding to Igor. A module is loaded once per host process and the services are free
// functions without a context argument, so the binding must be reachable from here. Written by
// XOPInit on the main thread before any command runs; read-only afterwards.
struct HostBinding {
    IORecHandle ioRec = nullptr;
    XOPCallBackProc callBack = nullptr;
    std::thread::id mainThread;
    int version = 0;
    bool callRecordMode = false;
    WMMemoryFunctions memory{};
    GetHandleSizeFunc getHandleSize = nullptr;
};

HostBinding &binding()
{
    static HostBinding theBinding;
    return theBinding;
}

bool bound()
{
    return binding().ioRec != nullptr;
}

bool onMainThread()
{
    return std::this_thread::get_id() == binding().mainThread;
}

// 3600 ticks of 1/60 s between two alarms; alarms come from any thread.
void notThreadSafeAlarm(const char *serviceName)
{
    static std::mutex alarmMutex;
    static bool shown = false;
    static std::chrono::steady_clock::time_point last;
    const std::lock_guard<std::mutex> lock(alarmMutex);
    const auto now = std::chrono::steady_clock::now();
    if (shown && now - last < std::chrono::seconds(60))
        return;
    shown = true;
    last = now;
    std::fprintf(stderr, "BUG: %s is not threadsafe.\r", serviceName);
    std::fflush(stderr);
}

// Igor takes every parameter as one 64-bit slot.
int64_t slot(const void *pointer)
{
    return static_cast<int64_t>(reinterpret_cast<uintptr_t>(pointer));
}

int64_t slot(int value)
{
    return value; // sign-extended, as Igor reads an int from the low 32 bits
}

// Calls Igor back in the mode in force and returns its 64-bit answer.
int64_t callIgor(int code, std::initializer_list<int64_t> parameters)
{
    HostBinding &b = binding();
    int64_t values[NUM_IOREC_ITEMS] = {};
    int count = 0;
    for (int64_t value : parameters)
        values[count++] = value;
    if (b.callRecordMode) {
        XOPCallRec rec{};
        rec.version = kXOPCallRecVersion;
        rec.ioRecHandle = b.ioRec;
        rec.message = code;
        rec.numParameters = count;
        rec.parametersP = count > 0 ? values : nullptr;
        b.callBack(&rec);
        return rec.result;
    }
    // The legacy mode goes through the I/O record, which only the main thread may touch.
    if (!onMainThread())
        return XOP_BAD_CALLBACK_MODE;
    IORec &record = **b.ioRec;
    record.result = 0;
    record.message = static_cast<int16_t>(code);
    record.numItems = static_cast<int16_t>(count);
    std::memcpy(record.items, values, sizeof(int64_t) * static_cast<size_t>(count));
    b.callBack(b.ioRec);
    return (**b.ioRec).result;
}

// Igor's error codes come back in the low 32 bits.
int errorOf(int64_t result)
{
    return static_cast<int>(static_cast<uint32_t>(static_cast<uint64_t>(result)));
}

} // namespace

int XOPInit(IORecHandle ioRecHandle)
{
    HostBinding &b = binding();
    b = HostBinding();
    if (ioRecHandle == nullptr || *ioRecHandle == nullptr || (**ioRecHandle).callBackProc == nullptr)
        return kNoHost;
    b.ioRec = ioRecHandle;
    b.callBack = (**ioRecHandle).callBackProc;
    b.mainThread = std::this_thread::get_id();

    // Igor answers 1000 times its version (8.04 -> 8040); before 6.32 it does not know the call.
    int version = 0;
    if (errorOf(callIgor(GET_IGOR_VERSION, {slot(&version)})) == 0)
        b.version = version / 10;
    else
        b.version = versionOfIgorProgram();
    if (b.version < kMinimumCallRecordVersion)
        return 0;

    const int switched = errorOf(callIgor(SET_IGOR_CALLBACK_METHOD, {slot(1)}));
    if (switched != 0)
        return switched;
    b.callRecordMode = true;

    if (asksForMemoryTable(b.version)) {
        // Igor's answer does not matter: a table left empty means "use the exports".
        WMMemoryFunctions table{};
        callIgor(GET_IGOR_INTERNAL_INFO, {slot("WMMemoryFunctions"), slot(nullptr),
                                          slot(kWMMemoryFunctionsVersion), slot(&table)});
        b.memory = table;
    }
    b.getHandleSize = b.memory.GetHandleSize != nullptr ? b.memory.GetHandleSize : exportedGetHandleSize();
    return b.getHandleSize != nullptr ? 0 : IGOR_OBSOLETE;
}

int hostVersion()
{
    return binding().version;
}

void SetXOPEntry(XOPEntryProc entry)
{
    if (!bound())
        return;
    if (!onMainThread()) {
        notThreadSafeAlarm("SetXOPEntry");
        return;
    }
    (**binding().ioRec).XOPEntry = entry;
}

int GetXOPMessage()
{
    if (!bound())
        return 0;
    if (!onMainThread()) {
        notThreadSafeAlarm("GetXOPMessage");
        return 0;
    }
    return (**binding().ioRec).message;
}

void SetXOPResult(int result)
{
    if (!bound())
        return;
    if (!onMainThread()) {
        notThreadSafeAlarm("SetXOPResult");
        return;
    }
    (**binding().ioRec).result = result;
}

int RegisterOperation(const char *cmdTemplate, const char *runtimeNumVarList,
                      const char *runtimeStrVarList, int runtimeParamStructSize,
                      XOPExecuteFunc executeFunc, int options)
{
    if (!bound())
        return IGOR_OBSOLETE;
    if (!onMainThread()) {
        notThreadSafeAlarm("RegisterOperation");
        return NOT_IN_THREADSAFE;
    }
    // The execute function travels as an address, like every other pointer.
    const auto execute = static_cast<int64_t>(reinterpret_cast<uintptr_t>(executeFunc));
    return errorOf(callIgor(REGISTER_OPERATION,
                            {slot(cmdTemplate), slot(runtimeNumVarList), slot(runtimeStrVarList),
                             slot(runtimeParamStructSize), execute, slot(options)}));
}

int GetCStringFromHandle(Handle text, char *buffer, int maxChars)
{
    if (buffer == nullptr || maxChars < 0)
        return STR_TOO_LONG;
    buffer[0] = '\0';
    if (text == nullptr)
        return USING_NULL_STRVAR;
    GetHandleSizeFunc getHandleSize = binding().getHandleSize;
    if (getHandleSize == nullptr)
        return IGOR_OBSOLETE;
    const BCInt size = getHandleSize(text);
    const BCInt limit = maxChars;
    const BCInt length = size < 0 ? 0 : (size > limit ? limit : size);
    if (length > 0)
        std::memcpy(buffer, *text, static_cast<size_t>(length));
    buffer[length] = '\0';
    return size > limit ? STR_TOO_LONG : 0;
}

int setOutputVariable(const char *name, double value)
{
    if (!bound())
        return IGOR_OBSOLETE;
    // Igor takes doubles by address.
    return errorOf(callIgor(SET_RUNTIME_NUMERIC_VARIABLE, {slot(name), slot(&value)}));
}

void printHistoryLine(const char *text)
{
    if (bound())
        callIgor(NOTICE, {slot(text)});
}

int GetOperationDestWave(DataFolderHandle dfH, const char *name, int refId, int options,
                         const CountInt dimensionSizes[MAX_DIMENSIONS + 1], int type,
                         waveHndl *wave, int *created)
{
    if (!bound())
        return IGOR_OBSOLETE;
    return errorOf(callIgor(GET_OPERATION_DEST_WAVE,
                            {slot(dfH), slot(name), slot(refId), slot(options), slot(dimensionSizes),
                             slot(type), slot(wave), slot(created)}));
}

int SetOperationWaveRef(waveHndl wave, int refId)
{
    if (!bound())
        return IGOR_OBSOLETE;
    return errorOf(callIgor(SET_OPERATION_WAVE_REF, {slot(wave), slot(refId)}));
}

int MDGetWaveDimensions(waveHndl wave, int *numDimensions, CountInt dimensionSizes[MAX_DIMENSIONS + 1])
{
    if (!bound())
        return IGOR_OBSOLETE;
    return errorOf(callIgor(MD_GETWAVEDIMENSIONS, {slot(wave), slot(numDimensions), slot(dimensionSizes)}));
}

int MDGetDPDataFromNumericWave(waveHndl wave, double *data)
{
    if (!bound())
        return IGOR_OBSOLETE;
    return errorOf(callIgor(MD_GETDPDATAFROMNUMERICWAVE, {slot(wave), slot(data)}));
}

int MDStoreDPDataInNumericWave(waveHndl wave, const double *data)
{
    if (!bound())
        return IGOR_OBSOLETE;
    return errorOf(callIgor(MD_STOREDPDATAINNUMERICWAVE, {slot(wave), slot(data)}));
}

void WaveHandleModified(waveHndl wave)
{
    if (bound())
        callIgor(WAVEMODIFIED, {slot(wave)});
}
