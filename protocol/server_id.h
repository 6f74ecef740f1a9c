// Report server id (function code 17): the check and split of its reply. Pure: no I/O.
#ifndef MBUS_PROTOCOL_SERVER_ID_H
#define MBUS_PROTOCOL_SERVER_ID_H

#include "mbus.h"

namespace mbus {

constexpr int kReportServerIdFunction = 17;
// idLen for devices whose id fills everything before the run indicator, which is then the last
// byte and no additional data follow.
constexpr int kServerIdToRunIndicator = -1;

// Bytes of the server id, the run indicator (0x00 off, 0xFF on), bytes of additional data.
using ServerIdReply = MbusServerIdReply;

// Checks the reply data (after the function code) and copies the id into id[] and the data
// behind the run indicator into rest[]. The id is idLen bytes long, a device's own convention
// (often 1), or kServerIdToRunIndicator. Returns MBUS_SUCCESS; MBUS_ILLEGAL_ARGUMENT for an
// idLen below -1 or a negative capacity or a null buffer with a positive one, or when the id
// or the rest does not fit its buffer; MBUS_INVALID_REPLY_ERROR when the byte count differs
// from the bytes received, leaves no room for the id and the run indicator, or the run
// indicator is neither 0x00 nor 0xFF. Buffers are zeroed first; on failure nothing is copied.
int parseServerIdReply(const unsigned char reply[], int replyLen, int idLen, unsigned char id[], int idCap,
                       unsigned char rest[], int restCap, ServerIdReply *out);

} // namespace mbus

#endif
