// The in-memory replacement of the platform socket layer (ip/socket_layer.h) in the fuzz
// targets: no descriptor, no wait, no traffic. Every socket talks to the simulated device of the
// attached script; a wait for data that the script has not sent ends at once as a time-out, so
// an incomplete reply costs nothing.
#ifndef MBUS_FUZZ_FAKE_NETWORK_H
#define MBUS_FUZZ_FAKE_NETWORK_H

#include <cstddef>
#include <cstdint>

#include "fuzz/reply_script.h"

// A device that speaks a stream protocol of its own in place of the script's request/reply
// exchanges (the TLS targets): it takes every byte the master sends on a stream socket and
// decides what the master reads. Byte counts and results as the socket layer's (net::kWouldBlock,
// net::kFailed with errno set; 0 from receive once the device closed).
class StreamPeer {
public:
    virtual ~StreamPeer() = default;
    // A new connection: 0 at once, 1 after a wait, 2 wait times out, 3 refused after the wait,
    // 4 refused at once (as ReplyScript::connectOutcome).
    virtual int connect() = 0;
    virtual long fromMaster(const std::uint8_t *data, std::size_t count) = 0;
    virtual long toMaster(std::uint8_t *buffer, std::size_t capacity) = 0;
    virtual bool readable() = 0;
    virtual bool writable() = 0;
    // The master closed its socket.
    virtual void closed() = 0;
};

class FakeNetwork {
public:
    // The socket functions have no context argument, hence one process-wide network; a fuzz
    // target runs one input at a time.
    static void attach(ReplyScript *script);
    // Stream sockets go to peer instead (script may be null then).
    static void attach(ReplyScript *script, StreamPeer *peer);
    // Checks that every socket of the run was closed, then forgets the script.
    static void detach();
    static int openSockets();
};

#endif
