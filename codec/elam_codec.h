// Extended-address RTU frames as a codec: slaves 248..2295 get a two-byte address field and
// replies of up to 5002 data bytes; slaves 0..247 are framed exactly as RTU.
#ifndef MBUS_CODEC_ELAM_CODEC_H
#define MBUS_CODEC_ELAM_CODEC_H

#include "codec/elam_framing.h"
#include "codec/frame_codec.h"

namespace mbus {

class ElamCodec : public FrameCodec {
public:
    int checkLengths(int slaveAddr, int requestLen, int replyLen) const override;
    int buildRequest(int slaveAddr, int functionCode, const unsigned char *data, int dataLen) override;
    int firstReadSize() const override;
    int moreToRead(int arrived, int replyLen, int *more) override;
    int checkReply(int frameLen, int slaveAddr, int functionCode, const unsigned char **data, int *dataLen) override;
    unsigned char *frame() override { return elamFrame; }

private:
    bool extended = false;   // the framing of the request last built
    int requestFunction = 0; // and its function code
    unsigned char elamFrame[kElamMaxFrame] = {};
};

} // namespace mbus

#endif
