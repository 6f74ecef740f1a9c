// ASCII frames as a codec: ':', hex pairs of address, function code, data and LRC, CR LF. The
// reply is found by the length the caller expects and decoded in place.
#ifndef MBUS_CODEC_ASCII_CODEC_H
#define MBUS_CODEC_ASCII_CODEC_H

#include "codec/ascii_framing.h"
#include "codec/frame_codec.h"

namespace mbus {

class AsciiCodec : public FrameCodec {
public:
    int checkLengths(int slaveAddr, int requestLen, int replyLen) const override;
    int buildRequest(int slaveAddr, int functionCode, const unsigned char *data, int dataLen) override;
    int firstReadSize() const override { return kAsciiExceptionFrame; }
    int moreToRead(int arrived, int replyLen, int *more) override;
    int checkReply(int frameLen, int slaveAddr, int functionCode, const unsigned char **data, int *dataLen) override;
    unsigned char *frame() override { return asciiFrame; }

private:
    // Characters of a reply whose data announce their length, from the arrived characters; -1
    // when the announced data exceed one frame.
    int announcedCharCount(int arrived) const;

    int requestFunction = 0; // of the request last built
    // The request characters, then the reply characters, decoded in place.
    unsigned char asciiFrame[kAsciiMaxFrame] = {};
};

} // namespace mbus

#endif
