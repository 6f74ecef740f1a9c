// The module's entry: host version check, command registration and the host message callback.
#include <cstdint>

#include "extension/commands.h"
#include "extension/connection_registry.h"
#include "extension/module_resources.h"
#include "extension/xop_main.h"
#include "host/host_services.h"

namespace {

constexpr int kMinimumHostVersion = 620;
constexpr int kRegisterOptions = kOperationIsThreadSafe;

struct CommandRegistration {
    const char *cmdTemplate;
    const char *numVarList;
    int recordSize;
    XOPExecuteFunc execute;
};

const CommandRegistration kCommands[] = {
    {"MBOpen /Q IP=string:hostName, port=number:TCPport, timeout=number:timeOutms, "
     "delay=number:pollDelay",
     "V_MBerr;", 84, ExecuteMBOpen},
    {"MBGetStatus /Q IP=string:hostName", "V_MBerr;V_MBstatus;", 36, ExecuteMBGetStatus},
    {"MBClose /Q IP=string:hostName", "V_MBerr;", 36, ExecuteMBClose},
    {"MBRead /L /F /Q IP=string:hostName, Coil=number:addressCoil, "
     "DiscreteInput=number:addressDiscreteInput, HoldingRegister=number:addressHoldingRegister, "
     "InputRegister=number:addressInputRegister",
     "V_MBerr;V_MBCoil;V_MBDiscreteInput;V_MBHoldingRegister;V_MBInputRegister;", 108,
     ExecuteMBRead},
    {"MBWrite /L /F /Q IP=string:hostName, Coil={number:addressCoil, number:valueCoil}, "
     "Register={number:addressRegister, number:valueRegister}",
     "V_MBerr;", 100, ExecuteMBWrite},
    {"MBReadWave /Q /T=number:valueType /B=number:byteOrder /U=number:unitId "
     "/DEST=DataFolderAndName:{dest,real} IP=string:hostName, Coil={number:coilStart, number:coilCount}, "
     "DiscreteInput={number:inputStart, number:inputCount}, "
     "HoldingRegister={number:holdingStart, number:holdingCount}, "
     "InputRegister={number:registerStart, number:registerCount}",
     "V_MBerr;V_MBCount;", 244, ExecuteMBReadWave},
    {"MBWriteWave /Q /T=number:valueType /B=number:byteOrder /U=number:unitId IP=string:hostName, "
     "data=wave:values, Coil=number:coilStart, HoldingRegister=number:holdingStart",
     "V_MBerr;V_MBCount;", 132, ExecuteMBWriteWave},
    {"MBOpenSerial /Q port=string:portName, protocol=string:protocol, baud=number:baudRate, "
     "parity=string:parity, dataBits=number:dataBits, stopBits=number:stopBits, timeout=number:timeOutms, "
     "delay=number:pollDelay, rs485=number:rtsDelay, unit=number:unitId",
     "V_MBerr;", 180, ExecuteMBOpenSerial},
};

} // namespace

int registerOperations()
{
    for (const CommandRegistration &command : kCommands) {
        const int result = RegisterOperation(command.cmdTemplate, command.numVarList, "",
                                             command.recordSize, command.execute,
                                             kRegisterOptions);
        if (result != 0)
            return result;
    }
    return 0;
}

void hostMessageEntry()
{
    // Read before anything calls Igor back: a legacy callback would overwrite it.
    if (GetXOPMessage() == CLEANUP)
        closeAllConnections();
    SetXOPResult(0);
}

extern "C" ZORVANE_EXPORT int XOPMain(IORecHandle ioRecHandle)
{
    const int init = XOPInit(ioRecHandle);
    // Without a usable record there is no host to tell the reason to.
    if (init == kNoHost)
        return 1;
    SetXOPEntry(hostMessageEntry);
    if (hostVersion() < kMinimumHostVersion) {
        SetXOPResult(10165);
        return 1;
    }
    // The operations are thread-safe: without the call-record mode, or without a way to read
    // Igor's handles, they cannot run.
    if (init != 0) {
        SetXOPResult(init);
        return 1;
    }
    const int result = registerOperations();
    if (result != 0) {
        SetXOPResult(result);
        return 1;
    }
    SetXOPResult(0);
    return 0;
}

extern "C" ZORVANE_EXPORT const unsigned char *XOPGetResource(const char *type, int id,
                                                              uint32_t *size, uint16_t *language)
{
    const std::string *bytes = findResource(type, id, language);
    if (size != nullptr)
        *size = bytes != nullptr ? static_cast<uint32_t>(bytes->size()) : 0;
    return bytes != nullptr ? reinterpret_cast<const unsigned char *>(bytes->data()) : nullptr;
}
