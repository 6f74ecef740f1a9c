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

// The block commands and the serial open. A flag with a value is a group like a keyword: its
// "given" word, the value, one "set" word; /DEST's "set" word is also the identifier of the
// calling function's automatic wave reference.
struct MBReadWaveRuntimeParams {
    int32_t QFlagEncountered;
    int32_t TFlagEncountered;
    double valueType;
    int32_t TFlagParamsSet[1];
    int32_t BFlagEncountered;
    double byteOrder;
    int32_t BFlagParamsSet[1];
    int32_t UFlagEncountered;
    double unitId;
    int32_t UFlagParamsSet[1];
    int32_t DESTFlagEncountered;
    DataFolderAndName dest;
    int32_t DESTFlagParamsSet[1];
    int32_t IPEncountered;
    Handle hostName;
    int32_t IPParamsSet[1];
    int32_t CoilEncountered;
    double coilStart;
    double coilCount;
    int32_t CoilParamsSet[2];
    int32_t DiscreteInputEncountered;
    double inputStart;
    double inputCount;
    int32_t DiscreteInputParamsSet[2];
    int32_t HoldingRegisterEncountered;
    double holdingStart;
    double holdingCount;
    int32_t HoldingRegisterParamsSet[2];
    int32_t InputRegisterEncountered;
    double registerStart;
    double registerCount;
    int32_t InputRegisterParamsSet[2];
    int32_t calledFromFunction;
    int32_t calledFromMacro;
    void *tp;
};

struct MBWriteWaveRuntimeParams {
    int32_t QFlagEncountered;
    int32_t TFlagEncountered;
    double valueType;
    int32_t TFlagParamsSet[1];
    int32_t BFlagEncountered;
    double byteOrder;
    int32_t BFlagParamsSet[1];
    int32_t UFlagEncountered;
    double unitId;
    int32_t UFlagParamsSet[1];
    int32_t IPEncountered;
    Handle hostName;
    int32_t IPParamsSet[1];
    int32_t dataEncountered;
    waveHndl values;
    int32_t dataParamsSet[1];
    int32_t CoilEncountered;
    double coilStart;
    int32_t CoilParamsSet[1];
    int32_t HoldingRegisterEncountered;
    double holdingStart;
    int32_t HoldingRegisterParamsSet[1];
    int32_t calledFromFunction;
    int32_t calledFromMacro;
    void *tp;
};

