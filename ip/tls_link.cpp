#include "ip/tls_link.h"

#include <chrono>

namespace mbus {

namespace {
using SteadyClock = std::chrono::steady_clock;

int millisecondsSince(SteadyClock::time_point start)
{
    return static_cast<int>(
        std::chrono::duration_cast<std::chrono::milliseconds>(SteadyClock::now() - start).count());
}
} // namespace

TlsLink::TlsLink(TcpLink &connection) : carrier(connection), backend(newTlsBackend()) {}

int TlsLink::connect(const net::Endpoint peers[], int count, const char *serverName, int timeoutMs,
                     const Clock &clock)
{
    SteadyClock::time_point start = SteadyClock::now();
    int result = handshake(peers, count, serverName, timeoutMs, clock);
    if (result == MBUS_TLS_HANDSHAKE_FAILED && backend->takeFreshRetry()) {
        int left = timeoutMs - millisecondsSince(start);
        result = left > 0 ? handshake(peers, count, serverName, left, clock) : int{MBUS_TLS_HANDSHAKE_TIMEOUT};
    }
    return result;
}

int TlsLink::handshake(const net::Endpoint peers[], int count, const char *serverName, int timeoutMs,
                       const Clock &clock)
{
    close();
    SteadyClock::time_point start = SteadyClock::now();
    int result = carrier.connect(peers, count, timeoutMs, clock);
    if (result == MBUS_SUCCESS)
        result = backend->begin(carrier.socket(), serverName);
    while (result == MBUS_SUCCESS) {
        TlsBackend::Status status = backend->handshake();
        if (status == TlsBackend::Status::Done)
            return MBUS_SUCCESS;
        if (status == TlsBackend::Status::Failed) {
            result = backend->failure();
            break;
        }
        int left = timeoutMs - millisecondsSince(start);
        result = left > 0 ? waitFor(status, left, MBUS_TLS_HANDSHAKE_TIMEOUT) : int{MBUS_TLS_HANDSHAKE_TIMEOUT};
        if (result == MBUS_CONNECTION_CLOSED)
            result = MBUS_TLS_HANDSHAKE_FAILED;
    }
    close();
    return result;
}

void TlsLink::close()
{
    backend->end();
    carrier.close();
}

int TlsLink::waitFor(TlsBackend::Status status, int timeoutMs, int timeoutResult)
{
    net::Socket socket = carrier.socket();
    net::WaitResult wait = status == TlsBackend::Status::WantWrite ? net::waitWritable(socket, timeoutMs)
                                                                     : net::waitReadable(socket, timeoutMs);
    if (wait == net::WaitResult::TimedOut)
        return timeoutResult;
    return wait == net::WaitResult::Ready ? MBUS_SUCCESS : MBUS_CONNECTION_CLOSED;
}

int TlsLink::discardInput()
{
    // Also where a refusal that the device sends after the handshake (a client certificate
    // refused under TLS 1.3) is met, when it arrived before the request.
    for (;;) {
        int moved = 0;
        TlsBackend::Status status = backend->read(scratch, sizeof scratch, &moved, 0);
        if (status == TlsBackend::Status::Failed)
            return backend->failure();
        if (status != TlsBackend::Status::Done)
            return MBUS_SUCCESS;
    }
}

int TlsLink::send(const unsigned char *data, int count, int timeoutMs)
{
    for (;;) {
        int moved = 0;
        TlsBackend::Status status = backend->write(data, count, &moved);
        if (status == TlsBackend::Status::Done)
            return MBUS_SUCCESS;
        if (status == TlsBackend::Status::Failed)
            return backend->failure();
        // A write that could not finish is repeated with the same bytes, as the backend needs.
        int waited = waitFor(status, timeoutMs, MBUS_SEND_TIMEOUT);
        if (waited != MBUS_SUCCESS)
            return waited;
    }
}

int TlsLink::receive(unsigned char *buffer, int count, int timeoutMs, int *received)
{
    *received = 0;
    if (!carrier.limitReceives(timeoutMs))
        return MBUS_CONNECTION_CLOSED;
    int got = 0;
    while (got < count) {
        int moved = 0;
        TlsBackend::Status status = backend->read(buffer + got, count - got, &moved, timeoutMs);
        if (status == TlsBackend::Status::Done) {
            got += moved;
            continue;
        }
        if (status == TlsBackend::Status::Failed)
            return backend->failure();
        if (status == TlsBackend::Status::TimedOut)
            return MBUS_REPLY_TIMEOUT;
        int waited = waitFor(status, timeoutMs, MBUS_REPLY_TIMEOUT);
        if (waited != MBUS_SUCCESS)
            return waited;
    }
    *received = got;
    return MBUS_SUCCESS;
}

} // namespace mbus
