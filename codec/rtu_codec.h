// RTU frames as a codec: address, function code, data, CRC-16; the reply is found by the length
// the caller expects, its first five bytes telling an exception apart, or for the function codes
// whose replies announce their length, by that length.
#ifndef MBUS_CODEC_RTU_CODEC_H
#define MBUS_CODEC_RTU_CODEC_H

#include "codec/frame_codec.h"
#include "codec/rtu_framing.h"

namespace mbus {

class RtuCodec : public FrameCodec {
public:
    int checkLengths(int slaveAddr, int requestLen, int replyLen) const override;
    int buildRequest(int slaveAddr, int functionCode, const unsigned char *data, int dataLen) override;
    int firstReadSize() const override { return kRtuExceptionFrame; }
    int moreToRead(int arrived, int replyLen, int *more) override;
    int checkReply(int frameLen, int slaveAddr, int functionCode, const unsigned char **data, int *dataLen) override;
    unsigned char *frame() override { return rtuFrame; }

private:
    int requestFunction = 0; // of the request last built
    unsigned char rtuFrame[kRtuMaxFrame] = {};
};

} // namespace mbus

#endif
