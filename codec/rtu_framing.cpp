#include "codec/rtu_framing.h"

#include <cstring>

#include "codec/crc16.h"
#include "codec/exception_result.h"
#include "mbus.h"

namespace mbus {

int buildRtuFrame(unsigned char frame[], int slaveAddr, int functionCode, const unsigned char data[], int dataLen)
{
    frame[0] = static_cast<unsigned char>(slaveAddr);
    frame[1] = static_cast<unsigned char>(functionCode);
    if (dataLen > 0)
        std::memcpy(frame + 2, data, static_cast<std::size_t>(dataLen));
    int crcAt = dataLen + 2;
    std::uint16_t crc = calcCrc16(frame, static_cast<std::size_t>(crcAt));
    // The low-order byte of the CRC comes first on the wire.
    frame[crcAt] = static_cast<unsigned char>(crc & 0xFF);
    frame[crcAt + 1] = static_cast<unsigned char>(crc >> 8);
    return dataLen + 4;
}

int rtuReplyFrameLength(unsigned char functionByte, int replyLen)
{
    if ((functionByte & 0x80) != 0 || replyLen <= 1)
        return kRtuExceptionFrame;
    return replyLen + 4;
}

int checkRtuReply(const unsigned char frame[], int frameLen, int slaveAddr, int functionCode)
{
    if (frameLen < kRtuExceptionFrame)
        return MBUS_INVALID_FRAME_ERROR;
    std::size_t covered = static_cast<std::size_t>(frameLen - 2);
    unsigned received = frame[covered] | (static_cast<unsigned>(frame[covered + 1]) << 8);
    if (received != calcCrc16(frame, covered))
        return MBUS_CHECKSUM_ERROR;
    if ((frame[1] & 0x7F) != (functionCode & 0xFF) || frame[0] != (slaveAddr & 0xFF))
        return MBUS_INVALID_FRAME_ERROR;
    if ((frame[1] & 0x80) != 0)
        return exceptionResult(frame[2]);
    return 0;
}

int rtuSilenceIntervalMs(int baudRate)
{
    if (baudRate <= 0)
        return -1;
    // 44000 = 4 characters x 11 bits x 1000 ms.
    int interval = 44000 / baudRate;
    int remainder = 44000 % baudRate;
    if (2L * remainder >= baudRate)
        ++interval;
    return interval < 1 ? 1 : interval;
}

} // namespace mbus
