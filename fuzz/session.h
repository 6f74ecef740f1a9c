// One fuzz run: a new master of the chosen kind, opened over the in-memory channel, runs a few
// data-access operations against the device that the input scripts, and is destroyed.
#ifndef MBUS_FUZZ_SESSION_H
#define MBUS_FUZZ_SESSION_H

#include <cstddef>
#include <cstdint>

enum class MasterKind { Tcp, Udp, RtuOverTcp, AsciiOverTcp, Rtu, Ascii, Elam };

// wrapEveryReply: every reply is a wrapped PDU (the data-access target).
void runSession(MasterKind kind, const std::uint8_t *data, std::size_t size, bool wrapEveryReply = false);

#endif
