// MBReadWave and MBWriteWave: a block of coils, discrete inputs or registers between the device
// and a numeric wave, split into as many requests as the device accepts, for any unit identifier.
// A failure leaves the device (for a write: every check comes before the first request) or the
// destination wave (for a read: the wave is made only once every value is in) untouched.
#include <cstdint>
#include <cstring>
#include <new>
#include <vector>

#include "extension/commands.h"
#include "extension/connection_guard.h"
#include "extension/connection_registry.h"
#include "extension/error_report.h"
#include "extension/host_name.h"
#include "extension/message_table.h"
#include "extension/number_conversion.h"
#include "extension/output_lines.h"
#include "extension/parameter_records.h"
#include "extension/register_values.h"
#include "host/host_services.h"

namespace {

constexpr int kInvalidParameter = 10001;
constexpr int kAddressSpace = 0x10000;
constexpr int kMaxUnitId = 0xFFFF;
// What one request may carry (function codes 1/2, 3/4, 15, 16).
constexpr int kMaxReadBits = 2000;
constexpr int kMaxReadRegisters = 125;
constexpr int kMaxWriteBits = 1968;
constexpr int kMaxWriteRegisters = 123;
constexpr const char *kDefaultDestination = "W_MBRead";

enum class Table { Coils, DiscreteInputs, HoldingRegisters, InputRegisters };

bool isBits(Table table)
{
    return table == Table::Coils || table == Table::DiscreteInputs;
}

const char *tableName(Table table)
{
    switch (table) {
    case Table::Coils:
        return "coil";
    case Table::DiscreteInputs:
        return "discrete input";
    case Table::HoldingRegisters:
        return "holding register";
    case Table::InputRegisters:
        break;
    }
    return "input register";
}

// The flags every block command shares. Without /U the unit is the connection's: 255 on TCP,
// the unit a serial open named.
struct Layout {
    ValueType type = ValueType::Int16;
    ByteOrder order = ByteOrder::CDAB;
    int unitId = kDefaultUnitId;
    bool unitGiven = false;
};

// 0, or kBadValueLayout / kBadUnitId.
int takeLayout(bool typeGiven, double type, bool orderGiven, double order, bool unitGiven,
               double unit, Layout &layout)
{
    int32_t value = 0;
    if (typeGiven) {
        if (!truncateToInt32(type, value) || value < 0 || value >= static_cast<int>(ValueType::Count))
            return kBadValueLayout;
        layout.type = static_cast<ValueType>(value);
    }
    if (orderGiven) {
        if (!truncateToInt32(order, value) || value < 0 || value >= static_cast<int>(ByteOrder::Count))
            return kBadValueLayout;
        layout.order = static_cast<ByteOrder>(value);
    }
    if (unitGiven) {
        if (!truncateToInt32(unit, value) || value < 0 || value > kMaxUnitId)
            return kBadUnitId;
        layout.unitId = value;
        layout.unitGiven = true;
    }
    return 0;
}

// The block's start and its length in bits or registers; 0 or kBadBlockRange.
int takeBlock(double givenStart, double givenCount, int perValue, int32_t &start, int32_t &count,
              int32_t &units)
{
    if (!truncateToInt32(givenStart, start) || !truncateToInt32(givenCount, count) || start < 0 ||
        start >= kAddressSpace || count < 1 || count > kAddressSpace / perValue)
        return kBadBlockRange;
    units = count * perValue;
    return start + units <= kAddressSpace ? 0 : kBadBlockRange;
}

// The open master of a name: 0, or 10166 (none) / 10069 (closed) after the command's line.
int openMaster(const char *command, const char *hostName, MbusHandle &master)
{
    if (!getConnection(hostName, &master) || master == nullptr) {
        diagnosticLine("=> Execute%s -> No connection...\r", command);
        return 10166;
    }
    if (!mbusIsOpen(master)) {
        diagnosticLine("=> Execute%s -> Connection is not opened...\r", command);
        return 10069;
    }
    return 0;
}

// Reads units bits or registers from wire address start on, request by request; each request
// carries whole values (step is a multiple of the registers per value). Library result code.
int readBlock(MbusHandle master, Table table, int unitId, int32_t start, int32_t units, int step,
              std::vector<int> &bits, std::vector<short> &registers)
{
    for (int32_t done = 0; done < units;) {
        const int n = units - done < step ? units - done : step;
        // The library counts references from 1.
        const int reference = start + done + 1;
        int result = MBUS_SUCCESS;
        switch (table) {
        case Table::Coils:
            result = mbusReadCoils(master, unitId, reference, &bits[static_cast<size_t>(done)], n);
            break;
        case Table::DiscreteInputs:
            result = mbusReadInputDiscretes(master, unitId, reference, &bits[static_cast<size_t>(done)], n);
            break;
        case Table::HoldingRegisters:
            result = mbusReadMultipleRegisters(master, unitId, reference, &registers[static_cast<size_t>(done)], n);
            break;
        case Table::InputRegisters:
            result = mbusReadInputRegisters(master, unitId, reference, &registers[static_cast<size_t>(done)], n);
            break;
        }
        if (result != MBUS_SUCCESS)
            return result;
        done += n;
    }
    return MBUS_SUCCESS;
}

int writeBlock(MbusHandle master, bool coils, int unitId, int32_t start, int32_t units, int step,
               const std::vector<int> &bits, const std::vector<short> &registers)
{
    for (int32_t done = 0; done < units;) {
        const int n = units - done < step ? units - done : step;
        const int reference = start + done + 1;
        const int result =
            coils ? mbusForceMultipleCoils(master, unitId, reference, &bits[static_cast<size_t>(done)], n)
                  : mbusWriteMultipleRegisters(master, unitId, reference, &registers[static_cast<size_t>(done)], n);
        if (result != MBUS_SUCCESS)
            return result;
        done += n;
    }
    return MBUS_SUCCESS;
}

// The host name and the /T, /B and /U flags, which both block operations take alike.
template <class Record>
int takeHostAndLayout(const Record &p, HostNameBuffer &hostName, Layout &layout)
{
    int code = readHostName(p.IPEncountered != 0, p.hostName, hostName, kInvalidParameter);
    if (code != 0)
        return code;
    return takeLayout(p.TFlagEncountered != 0, p.valueType, p.BFlagEncountered != 0, p.byteOrder,
                      p.UFlagEncountered != 0, p.unitId, layout);
}

} // namespace

