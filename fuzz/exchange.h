// What the simulated device does with one request, as the fuzzer's bytes describe it.
#ifndef MBUS_FUZZ_EXCHANGE_H
#define MBUS_FUZZ_EXCHANGE_H

#include <cstdint>
#include <vector>

// How the request leaves the master.
enum class SendOutcome { Sent, Partial, TimedOut, Failed };
// How the reply bytes are turned into a frame before they are delivered.
enum class ShapeMode {
    Raw,       // as given
    FixWhole,  // identifiers, length or checksum made to fit the whole reply
    FixPrefix, // checksum made to fit the first frame that an exception reply would fill
    WrapPdu    // the bytes are a PDU (a first byte of 0 becomes the request's function code),
               // framed with the request's identifiers, address and a correct checksum
};
// What the peer does once the reply has been read.
enum class ReplyEnd { Silent, Closed, Reset, FailAtOnce };

struct Exchange {
    SendOutcome send = SendOutcome::Sent;
    ShapeMode mode = ShapeMode::Raw;
    ReplyEnd end = ReplyEnd::Silent;
    // Streams: most bytes one receive hands over (0: all). Serial: noise bytes on the line
    // before the request goes out.
    int chunk = 0;
    int noise = 0;
    std::vector<std::uint8_t> reply;
};

#endif
