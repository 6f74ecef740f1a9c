// The backend of a build without a TLS library: every TLS master reports so when it opens.
#include "ip/tls_backend.h"

namespace mbus {

namespace {

class UnavailableBackend : public TlsBackend {
public:
    int configure(const TlsSettings &) override { return MBUS_TLS_NOT_AVAILABLE; }
    int begin(net::Socket, const char *) override { return MBUS_TLS_NOT_AVAILABLE; }
    Status handshake() override { return Status::Failed; }
    Status read(unsigned char *, int, int *moved, int) override { *moved = 0; return Status::Failed; }
    Status write(const unsigned char *, int, int *moved) override { *moved = 0; return Status::Failed; }
    int failure() const override { return MBUS_TLS_NOT_AVAILABLE; }
    bool takeFreshRetry() override { return false; }
    void end() override {}
};

} // namespace

std::unique_ptr<TlsBackend> newTlsBackend()
{
    return std::unique_ptr<TlsBackend>(new UnavailableBackend());
}

} // namespace mbus
