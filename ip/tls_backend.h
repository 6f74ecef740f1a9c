// One TLS implementation beneath the TLS link: a context made once from the settings and one
// session per connection over a connected, non-blocking socket. The platform's library sits
// behind it (OpenSSL on POSIX); a build without one reports MBUS_TLS_NOT_AVAILABLE.
#ifndef MBUS_IP_TLS_BACKEND_H
#define MBUS_IP_TLS_BACKEND_H

#include <memory>

#include "ip/socket_layer.h"
#include "ip/tls_settings.h"

namespace mbus {

class TlsBackend {
public:
    // TimedOut: a read that was allowed to wait received nothing within its wait.
    enum class Status { Done, WantRead, WantWrite, TimedOut, Failed };

    TlsBackend() = default;
    TlsBackend(const TlsBackend &) = delete;
    TlsBackend &operator=(const TlsBackend &) = delete;
    virtual ~TlsBackend() = default;

    // Builds the context, dropping any session kept for resumption: 0, MBUS_TLS_CONFIG_ERROR or
    // MBUS_TLS_NOT_AVAILABLE.
    virtual int configure(const TlsSettings &settings) = 0;
    // Starts a session on socket for a device expected to be serverName (a DNS name or an
    // address), resuming the last one where possible: 0, or a result code.
    virtual int begin(net::Socket socket, const char *serverName) = 0;
    // One step of the handshake; Done once it is complete.
    virtual Status handshake() = 0;
    // At most count bytes, *moved of them, when Done; a write moves all count bytes or nothing.
    // With waitMs above 0 a read may wait for the device inside its receive (the link has armed
    // the socket's waiting receives with that limit), one system call instead of a poll and a
    // receive; it gives TimedOut when that wait ran out. A backend may also leave the wait to
    // the link and give WantRead.
    virtual Status read(unsigned char *buffer, int count, int *moved, int waitMs) = 0;
    virtual Status write(const unsigned char *data, int count, int *moved) = 0;
    // The result code of the last Failed step.
    virtual int failure() const = 0;
    // Whether a failed handshake that offered an earlier session should be tried once more
    // with a new one (asked once per failure).
    virtual bool takeFreshRetry() = 0;
    // Ends the session, keeping it for resumption when it completed well; the socket stays.
    virtual void end() = 0;
};

// The backend of this build.
std::unique_ptr<TlsBackend> newTlsBackend();

} // namespace mbus

#endif
