#include "extension/master_setup.h"

#include "extension/connection_registry.h"
#include "extension/output_lines.h"

int initProtocol(MbusHandle *master, int pollDelay)
{
    MbusHandle created = mbusNewTcpMaster();
    mbusConfigureLittleEndianFloats(created);
    diagnosticLine("=> initProtocol: LITTLE_ENDIAN selected\r");
    const int result = mbusSetPollDelay(created, pollDelay);
    *master = created;
    return result;
}

int openProtocol(const char *hostName, uint16_t port, int timeout, int pollDelay)
{
    MbusHandle master = nullptr;
    if (!getConnection(hostName, &master) || master == nullptr) {
        initProtocol(&master, pollDelay);
        // An unregistered master could never be reached, closed or destroyed again, and a null
        // one would block the name for good: keep neither.
        if (master != nullptr && !setConnection(hostName, master)) {
            mbusDestroy(master);
            diagnosticLine("=> openProtocol: no free connection for %s\r", hostName);
            return MBUS_ILLEGAL_STATE;
        }
    }
    if (master == nullptr) {
        diagnosticLine("=> openProtocol: cannot instantiate protocol: %s\r",
                       mbusGetErrorText(MBUS_ILLEGAL_STATE));
        return MBUS_ILLEGAL_STATE;
    }
    int result = mbusSetPort(master, port);
    if (result != MBUS_SUCCESS)
        return result;
    result = mbusSetTimeout(master, timeout);
    if (result != MBUS_SUCCESS)
        return result;
    result = mbusSetPollDelay(master, pollDelay);
    if (result != MBUS_SUCCESS)
        return result;
    result = mbusOpenConnection(master, hostName);
    if (result == MBUS_SUCCESS) {
        diagnosticLine("=> openProtocol: MODBUS/TCP connection opened\r");
        return MBUS_SUCCESS;
    }
    diagnosticLine("=> openProtocol: Error opening protocol: %s\r", mbusGetErrorText(result));
    return result;
}

void closeProtocol(const char *hostName)
{
    const int port = getConnectionPort(hostName);
    MbusHandle master = nullptr;
    getConnection(hostName, &master);
    if (master == nullptr)
        return;
    mbusCloseConnection(master);
    diagnosticLine("=> closeProtocol: connection closed with device %s on port %d\r", hostName,
                   port);
}

int getConnectionPort(const char *hostName)
{
    MbusHandle master = nullptr;
    getConnection(hostName, &master);
    if (master == nullptr)
        return -1;
    return static_cast<uint16_t>(mbusGetPort(master));
}

namespace {

int checkRange(uint32_t value, uint32_t limit, int code, const char *message)
{
    if (value >= 1 && value <= limit)
        return MBUS_SUCCESS;
    diagnosticLine("%s", message);
    return code;
}

} // namespace

int checkStartRef(uint32_t value)
{
    return checkRange(value, 0x10000, MBUS_ILLEGAL_ADDRESS_RESPONSE,
                      "=> checkStartRef: MODBUS data address must be 1-0x10000\r");
}

int checkCoilCount(uint32_t value)
{
    return checkRange(value, 2000, MBUS_ILLEGAL_ARGUMENT,
                      "=> checkStartRef: MODBUS number of coils must be 1-2000\r");
}

int checkRegisterCount(uint32_t value)
{
    return checkRange(value, 125, MBUS_ILLEGAL_ARGUMENT,
                      "=> checkStartRef: MODBUS number of registers must be 1-125\r");
}

int checkLongRegisterCount(uint32_t value)
{
    return checkRange(value, 62, MBUS_ILLEGAL_ARGUMENT,
                      "=> checkStartRef: MODBUS number of registers must be 1-62\r");
}

int checkSlaveAddress(uint32_t value)
{
    return checkRange(
        value, 255, MBUS_ILLEGAL_SLAVE_ADDRESS,
        "=> checkSlaveAddress: MODBUS address of slave device or unit identifier must be 1-255\r");
}
