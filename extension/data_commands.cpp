// MBRead and MBWrite: one item per library call, unit identifier 255 (on a serial line, the unit
// its open named).
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
// Every read clears a buffer of this many elements and transfers one of them.
constexpr int kReadBufferSize = 32;

enum class Item { Coil, DiscreteInput, HoldingRegister, InputRegister };
enum class Width { Short, Long, Float };

// The address a of the command becomes start reference a + 1 once checkStartRef accepts it.
// 0, or the command's failure code (10001 for a number that is no 32-bit integer).
int takeAddress(double given, int32_t &address)
{
    if (!truncateToInt32(given, address))
        return kInvalidParameter;
    if (checkStartRef(static_cast<uint32_t>(address)) != MBUS_SUCCESS)
        return 10162;
    return 0;
}

struct ReadResult {
    int result;
    double value;
};

ReadResult readItem(MbusHandle master, int unitId, Item item, Width width, int startRef)
{
    int bits[kReadBufferSize] = {};
    short shorts[kReadBufferSize] = {};
    int longs[kReadBufferSize] = {};
    float floats[kReadBufferSize] = {};
    const bool holding = item == Item::HoldingRegister;
    switch (item) {
    case Item::Coil:
        return {mbusReadCoils(master, unitId, startRef, bits, 1), static_cast<double>(bits[0])};
    case Item::DiscreteInput:
        return {mbusReadInputDiscretes(master, unitId, startRef, bits, 1),
                static_cast<double>(bits[0])};
    case Item::HoldingRegister:
    case Item::InputRegister:
        break;
    }
    switch (width) {
    case Width::Long: {
        const int r = holding ? mbusReadMultipleLongInts(master, unitId, startRef, longs, 1)
                              : mbusReadInputLongInts(master, unitId, startRef, longs, 1);
        return {r, static_cast<double>(longs[0])};
    }
    case Width::Float: {
        const int r = holding ? mbusReadMultipleFloats(master, unitId, startRef, floats, 1)
                              : mbusReadInputFloats(master, unitId, startRef, floats, 1);
        return {r, static_cast<double>(floats[0])};
    }
    case Width::Short:
        break;
    }
    const int r = holding ? mbusReadMultipleRegisters(master, unitId, startRef, shorts, 1)
                          : mbusReadInputRegisters(master, unitId, startRef, shorts, 1);
    return {r, static_cast<double>(shorts[0])};
}

const char *readFailureLine(Item item, Width width)
{
    switch (item) {
    case Item::Coil:
        return "=> ExecuteMBRead -> Cannot read coil...\r";
    case Item::DiscreteInput:
        return "=> ExecuteMBRead -> Cannot read discrete input...\r";
    case Item::HoldingRegister:
        if (width == Width::Long)
            return "=> ExecuteMBRead -> Cannot read int[32] holding register...\r";
        if (width == Width::Float)
            return "=> ExecuteMBRead -> Cannot read float[32] holding register...\r";
        return "=> ExecuteMBRead -> Cannot read short[32] holding register...\r";
    case Item::InputRegister:
        break;
    }
    return "=> ExecuteMBRead -> Cannot read input register...\r";
}

const char *itemVariable(Item item)
{
    switch (item) {
    case Item::Coil:
        return "V_MBCoil";
    case Item::DiscreteInput:
        return "V_MBDiscreteInput";
    case Item::HoldingRegister:
        return "V_MBHoldingRegister";
    case Item::InputRegister:
        break;
    }
    return "V_MBInputRegister";
}

void printReadLine(Item item, Width width, double value, int32_t address)
{
    // Bits and 16-bit registers print as integers, exactly; a float read may be NaN or infinite
    // and is never converted.
    const bool printsInteger = width == Width::Short || item == Item::Coil || item == Item::DiscreteInput;
    const int integral = printsInteger ? static_cast<int>(value) : 0;
    switch (item) {
    case Item::Coil:
        historyLine("=> MODBUS/TCP device returned %i from coil #%d\r", integral, address);
        return;
    case Item::DiscreteInput:
        historyLine("=> MODBUS/TCP device returned %i from discrete input #%d\r", integral,
                    address);
        return;
    case Item::HoldingRegister:
        if (width == Width::Short)
            historyLine("=> MODBUS/TCP device returned %d from holding register #%d\r", integral,
                        address);
        else
            historyLine("=> MODBUS/TCP device returned %g from holding register #%d\r", value,
                        address);
        return;
    case Item::InputRegister:
        break;
    }
    if (width == Width::Short)
        historyLine("=> MODBUS/TCP device returned %d from input register #%d\r", integral,
                    address);
    else
        historyLine("=> MODBUS/TCP device returned %g from input register #%d\r", value, address);
}

