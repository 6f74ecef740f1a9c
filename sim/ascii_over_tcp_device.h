// ASCII frames (':', hex digits, LRC, CR LF) over TCP.
#pragma once

#include "sim/framed_stream_device.h"

namespace sim {

// Usage: sim::AsciiOverTcpDevice dev; int port = dev.start(); ...
class AsciiOverTcpDevice : public FramedStreamDevice {
public:
    AsciiOverTcpDevice() : FramedStreamDevice(SerialFraming::Ascii) {}
};

} // namespace sim
