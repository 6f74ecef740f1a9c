// MBOpen, MBClose and MBGetStatus.
#include <cstdint>

#include "extension/commands.h"
#include "extension/connection_guard.h"
#include "extension/connection_registry.h"
#include "extension/error_report.h"
#include "extension/host_name.h"
#include "extension/master_setup.h"
#include "extension/number_conversion.h"
#include "extension/output_lines.h"
#include "extension/parameter_records.h"
#include "host/host_services.h"

namespace {

constexpr int kInvalidParameter = 10001;
constexpr uint32_t kMaxMilliseconds = 100000;

// A time-out or poll delay: truncated to 32 bits, refused above 100000 taken as unsigned (so a
// negative value is refused too) and when it is no 32-bit number at all.
bool takeMilliseconds(double given, int32_t &out)
{
    int32_t value = 0;
    if (!truncateToInt32(given, value) || static_cast<uint32_t>(value) > kMaxMilliseconds)
        return false;
    out = value;
    return true;
}

} // namespace

int ExecuteMBOpen(void *params)
{
    const auto *p = static_cast<const MBOpenRuntimeParams *>(params);
    const bool quiet = p->QFlagEncountered != 0;

    uint16_t port = 502;
    if (p->portEncountered != 0) {
        // Only the low 16 bits are used; a number beyond 64 bits has no low bits to use.
        int64_t value = 0;
        if (!truncateToInt64(p->TCPport, value))
            return reportFailure(kMBOpenReport, kInvalidParameter, quiet);
        port = static_cast<uint16_t>(static_cast<uint64_t>(value) & 0xFFFFu);
    }

    int32_t timeout = 1000;
    if (p->timeoutEncountered != 0 && !takeMilliseconds(p->timeOutms, timeout))
        return reportFailure(kMBOpenReport, kInvalidParameter, quiet);

    HostNameBuffer hostName;
    const int nameCode = readHostName(p->IPEncountered != 0, p->hostName, hostName,
                                      kInvalidParameter);
    if (nameCode != 0)
        return reportFailure(kMBOpenReport, nameCode, quiet);

    int32_t pollDelay = 10;
    if (p->delayEncountered != 0 && !takeMilliseconds(p->pollDelay, pollDelay))
        return reportFailure(kMBOpenReport, kInvalidParameter, quiet);

    const ConnectionGuard guard(hostName);
    const int result = openProtocol(hostName, port, timeout, pollDelay);
    if (result != MBUS_SUCCESS)
        return reportFailure(kMBOpenReport, 10000 + result, quiet);

    setOutputVariable("V_MBerr", 0);
    if (!quiet)
        historyLine("=> MODBUS/TCP connection established with device at address %s on TCP port "
                    "%d with timeout of %dms and poll delay of %dms\r",
                    hostName, port, timeout, pollDelay);
    return 0;
}

int ExecuteMBClose(void *params)
{
    const auto *p = static_cast<const MBConnectionRuntimeParams *>(params);
    const bool quiet = p->QFlagEncountered != 0;

    HostNameBuffer hostName;
    if (readHostName(p->IPEncountered != 0, p->hostName, hostName, kInvalidParameter) != 0)
        return reportFailure(kMBCloseReport, kInvalidParameter, quiet);

    const ConnectionGuard guard(hostName);
    closeProtocol(hostName);
    setOutputVariable("V_MBerr", 0);
    if (!quiet)
        historyLine("=> MODBUS/TCP connection closed with devive at address %s\r", hostName);
    return 0;
}

int ExecuteMBGetStatus(void *params)
{
    const auto *p = static_cast<const MBConnectionRuntimeParams *>(params);
    const bool quiet = p->QFlagEncountered != 0;
    unsigned char statusByte = 0;

    HostNameBuffer hostName;
    const int nameCode = readHostName(p->IPEncountered != 0, p->hostName, hostName, 10068);
    if (nameCode != 0)
        return reportFailure(kMBGetStatusReport, nameCode, quiet, statusByte);

    const ConnectionGuard guard(hostName);
    MbusHandle master = nullptr;
    if (!getConnection(hostName, &master) || master == nullptr)
        return reportFailure(kMBGetStatusReport, 10166, quiet, statusByte);

    diagnosticLine("=> ExecuteMBGetStatus: isOpen...\r");
    if (!mbusIsOpen(master))
        return reportFailure(kMBGetStatusReport, 10069, quiet, statusByte);

    diagnosticLine("=> ExecuteMBGetStatus: readExceptionStatus...\r");
    const int result = mbusReadExceptionStatus(master, connectionUnit(hostName), &statusByte);
    if (result != MBUS_SUCCESS) {
        // The status byte is reported as 0 on every failure, whatever the library left in it.
        return reportFailure(kMBGetStatusReport, 10000 + result, quiet, 0);
    }

    setOutputVariable("V_MBerr", 0);
    diagnosticLine("=> ExecuteMBGetStatus -> statusByte=%d\r", statusByte);
    setOutputVariable("V_MBstatus", statusByte);
    if (!quiet)
        historyLine("=> statusByte = %d\r", statusByte);
    return 0;
}
