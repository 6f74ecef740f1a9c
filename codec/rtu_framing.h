// RTU frames: address, function code, data, CRC-16 (low byte first). Building and checking are
// plain functions over byte buffers, free of I/O, so that the serial line and the TCP carrier
// share them.
#ifndef MBUS_CODEC_RTU_FRAMING_H
#define MBUS_CODEC_RTU_FRAMING_H

namespace mbus {

// Largest RTU frame: address, function code, 252 data bytes, two CRC bytes.
constexpr int kRtuMaxFrame = 256;
constexpr int kRtuMaxData = kRtuMaxFrame - 4;
// An exception reply: address, function code | 0x80, exception code, CRC.
constexpr int kRtuExceptionFrame = 5;

// Writes the frame for slaveAddr (0..255) into frame (at least dataLen + 4 bytes, dataLen at
// most kRtuMaxData) and returns its length, dataLen + 4.
int buildRtuFrame(unsigned char frame[], int slaveAddr, int functionCode, const unsigned char data[], int dataLen);

// Length of the reply frame once its first five bytes are in: 5 for an exception reply or a
// one-byte reply, otherwise replyLen + 4.
int rtuReplyFrameLength(unsigned char functionByte, int replyLen);

// Checks a complete reply frame in the order CRC (MBUS_CHECKSUM_ERROR), function code and
// address (MBUS_INVALID_FRAME_ERROR), exception flag (160 + exception code). 0 for a normal reply,
// whose data are frame[2] .. frame[frameLen - 3].
int checkRtuReply(const unsigned char frame[], int frameLen, int slaveAddr, int functionCode);

// Line-silence time-out of an RTU master: four 11-bit characters at baudRate, in whole
// milliseconds rounded half up, at least 1. A baud rate of 0 or less has no such time: -1.
int rtuSilenceIntervalMs(int baudRate);

} // namespace mbus

#endif