struct MBOpenSerialRuntimeParams {
    int32_t QFlagEncountered;
    int32_t portEncountered;
    Handle portName;
    int32_t portParamsSet[1];
    int32_t protocolEncountered;
    Handle protocol;
    int32_t protocolParamsSet[1];
    int32_t baudEncountered;
    double baudRate;
    int32_t baudParamsSet[1];
    int32_t parityEncountered;
    Handle parity;
    int32_t parityParamsSet[1];
    int32_t dataBitsEncountered;
    double dataBits;
    int32_t dataBitsParamsSet[1];
    int32_t stopBitsEncountered;
    double stopBits;
    int32_t stopBitsParamsSet[1];
    int32_t timeoutEncountered;
    double timeOutms;
    int32_t timeoutParamsSet[1];
    int32_t delayEncountered;
    double pollDelay;
    int32_t delayParamsSet[1];
    int32_t rs485Encountered;
    double rtsDelay;
    int32_t rs485ParamsSet[1];
    int32_t unitEncountered;
    double unitId;
    int32_t unitParamsSet[1];
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

static_assert(offsetof(MBReadWaveRuntimeParams, TFlagEncountered) == 4, "MBReadWave layout");
static_assert(offsetof(MBReadWaveRuntimeParams, valueType) == 8, "MBReadWave layout");
static_assert(offsetof(MBReadWaveRuntimeParams, BFlagEncountered) == 20, "MBReadWave layout");
static_assert(offsetof(MBReadWaveRuntimeParams, UFlagEncountered) == 36, "MBReadWave layout");
static_assert(offsetof(MBReadWaveRuntimeParams, unitId) == 40, "MBReadWave layout");
static_assert(offsetof(MBReadWaveRuntimeParams, DESTFlagEncountered) == 52, "MBReadWave layout");
static_assert(offsetof(MBReadWaveRuntimeParams, dest) == 56, "MBReadWave layout");
static_assert(offsetof(MBReadWaveRuntimeParams, DESTFlagParamsSet) == 96, "MBReadWave layout");
static_assert(offsetof(MBReadWaveRuntimeParams, IPEncountered) == 100, "MBReadWave layout");
static_assert(offsetof(MBReadWaveRuntimeParams, hostName) == 104, "MBReadWave layout");
static_assert(offsetof(MBReadWaveRuntimeParams, CoilEncountered) == 116, "MBReadWave layout");
static_assert(offsetof(MBReadWaveRuntimeParams, coilCount) == 128, "MBReadWave layout");
static_assert(offsetof(MBReadWaveRuntimeParams, CoilParamsSet) == 136, "MBReadWave layout");
static_assert(offsetof(MBReadWaveRuntimeParams, DiscreteInputEncountered) == 144, "MBReadWave layout");
static_assert(offsetof(MBReadWaveRuntimeParams, HoldingRegisterEncountered) == 172, "MBReadWave layout");
static_assert(offsetof(MBReadWaveRuntimeParams, InputRegisterEncountered) == 200, "MBReadWave layout");
static_assert(offsetof(MBReadWaveRuntimeParams, InputRegisterParamsSet) == 220, "MBReadWave layout");
static_assert(offsetof(MBReadWaveRuntimeParams, tp) == 236, "MBReadWave layout");
static_assert(sizeof(MBReadWaveRuntimeParams) == 244, "MBReadWave record size");

static_assert(offsetof(MBWriteWaveRuntimeParams, UFlagEncountered) == 36, "MBWriteWave layout");
static_assert(offsetof(MBWriteWaveRuntimeParams, IPEncountered) == 52, "MBWriteWave layout");
static_assert(offsetof(MBWriteWaveRuntimeParams, hostName) == 56, "MBWriteWave layout");
static_assert(offsetof(MBWriteWaveRuntimeParams, dataEncountered) == 68, "MBWriteWave layout");
static_assert(offsetof(MBWriteWaveRuntimeParams, values) == 72, "MBWriteWave layout");
static_assert(offsetof(MBWriteWaveRuntimeParams, CoilEncountered) == 84, "MBWriteWave layout");
static_assert(offsetof(MBWriteWaveRuntimeParams, HoldingRegisterEncountered) == 100, "MBWriteWave layout");
static_assert(offsetof(MBWriteWaveRuntimeParams, holdingStart) == 104, "MBWriteWave layout");
static_assert(offsetof(MBWriteWaveRuntimeParams, tp) == 124, "MBWriteWave layout");
static_assert(sizeof(MBWriteWaveRuntimeParams) == 132, "MBWriteWave record size");

static_assert(offsetof(MBOpenSerialRuntimeParams, portName) == 8, "MBOpenSerial layout");
static_assert(offsetof(MBOpenSerialRuntimeParams, protocol) == 24, "MBOpenSerial layout");
static_assert(offsetof(MBOpenSerialRuntimeParams, baudRate) == 40, "MBOpenSerial layout");
static_assert(offsetof(MBOpenSerialRuntimeParams, parity) == 56, "MBOpenSerial layout");
static_assert(offsetof(MBOpenSerialRuntimeParams, stopBits) == 88, "MBOpenSerial layout");
static_assert(offsetof(MBOpenSerialRuntimeParams, rs485Encountered) == 132, "MBOpenSerial layout");
static_assert(offsetof(MBOpenSerialRuntimeParams, rtsDelay) == 136, "MBOpenSerial layout");
static_assert(offsetof(MBOpenSerialRuntimeParams, unitEncountered) == 148, "MBOpenSerial layout");
static_assert(offsetof(MBOpenSerialRuntimeParams, unitId) == 152, "MBOpenSerial layout");
static_assert(offsetof(MBOpenSerialRuntimeParams, tp) == 172, "MBOpenSerial layout");
static_assert(sizeof(MBOpenSerialRuntimeParams) == 180, "MBOpenSerial record size");

#endif
