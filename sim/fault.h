// Fault knobs of the simulated devices: one entry changes how the device answers one request.
#pragma once

#include <cstdint>

namespace sim {

// What a device does wrong. Which kinds apply depends on the transport; a kind that does not
// apply to a transport is treated as None there.
enum class FaultKind {
    None,
    Delay,              // param ms before the reply leaves
    Drop,               // the request is carried out, the reply is lost (silence)
    WrongTransactionId, // MBAP: reply transaction id + (param ? param : 1)
    WrongProtocolId,    // MBAP: protocol id = (param ? param : 1)
    WrongUnitId,        // reply from another unit / slave address (param if non-zero and different)
    UnitIdZero,         // reply with unit / slave address 0
    WrongFunctionCode,  // reply function code = (param ? param : request code + 1), exception bit kept
    Exception,          // exception reply with code param; the request is not carried out
    LyingLength,        // MBAP: length field announces param bytes more than sent
    CutHalf,            // first half of the reply, then silence
    Trickle,            // the reply byte by byte, param ms between bytes
    ExtraBytes,         // param junk bytes behind the reply, in the same write
    LateReply,          // MBAP: reply carries the previous request's transaction id
    Close,              // close the connection instead of replying; request not carried out
    Reset,              // close with RST (SO_LINGER {1,0}); request not carried out
    // Frame faults of the serial framings (RTU, ASCII, extended RTU; also over TCP).
    BadChecksum,        // CRC or LRC of the reply is wrong
    LowerCaseHex,       // ASCII: reply hex digits in lower case (LRC itself correct)
    EchoRequest,        // the request is echoed before the reply
    StrayByte,          // one junk byte (param if non-zero) before the reply
    ShortReply,         // the reply lacks its last (param ? param : 1) bytes
    SplitReply,         // the reply in three pieces with param ms pauses between them
    Chatter,            // serial: continuous bytes on the line, one every (param ? param : 1) ms
                        // and one right after every purge of the master's side, for as long as
                        // this fault is persistent; requests are not answered
    NoiseOnPurge,       // serial: one byte right after each of the next (param ? param : 1)
                        // purges of the master's side, so that its line-silence test finds it;
                        // consumed by purges, not by a request (a request that finds it first
                        // at the head of the queue takes it as None)
    ShortDatagram,      // UDP: only the first (param ? param : 8) bytes of the reply datagram
    LongDatagram,       // UDP: reply datagram padded with junk to (param ? param : 300) bytes
    // Faults in the data of the reply itself (every transport).
    EndlessIdChain,     // device identification, stream access: every reply says that more
                        // follows and names its own first object as the next one
    OversizeObject,     // device identification: the first object's length byte announces
                        // more bytes than the frame holds (param if that is more than the
                        // object's length and at most 255, else 255)
    LyingFileRecord,    // read file record: the first sub-response length field is
                        // (param ? param : 2) more than the record data sent
    FifoOverflow,       // read FIFO queue: a count of (param ? param : 32) values, above the
                        // limit of 31, with that many values (the queue, then zeros)
};

struct Fault {
    FaultKind kind = FaultKind::None;
    int param = 0;
};

} // namespace sim
