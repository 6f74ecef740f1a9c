// The simulated device's side of a fuzz run: reads one exchange per request from the fuzzer's
// bytes, checks that the request the master built is well-formed, and shapes the reply for the
// framing in use. The socket layer and the serial port of the harness deliver the reply.
//
// Exchange layout in the input: a flag byte, a big-endian length, that many reply bytes.
//   flags bits 0-1  0 sent, 1 sent in part, 2 send times out, 3 send fails
//         bits 2-3  shape mode: raw, fix whole, fix prefix, wrap PDU
//         bits 4-5  after the reply: silence, peer closes, peer resets, fail at once
//         bits 6-7  streams: 0 whole, 1 byte by byte, 2 seven bytes at a time, 3 two halves;
//                   serial lines: noise before the request: none, 1, 100 or 101 bytes
#ifndef MBUS_FUZZ_REPLY_SCRIPT_H
#define MBUS_FUZZ_REPLY_SCRIPT_H

#include <cstddef>
#include <cstdint>
#include <vector>

#include "fuzz/exchange.h"
#include "fuzz/fuzz_input.h"

enum class Framing { Mbap, Rtu, Ascii, Elam };

class ReplyScript {
public:
    // Longest reply an exchange may carry: an extended-address read of 2500 registers.
    static constexpr std::size_t kMaxReply = 5100;

    ReplyScript(FuzzInput &input, Framing framing) : input_(input), framing_(framing) {}

    // Several masters share one script (the extension): their identifiers run independently.
    void checkIdentifierSequence(bool check) { checkSequence_ = check; }
    // Every reply a wrapped PDU that is sent whole: straight to the checks of the data.
    void wrapEveryReply(bool wrap) { wrapAll_ = wrap; }

    // Outcome of a connect: 0 at once, 1 after a wait, 2 wait times out, 3 refused after the
    // wait, 4 refused at once. Mostly 0.
    int connectOutcome();
    // The next exchange, before its request is known.
    Exchange next();
    // Checks the request frame, then turns exchange.reply into the frame the peer sends.
    void shape(Exchange &exchange, const std::uint8_t *request, std::size_t length);

    int requests() const { return requests_; }
    // The PDU (function code and data) of the last wrapped reply, empty when the last reply was
    // not wrapped: what a successful transaction must have delivered.
    const std::vector<std::uint8_t> &lastWrappedPdu() const { return lastPdu_; }
    // Older bytes wait ahead of the last reply (a drain ended early): what the master reads
    // first is not the last reply.
    void forgetWrappedPdu() { lastPdu_.clear(); }

private:
    void checkRequest(const std::uint8_t *request, std::size_t length);
    void shapeMbap(Exchange &exchange, const std::uint8_t *request);
    void shapeRtu(Exchange &exchange, const std::uint8_t *request, std::size_t addressBytes);
    void shapeAscii(Exchange &exchange, const std::uint8_t *request, std::size_t length);

    FuzzInput &input_;
    Framing framing_;
    bool checkSequence_ = true;
    bool wrapAll_ = false;
    bool haveTid_ = false;
    std::uint16_t lastTid_ = 0;
    int requests_ = 0;
    std::vector<std::uint8_t> lastPdu_;
};

#endif
