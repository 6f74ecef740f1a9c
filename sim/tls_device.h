// A Modbus/TCP device over TLS: MBAP frames inside TLS 1.2 or later, with client certificates
// and a role policy on writes.
#pragma once

#include "sim/tcp_device.h"
#include "sim/tls_context.h"

#include <string>

namespace sim {

// Usage:
//   sim::TlsSettings s; s.certificateFile = ...; s.keyFile = ...; s.caFile = ...;
//   s.readOnlyRoles = {"viewer"};
//   sim::TlsDevice dev; std::string error; if (!dev.configure(s, error)) ...; int port = dev.start();
// Clients whose role may only read get exception 01 on every writing request; nothing is
// written. Faults act inside the session as on Modbus/TCP (Close sends close_notify first).
class TlsDevice final : public TcpDevice {
public:
    TlsDevice() = default;
    ~TlsDevice() override;

    // Before start(): false, with the reason in `error`, when a file cannot be used.
    bool configure(const TlsSettings& settings, std::string& error);
    // As StreamServer::start; -1 also when not configured.
    int start(int port = 0, const std::string& host = "127.0.0.1");

protected:
    bool secure(int fd, std::unique_ptr<TlsSession>& session) override;

private:
    TlsContext context_;
};

} // namespace sim
