// 32-bit integers, floats and modulo-10000 values in pairs of 16-bit registers.
#include <cstdint>
#include <cstring>

#include "protocol/master_functions.h"

namespace mbus {

namespace {
constexpr int kMaxReadPairs = 62;
constexpr int kMaxWritePairs = 61;
constexpr int kReadMultiple = 3;
constexpr int kReadInput = 4;

std::uint32_t combine(short r0, short r1, bool highFirst)
{
    std::uint32_t first = static_cast<std::uint16_t>(r0);
    std::uint32_t second = static_cast<std::uint16_t>(r1);
    return highFirst ? (first << 16) | second : (second << 16) | first;
}

void split(std::uint32_t value, bool highFirst, short *r0, short *r1)
{
    auto high = static_cast<short>(static_cast<std::uint16_t>(value >> 16));
    auto low = static_cast<short>(static_cast<std::uint16_t>(value & 0xFFFF));
    *r0 = highFirst ? high : low;
    *r1 = highFirst ? low : high;
}

// Bit-exact reinterpretation, without undefined behaviour.
template <class To, class From>
To bitCast(From from)
{
    static_assert(sizeof(To) == sizeof(From), "sizes differ");
    To to;
    std::memcpy(&to, &from, sizeof to);
    return to;
}

// The bytes of each register exchanged: the layouts BADC and DCBA.
void swapRegisterBytes(short regs[], int count)
{
    for (int i = 0; i < count; ++i) {
        auto reg = static_cast<std::uint16_t>(regs[i]);
        regs[i] = static_cast<short>(static_cast<std::uint16_t>((reg << 8) | (reg >> 8)));
    }
}

int mod10000(short r0, short r1)
{
    return 10000 * r0 + r1;
}

void splitMod10000(int value, short *r0, short *r1)
{
    int quotient = value / 10000; // rounds toward zero; the remainder keeps the sign of value
    int remainder = value - 10000 * quotient;
    *r0 = static_cast<short>(static_cast<std::uint16_t>(static_cast<unsigned>(quotient) & 0xFFFF));
    *r1 = static_cast<short>(static_cast<std::uint16_t>(static_cast<unsigned>(remainder) & 0xFFFF));
}
} // namespace

bool MbusMasterFunctions::highWordFirst(int slaveAddr, unsigned char flag, int platformOrder) const
{
    bool flagSet = (optionsOf(slaveAddr) & flag) != 0;
    return flagSet != (platformOrder != 0);
}

int MbusMasterFunctions::readPairs(int functionCode, int slaveAddr, int startRef, void *pairArr, int refCnt,
                                   short regs[])
{
    static_assert(sizeof(int) == 4 && sizeof(float) == 4, "32-bit values expected");
    if (refCnt > 0 && pairArr == nullptr)
        return MBUS_ILLEGAL_ARGUMENT;
    if (refCnt > 0)
        std::memset(pairArr, 0, 4 * static_cast<std::size_t>(refCnt));
    if (!isValidSlave(slaveAddr) || refCnt < 1 || refCnt > kMaxReadPairs)
        return MBUS_ILLEGAL_ARGUMENT;
    // In 32-bit register mode the quantity field counts values, not registers.
    int countField = (optionsOf(slaveAddr) & k32BitRegisterMode) ? refCnt : 2 * refCnt;
    return readRegisterBlock(functionCode, slaveAddr, startRef, regs, 2 * refCnt, countField);
}

bool MbusMasterFunctions::isValidPairWrite(int slaveAddr, int startRef, const void *values, int refCnt)
{
    return isValidSlave(slaveAddr) && wireAddress(slaveAddr, startRef) >= 0 && refCnt >= 1 &&
           refCnt <= kMaxWritePairs && values != nullptr;
}

int MbusMasterFunctions::writePairs(int slaveAddr, int startRef, const short regs[], int refCnt)
{
    int countField = (optionsOf(slaveAddr) & k32BitRegisterMode) ? refCnt : 2 * refCnt;
    return writeRegisterBlock(slaveAddr, startRef, regs, 2 * refCnt, countField);
}

int MbusMasterFunctions::readLongIntPairs(int functionCode, int slaveAddr, int startRef, int int32Arr[], int refCnt)
{
    short regs[2 * kMaxReadPairs];
    int result = readPairs(functionCode, slaveAddr, startRef, int32Arr, refCnt, regs);
    if (result != MBUS_SUCCESS)
        return result;
    if (optionsOf(slaveAddr) & kSwappedBytes)
        swapRegisterBytes(regs, 2 * refCnt);
    bool highFirst = highWordFirst(slaveAddr, kBigEndianInts, int32WordOrder);
    for (int i = 0; i < refCnt; ++i)
        int32Arr[i] = bitCast<int>(combine(regs[2 * i], regs[2 * i + 1], highFirst));
    return MBUS_SUCCESS;
}

int MbusMasterFunctions::readFloatPairs(int functionCode, int slaveAddr, int startRef, float floatArr[], int refCnt)
{
    short regs[2 * kMaxReadPairs];
    int result = readPairs(functionCode, slaveAddr, startRef, floatArr, refCnt, regs);
    if (result != MBUS_SUCCESS)
        return result;
    if (optionsOf(slaveAddr) & kSwappedBytes)
        swapRegisterBytes(regs, 2 * refCnt);
    bool highFirst = highWordFirst(slaveAddr, kBigEndianFloats, floatWordOrder);
    for (int i = 0; i < refCnt; ++i)
        floatArr[i] = bitCast<float>(combine(regs[2 * i], regs[2 * i + 1], highFirst));
    return MBUS_SUCCESS;
}

int MbusMasterFunctions::readMod10000Pairs(int functionCode, int slaveAddr, int startRef, int int32Arr[], int refCnt)
{
    short regs[2 * kMaxReadPairs];
    int result = readPairs(functionCode, slaveAddr, startRef, int32Arr, refCnt, regs);
    if (result != MBUS_SUCCESS)
        return result;
    for (int i = 0; i < refCnt; ++i)
        int32Arr[i] = mod10000(regs[2 * i], regs[2 * i + 1]);
    return MBUS_SUCCESS;
}

int MbusMasterFunctions::readMultipleLongInts(int slaveAddr, int startRef, int int32Arr[], int refCnt)
{
    return readLongIntPairs(kReadMultiple, slaveAddr, startRef, int32Arr, refCnt);
}

int MbusMasterFunctions::readInputLongInts(int slaveAddr, int startRef, int int32Arr[], int refCnt)
{
    return readLongIntPairs(kReadInput, slaveAddr, startRef, int32Arr, refCnt);
}

int MbusMasterFunctions::readMultipleFloats(int slaveAddr, int startRef, float floatArr[], int refCnt)
{
    return readFloatPairs(kReadMultiple, slaveAddr, startRef, floatArr, refCnt);
}

int MbusMasterFunctions::readInputFloats(int slaveAddr, int startRef, float floatArr[], int refCnt)
{
    return readFloatPairs(kReadInput, slaveAddr, startRef, floatArr, refCnt);
}

int MbusMasterFunctions::readMultipleMod10000(int slaveAddr, int startRef, int int32Arr[], int refCnt)
{
    return readMod10000Pairs(kReadMultiple, slaveAddr, startRef, int32Arr, refCnt);
}

int MbusMasterFunctions::readInputMod10000(int slaveAddr, int startRef, int int32Arr[], int refCnt)
{
    return readMod10000Pairs(kReadInput, slaveAddr, startRef, int32Arr, refCnt);
}

int MbusMasterFunctions::writeMultipleLongInts(int slaveAddr, int startRef, const int int32Arr[], int refCnt)
{
    if (!isValidPairWrite(slaveAddr, startRef, int32Arr, refCnt))
        return MBUS_ILLEGAL_ARGUMENT;
    short regs[2 * kMaxWritePairs];
    bool highFirst = highWordFirst(slaveAddr, kBigEndianInts, int32WordOrder);
    for (int i = 0; i < refCnt; ++i)
        split(bitCast<std::uint32_t>(int32Arr[i]), highFirst, &regs[2 * i], &regs[2 * i + 1]);
    if (optionsOf(slaveAddr) & kSwappedBytes)
        swapRegisterBytes(regs, 2 * refCnt);
    return writePairs(slaveAddr, startRef, regs, refCnt);
}

int MbusMasterFunctions::writeMultipleFloats(int slaveAddr, int startRef, const float floatArr[], int refCnt)
{
    if (!isValidPairWrite(slaveAddr, startRef, floatArr, refCnt))
        return MBUS_ILLEGAL_ARGUMENT;
    short regs[2 * kMaxWritePairs];
    bool highFirst = highWordFirst(slaveAddr, kBigEndianFloats, floatWordOrder);
    for (int i = 0; i < refCnt; ++i)
        split(bitCast<std::uint32_t>(floatArr[i]), highFirst, &regs[2 * i], &regs[2 * i + 1]);
    if (optionsOf(slaveAddr) & kSwappedBytes)
        swapRegisterBytes(regs, 2 * refCnt);
    return writePairs(slaveAddr, startRef, regs, refCnt);
}

int MbusMasterFunctions::writeMultipleMod10000(int slaveAddr, int startRef, const int int32Arr[], int refCnt)
{
    if (!isValidPairWrite(slaveAddr, startRef, int32Arr, refCnt))
        return MBUS_ILLEGAL_ARGUMENT;
    short regs[2 * kMaxWritePairs];
    for (int i = 0; i < refCnt; ++i)
        splitMod10000(int32Arr[i], &regs[2 * i], &regs[2 * i + 1]);
    return writePairs(slaveAddr, startRef, regs, refCnt);
}

} // namespace mbus
