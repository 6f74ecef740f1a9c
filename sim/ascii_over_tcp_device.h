// ASCII frames (':', hex digits, LRC, CR LF) over TCP.
#pragma once

#include "sim/framed_stream_device.h"

namespace sim {

// Usage: sim::AsciiOverTcpDevice dev; int port = dev.start(); ...
class AsciiOverTcpDevice final : public FramedStreamDevice {
public:
    AsciiOverTcpDevice() : FramedStreamDevice(SerialFraming::Ascii) {}
    // Stopped in the most derived class, before the serving thread could see a half-destroyed object.
    ~AsciiOverTcpDevice() override { stop(); }
};

} // namespace sim
