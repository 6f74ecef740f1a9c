// Runtime parameter records of the five commands, exactly as Igor fills them: packed to 2 bytes,
// little-endian, 32-bit flags (non-zero = given), 64-bit doubles, Igor text handles. Each keyword
// is followed by one "set" word per parameter, and every record ends with the calling context
// (called from a function, from a macro) and, since the operations are thread-safe, Igor's thread
// pointer; the module reads neither.
#ifndef ZORVANE_PARAMETER_RECORDS_H
#define ZORVANE_PARAMETER_RECORDS_H

#include <cstddef>
#include <cstdint>

#include "host/igor_xop.h"

#pragma pack(push, 2)

struct MBOpenRuntimeParams {
    int32_t QFlagEncountered;
    int32_t IPEncountered;
    Handle hostName;
    int32_t IPParamsSet[1];
    int32_t portEncountered;
    double TCPport;
    int32_t portParamsSet[1];
    int32_t timeoutEncountered;
    double timeOutms;
    int32_t timeoutParamsSet[1];
    int32_t delayEncountered;
    double pollDelay;
    int32_t delayParamsSet[1];
    int32_t calledFromFunction;
    int32_t calledFromMacro;
    void *tp;
};

// MBClose and MBGetStatus share one layout.
struct MBConnectionRuntimeParams {
    int32_t QFlagEncountered;
    int32_t IPEncountered;
    Handle hostName;
    int32_t IPParamsSet[1];
    int32_t calledFromFunction;
    int32_t calledFromMacro;
    void *tp;
};

struct MBReadRuntimeParams {
    int32_t LFlagEncountered;
    int32_t FFlagEncountered;
    int32_t QFlagEncountered;
    int32_t IPEncountered;
    Handle hostName;
    int32_t IPParamsSet[1];
    int32_t CoilEncountered;
    double addressCoil;
    int32_t CoilParamsSet[1];
    int32_t DiscreteInputEncountered;
    double addressDiscreteInput;
    int32_t DiscreteInputParamsSet[1];
    int32_t HoldingRegisterEncountered;
    double addressHoldingRegister;
    int32_t HoldingRegisterParamsSet[1];
    int32_t InputRegisterEncountered;
    double addressInputRegister;
    int32_t InputRegisterParamsSet[1];
    int32_t calledFromFunction;
    int32_t calledFromMacro;
    void *tp;
};

struct MBWriteRuntimeParams {
    int32_t LFlagEncountered;
    int32_t FFlagEncountered;
    int32_t QFlagEncountered;
    int32_t IPEncountered;
    Handle hostName;
    int32_t IPParamsSet[1];
    int32_t CoilEncountered;
    double addressCoil;
    double valueCoil;
    int32_t CoilParamsSet[2];
    int32_t RegisterEncountered;
    double addressRegister;
    double valueRegister;
    int32_t RegisterParamsSet[2];
    int32_t calledFromFunction;
    int32_t calledFromMacro;
    void *tp;
};

#pragma pack(pop)

static_assert(sizeof(Handle) == 8 && sizeof(void *) == 8, "64-bit runtime parameter records");

static_assert(offsetof(MBOpenRuntimeParams, QFlagEncountered) == 0, "MBOpen layout");
static_assert(offsetof(MBOpenRuntimeParams, IPEncountered) == 4, "MBOpen layout");
static_assert(offsetof(MBOpenRuntimeParams, hostName) == 8, "MBOpen layout");
static_assert(offsetof(MBOpenRuntimeParams, IPParamsSet) == 16, "MBOpen layout");
static_assert(offsetof(MBOpenRuntimeParams, portEncountered) == 20, "MBOpen layout");
static_assert(offsetof(MBOpenRuntimeParams, TCPport) == 24, "MBOpen layout");
static_assert(offsetof(MBOpenRuntimeParams, portParamsSet) == 32, "MBOpen layout");
static_assert(offsetof(MBOpenRuntimeParams, timeoutEncountered) == 36, "MBOpen layout");
static_assert(offsetof(MBOpenRuntimeParams, timeOutms) == 40, "MBOpen layout");
static_assert(offsetof(MBOpenRuntimeParams, timeoutParamsSet) == 48, "MBOpen layout");
static_assert(offsetof(MBOpenRuntimeParams, delayEncountered) == 52, "MBOpen layout");
static_assert(offsetof(MBOpenRuntimeParams, pollDelay) == 56, "MBOpen layout");
static_assert(offsetof(MBOpenRuntimeParams, delayParamsSet) == 64, "MBOpen layout");
static_assert(offsetof(MBOpenRuntimeParams, tp) == 76, "MBOpen layout");
static_assert(sizeof(MBOpenRuntimeParams) == 84, "MBOpen record size");

