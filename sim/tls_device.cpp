#include "sim/tls_device.h"

namespace sim {

TlsDevice::~TlsDevice() { stop(); }

bool TlsDevice::configure(const TlsSettings& settings, std::string& error)
{
    if (running()) {
        error = "the device is running";
        return false;
    }
    stop();  // a run that ended by its lifetime may still hold sessions of the old context
    return context_.configure(settings, error);
}

int TlsDevice::start(int port, const std::string& host)
{
    if (!context_.ready()) return -1;
    return StreamServer::start(port, host);
}

bool TlsDevice::secure(int fd, std::unique_ptr<TlsSession>& session)
{
    // Never plain Modbus/TCP in place of TLS: without a session the connection is refused.
    session = context_.accept(fd);
    return session != nullptr;
}

} // namespace sim
