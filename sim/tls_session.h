// One TLS session over a connection's socket, as the stream server sees it: a handshake to
// advance and records to read and write, all without blocking.
#pragma once

#include <cstddef>
#include <cstdint>

namespace sim {

class TlsSession {
public:
    // The outcome of a step: Done (or bytes moved), waiting for the socket, the peer closed
    // (close_notify or end of stream), or a failure (alert, protocol error, socket error).
    enum class Status { Done, WantRead, WantWrite, Closed, Failed };

    virtual ~TlsSession() = default;

    // Advances the handshake; Done once it is finished.
    virtual Status handshake() = 0;
    // Up to `size` bytes of application data; `got` is set when Done.
    virtual Status read(std::uint8_t* buf, std::size_t size, std::size_t& got) = 0;
    // Some of `size` bytes (at least one record's worth or all); `put` is set when Done.
    // A retry after WantRead/WantWrite must pass the same bytes.
    virtual Status write(const std::uint8_t* buf, std::size_t size, std::size_t& put) = 0;
    // Decrypted or received bytes held inside the session that poll() cannot see.
    virtual bool hasPending() const = 0;
    // Sends close_notify once, best effort; nothing after a failure.
    virtual void shutdown() = 0;
    // After the handshake: the peer's role only permits reading.
    virtual bool readOnly() const = 0;
};

} // namespace sim
