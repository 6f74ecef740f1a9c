// MBAP frames of Modbus/TCP and Modbus/UDP: transaction identifier, protocol identifier 0,
// length, unit identifier, function code, data.
#ifndef MBUS_CODEC_MBAP_CODEC_H
#define MBUS_CODEC_MBAP_CODEC_H

#include <cstdint>

#include "codec/frame_codec.h"

namespace mbus {

class MbapCodec : public FrameCodec {
public:
    // One frame: 7 header bytes, the function code and at most 252 data bytes.
    static constexpr int kFrameSize = 260;
    // A stream reply is read as 9 bytes, then the rest its length field announces; a datagram
    // reply is one datagram, checked more leniently for devices that keep only one byte of the
    // transaction identifier or of the length.
    enum class Carrier { Stream, Datagram };

    explicit MbapCodec(Carrier frameCarrier) : carrier(frameCarrier) {}

    int checkLengths(int slaveAddr, int requestLen, int replyLen) const override;
    // Each request carries the next transaction identifier (65535 is followed by 0).
    int buildRequest(int slaveAddr, int functionCode, const unsigned char *data, int dataLen) override;
    int firstReadSize() const override;
    int moreToRead(int arrived, int replyLen, int *more) override;
    int checkReply(int frameLen, int slaveAddr, int functionCode, const unsigned char **data, int *dataLen) override;
    unsigned char *frame() override { return frameBuffer; }

    std::uint16_t getTransactionId() const { return transactionId; }
    void setTransactionId(std::uint16_t id) { transactionId = id; }

private:
    int checkIdentifiers() const;

    Carrier carrier;
    std::uint16_t transactionId = 0;
    unsigned char frameBuffer[kFrameSize] = {};
};

} // namespace mbus

#endif