static_assert(offsetof(MBConnectionRuntimeParams, QFlagEncountered) == 0, "MBClose layout");
static_assert(offsetof(MBConnectionRuntimeParams, IPEncountered) == 4, "MBClose layout");
static_assert(offsetof(MBConnectionRuntimeParams, hostName) == 8, "MBClose layout");
static_assert(offsetof(MBConnectionRuntimeParams, IPParamsSet) == 16, "MBClose layout");
static_assert(offsetof(MBConnectionRuntimeParams, tp) == 28, "MBClose layout");
static_assert(sizeof(MBConnectionRuntimeParams) == 36, "MBClose/MBGetStatus record size");

static_assert(offsetof(MBReadRuntimeParams, LFlagEncountered) == 0, "MBRead layout");
static_assert(offsetof(MBReadRuntimeParams, FFlagEncountered) == 4, "MBRead layout");
static_assert(offsetof(MBReadRuntimeParams, QFlagEncountered) == 8, "MBRead layout");
static_assert(offsetof(MBReadRuntimeParams, IPEncountered) == 12, "MBRead layout");
static_assert(offsetof(MBReadRuntimeParams, hostName) == 16, "MBRead layout");
static_assert(offsetof(MBReadRuntimeParams, IPParamsSet) == 24, "MBRead layout");
static_assert(offsetof(MBReadRuntimeParams, CoilEncountered) == 28, "MBRead layout");
static_assert(offsetof(MBReadRuntimeParams, addressCoil) == 32, "MBRead layout");
static_assert(offsetof(MBReadRuntimeParams, CoilParamsSet) == 40, "MBRead layout");
static_assert(offsetof(MBReadRuntimeParams, DiscreteInputEncountered) == 44, "MBRead layout");
static_assert(offsetof(MBReadRuntimeParams, addressDiscreteInput) == 48, "MBRead layout");
static_assert(offsetof(MBReadRuntimeParams, DiscreteInputParamsSet) == 56, "MBRead layout");
static_assert(offsetof(MBReadRuntimeParams, HoldingRegisterEncountered) == 60, "MBRead layout");
static_assert(offsetof(MBReadRuntimeParams, addressHoldingRegister) == 64, "MBRead layout");
static_assert(offsetof(MBReadRuntimeParams, HoldingRegisterParamsSet) == 72, "MBRead layout");
static_assert(offsetof(MBReadRuntimeParams, InputRegisterEncountered) == 76, "MBRead layout");
static_assert(offsetof(MBReadRuntimeParams, addressInputRegister) == 80, "MBRead layout");
static_assert(offsetof(MBReadRuntimeParams, InputRegisterParamsSet) == 88, "MBRead layout");
static_assert(offsetof(MBReadRuntimeParams, tp) == 100, "MBRead layout");
static_assert(sizeof(MBReadRuntimeParams) == 108, "MBRead record size");

static_assert(offsetof(MBWriteRuntimeParams, LFlagEncountered) == 0, "MBWrite layout");
static_assert(offsetof(MBWriteRuntimeParams, FFlagEncountered) == 4, "MBWrite layout");
static_assert(offsetof(MBWriteRuntimeParams, QFlagEncountered) == 8, "MBWrite layout");
static_assert(offsetof(MBWriteRuntimeParams, IPEncountered) == 12, "MBWrite layout");
static_assert(offsetof(MBWriteRuntimeParams, hostName) == 16, "MBWrite layout");
static_assert(offsetof(MBWriteRuntimeParams, IPParamsSet) == 24, "MBWrite layout");
static_assert(offsetof(MBWriteRuntimeParams, CoilEncountered) == 28, "MBWrite layout");
static_assert(offsetof(MBWriteRuntimeParams, addressCoil) == 32, "MBWrite layout");
static_assert(offsetof(MBWriteRuntimeParams, valueCoil) == 40, "MBWrite layout");
static_assert(offsetof(MBWriteRuntimeParams, CoilParamsSet) == 48, "MBWrite layout");
static_assert(offsetof(MBWriteRuntimeParams, RegisterEncountered) == 56, "MBWrite layout");
static_assert(offsetof(MBWriteRuntimeParams, addressRegister) == 60, "MBWrite layout");
static_assert(offsetof(MBWriteRuntimeParams, valueRegister) == 68, "MBWrite layout");
static_assert(offsetof(MBWriteRuntimeParams, RegisterParamsSet) == 76, "MBWrite layout");
static_assert(offsetof(MBWriteRuntimeParams, tp) == 92, "MBWrite layout");
static_assert(sizeof(MBWriteRuntimeParams) == 100, "MBWrite record size");

#endif
