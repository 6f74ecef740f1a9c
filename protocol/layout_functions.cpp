// Value layouts over registers: unsigned 16- and 32-bit values, 64-bit integers and doubles in
// the four orders, and text, two characters per register.
#include <cstring>

#include "protocol/master_functions.h"
#include "protocol/value_layout.h"

namespace mbus {

namespace {
constexpr int kMaxReadRegisters = 125;
constexpr int kMaxWriteRegisters = 123;
constexpr int kReadMultiple = 3;
constexpr int kReadInput = 4;
} // namespace

template <class T>
int MbusMasterFunctions::readValues(int functionCode, int slaveAddr, int startRef, T valueArr[], int refCnt,
                                    unsigned char flag)
{
    constexpr int regsPerValue = static_cast<int>(sizeof(T) / 2);
    if (refCnt > 0 && valueArr == nullptr)
        return MBUS_ILLEGAL_ARGUMENT;
    if (refCnt > 0)
        std::memset(valueArr, 0, sizeof(T) * static_cast<std::size_t>(refCnt));
    if (!isValidSlave(slaveAddr) || refCnt < 1 || refCnt > kMaxReadRegisters / regsPerValue)
        return MBUS_ILLEGAL_ARGUMENT;
    // 32-bit register mode counts 32-bit values in the quantity field; other sizes count registers.
    const int regCnt = regsPerValue * refCnt;
    const int countField = (regsPerValue == 2 && (optionsOf(slaveAddr) & k32BitRegisterMode)) ? refCnt : regCnt;
    short regs[kMaxReadRegisters];
    const int result = readRegisterBlock(functionCode, slaveAddr, startRef, regs, regCnt, countField);
    if (result != MBUS_SUCCESS)
        return result;
    const ValueLayout layout{(optionsOf(slaveAddr) & flag) != 0, swappedBytes(slaveAddr)};
    std::uint16_t raw[kMaxReadRegisters];
    std::memcpy(raw, regs, sizeof(std::uint16_t) * static_cast<std::size_t>(regCnt));
    for (int i = 0; i < refCnt; ++i)
        valueArr[i] = decodeValue<T>(raw + regsPerValue * i, layout);
    return MBUS_SUCCESS;
}

template <class T>
int MbusMasterFunctions::writeValues(int slaveAddr, int startRef, const T valueArr[], int refCnt, unsigned char flag)
{
    constexpr int regsPerValue = static_cast<int>(sizeof(T) / 2);
    if (!isValidSlave(slaveAddr) || wireAddress(slaveAddr, startRef) < 0 || refCnt < 1 ||
        refCnt > kMaxWriteRegisters / regsPerValue || valueArr == nullptr)
        return MBUS_ILLEGAL_ARGUMENT;
    const ValueLayout layout{(optionsOf(slaveAddr) & flag) != 0, swappedBytes(slaveAddr)};
    std::uint16_t raw[kMaxWriteRegisters];
    for (int i = 0; i < refCnt; ++i)
        encodeValue<T>(valueArr[i], layout, raw + regsPerValue * i);
    short regs[kMaxWriteRegisters];
    const int regCnt = regsPerValue * refCnt;
    std::memcpy(regs, raw, sizeof(short) * static_cast<std::size_t>(regCnt));
    return writeRegisterBlock(slaveAddr, startRef, regs, regCnt, regCnt);
}

int MbusMasterFunctions::readMultipleUnsigned16(int slaveAddr, int startRef, std::uint16_t valueArr[], int refCnt)
{
    return readValues(kReadMultiple, slaveAddr, startRef, valueArr, refCnt, 0);
}
int MbusMasterFunctions::readInputUnsigned16(int slaveAddr, int startRef, std::uint16_t valueArr[], int refCnt)
{
    return readValues(kReadInput, slaveAddr, startRef, valueArr, refCnt, 0);
}
int MbusMasterFunctions::readMultipleUnsigned32(int slaveAddr, int startRef, std::uint32_t valueArr[], int refCnt)
{
    return readValues(kReadMultiple, slaveAddr, startRef, valueArr, refCnt, kBigEndianInts);
}
int MbusMasterFunctions::readInputUnsigned32(int slaveAddr, int startRef, std::uint32_t valueArr[], int refCnt)
{
    return readValues(kReadInput, slaveAddr, startRef, valueArr, refCnt, kBigEndianInts);
}
int MbusMasterFunctions::readMultipleLongLongs(int slaveAddr, int startRef, std::int64_t valueArr[], int refCnt)
{
    return readValues(kReadMultiple, slaveAddr, startRef, valueArr, refCnt, kBigEndianInts);
}
int MbusMasterFunctions::readInputLongLongs(int slaveAddr, int startRef, std::int64_t valueArr[], int refCnt)
{
    return readValues(kReadInput, slaveAddr, startRef, valueArr, refCnt, kBigEndianInts);
}
int MbusMasterFunctions::writeMultipleLongLongs(int slaveAddr, int startRef, const std::int64_t valueArr[], int refCnt)
{
    return writeValues(slaveAddr, startRef, valueArr, refCnt, kBigEndianInts);
}
int MbusMasterFunctions::readMultipleUnsignedLongLongs(int slaveAddr, int startRef, std::uint64_t valueArr[],
                                                       int refCnt)
{
    return readValues(kReadMultiple, slaveAddr, startRef, valueArr, refCnt, kBigEndianInts);
}
int MbusMasterFunctions::readInputUnsignedLongLongs(int slaveAddr, int startRef, std::uint64_t valueArr[], int refCnt)
{
    return readValues(kReadInput, slaveAddr, startRef, valueArr, refCnt, kBigEndianInts);
}
int MbusMasterFunctions::writeMultipleUnsignedLongLongs(int slaveAddr, int startRef, const std::uint64_t valueArr[],
                                                        int refCnt)
{
    return writeValues(slaveAddr, startRef, valueArr, refCnt, kBigEndianInts);
}
int MbusMasterFunctions::readMultipleDoubles(int slaveAddr, int startRef, double valueArr[], int refCnt)
{
    return readValues(kReadMultiple, slaveAddr, startRef, valueArr, refCnt, kBigEndianFloats);
}
int MbusMasterFunctions::readInputDoubles(int slaveAddr, int startRef, double valueArr[], int refCnt)
{
    return readValues(kReadInput, slaveAddr, startRef, valueArr, refCnt, kBigEndianFloats);
}
int MbusMasterFunctions::writeMultipleDoubles(int slaveAddr, int startRef, const double valueArr[], int refCnt)
{
    return writeValues(slaveAddr, startRef, valueArr, refCnt, kBigEndianFloats);
}

int MbusMasterFunctions::readText(int functionCode, int slaveAddr, int startRef, char text[], int textSize, int regCnt)
{
    if (textSize < 0 || (textSize > 0 && text == nullptr))
        return MBUS_ILLEGAL_ARGUMENT;
    if (textSize > 0)
        std::memset(text, 0, static_cast<std::size_t>(textSize));
    if (!isValidSlave(slaveAddr) || regCnt < 1 || regCnt > kMaxReadRegisters || textSize < 2 * regCnt + 1)
        return MBUS_ILLEGAL_ARGUMENT;
    short regs[kMaxReadRegisters];
    const int result = readRegisterBlock(functionCode, slaveAddr, startRef, regs, regCnt, regCnt);
    if (result != MBUS_SUCCESS)
        return result;
    std::uint16_t raw[kMaxReadRegisters];
    std::memcpy(raw, regs, sizeof(std::uint16_t) * static_cast<std::size_t>(regCnt));
    return decodeText(raw, regCnt, ValueLayout{true, swappedBytes(slaveAddr)}, text,
                      static_cast<std::size_t>(textSize));
}

int MbusMasterFunctions::readMultipleText(int slaveAddr, int startRef, char text[], int textSize, int regCnt)
{
    return readText(kReadMultiple, slaveAddr, startRef, text, textSize, regCnt);
}

int MbusMasterFunctions::readInputText(int slaveAddr, int startRef, char text[], int textSize, int regCnt)
{
    return readText(kReadInput, slaveAddr, startRef, text, textSize, regCnt);
}

int MbusMasterFunctions::writeMultipleText(int slaveAddr, int startRef, const char *text, int regCnt)
{
    if (!isValidSlave(slaveAddr) || wireAddress(slaveAddr, startRef) < 0 || regCnt < 1 || regCnt > kMaxWriteRegisters ||
        text == nullptr)
        return MBUS_ILLEGAL_ARGUMENT;
    // Text longer than the registers hold is refused, not cut.
    std::size_t textLen = 0;
    while (textLen <= 2 * static_cast<std::size_t>(regCnt) && text[textLen] != '\0')
        ++textLen;
    std::uint16_t raw[kMaxWriteRegisters];
    const int encoded = encodeText(text, textLen, ValueLayout{true, swappedBytes(slaveAddr)}, raw, regCnt);
    if (encoded != MBUS_SUCCESS)
        return encoded;
    short regs[kMaxWriteRegisters];
    std::memcpy(regs, raw, sizeof(short) * static_cast<std::size_t>(regCnt));
    return writeRegisterBlock(slaveAddr, startRef, regs, regCnt, regCnt);
}

} // namespace mbus
