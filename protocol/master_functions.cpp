// Settings, counters and per-slave options of every master.
#include "protocol/master_functions.h"

#include <cstring>

MbusMasterFunctions::MbusMasterFunctions() : pollTimer(0) {}

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

int MbusMasterFunctions::deliverReply(const unsigned char data[], int available, unsigned char *replyData,
                                      int replyLen, int *receivedLen)
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

int MbusMasterFunctions::configureOneBasedAddressing(int slaveAddr) { return setOptionBits(slaveAddr, kNone, kZeroBasedRefs); }
void MbusMasterFunctions::configureOneBasedAddressing() { setOptionBitsForAll(kNone, kZeroBasedRefs); }
int MbusMasterFunctions::configureZeroBasedAddressing(int slaveAddr) { return setOptionBits(slaveAddr, kZeroBasedRefs, kNone); }
void MbusMasterFunctions::configureZeroBasedAddressing() { setOptionBitsForAll(kZeroBasedRefs, kNone); }
int MbusMasterFunctions::configureLittleEndianInts(int slaveAddr) { return setOptionBits(slaveAddr, kNone, kBigEndianInts); }
void MbusMasterFunctions::configureLittleEndianInts() { setOptionBitsForAll(kNone, kBigEndianInts); }
int MbusMasterFunctions::configureBigEndianInts(int slaveAddr) { return setOptionBits(slaveAddr, kBigEndianInts, kNone); }
void MbusMasterFunctions::configureBigEndianInts() { setOptionBitsForAll(kBigEndianInts, kNone); }
int MbusMasterFunctions::configureLittleEndianFloats(int slaveAddr) { return setOptionBits(slaveAddr, kNone, kBigEndianFloats); }
void MbusMasterFunctions::configureLittleEndianFloats() { setOptionBitsForAll(kNone, kBigEndianFloats); }
int MbusMasterFunctions::configureBigEndianFloats(int slaveAddr) { return setOptionBits(slaveAddr, kBigEndianFloats, kNone); }
void MbusMasterFunctions::configureBigEndianFloats() { setOptionBitsForAll(kBigEndianFloats, kNone); }
int MbusMasterFunctions::configure32BitRegisterMode(int slaveAddr) { return setOptionBits(slaveAddr, kPairBits, kNone); }
void MbusMasterFunctions::configure32BitRegisterMode() { setOptionBitsForAll(kPairBits, kNone); }
int MbusMasterFunctions::configureStandardRegisterMode(int slaveAddr) { return setOptionBits(slaveAddr, kNone, kPairBits); }
void MbusMasterFunctions::configureStandardRegisterMode() { setOptionBitsForAll(kNone, kPairBits); }
