// Read FIFO queue (function code 24): request and the check of its reply. Pure: no I/O.
#ifndef MBUS_PROTOCOL_FIFO_QUEUE_H
#define MBUS_PROTOCOL_FIFO_QUEUE_H

#include <cstdint>

namespace mbus {

constexpr int kReadFifoFunction = 24;
constexpr int kFifoRequestLength = 2;
constexpr int kMaxFifoCount = 31;

// The request data (after the function code): the FIFO pointer address. MBUS_ILLEGAL_ARGUMENT
// for an address outside 0..65535.
int buildReadFifoRequest(long wireAddr, unsigned char request[kFifoRequestLength]);

// Checks the reply data and copies the queue into values, whose first valueCap entries are
// zeroed first. MBUS_INVALID_REPLY_ERROR when the byte count disagrees with the bytes received
// or with the FIFO count, or the count is above 31; MBUS_ILLEGAL_ARGUMENT when the count is
// above valueCap (nothing copied) or an argument is null or negative.
int parseReadFifoReply(const unsigned char reply[], int replyLen, std::uint16_t values[], int valueCap,
                       int *valueCnt);

} // namespace mbus

#endif
