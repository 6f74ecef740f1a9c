// Function codes 3, 4, 6, 16, 22 and 23: 16-bit registers.
#include <cstring>

#include "codec/wire_format.h"
#include "protocol/master_functions.h"

namespace mbus {

namespace {
constexpr int kMaxReadRegisters = 125;
constexpr int kMaxWriteRegisters = 123;
constexpr int kMaxReadWriteWrites = 121;
constexpr int kReadMultipleRegisters = 3;
constexpr int kReadInputRegisters = 4;
constexpr int kWriteSingleRegister = 6;
constexpr int kWriteMultipleRegisters = 16;
constexpr int kMaskWriteRegister = 22;
constexpr int kReadWriteRegisters = 23;

void clearRegisters(short regArr[], int count)
{
    if (count > 0 && regArr != nullptr)
        std::memset(regArr, 0, sizeof(short) * static_cast<std::size_t>(count));
}

// Unpacks registers that follow the byte count of a read reply.
void unpackRegisters(const unsigned char *reply, short regArr[], int count)
{
    for (int i = 0; i < count; ++i)
        regArr[i] = static_cast<short>(getU16(reply + 1 + 2 * i));
}

void packRegisters(unsigned char *request, const short regArr[], int count)
{
    for (int i = 0; i < count; ++i)
        putU16(request + 2 * i, static_cast<unsigned short>(regArr[i]));
}
} // namespace

int MbusMasterFunctions::readRegisterBlock(int functionCode, int slaveAddr, int startRef, short regArr[], int regCnt,
                                           int countField)
{
    if (regCnt > 0 && regArr == nullptr)
        return MBUS_ILLEGAL_ARGUMENT;
    clearRegisters(regArr, regCnt);
    if (!isValidSlave(slaveAddr))
        return MBUS_ILLEGAL_ARGUMENT;
    long address = wireAddress(slaveAddr, startRef);
    if (address < 0 || regCnt < 1 || regCnt > kMaxReadRegisters)
        return MBUS_ILLEGAL_ARGUMENT;

    const int byteCount = 2 * regCnt;
    putU16(pduBuffer, static_cast<unsigned>(address));
    putU16(pduBuffer + 2, static_cast<unsigned>(countField));
    int received = 0;
    int result = transact(slaveAddr, functionCode, pduBuffer, 4, pduBuffer, 1 + byteCount, &received);
    if (result != MBUS_SUCCESS)
        return result;
    if (received != 1 + byteCount || pduBuffer[0] != static_cast<unsigned char>(byteCount))
        return MBUS_INVALID_REPLY_ERROR;
    unpackRegisters(pduBuffer, regArr, regCnt);
    return MBUS_SUCCESS;
}

int MbusMasterFunctions::readMultipleRegisters(int slaveAddr, int startRef, short regArr[], int refCnt)
{
    return readRegisterBlock(kReadMultipleRegisters, slaveAddr, startRef, regArr, refCnt, refCnt);
}

int MbusMasterFunctions::readInputRegisters(int slaveAddr, int startRef, short regArr[], int refCnt)
{
    return readRegisterBlock(kReadInputRegisters, slaveAddr, startRef, regArr, refCnt, refCnt);
}

int MbusMasterFunctions::writeSingleRegister(int slaveAddr, int regAddr, short regVal)
{
    if (!isValidSlave(slaveAddr))
        return MBUS_ILLEGAL_ARGUMENT;
    long address = wireAddress(slaveAddr, regAddr);
    if (address < 0)
        return MBUS_ILLEGAL_ARGUMENT;

    const unsigned value = static_cast<unsigned short>(regVal);
    putU16(pduBuffer, static_cast<unsigned>(address));
    putU16(pduBuffer + 2, value);
    int received = 0;
    int result = transact(slaveAddr, kWriteSingleRegister, pduBuffer, 4, pduBuffer, 4, &received);
    if (result != MBUS_SUCCESS || slaveAddr == 0)
        return result;
    // Some devices acknowledge with the value field 00 02 instead of an echo.
    unsigned echoed = getU16(pduBuffer + 2);
    if (received != 4 || (echoed != value && echoed != 0x0002))
        return MBUS_INVALID_REPLY_ERROR;
    return MBUS_SUCCESS;
}

int MbusMasterFunctions::writeRegisterBlock(int slaveAddr, int startRef, const short regArr[], int regCnt,
                                            int countField)
{
    if (!isValidSlave(slaveAddr))
        return MBUS_ILLEGAL_ARGUMENT;
    long address = wireAddress(slaveAddr, startRef);
    if (address < 0 || regCnt < 1 || regCnt > kMaxWriteRegisters || regArr == nullptr)
        return MBUS_ILLEGAL_ARGUMENT;

    putU16(pduBuffer, static_cast<unsigned>(address));
    putU16(pduBuffer + 2, static_cast<unsigned>(countField));
    pduBuffer[4] = static_cast<unsigned char>(2 * regCnt);
    packRegisters(pduBuffer + 5, regArr, regCnt);
    int received = 0;
    int result = transact(slaveAddr, kWriteMultipleRegisters, pduBuffer, 5 + 2 * regCnt, pduBuffer, 4, &received);
    if (result != MBUS_SUCCESS || slaveAddr == 0)
        return result;
    if (received != 4 || getU16(pduBuffer + 2) != static_cast<unsigned>(countField))
        return MBUS_INVALID_REPLY_ERROR;
    return MBUS_SUCCESS;
}

int MbusMasterFunctions::writeMultipleRegisters(int slaveAddr, int startRef, const short regArr[], int refCnt)
{
    return writeRegisterBlock(slaveAddr, startRef, regArr, refCnt, refCnt);
}

int MbusMasterFunctions::maskWriteRegister(int slaveAddr, int regAddr, short andMask, short orMask)
{
    if (!isValidSlave(slaveAddr))
        return MBUS_ILLEGAL_ARGUMENT;
    long address = wireAddress(slaveAddr, regAddr);
    if (address < 0)
        return MBUS_ILLEGAL_ARGUMENT;

    unsigned char request[6];
    putU16(request, static_cast<unsigned>(address));
    putU16(request + 2, static_cast<unsigned short>(andMask));
    putU16(request + 4, static_cast<unsigned short>(orMask));
    std::memcpy(pduBuffer, request, sizeof request);
    int received = 0;
    int result = transact(slaveAddr, kMaskWriteRegister, pduBuffer, 6, pduBuffer, 6, &received);
    if (result != MBUS_SUCCESS || slaveAddr == 0)
        return result;
    if (received != 6 || std::memcmp(pduBuffer, request, sizeof request) != 0)
        return MBUS_INVALID_REPLY_ERROR;
    return MBUS_SUCCESS;
}

int MbusMasterFunctions::readWriteRegisters(int slaveAddr, int readRef, short readArr[], int readCnt, int writeRef,
                                            const short writeArr[], int writeCnt)
{
    if (readCnt > 0 && readArr == nullptr)
        return MBUS_ILLEGAL_ARGUMENT;
    clearRegisters(readArr, readCnt);
    if (!isValidSlave(slaveAddr))
        return MBUS_ILLEGAL_ARGUMENT;
    long readAddress = wireAddress(slaveAddr, readRef);
    long writeAddress = wireAddress(slaveAddr, writeRef);
    if (readAddress < 0 || writeAddress < 0 || writeArr == nullptr)
        return MBUS_ILLEGAL_ARGUMENT;
    if (readCnt < 1 || readCnt > kMaxReadRegisters || writeCnt < 1 || writeCnt > kMaxReadWriteWrites)
        return MBUS_ILLEGAL_ARGUMENT;

    putU16(pduBuffer, static_cast<unsigned>(readAddress));
    putU16(pduBuffer + 2, static_cast<unsigned>(readCnt));
    putU16(pduBuffer + 4, static_cast<unsigned>(writeAddress));
    putU16(pduBuffer + 6, static_cast<unsigned>(writeCnt));
    pduBuffer[8] = static_cast<unsigned char>(2 * writeCnt);
    packRegisters(pduBuffer + 9, writeArr, writeCnt);
    const int byteCount = 2 * readCnt;
    int received = 0;
    int result =
        transact(slaveAddr, kReadWriteRegisters, pduBuffer, 9 + 2 * writeCnt, pduBuffer, 1 + byteCount, &received);
    if (result != MBUS_SUCCESS)
        return result;
    if (received != 1 + byteCount || pduBuffer[0] != static_cast<unsigned char>(byteCount))
        return MBUS_INVALID_REPLY_ERROR;
    unpackRegisters(pduBuffer, readArr, readCnt);
    return MBUS_SUCCESS;
}

} // namespace mbus
