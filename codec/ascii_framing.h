// ASCII frames: ':' then address, function code, data and LRC as upper-case hex pairs, then
// CR LF. Building and decoding are plain functions over character buffers, free of I/O.
#ifndef MBUS_CODEC_ASCII_FRAMING_H
#define MBUS_CODEC_ASCII_FRAMING_H

namespace mbus {

constexpr int kAsciiMaxData = 252;
// Largest frame: 2 x 252 + 9 characters; the buffer has room to spare.
constexpr int kAsciiMaxFrame = 520;
// An exception reply: ':', address, function code, exception code, LRC, CR LF.
constexpr int kAsciiExceptionFrame = 11;

// Writes the frame into frame (at least 2 x dataLen + 9 characters, dataLen at most
// kAsciiMaxData) and returns its length, 2 x dataLen + 9.
int buildAsciiFrame(unsigned char frame[], int slaveAddr, int functionCode, const unsigned char data[], int dataLen);

// Number of reply characters once the first eleven are in: 11 when the first function-code digit
// marks an exception (8 or above) or the reply has a single data byte, otherwise
// 2 x replyLen + 9.
int asciiReplyCharCount(unsigned char functionHighDigit, int replyLen);

// Decodes a complete reply of charCount characters in place: byte k of the decoded frame
// (address, function code, data, LRC) lands at frame[k]. Checks in the order start character and
// hex digits (MBUS_INVALID_FRAME_ERROR), LRC (MBUS_CHECKSUM_ERROR), function code and address
// (MBUS_INVALID_FRAME_ERROR), exception flag (160 + exception code). On 0 the data are
// frame[2] .. frame[1 + *dataLen]. The two closing characters are never looked at.
int decodeAsciiReply(unsigned char frame[], int charCount, int slaveAddr, int functionCode, int *dataLen);

} // namespace mbus

#endif