int ExecuteMBReadWave(void *params)
{
    const auto *p = static_cast<const MBReadWaveRuntimeParams *>(params);
    const bool quiet = p->QFlagEncountered != 0;
    const CommandReport &report = kMBReadWaveReport;

    HostNameBuffer hostName;
    Layout layout;
    int code = takeHostAndLayout(*p, hostName, layout);
    if (code != 0)
        return reportFailure(report, code, quiet);

    // The first table given counts, as in MBRead.
    Table table = Table::Coils;
    double givenStart = 0.0;
    double givenCount = 0.0;
    if (p->CoilEncountered != 0) {
        givenStart = p->coilStart;
        givenCount = p->coilCount;
    } else if (p->DiscreteInputEncountered != 0) {
        table = Table::DiscreteInputs;
        givenStart = p->inputStart;
        givenCount = p->inputCount;
    } else if (p->HoldingRegisterEncountered != 0) {
        table = Table::HoldingRegisters;
        givenStart = p->holdingStart;
        givenCount = p->holdingCount;
    } else if (p->InputRegisterEncountered != 0) {
        table = Table::InputRegisters;
        givenStart = p->registerStart;
        givenCount = p->registerCount;
    } else {
        setOutputVariable("V_MBerr", 0);
        setOutputVariable("V_MBCount", 0);
        return 0;
    }
    const int perValue = isBits(table) ? 1 : registersPerValue(layout.type);
    int32_t start = 0;
    int32_t count = 0;
    int32_t units = 0;
    code = takeBlock(givenStart, givenCount, perValue, start, count, units);
    if (code != 0)
        return reportFailure(report, code, quiet);

    // Every buffer is in place before the first request.
    std::vector<int> bits;
    std::vector<short> registers;
    std::vector<double> values;
    try {
        (isBits(table) ? bits.resize(static_cast<size_t>(units)) : registers.resize(static_cast<size_t>(units)));
        values.resize(static_cast<size_t>(count));
    } catch (const std::bad_alloc &) {
        return reportFailure(report, 10000 + MBUS_ILLEGAL_ARGUMENT, quiet);
    }

    {
        const ConnectionGuard guard(hostName);
        MbusHandle master = nullptr;
        code = openMaster("MBReadWave", hostName, master);
        if (code != 0)
            return reportFailure(report, code, quiet);
        if (!layout.unitGiven)
            layout.unitId = connectionUnit(hostName);
        const int step = isBits(table) ? kMaxReadBits : kMaxReadRegisters / perValue * perValue;
        const int result = readBlock(master, table, layout.unitId, start, units, step, bits, registers);
        if (result != MBUS_SUCCESS) {
            diagnosticLine("=> ExecuteMBReadWave -> Cannot read %s block...\r", tableName(table));
            return reportFailure(report, 10000 + result, quiet);
        }
    }

    for (int32_t i = 0; i < count; ++i) {
        const auto at = static_cast<size_t>(i);
        if (isBits(table)) {
            values[at] = bits[at] != 0 ? 1.0 : 0.0;
        } else {
            uint16_t words[4];
            for (int k = 0; k < perValue; ++k)
                words[k] = static_cast<uint16_t>(registers[at * static_cast<size_t>(perValue) + static_cast<size_t>(k)]);
            values[at] = decodeValue(layout.type, layout.order, words);
        }
    }

    // The wave: the one /DEST names, or W_MBRead in the current data folder; made, or
    // overwritten with the number type that holds the values exactly.
    const bool destGiven = p->DESTFlagEncountered != 0;
    char destName[MAX_OBJ_NAME + 1] = {};
    const char *name = destGiven ? p->dest.name : kDefaultDestination;
    std::memcpy(destName, name, strnlen(name, MAX_OBJ_NAME));
    CountInt dimensions[MAX_DIMENSIONS + 1] = {count};
    const int waveType = isBits(table) ? (NT_I8 | NT_UNSIGNED) : waveTypeOf(layout.type);
    const int refId = destGiven ? p->DESTFlagParamsSet[0] : 0;
    waveHndl wave = nullptr;
    int created = 0;
    int igorCode = GetOperationDestWave(destGiven ? p->dest.dfH : nullptr, destName, refId,
                                        kOpDestWaveOverwriteOK | kOpDestWaveOverwriteExistingWave,
                                        dimensions, waveType, &wave, &created);
    if (igorCode == 0)
        igorCode = MDStoreDPDataInNumericWave(wave, values.data());
    if (igorCode != 0) {
        diagnosticLine("=> ExecuteMBReadWave -> wave %s: Igor error %d\r", destName, igorCode);
        return reportFailure(report, kNotNumericWave, quiet);
    }
    WaveHandleModified(wave);
    if (destGiven)
        SetOperationWaveRef(wave, refId);

    setOutputVariable("V_MBCount", count);
    if (!quiet)
        historyLine("=> MODBUS device %d returned %d values from %s #%d into %s\r", layout.unitId, count,
                    tableName(table), start, destName);
    setOutputVariable("V_MBerr", 0);
    return 0;
}

