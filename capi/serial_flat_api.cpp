// The flat C interface of the serial masters.
#include <new>

#include "capi/flat_handle.h"
#include "mbus.h"
#include "serial/ascii_master_protocol.h"
#include "serial/elam_master_protocol.h"
#include "serial/rtu_master_protocol.h"

using namespace mbus;

namespace mbus {
namespace {

// A new master, or null when memory is exhausted (for the object or its port).
template <class Master>
MbusHandle newSerialMaster()
{
    Master *master = new (std::nothrow) Master();
    if (master == nullptr)
        return nullptr;
    // Without a port driver the master could never open: report it as exhausted memory.
    if (!master->hasPortDriver()) {
        delete master;
        return nullptr;
    }
    return toHandle(master);
}

// Runs an operation of the serial family: a null handle gives MBUS_ILLEGAL_STATE, a master of
// another family MBUS_ILLEGAL_ARGUMENT.
template <class Operation>
int serialResultOf(MbusHandle handle, Operation operation)
{
    if (handle == nullptr)
        return MBUS_ILLEGAL_STATE;
    MbusSerialClientBase *client = toFamily<MbusSerialClientBase>(handle);
    return client ? operation(*client) : MBUS_ILLEGAL_ARGUMENT;
}

} // namespace
} // namespace mbus

extern "C" {

MBUS_API MbusHandle mbusNewRtuMaster(void)
{
    return newSerialMaster<MbusRtuMasterProtocol>();
}
MBUS_API MbusHandle mbusNewAsciiMaster(void)
{
    return newSerialMaster<MbusAsciiMasterProtocol>();
}
MBUS_API MbusHandle mbusNewElamMaster(void)
{
    return newSerialMaster<MbusElamMasterProtocol>();
}

MBUS_API int mbusOpenSerialPort(MbusHandle handle, const char *portName, int baudRate, int dataBits, int stopBits,
                                int parity)
{
    return serialResultOf(handle, [=](MbusSerialClientBase &c) {
        return c.openSerialPort(portName, baudRate, dataBits, stopBits, parity);
    });
}

MBUS_API int mbusAttachSerialHandle(MbusHandle handle, intptr_t osHandle)
{
    return serialResultOf(handle, [=](MbusSerialClientBase &c) { return c.attachSerialHandle(osHandle); });
}

MBUS_API int mbusEnableRs485Mode(MbusHandle handle, int rtsDelay)
{
    return serialResultOf(handle, [=](MbusSerialClientBase &c) { return c.enableRs485Mode(rtsDelay); });
}

} // extern "C"
