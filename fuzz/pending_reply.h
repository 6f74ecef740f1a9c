// The reply bytes a simulated peer has sent and the master has not read yet, with what the peer
// does once they are gone.
#ifndef MBUS_FUZZ_PENDING_REPLY_H
#define MBUS_FUZZ_PENDING_REPLY_H

#include <cstddef>
#include <cstdint>
#include <deque>
#include <vector>

#include "fuzz/exchange.h"

class PendingReply {
public:
    // Results of a read besides a byte count.
    static constexpr long kNothing = -2;
    static constexpr long kFailure = -1;

    // Queues the reply of an exchange behind what is still unread: as stream pieces of the
    // exchange's chunk size, or as datagrams of that size (one datagram when 0).
    void load(const Exchange &exchange);
    void clear();

    // Data, or an end of the reply that a read reports.
    bool readable() const;
    std::size_t available() const;
    // A stream receive: bytes (at most one piece), 0 once the peer closed, kFailure after a reset
    // or at once for FailAtOnce, kNothing while silent.
    long readStream(std::uint8_t *buffer, std::size_t capacity);
    // One datagram; its full size even when it exceeds capacity (the caller refuses those).
    long readDatagram(std::uint8_t *buffer, std::size_t capacity);
    // Whether the peer's side is gone (closed or reset) after the last delivered byte.
    bool ended() const { return pieces_.empty() && (end_ == ReplyEnd::Closed || end_ == ReplyEnd::Reset); }
    ReplyEnd end() const { return end_; }

private:
    std::deque<std::vector<std::uint8_t>> pieces_;
    ReplyEnd end_ = ReplyEnd::Silent;
};

#endif
