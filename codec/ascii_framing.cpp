#include "codec/ascii_framing.h"

#include "codec/exception_result.h"
#include "codec/hex_digits.h"
#include "mbus.h"

namespace mbus {

namespace {

int putHexPair(unsigned char frame[], int at, unsigned char value)
{
    frame[at] = static_cast<unsigned char>(hexDigitHigh(value));
    frame[at + 1] = static_cast<unsigned char>(hexDigitLow(value));
    return at + 2;
}

} // namespace

int buildAsciiFrame(unsigned char frame[], int slaveAddr, int functionCode, const unsigned char data[], int dataLen)
{
    unsigned char address = static_cast<unsigned char>(slaveAddr);
    unsigned char function = static_cast<unsigned char>(functionCode);
    unsigned sum = address + function;
    int at = 0;
    frame[at++] = ':';
    at = putHexPair(frame, at, address);
    at = putHexPair(frame, at, function);
    for (int i = 0; i < dataLen; ++i) {
        sum += data[i];
        at = putHexPair(frame, at, data[i]);
    }
    at = putHexPair(frame, at, static_cast<unsigned char>(0x100u - (sum & 0xFFu)));
    frame[at++] = '\r';
    frame[at++] = '\n';
    return at;
}

int asciiReplyCharCount(unsigned char functionHighDigit, int replyLen)
{
    if (functionHighDigit < '8' && replyLen > 1)
        return 2 * replyLen + 9;
    return kAsciiExceptionFrame;
}

int decodeAsciiReply(unsigned char frame[], int charCount, int slaveAddr, int functionCode, int *dataLen)
{
    *dataLen = 0;
    if (charCount < kAsciiExceptionFrame || frame[0] != ':')
        return MBUS_INVALID_FRAME_ERROR;
    // Address, function code, data and LRC; the closing pair is not decoded.
    int byteCount = (charCount - 3) / 2;
    unsigned sum = 0;
    for (int k = 0; k < byteCount; ++k) {
        // Reads at 1 + 2k and 2 + 2k, writes at k: the write never overtakes the reads.
        int value = hexPairToByte(static_cast<char>(frame[1 + 2 * k]), static_cast<char>(frame[2 + 2 * k]));
        if (value < 0)
            return MBUS_INVALID_FRAME_ERROR;
        frame[k] = static_cast<unsigned char>(value);
        if (k < byteCount - 1)
            sum += static_cast<unsigned>(value);
    }
    if (static_cast<unsigned char>(0x100u - (sum & 0xFFu)) != frame[byteCount - 1])
        return MBUS_CHECKSUM_ERROR;
    if ((frame[1] & 0x7F) != (functionCode & 0xFF) || frame[0] != (slaveAddr & 0xFF))
        return MBUS_INVALID_FRAME_ERROR;
    if ((frame[1] & 0x80) != 0)
        return exceptionResult(frame[2]);
    *dataLen = byteCount - 3;
    return 0;
}

} // namespace mbus
