// A Modbus/TCP device: MBAP frames over TCP, served from a background thread.
#pragma once

#include "sim/stream_server.h"

namespace sim {

// Answers every unit identifier. Usage:
//   sim::TcpDevice dev; int port = dev.start(); dev.setHoldingRegister(0, 42); ... dev.stop();
// The register-9999 text channel: a write of text to wire address 0x270F stores a command;
// the next read of holding registers at 0x270F answers normally and sends "OK <command>\r"
// right behind the reply, in the same write.
// Over TLS (TlsDevice), a connection whose role may only read gets exception 01 (illegal
// function) for every request that writes (PduProcessor::writes); nothing is written.
class TcpDevice : public StreamServer {
public:
    TcpDevice() = default;
    ~TcpDevice() override;

protected:
    void onReceive(Connection& conn) override;

private:
    void handleFrame(Connection& conn, const std::uint8_t* frame, std::size_t len);

    std::vector<std::uint8_t> reply_;
    std::string text_;
};

} // namespace sim
