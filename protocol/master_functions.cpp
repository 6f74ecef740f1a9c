// Settings, counters and per-slave options of every master, and the transaction routine that
// joins a transport's framing to its link.
#include "protocol/master_functions.h"

#include <cstring>

namespace mbus {

MbusMasterFunctions::MbusMasterFunctions() : pollTimer(0, clock.ticks, clock.sleep) {}

MbusMasterFunctions::~MbusMasterFunctions() = default;

int MbusMasterFunctions::getMaxSlaveAddress()
{
    return 255;
}

int MbusMasterFunctions::setTimeout(int timeOutMs)
{
    if (timeOutMs < 1 || timeOutMs > kMaxTimeoutMs)
        return MBUS_ILLEGAL_ARGUMENT;
    if (isOpen())
        return MBUS_ILLEGAL_STATE;
    timeOut = timeOutMs;
    return MBUS_SUCCESS;
}

int MbusMasterFunctions::setPollDelay(int pollDelayMs)
{
    // Compared as unsigned: a negative delay is a huge one and out of range.
    if (static_cast<unsigned>(pollDelayMs) > static_cast<unsigned>(kMaxPollDelayMs))
        return MBUS_ILLEGAL_ARGUMENT;
    if (isOpen())
        return MBUS_ILLEGAL_STATE;
    pollDelay = pollDelayMs;
    return MBUS_SUCCESS;
}

int MbusMasterFunctions::setRetryCnt(int retries)
{
    if (static_cast<unsigned>(retries) > static_cast<unsigned>(kMaxRetryCnt))
        return MBUS_ILLEGAL_ARGUMENT;
    if (isOpen())
        return MBUS_ILLEGAL_STATE;
    retryCnt = retries;
    return MBUS_SUCCESS;
}

void MbusMasterFunctions::setClock(const Clock &newClock)
{
    clock = newClock;
    pollTimer = PollTimer(0, clock.ticks, clock.sleep);
}

void MbusMasterFunctions::setFrameTrace(MbusFrameTrace trace, void *user)
{
    frameTrace = trace;
    frameTraceUser = user;
}

void MbusMasterFunctions::traceFrame(int direction, const unsigned char *bytes, int count)
{
    if (frameTrace != nullptr && count > 0)
        frameTrace(frameTraceUser, direction, bytes, count, clock.ticks());
}

void MbusMasterFunctions::useTransport(FrameCodec *frameCodec, Link *frameLink)
{
    codec = frameCodec;
    link = frameLink;
}

int MbusMasterFunctions::afterFailedAttempt(int result, bool)
{
    return result;
}

bool MbusMasterFunctions::readsReplyTo(int, int) const
{
    return true;
}

int MbusMasterFunctions::transact(int slaveAddr, int functionCode, const unsigned char *requestData, int requestLen,
                                  unsigned char *replyData, int replyLen, int *receivedLen)
{
    int retriesLeft = retryCnt;
    if (!isOpen())
        return MBUS_ILLEGAL_STATE;
    int result = beforeTransaction();
    if (result != MBUS_SUCCESS)
        return result;
    for (;;) {
        result = transactOnce(slaveAddr, functionCode, requestData, requestLen, replyData, replyLen, receivedLen);
        if (result == MBUS_SUCCESS)
            return result;
        result = afterFailedAttempt(result, retriesLeft > 0);
        if (result != kRetry)
            return result;
        --retriesLeft;
    }
}

int MbusMasterFunctions::transactOnce(int slaveAddr, int functionCode, const unsigned char *requestData, int requestLen,
                                      unsigned char *replyData, int replyLen, int *receivedLen)
{
    if (receivedLen != nullptr)
        *receivedLen = 0;
    if (codec == nullptr || link == nullptr)
        return MBUS_ILLEGAL_STATE;
    // Lengths beyond the frame buffer are refused, not written past its end.
    if (requestLen < 0 || (requestLen > 0 && requestData == nullptr) || (replyLen > 0 && replyData == nullptr) ||
        codec->checkLengths(slaveAddr, requestLen, replyLen) != MBUS_SUCCESS)
        return MBUS_ILLEGAL_ARGUMENT;
    if (!isOpen())
        return MBUS_ILLEGAL_STATE;

    ++totalCounter;
    // Stale bytes of an earlier exchange must not be taken for the reply.
    int result = link->discardInput();
    if (result != MBUS_SUCCESS)
        return result;
    const int frameLen = codec->buildRequest(slaveAddr, functionCode, requestData, requestLen);
    waitOutPollDelay();
    if (frameTrace != nullptr)
        traceFrame(MBUS_TRACE_SENT, codec->frame(), frameLen);
    result = link->send(codec->frame(), frameLen, timeOut);
    if (result != MBUS_SUCCESS)
        return result;
    if (!readsReplyTo(slaveAddr, replyLen)) {
        ++successCounter;
        return MBUS_SUCCESS;
    }
    return receiveReply(slaveAddr, functionCode, replyData, replyLen, receivedLen);
}

int MbusMasterFunctions::receiveReply(int slaveAddr, int functionCode, unsigned char *replyData, int replyLen,
                                      int *receivedLen)
{
    // The codec says how much to read from what has arrived; each read may use the whole time-out.
    unsigned char *frame = codec->frame();
    int arrived = 0;
    int wanted = codec->firstReadSize();
    while (wanted > 0) {
        int got = 0;
        int result = link->receive(frame + arrived, wanted, timeOut, &got);
        if (got > 0)
            arrived += got;
        if (result == MBUS_SUCCESS)
            result = codec->moreToRead(arrived, replyLen, &wanted);
        if (result != MBUS_SUCCESS) {
            if (frameTrace != nullptr)
                traceFrame(MBUS_TRACE_RECEIVED, frame, arrived);
            return result;
        }
    }
    // Traced before the check: an ASCII reply is decoded in place.
    if (frameTrace != nullptr)
        traceFrame(MBUS_TRACE_RECEIVED, frame, arrived);
    const unsigned char *data = nullptr;
    int dataLen = 0;
    int result = codec->checkReply(arrived, slaveAddr, functionCode, &data, &dataLen);
    if (result != MBUS_SUCCESS)
        return result;
    return deliverReply(data, dataLen, replyData, replyLen, receivedLen);
}

int MbusMasterFunctions::deliverReply(const unsigned char data[], int available, unsigned char *replyData, int replyLen,
                                      int *receivedLen)
{
    int count = replyLen < available ? replyLen : available;
    if (count > 0)
        std::memmove(replyData, data, static_cast<std::size_t>(count));
    else
        count = 0;
    if (receivedLen != nullptr)
        *receivedLen = count;
    ++successCounter;
    return MBUS_SUCCESS;
}

void MbusMasterFunctions::waitOutPollDelay()
{
    if (pollDelay > 0)
        pollTimer.waitUntilExpired();
    pollTimer.restart(static_cast<std::uint32_t>(pollDelay));
}

long MbusMasterFunctions::wireAddress(int slaveAddr, int reference) const
{
    // 64-bit arithmetic: long is 32 bits on Windows, where reference - 1 could overflow.
    const long long address = (optionsOf(slaveAddr) & kZeroBasedRefs) ? static_cast<long long>(reference)
                                                                      : static_cast<long long>(reference) - 1;
    return (address < 0 || address > 0xFFFF) ? -1 : static_cast<long>(address);
}

int MbusMasterFunctions::setOptionBits(int slaveAddr, unsigned char setMask, unsigned char clearMask)
{
    if (!isValidSlave(slaveAddr))
        return MBUS_ILLEGAL_ARGUMENT;
    unsigned char &options = slaveOptionTable[slaveAddr];
    options = static_cast<unsigned char>((options & ~clearMask) | setMask);
    return MBUS_SUCCESS;
}

// The all-slaves form reaches addresses 0..255 only, also on masters with a larger table.
void MbusMasterFunctions::setOptionBitsForAll(unsigned char setMask, unsigned char clearMask)
{
    int last = getMaxSlaveAddress() < 255 ? getMaxSlaveAddress() : 255;
    for (int slave = 0; slave <= last; ++slave)
        setOptionBits(slave, setMask, clearMask);
}

namespace {
constexpr unsigned char kNone = 0;
constexpr unsigned char kPairBits = MbusMasterFunctions::k32BitRegisterMode | MbusMasterFunctions::kBigEndianFloats |
                                    MbusMasterFunctions::kBigEndianInts;
} // namespace

int MbusMasterFunctions::configureOneBasedAddressing(int slaveAddr)
{
    return setOptionBits(slaveAddr, kNone, kZeroBasedRefs);
}
void MbusMasterFunctions::configureOneBasedAddressing()
{
    setOptionBitsForAll(kNone, kZeroBasedRefs);
}
int MbusMasterFunctions::configureZeroBasedAddressing(int slaveAddr)
{
    return setOptionBits(slaveAddr, kZeroBasedRefs, kNone);
}
void MbusMasterFunctions::configureZeroBasedAddressing()
{
    setOptionBitsForAll(kZeroBasedRefs, kNone);
}
int MbusMasterFunctions::configureLittleEndianInts(int slaveAddr)
{
    return setOptionBits(slaveAddr, kNone, kBigEndianInts);
}
void MbusMasterFunctions::configureLittleEndianInts()
{
    setOptionBitsForAll(kNone, kBigEndianInts);
}
int MbusMasterFunctions::configureBigEndianInts(int slaveAddr)
{
    return setOptionBits(slaveAddr, kBigEndianInts, kNone);
}
void MbusMasterFunctions::configureBigEndianInts()
{
    setOptionBitsForAll(kBigEndianInts, kNone);
}
int MbusMasterFunctions::configureLittleEndianFloats(int slaveAddr)
{
    return setOptionBits(slaveAddr, kNone, kBigEndianFloats);
}
void MbusMasterFunctions::configureLittleEndianFloats()
{
    setOptionBitsForAll(kNone, kBigEndianFloats);
}
int MbusMasterFunctions::configureBigEndianFloats(int slaveAddr)
{
    return setOptionBits(slaveAddr, kBigEndianFloats, kNone);
}
void MbusMasterFunctions::configureBigEndianFloats()
{
    setOptionBitsForAll(kBigEndianFloats, kNone);
}
int MbusMasterFunctions::configure32BitRegisterMode(int slaveAddr)
{
    return setOptionBits(slaveAddr, kPairBits, kNone);
}
void MbusMasterFunctions::configure32BitRegisterMode()
{
    setOptionBitsForAll(kPairBits, kNone);
}
int MbusMasterFunctions::configureStandardRegisterMode(int slaveAddr)
{
    return setOptionBits(slaveAddr, kNone, kPairBits);
}
void MbusMasterFunctions::configureStandardRegisterMode()
{
    setOptionBitsForAll(kNone, kPairBits);
}
int MbusMasterFunctions::configureSwappedBytes(int slaveAddr)
{
    return setOptionBits(slaveAddr, kSwappedBytes, kNone);
}
void MbusMasterFunctions::configureSwappedBytes()
{
    setOptionBitsForAll(kSwappedBytes, kNone);
}
int MbusMasterFunctions::configureStandardBytes(int slaveAddr)
{
    return setOptionBits(slaveAddr, kNone, kSwappedBytes);
}
void MbusMasterFunctions::configureStandardBytes()
{
    setOptionBitsForAll(kNone, kSwappedBytes);
}

} // namespace mbus
