#include "protocol/file_record.h"

#include <cstring>

#include "codec/wire_format.h"
#include "mbus.h"

namespace mbus {

namespace {

constexpr unsigned char kReferenceType = 6;
constexpr int kRecordsPerFile = 10000;
constexpr int kMaxData = 252;    // request or reply data after the function code
constexpr int kSubHeader = 7;    // reference type, file, record, length

bool isValid(const FileSubRequest &sub)
{
    return sub.fileNo >= 1 && sub.fileNo <= 0xFFFF && sub.recordNo >= 0 && sub.recordLen >= 1 &&
           sub.recordLen <= kRecordsPerFile && sub.recordNo <= kRecordsPerFile - sub.recordLen;
}

// Registers of all sub-requests, or -1 when one is invalid or the reply of a read would not fit.
int registerTotal(const FileSubRequest subs[], int subCnt, int *readReplyLen)
{
    if (subs == nullptr || subCnt < 1 || subCnt > kMaxData)
        return -1;
    int total = 0;
    int replyLen = 1;
    for (int i = 0; i < subCnt; ++i) {
        if (!isValid(subs[i]))
            return -1;
        total += subs[i].recordLen;
        replyLen += 2 + 2 * subs[i].recordLen; // at most 252 * 20002: no overflow
    }
    *readReplyLen = replyLen;
    return total;
}

unsigned char *putSubHeader(unsigned char *at, const FileSubRequest &sub)
{
    at[0] = kReferenceType;
    putU16(at + 1, static_cast<unsigned>(sub.fileNo));
    putU16(at + 3, static_cast<unsigned>(sub.recordNo));
    putU16(at + 5, static_cast<unsigned>(sub.recordLen));
    return at + kSubHeader;
}

} // namespace

int buildReadFileRecordRequest(const FileSubRequest subs[], int subCnt, unsigned char request[], int requestCap,
                               int *requestLen)
{
    int replyLen = 0;
    if (registerTotal(subs, subCnt, &replyLen) < 0 || replyLen > kMaxData || request == nullptr ||
        requestLen == nullptr)
        return MBUS_ILLEGAL_ARGUMENT;
    const int length = 1 + kSubHeader * subCnt;
    if (length > kMaxData || length > requestCap)
        return MBUS_ILLEGAL_ARGUMENT;
    request[0] = static_cast<unsigned char>(kSubHeader * subCnt);
    unsigned char *at = request + 1;
    for (int i = 0; i < subCnt; ++i)
        at = putSubHeader(at, subs[i]);
    *requestLen = length;
    return MBUS_SUCCESS;
}

int buildWriteFileRecordRequest(const FileSubRequest subs[], int subCnt, const std::uint16_t regs[], int regCnt,
                                unsigned char request[], int requestCap, int *requestLen)
{
    int replyLen = 0;
    const int total = registerTotal(subs, subCnt, &replyLen);
    if (total < 0 || total != regCnt || regs == nullptr || request == nullptr || requestLen == nullptr)
        return MBUS_ILLEGAL_ARGUMENT;
    const int length = 1 + kSubHeader * subCnt + 2 * total;
    if (length > kMaxData || length > requestCap)
        return MBUS_ILLEGAL_ARGUMENT;
    request[0] = static_cast<unsigned char>(length - 1);
    unsigned char *at = request + 1;
    const std::uint16_t *reg = regs;
    for (int i = 0; i < subCnt; ++i) {
        at = putSubHeader(at, subs[i]);
        for (int r = 0; r < subs[i].recordLen; ++r, at += 2)
            putU16(at, *reg++);
    }
    *requestLen = length;
    return MBUS_SUCCESS;
}

int parseReadFileRecordReply(const unsigned char reply[], int replyLen, const FileSubRequest subs[], int subCnt,
                             std::uint16_t regs[], int regCap)
{
    int expectedLen = 0;
    const int total = registerTotal(subs, subCnt, &expectedLen);
    if (total < 0 || regCap < total || regs == nullptr)
        return MBUS_ILLEGAL_ARGUMENT;
    std::memset(regs, 0, sizeof(std::uint16_t) * static_cast<unsigned>(total));
    if (reply == nullptr || replyLen != expectedLen || reply[0] != replyLen - 1)
        return MBUS_INVALID_REPLY_ERROR;
    const unsigned char *at = reply + 1;
    // The total length matched, so every sub-response header lies inside the reply.
    for (int i = 0; i < subCnt; ++i) {
        if (at[0] != 1 + 2 * subs[i].recordLen || at[1] != kReferenceType)
            return MBUS_INVALID_REPLY_ERROR;
        at += 2 + 2 * subs[i].recordLen;
    }
    at = reply + 1;
    std::uint16_t *reg = regs;
    for (int i = 0; i < subCnt; ++i) {
        at += 2;
        for (int r = 0; r < subs[i].recordLen; ++r, at += 2)
            *reg++ = static_cast<std::uint16_t>(getU16(at));
    }
    return MBUS_SUCCESS;
}

int checkWriteFileRecordReply(const unsigned char reply[], int replyLen, const unsigned char request[],
                              int requestLen)
{
    if (reply == nullptr || request == nullptr || replyLen != requestLen ||
        std::memcmp(reply, request, static_cast<unsigned>(requestLen)) != 0)
        return MBUS_INVALID_REPLY_ERROR;
    return MBUS_SUCCESS;
}

} // namespace mbus
