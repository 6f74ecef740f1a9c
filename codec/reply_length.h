// The length of a reply whose size its own bytes announce (function codes 17, 20, 24 and 43),
// for framings that must know where a reply ends before its check value (RTU, ASCII). Pure.
#ifndef MBUS_CODEC_REPLY_LENGTH_H
#define MBUS_CODEC_REPLY_LENGTH_H

namespace mbus {

struct ReplyLengthHint {
    bool complete; // true: the reply data are exactly `length` bytes; false: at least `length`
    int length;
};

// data: the `have` reply data bytes received so far (after the function code). For a function
// code whose replies are not announced this way, {false, 0}.
ReplyLengthHint announcedReplyLength(int functionCode, const unsigned char data[], int have);

// Whether replies to functionCode announce their own length.
bool isAnnouncedReply(int functionCode);

// Bytes of a binary reply frame to have in all, for a function code whose replies announce their
// length: headLen bytes before the data, the arrived data bytes in data, trailLen check bytes.
// -1 when the announced length exceeds maxData.
int announcedFrameLength(int functionCode, const unsigned char data[], int have, int headLen, int trailLen,
                         int maxData);

} // namespace mbus

#endif
