// A TLS session on a TCP connection as a link: the connect and the handshake share one time-out,
// then sends and exact-length receives in which the time-out bounds each wait, as on TcpLink.
#ifndef MBUS_IP_TLS_LINK_H
#define MBUS_IP_TLS_LINK_H

#include <memory>

#include "ip/tcp_link.h"
#include "ip/tls_backend.h"

namespace mbus {

class TlsLink : public Link {
public:
    // The TCP connection beneath is the caller's; the link runs its session on it.
    explicit TlsLink(TcpLink &carrier);

    // Builds the backend's context from settings (once per configuration, not per connection).
    int configure(const TlsSettings &settings) { return backend->configure(settings); }
    // Connects the carrier and completes the handshake within timeoutMs: 0, a connect failure
    // of TcpLink, or one of the MBUS_TLS_* codes. Closed on failure.
    int connect(const net::Endpoint peers[], int count, const char *serverName, int timeoutMs,
                const Clock &clock);
    // Ends the session and closes the carrier.
    void close();

    int discardInput() override;
    int send(const unsigned char *data, int count, int timeoutMs) override;
    int receive(unsigned char *buffer, int count, int timeoutMs, int *received) override;

private:
    // One connect and handshake within timeoutMs.
    int handshake(const net::Endpoint peers[], int count, const char *serverName, int timeoutMs,
                  const Clock &clock);
    // Waits as the backend asks: 0, or the time-out code given, or MBUS_CONNECTION_CLOSED.
    int waitFor(TlsBackend::Status status, int timeoutMs, int timeoutResult);

    TcpLink &carrier;
    std::unique_ptr<TlsBackend> backend;
    unsigned char scratch[260] = {};
};

} // namespace mbus

#endif
