// A serial slave on the device side of a pseudo-terminal pair.
#pragma once

#include "sim/framed_stream_device.h"

#include <string>

namespace sim {

// Usage:
//   sim::SerialDevice dev;
//   std::string path = dev.start(sim::SerialFraming::Rtu);  // the tty a master opens
//   ... dev.stop();
// The line has no speed: bytes pass at once whatever baud rate the master sets.
// Faults that close a connection (Close, Reset) act as Drop here.
class SerialDevice final : public FramedStreamDevice {
public:
    SerialDevice() : FramedStreamDevice(SerialFraming::Rtu) {}
    ~SerialDevice() override;

    // Opens the pair and serves it; returns the path of the master's side, "" on failure.
    std::string start(SerialFraming framing);
    void stop();
    const std::string& path() const { return path_; }

private:
    int peerFd_ = -1;  // the master's side, kept open so the line never hangs up
    std::string path_;
};

} // namespace sim
