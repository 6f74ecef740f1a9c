// Extended-address RTU frames for slaves 248..2295: two address bytes (0xF8 + x / 256, x % 256,
// with x = slave - 248), function code, data, CRC-16 over all of it (low byte first).
#ifndef MBUS_CODEC_ELAM_FRAMING_H
#define MBUS_CODEC_ELAM_FRAMING_H

namespace mbus {

constexpr int kElamFirstExtendedSlave = 248;
constexpr int kElamMaxSlave = 2295;
constexpr int kElamMaxRegisters = 2500;
// Data of the longest extended reply: a two-byte byte count and 2500 registers.
constexpr int kElamMaxData = 2 + 2 * kElamMaxRegisters;
// Two address bytes, function code, data, two CRC bytes.
constexpr int kElamMaxFrame = kElamMaxData + 5;
constexpr int kElamExceptionFrame = 6;

inline bool isExtendedSlave(int slaveAddr)
{
    return slaveAddr >= kElamFirstExtendedSlave && slaveAddr <= kElamMaxSlave;
}

// Writes the frame for an extended slave into frame (at least dataLen + 5 bytes) and returns its
// length, dataLen + 5.
int buildElamFrame(unsigned char frame[], int slaveAddr, int functionCode, const unsigned char data[], int dataLen);

// Length of the reply frame once its first six bytes are in: 6 for an exception reply or a
// one-byte reply, otherwise replyLen + 5.
int elamReplyFrameLength(unsigned char functionByte, int replyLen);

// Checks a complete reply frame in the order CRC, function code and both address bytes,
// exception flag; results as for RTU. Reply data are frame[3] .. frame[frameLen - 3].
int checkElamReply(const unsigned char frame[], int frameLen, int slaveAddr, int functionCode);

} // namespace mbus

#endif