int ExecuteMBWriteWave(void *params)
{
    const auto *p = static_cast<const MBWriteWaveRuntimeParams *>(params);
    const bool quiet = p->QFlagEncountered != 0;
    const CommandReport &report = kMBWriteWaveReport;

    HostNameBuffer hostName;
    Layout layout;
    int code = takeHostAndLayout(*p, hostName, layout);
    if (code != 0)
        return reportFailure(report, code, quiet);
    if (p->dataEncountered == 0 || p->values == nullptr)
        return reportFailure(report, kNotNumericWave, quiet);

    const bool coils = p->CoilEncountered != 0;
    if (!coils && p->HoldingRegisterEncountered == 0) {
        setOutputVariable("V_MBerr", 0);
        setOutputVariable("V_MBCount", 0);
        return 0;
    }

    // The wave's points: Igor tells the dimensions; its data comes as doubles, two per point for
    // a complex wave. The second half of the buffer starts as a marker no real wave writes, so a
    // complex wave shows itself by overwriting it.
    int dimensionCount = 0;
    CountInt sizes[MAX_DIMENSIONS + 1] = {};
    if (MDGetWaveDimensions(p->values, &dimensionCount, sizes) != 0)
        return reportFailure(report, kNotNumericWave, quiet);
    CountInt points = dimensionCount > 0 ? 1 : 0;
    for (int i = 0; i < dimensionCount && i <= MAX_DIMENSIONS; ++i)
        points *= sizes[i];
    const int perValue = coils ? 1 : registersPerValue(layout.type);
    int32_t start = 0;
    int32_t count = 0;
    int32_t units = 0;
    code = takeBlock(coils ? p->coilStart : p->holdingStart, static_cast<double>(points), perValue, start,
                     count, units);
    if (code != 0)
        return reportFailure(report, code, quiet);

    constexpr uint64_t kMarker = 0x7FF8DEADBEEF5A5Aull;
    double marker;
    std::memcpy(&marker, &kMarker, sizeof marker);
    std::vector<double> data;
    std::vector<int> bits;
    std::vector<short> registers;
    try {
        data.assign(2 * static_cast<size_t>(count), marker);
        (coils ? bits.resize(static_cast<size_t>(units)) : registers.resize(static_cast<size_t>(units)));
    } catch (const std::bad_alloc &) {
        return reportFailure(report, 10000 + MBUS_ILLEGAL_ARGUMENT, quiet);
    }
    if (MDGetDPDataFromNumericWave(p->values, data.data()) != 0)
        return reportFailure(report, kNotNumericWave, quiet);
    for (size_t i = static_cast<size_t>(count); i < data.size(); ++i) {
        if (std::memcmp(&data[i], &kMarker, sizeof kMarker) != 0)
            return reportFailure(report, kNotNumericWave, quiet);
    }

    // Every value is checked before anything is sent.
    for (int32_t i = 0; i < count; ++i) {
        const auto at = static_cast<size_t>(i);
        if (coils) {
            if (data[at] != data[at]) {
                diagnosticLine("=> ExecuteMBWriteWave -> point %d is NaN\r", i);
                return reportFailure(report, kValueNotWritable, quiet);
            }
            bits[at] = data[at] != 0.0 ? 1 : 0;
            continue;
        }
        uint16_t words[4];
        if (!encodeValue(layout.type, layout.order, data[at], words)) {
            diagnosticLine("=> ExecuteMBWriteWave -> point %d cannot be written as this type\r", i);
            return reportFailure(report, kValueNotWritable, quiet);
        }
        for (int k = 0; k < perValue; ++k)
            registers[at * static_cast<size_t>(perValue) + static_cast<size_t>(k)] = static_cast<short>(words[k]);
    }

    const ConnectionGuard guard(hostName);
    MbusHandle master = nullptr;
    code = openMaster("MBWriteWave", hostName, master);
    if (code != 0)
        return reportFailure(report, code, quiet);
    if (!layout.unitGiven)
        layout.unitId = connectionUnit(hostName);
    const int step = coils ? kMaxWriteBits : kMaxWriteRegisters / perValue * perValue;
    const int result = writeBlock(master, coils, layout.unitId, start, units, step, bits, registers);
    if (result != MBUS_SUCCESS) {
        diagnosticLine("=> ExecuteMBWriteWave -> Cannot write %s block...\r", coils ? "coil" : "holding register");
        return reportFailure(report, 10000 + result, quiet);
    }
    setOutputVariable("V_MBCount", count);
    if (!quiet)
        historyLine("=> MODBUS device %d took %d values at %s #%d\r", layout.unitId, count,
                    coils ? "coil" : "holding register", start);
    setOutputVariable("V_MBerr", 0);
    return 0;
}
