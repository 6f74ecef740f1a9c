// RTU frames (address, function code, data, CRC-16) over TCP, without an MBAP header.
#pragma once

#include "sim/framed_stream_device.h"

namespace sim {

// Usage: sim::RtuOverTcpDevice dev; int port = dev.start(); ... 
// With extendedAddresses, slaves 248..2295 are served with two-byte addresses too.
class RtuOverTcpDevice final : public FramedStreamDevice {
public:
    explicit RtuOverTcpDevice(bool extendedAddresses = false)
        : FramedStreamDevice(extendedAddresses ? SerialFraming::ExtendedRtu : SerialFraming::Rtu) {}
    // Stopped here, in the most derived class, before the serving thread could see a
    // half-destroyed object.
    ~RtuOverTcpDevice() override { stop(); }
};

} // namespace sim