// Finds the open master of a host name: 0, or 10166 (none) / 10069 (closed).
int openMaster(const char *hostName, MbusHandle &master, bool tell)
{
    if (!getConnection(hostName, &master) || master == nullptr) {
        if (tell)
            diagnosticLine("=> ExecuteMBRead -> No connection...\r");
        return 10166;
    }
    if (!mbusIsOpen(master)) {
        if (tell)
            diagnosticLine("=> ExecuteMBRead -> Connection is not opened...\r");
        return 10069;
    }
    return 0;
}

} // namespace

int ExecuteMBRead(void *params)
{
    const auto *p = static_cast<const MBReadRuntimeParams *>(params);
    const bool quiet = p->QFlagEncountered != 0;

    HostNameBuffer hostName;
    int code = readHostName(p->IPEncountered != 0, p->hostName, hostName, kInvalidParameter);
    if (code != 0)
        return reportFailure(kMBReadReport, code, quiet);

    const ConnectionGuard guard(hostName);
    MbusHandle master = nullptr;
    code = openMaster(hostName, master, true);
    if (code != 0)
        return reportFailure(kMBReadReport, code, quiet);

    // The first item given counts; the others are ignored.
    Item item = Item::Coil;
    double given = 0.0;
    if (p->CoilEncountered != 0) {
        item = Item::Coil;
        given = p->addressCoil;
    } else if (p->DiscreteInputEncountered != 0) {
        item = Item::DiscreteInput;
        given = p->addressDiscreteInput;
    } else if (p->HoldingRegisterEncountered != 0) {
        item = Item::HoldingRegister;
        given = p->addressHoldingRegister;
    } else if (p->InputRegisterEncountered != 0) {
        item = Item::InputRegister;
        given = p->addressInputRegister;
    } else {
        setOutputVariable("V_MBerr", 0);
        return 0;
    }

    int32_t address = 0;
    code = takeAddress(given, address);
    if (code != 0)
        return reportFailure(kMBReadReport, code, quiet);

    const Width width = p->LFlagEncountered != 0   ? Width::Long
                        : p->FFlagEncountered != 0 ? Width::Float
                                                   : Width::Short;
    const ReadResult read = readItem(master, connectionUnit(hostName), item, width, address + 1);
    if (read.result != MBUS_SUCCESS) {
        diagnosticLine("%s", readFailureLine(item, width));
        return reportFailure(kMBReadReport, 10000 + read.result, quiet);
    }
    setOutputVariable(itemVariable(item), read.value);
    if (!quiet)
        printReadLine(item, width, read.value, address);
    setOutputVariable("V_MBerr", 0);
    return 0;
}

int ExecuteMBWrite(void *params)
{
    const auto *p = static_cast<const MBWriteRuntimeParams *>(params);
    const bool quiet = p->QFlagEncountered != 0;

    HostNameBuffer hostName;
    int code = readHostName(p->IPEncountered != 0, p->hostName, hostName, kInvalidParameter);
    if (code != 0)
        return reportFailure(kMBWriteReport, code, quiet);

    const ConnectionGuard guard(hostName);
    MbusHandle master = nullptr;
    code = openMaster(hostName, master, false);
    if (code != 0)
        return reportFailure(kMBWriteReport, code, quiet);

    const int unitId = connectionUnit(hostName);
    if (p->CoilEncountered != 0) {
        int32_t address = 0;
        code = takeAddress(p->addressCoil, address);
        if (code != 0)
            return reportFailure(kMBWriteReport, code, quiet);
        int32_t value = 0;
        if (!truncateToInt32(p->valueCoil, value))
            return reportFailure(kMBWriteReport, kInvalidParameter, quiet);
        const int result = mbusWriteCoil(master, unitId, address + 1, value);
        if (result != MBUS_SUCCESS)
            return reportFailure(kMBWriteReport, 10000 + result, quiet);
        if (!quiet)
            historyLine("=> MODBUS/TCP device coil #%d set to %i\r", address, value);
    }

    if (p->RegisterEncountered != 0) {
        int32_t address = 0;
        code = takeAddress(p->addressRegister, address);
        if (code != 0)
            return reportFailure(kMBWriteReport, code, quiet);
        int32_t value = 0;
        if (!truncateToInt32(p->valueRegister, value))
            return reportFailure(kMBWriteReport, kInvalidParameter, quiet);
        // The register takes the low 16 bits, reported as a signed value.
        const auto word = static_cast<int16_t>(static_cast<uint16_t>(value & 0xFFFF));
        const int result = mbusWriteSingleRegister(master, unitId, address + 1, word);
        if (result != MBUS_SUCCESS)
            return reportFailure(kMBWriteReport, 10000 + result, quiet);
        if (!quiet)
            historyLine("=> MODBUS/TCP device register #%d set to %d\r", address, word);
    }

    setOutputVariable("V_MBerr", 0);
    return 0;
}
