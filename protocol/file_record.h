// Read and write file record (function codes 20 and 21): requests of several sub-requests and
// the checks of their replies. Pure: no I/O, no allocation.
#ifndef MBUS_PROTOCOL_FILE_RECORD_H
#define MBUS_PROTOCOL_FILE_RECORD_H

#include <cstdint>

#include "mbus.h"

namespace mbus {

constexpr int kReadFileRecordFunction = 20;
constexpr int kWriteFileRecordFunction = 21;

// One sub-request: file 1..65535, records recordNo .. recordNo + recordLen - 1 within 0..9999.
using FileSubRequest = MbusFileSubRequest;

// Request data (after the function code). MBUS_ILLEGAL_ARGUMENT, with nothing written, for no
// sub-request, a sub-request out of range, a request or expected reply longer than a PDU
// allows, too small a request buffer, or (writes) regCnt not the sum of the record lengths.
int buildReadFileRecordRequest(const FileSubRequest subs[], int subCnt, unsigned char request[], int requestCap,
                               int *requestLen);
int buildWriteFileRecordRequest(const FileSubRequest subs[], int subCnt, const std::uint16_t regs[], int regCnt,
                                unsigned char request[], int requestCap, int *requestLen);

// Checks the reply data of a read against its sub-requests and copies the records into regs,
// whose first (sum of the record lengths) entries are zeroed first. MBUS_INVALID_REPLY_ERROR when a length field disagrees with the sub-request or
// with the bytes received, or a reference type is not 6; MBUS_ILLEGAL_ARGUMENT when regCap is
// below the sum of the record lengths (nothing written then).
int parseReadFileRecordReply(const unsigned char reply[], int replyLen, const FileSubRequest subs[], int subCnt,
                             std::uint16_t regs[], int regCap);
// A write's reply echoes the request: MBUS_SUCCESS or MBUS_INVALID_REPLY_ERROR.
int checkWriteFileRecordReply(const unsigned char reply[], int replyLen, const unsigned char request[],
                              int requestLen);

} // namespace mbus

#endif
