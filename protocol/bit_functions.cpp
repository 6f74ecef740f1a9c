// Function codes 1, 2, 5 and 15: coils and discrete inputs.
#include <cstring>

#include "codec/wire_format.h"
#include "protocol/master_functions.h"

namespace mbus {

namespace {
constexpr int kMaxReadBits = 2000;
constexpr int kMaxForceBits = 1968;
constexpr int kReadCoils = 1;
constexpr int kReadInputDiscretes = 2;
constexpr int kWriteCoil = 5;
constexpr int kForceMultipleCoils = 15;

int packedBytes(int bitCount)
{
    return (bitCount + 7) / 8;
}
} // namespace

int MbusMasterFunctions::readBits(int functionCode, int slaveAddr, int startRef, int bitArr[], int refCnt)
{
    if (refCnt > 0 && bitArr == nullptr)
        return MBUS_ILLEGAL_ARGUMENT;
    if (refCnt > 0)
        std::memset(bitArr, 0, sizeof(int) * static_cast<std::size_t>(refCnt));
    if (!isValidSlave(slaveAddr))
        return MBUS_ILLEGAL_ARGUMENT;
    long address = wireAddress(slaveAddr, startRef);
    if (address < 0 || refCnt < 1 || refCnt > kMaxReadBits)
        return MBUS_ILLEGAL_ARGUMENT;

    const int byteCount = packedBytes(refCnt);
    putU16(pduBuffer, static_cast<unsigned>(address));
    putU16(pduBuffer + 2, static_cast<unsigned>(refCnt));
    int received = 0;
    int result = transact(slaveAddr, functionCode, pduBuffer, 4, pduBuffer, 1 + byteCount, &received);
    if (result != MBUS_SUCCESS)
        return result;
    // A reply shorter than announced would leave stale request bytes to be read as data.
    if (received != 1 + byteCount || pduBuffer[0] != byteCount)
        return MBUS_INVALID_REPLY_ERROR;

    for (int i = 0; i < refCnt; ++i)
        bitArr[i] = (pduBuffer[1 + i / 8] >> (i % 8)) & 1;
    return MBUS_SUCCESS;
}

int MbusMasterFunctions::readCoils(int slaveAddr, int startRef, int bitArr[], int refCnt)
{
    return readBits(kReadCoils, slaveAddr, startRef, bitArr, refCnt);
}

int MbusMasterFunctions::readInputDiscretes(int slaveAddr, int startRef, int bitArr[], int refCnt)
{
    return readBits(kReadInputDiscretes, slaveAddr, startRef, bitArr, refCnt);
}

int MbusMasterFunctions::writeCoil(int slaveAddr, int bitAddr, int bitVal)
{
    if (!isValidSlave(slaveAddr))
        return MBUS_ILLEGAL_ARGUMENT;
    long address = wireAddress(slaveAddr, bitAddr);
    if (address < 0)
        return MBUS_ILLEGAL_ARGUMENT;

    const unsigned char value = bitVal ? 0xFF : 0x00;
    putU16(pduBuffer, static_cast<unsigned>(address));
    pduBuffer[2] = value;
    pduBuffer[3] = 0x00;
    int received = 0;
    int result = transact(slaveAddr, kWriteCoil, pduBuffer, 4, pduBuffer, 4, &received);
    if (result != MBUS_SUCCESS || slaveAddr == 0)
        return result;
    // Some devices answer a coil write with 00 01 instead of echoing the value.
    bool echoed = pduBuffer[2] == value && pduBuffer[3] == 0x00;
    bool acknowledged = pduBuffer[2] == 0x00 && pduBuffer[3] == 0x01;
    if (received != 4 || !(echoed || acknowledged))
        return MBUS_INVALID_REPLY_ERROR;
    return MBUS_SUCCESS;
}

int MbusMasterFunctions::forceMultipleCoils(int slaveAddr, int startRef, const int bitArr[], int refCnt)
{
    if (!isValidSlave(slaveAddr))
        return MBUS_ILLEGAL_ARGUMENT;
    long address = wireAddress(slaveAddr, startRef);
    if (address < 0 || refCnt < 1 || refCnt > kMaxForceBits || bitArr == nullptr)
        return MBUS_ILLEGAL_ARGUMENT;

    const int byteCount = packedBytes(refCnt);
    putU16(pduBuffer, static_cast<unsigned>(address));
    putU16(pduBuffer + 2, static_cast<unsigned>(refCnt));
    pduBuffer[4] = static_cast<unsigned char>(byteCount);
    std::memset(pduBuffer + 5, 0, static_cast<std::size_t>(byteCount));
    for (int i = 0; i < refCnt; ++i) {
        if (bitArr[i])
            pduBuffer[5 + i / 8] = static_cast<unsigned char>(pduBuffer[5 + i / 8] | (1u << (i % 8)));
    }
    int received = 0;
    int result = transact(slaveAddr, kForceMultipleCoils, pduBuffer, 5 + byteCount, pduBuffer, 4, &received);
    if (result != MBUS_SUCCESS || slaveAddr == 0)
        return result;
    if (received != 4 || getU16(pduBuffer + 2) != static_cast<unsigned>(refCnt))
        return MBUS_INVALID_REPLY_ERROR;
    return MBUS_SUCCESS;
}

} // namespace mbus
