// One framing of Modbus requests and replies, free of I/O and of any clock: it builds a request
// in its frame buffer, tells how many reply bytes to read next from what has arrived, and checks
// a complete reply. The transaction routine joins it to a link.
#ifndef MBUS_CODEC_FRAME_CODEC_H
#define MBUS_CODEC_FRAME_CODEC_H

namespace mbus {

class FrameCodec {
public:
    FrameCodec() = default;
    FrameCodec(const FrameCodec &) = delete;
    FrameCodec &operator=(const FrameCodec &) = delete;
    virtual ~FrameCodec() = default;

    // MBUS_ILLEGAL_ARGUMENT when a request or reply of these lengths does not fit one frame or
    // the slave cannot be addressed, else 0.
    virtual int checkLengths(int slaveAddr, int requestLen, int replyLen) const = 0;
    // Builds the request in frame() and returns its length.
    virtual int buildRequest(int slaveAddr, int functionCode, const unsigned char *data, int dataLen) = 0;
    // Bytes of the reply to read first (a datagram carrier: the most one datagram may hold).
    virtual int firstReadSize() const = 0;
    // Once arrived bytes of the reply are in frame(): *more further bytes to read (0 when the
    // reply is complete), or a result code that ends the attempt.
    virtual int moreToRead(int arrived, int replyLen, int *more) = 0;
    // Checks the complete reply of frameLen bytes in frame(). On 0, *data and *dataLen give the
    // reply data behind the function code.
    virtual int checkReply(int frameLen, int slaveAddr, int functionCode, const unsigned char **data, int *dataLen) = 0;
    virtual unsigned char *frame() = 0;
};

} // namespace mbus

#endif
