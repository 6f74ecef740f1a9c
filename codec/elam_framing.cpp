#include "codec/elam_framing.h"

#include <cstring>

#include "codec/crc16.h"
#include "codec/exception_result.h"
#include "mbus.h"

namespace mbus {

namespace {

unsigned char addressHigh(int slaveAddr)
{
    return static_cast<unsigned char>(0xF8 + (slaveAddr - kElamFirstExtendedSlave) / 256);
}

unsigned char addressLow(int slaveAddr)
{
    return static_cast<unsigned char>((slaveAddr - kElamFirstExtendedSlave) % 256);
}

} // namespace

int buildElamFrame(unsigned char frame[], int slaveAddr, int functionCode, const unsigned char data[], int dataLen)
{
    frame[0] = addressHigh(slaveAddr);
    frame[1] = addressLow(slaveAddr);
    frame[2] = static_cast<unsigned char>(functionCode);
    if (dataLen > 0)
        std::memcpy(frame + 3, data, static_cast<std::size_t>(dataLen));
    int crcAt = dataLen + 3;
    std::uint16_t crc = calcCrc16(frame, static_cast<std::size_t>(crcAt));
    frame[crcAt] = static_cast<unsigned char>(crc & 0xFF);
    frame[crcAt + 1] = static_cast<unsigned char>(crc >> 8);
    return dataLen + 5;
}

int elamReplyFrameLength(unsigned char functionByte, int replyLen)
{
    if ((functionByte & 0x80) != 0 || replyLen <= 1)
        return kElamExceptionFrame;
    return replyLen + 5;
}

int checkElamReply(const unsigned char frame[], int frameLen, int slaveAddr, int functionCode)
{
    if (frameLen < kElamExceptionFrame)
        return MBUS_INVALID_FRAME_ERROR;
    std::size_t covered = static_cast<std::size_t>(frameLen - 2);
    unsigned received = frame[covered] | (static_cast<unsigned>(frame[covered + 1]) << 8);
    if (received != calcCrc16(frame, covered))
        return MBUS_CHECKSUM_ERROR;
    if ((frame[2] & 0x7F) != (functionCode & 0xFF) || frame[1] != addressLow(slaveAddr) ||
        frame[0] != addressHigh(slaveAddr))
        return MBUS_INVALID_FRAME_ERROR;
    if ((frame[2] & 0x80) != 0)
        return exceptionResult(frame[3]);
    return 0;
}

} // namespace mbus
