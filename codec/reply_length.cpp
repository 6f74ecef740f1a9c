#include "codec/reply_length.h"

namespace mbus {

ReplyLengthHint announcedReplyLength(int functionCode, const unsigned char data[], int have)
{
    switch (functionCode) {
    case 17: // report server id: byte count
    case 20: // read file record: response data length
        if (have < 1)
            return {false, 1};
        return {true, 1 + data[0]};
    case 24: // read FIFO queue: two-byte byte count
        if (have < 2)
            return {false, 2};
        return {true, 2 + ((data[0] << 8) | data[1])};
    case 43: { // device identification: six header bytes, then id, length and bytes per object
        if (have < 6)
            return {false, 6};
        int at = 6;
        for (int i = 0; i < data[5]; ++i) {
            if (have < at + 2)
                return {false, at + 2};
            at += 2 + data[at + 1];
        }
        return {true, at};
    }
    default:
        return {false, 0};
    }
}

bool isAnnouncedReply(int functionCode)
{
    return functionCode == 17 || functionCode == 20 || functionCode == 24 || functionCode == 43;
}

int announcedFrameLength(int functionCode, const unsigned char data[], int have, int headLen, int trailLen, int maxData)
{
    const ReplyLengthHint hint = announcedReplyLength(functionCode, data, have < 0 ? 0 : have);
    if (hint.length > maxData)
        return -1;
    return headLen + hint.length + (hint.complete ? trailLen : 0);
}

} // namespace mbus
