#include "fuzz/operation_driver.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "fuzz/fuzz_check.h"
#include "ip/tcp_master_protocol.h"
#include "mbus.h"
#include "serial/elam_master_protocol.h"
#include "serial/serial_client_base.h"

using namespace mbus;

namespace {

bool knownResult(int result)
{
    switch (result) {
    case MBUS_SUCCESS:
    case MBUS_ILLEGAL_ARGUMENT:
    case MBUS_ILLEGAL_STATE:
    case MBUS_IO_ERROR:
    case MBUS_OPEN_ERROR:
    case MBUS_TCP_CONNECTION_ERROR:
    case MBUS_CONNECTION_CLOSED:
    case MBUS_LINE_BUSY:
    case MBUS_CHECKSUM_ERROR:
    case MBUS_INVALID_FRAME_ERROR:
    case MBUS_INVALID_REPLY_ERROR:
    case MBUS_REPLY_TIMEOUT:
    case MBUS_SEND_TIMEOUT:
    case MBUS_INVALID_MBAP_ID:
        return true;
    // The TLS master's: a reconnect's handshake, or a refusal the device sends after it.
    case MBUS_TLS_HANDSHAKE_FAILED:
    case MBUS_TLS_HANDSHAKE_TIMEOUT:
    case MBUS_TLS_SERVER_NOT_TRUSTED:
    case MBUS_TLS_SERVER_NAME_MISMATCH:
    case MBUS_TLS_CLIENT_CERT_REFUSED:
    case MBUS_TLS_VERSION_REFUSED:
        return true;
    default:
        return result >= MBUS_EXCEPTION_RESPONSE && result <= MBUS_EXCEPTION_RESPONSE + 255;
    }
}

template <class T>
bool allZero(const std::vector<T> &values)
{
    for (const T &v : values) {
        if (v != T())
            return false;
    }
    return true;
}

unsigned be16(const std::vector<std::uint8_t> &bytes, std::size_t at)
{
    return (static_cast<unsigned>(bytes[at]) << 8) | bytes[at + 1];
}

MbusHandle handleOf(MbusMasterFunctions &master)
{
    return reinterpret_cast<MbusHandle>(&master);
}

constexpr int kOperations = 31;

} // namespace

void OperationDriver::configure()
{
    serial_ = dynamic_cast<MbusSerialClientBase *>(&master_) != nullptr;
    const std::uint8_t settings = input_.byte();
    fuzzRequire(master_.setRetryCnt(settings % 3) == MBUS_SUCCESS, "retry count 0..2 accepted while closed");
    // The fuzz build's clock is virtual: a poll delay costs no time.
    fuzzRequire(master_.setPollDelay((settings >> 2) & 3) == MBUS_SUCCESS, "poll delay accepted while closed");
    fuzzRequire(master_.setTimeout(1) == MBUS_SUCCESS, "time-out of 1 ms accepted while closed");
}

int OperationDriver::slaveArgument()
{
    // One below and two above the valid range stay reachable.
    int span = master_.getMaxSlaveAddress() + 3;
    return static_cast<int>(input_.u16() % static_cast<unsigned>(span)) - 1;
}

int OperationDriver::referenceArgument()
{
    int reference = input_.u16();
    std::uint8_t nudge = input_.byte();
    // Reaches 0 and 65536 besides the wire range.
    return reference + (nudge & 1) - ((nudge >> 1) & 1);
}

int OperationDriver::countArgument(int limit)
{
    return static_cast<int>(input_.u16() % static_cast<unsigned>(limit + 2));
}

void OperationDriver::applyOptions(int slave)
{
    std::uint8_t options = input_.byte();
    if (slave < 0 || slave > master_.getMaxSlaveAddress())
        return;
    if (options & 0x01)
        master_.configureZeroBasedAddressing(slave);
    if (options & 0x02)
        master_.configureBigEndianInts(slave);
    if (options & 0x04)
        master_.configureBigEndianFloats(slave);
    if (options & 0x08)
        master_.configure32BitRegisterMode(slave);
    if (options & 0x10)
        master_.configureSwappedBytes(slave);
}

bool OperationDriver::oracleApplies(int result, int slave) const
{
    // A serial broadcast reads nothing, so there is no reply to compare with.
    return result == MBUS_SUCCESS && !script_.lastWrappedPdu().empty() && !(serial_ && slave == 0);
}

void OperationDriver::checkResult(int result, int slave, int requestsBefore, int totalBefore, int successBefore,
                                  int attempts, bool replyMayNotFit)
{
    fuzzRequire(knownResult(result), "a result code of the library");
    const int requests = script_.requests() - requestsBefore;
    const int total = master_.getTotalCounter() - totalBefore;
    const int success = master_.getSuccessCounter() - successBefore;
    if (slave < 0 || slave > master_.getMaxSlaveAddress())
        fuzzRequire(result == MBUS_ILLEGAL_ARGUMENT, "an invalid slave address is refused");
    if (result == MBUS_ILLEGAL_ARGUMENT && !replyMayNotFit)
        fuzzRequire(requests == 0, "nothing is sent for invalid arguments");
    fuzzRequire(total <= attempts * (master_.getRetryCnt() + 1), "at most 1 + retryCnt attempts");
    fuzzRequire(requests <= total, "one request per counted attempt");
    fuzzRequire(success >= 0 && success <= attempts && success <= total, "successes among the attempts");
    if (result == MBUS_SUCCESS && requests > 0)
        fuzzRequire(success >= 1, "a successful transaction is counted");
}

int OperationDriver::runOne()
{
    const std::uint8_t choice = input_.byte();
    const int result = run(choice);
    // MBUS_FUZZ_TRACE=1 shows what each input did, for reading a crash or checking a seed.
    static const bool trace = std::getenv("MBUS_FUZZ_TRACE") != nullptr;
    if (trace)
        std::fprintf(stderr, "operation %d -> result %d (requests %d)\n", (choice & 0x7F) % kOperations, result,
                     script_.requests());
    return result;
}

int OperationDriver::run(std::uint8_t choice)
{
    const bool flat = (choice & 0x80) != 0;
    const int operation = (choice & 0x7F) % kOperations;
    switch (operation) {
    case 0:
        return readBits(false, flat);
    case 1:
        return readBits(true, flat);
    case 2:
        return readRegisters(false, flat);
    case 3:
        return readRegisters(true, flat);
    case 4:
        return readWriteRegisters();
    case 5:
    case 6:
    case 7:
    case 8:
    case 9:
    case 10:
        return readPairs(operation - 5);
    case 11:
    case 12:
    case 13:
    case 14:
    case 15:
    case 16:
    case 17:
    case 18:
        return writeCall(operation - 11);
    case 19:
        return readExceptionStatus();
    case 20:
        return returnQueryData();
    case 21:
        return sendAsciiCommand();
    case 22:
        return readDeviceIdentification();
    case 23:
        return reportServerId();
    case 24:
        return fileRecords();
    case 25:
        return readFifoQueue();
    case 26:
    case 27:
    case 28:
    case 29:
        return readLayouts(operation - 26);
    default:
        return customFunction();
    }
}

int OperationDriver::readBits(bool inputs, bool flat)
{
    const int slave = slaveArgument();
    applyOptions(slave);
    const int reference = referenceArgument();
    const int count = countArgument(2000);
    std::vector<int> bits(static_cast<std::size_t>(count));
    const int requests = script_.requests(), total = master_.getTotalCounter(), success = master_.getSuccessCounter();
    int result;
    if (flat)
        result = inputs ? mbusReadInputDiscretes(handleOf(master_), slave, reference, bits.data(), count)
                        : mbusReadCoils(handleOf(master_), slave, reference, bits.data(), count);
    else
        result = inputs ? master_.readInputDiscretes(slave, reference, bits.data(), count)
                        : master_.readCoils(slave, reference, bits.data(), count);
    checkResult(result, slave, requests, total, success, 1);
    if (result != MBUS_SUCCESS) {
        fuzzRequire(allZero(bits), "a failed bit read leaves zeros");
        return result;
    }
    for (int bit : bits)
        fuzzRequire(bit == 0 || bit == 1, "bits read as 0 or 1");
    if (oracleApplies(result, slave)) {
        const std::vector<std::uint8_t> &pdu = script_.lastWrappedPdu();
        fuzzRequire(pdu.size() >= 2 + static_cast<std::size_t>((count + 7) / 8), "accepted reply holds all bits");
        for (int i = 0; i < count; ++i)
            fuzzRequire(bits[static_cast<std::size_t>(i)] ==
                            ((pdu[2 + static_cast<std::size_t>(i / 8)] >> (i % 8)) & 1),
                        "bits as the device sent them");
    }
    return result;
}

int OperationDriver::readRegisters(bool inputs, bool flat)
{
    const int slave = slaveArgument();
    applyOptions(slave);
    extendedSlave_ = dynamic_cast<MbusElamMasterProtocol *>(&master_) != nullptr && slave >= 248;
    const int reference = referenceArgument();
    const int count = countArgument(extendedSlave_ ? 2500 : 125);
    std::vector<short> regs(static_cast<std::size_t>(count));
    const int requests = script_.requests(), total = master_.getTotalCounter(), success = master_.getSuccessCounter();
    int result;
    if (flat)
        result = inputs ? mbusReadInputRegisters(handleOf(master_), slave, reference, regs.data(), count)
                        : mbusReadMultipleRegisters(handleOf(master_), slave, reference, regs.data(), count);
    else
        result = inputs ? master_.readInputRegisters(slave, reference, regs.data(), count)
                        : master_.readMultipleRegisters(slave, reference, regs.data(), count);
    checkResult(result, slave, requests, total, success, 1);
    if (result != MBUS_SUCCESS) {
        fuzzRequire(allZero(regs), "a failed register read leaves zeros");
        return result;
    }
    if (oracleApplies(result, slave)) {
        const std::vector<std::uint8_t> &pdu = script_.lastWrappedPdu();
        const std::size_t first = extendedSlave_ ? 3 : 2; // behind the function code and byte count
        fuzzRequire(pdu.size() >= first + 2 * static_cast<std::size_t>(count), "accepted reply holds all registers");
        for (int i = 0; i < count; ++i)
            fuzzRequire(static_cast<unsigned short>(regs[static_cast<std::size_t>(i)]) ==
                            be16(pdu, first + 2 * static_cast<std::size_t>(i)),
                        "registers as the device sent them");
    }
    return result;
}

int OperationDriver::readWriteRegisters()
{
    const int slave = slaveArgument();
    applyOptions(slave);
    const int readRef = referenceArgument();
    const int readCount = countArgument(125);
    const int writeRef = referenceArgument();
    const int writeCount = countArgument(121);
    std::vector<short> readRegs(static_cast<std::size_t>(readCount));
    std::vector<short> writeRegs(static_cast<std::size_t>(writeCount));
    for (short &r : writeRegs)
        r = static_cast<short>(input_.u16());
    const int requests = script_.requests(), total = master_.getTotalCounter(), success = master_.getSuccessCounter();
    int result =
        master_.readWriteRegisters(slave, readRef, readRegs.data(), readCount, writeRef, writeRegs.data(), writeCount);
    checkResult(result, slave, requests, total, success, 1);
    if (result != MBUS_SUCCESS) {
        fuzzRequire(allZero(readRegs), "a failed read/write leaves zeros");
        return result;
    }
    if (oracleApplies(result, slave)) {
        const std::vector<std::uint8_t> &pdu = script_.lastWrappedPdu();
        fuzzRequire(pdu.size() >= 2 + 2 * static_cast<std::size_t>(readCount), "accepted reply holds all registers");
        for (int i = 0; i < readCount; ++i)
            fuzzRequire(static_cast<unsigned short>(readRegs[static_cast<std::size_t>(i)]) ==
                            be16(pdu, 2 + 2 * static_cast<std::size_t>(i)),
                        "registers as the device sent them");
    }
    return result;
}

// kind: 0/1 long ints (holding/input), 2/3 floats, 4/5 modulo-10000 values.
int OperationDriver::readPairs(int kind)
{
    const int slave = slaveArgument();
    const bool validSlave = slave >= 0 && slave <= master_.getMaxSlaveAddress();
    // Word order as configured before the options below change it.
    applyOptions(slave);
    extendedSlave_ = dynamic_cast<MbusElamMasterProtocol *>(&master_) != nullptr && slave >= 248;
    const int reference = referenceArgument();
    const int count = countArgument(62);
    std::vector<std::int32_t> values(static_cast<std::size_t>(count));
    const int requests = script_.requests(), total = master_.getTotalCounter(), success = master_.getSuccessCounter();
    const bool input = kind % 2 == 1;
    int *ints = reinterpret_cast<int *>(values.data());
    float *floats = reinterpret_cast<float *>(values.data());
    int result;
    switch (kind / 2) {
    case 0:
        result = input ? master_.readInputLongInts(slave, reference, ints, count)
                       : master_.readMultipleLongInts(slave, reference, ints, count);
        break;
    case 1:
        result = input ? master_.readInputFloats(slave, reference, floats, count)
                       : master_.readMultipleFloats(slave, reference, floats, count);
        break;
    default:
        result = input ? master_.readInputMod10000(slave, reference, ints, count)
                       : master_.readMultipleMod10000(slave, reference, ints, count);
        break;
    }
    checkResult(result, slave, requests, total, success, 1);
    if (result != MBUS_SUCCESS) {
        fuzzRequire(allZero(values), "a failed pair read leaves zeros");
        return result;
    }
    if (validSlave && oracleApplies(result, slave)) {
        const std::vector<std::uint8_t> &pdu = script_.lastWrappedPdu();
        const std::size_t first = extendedSlave_ ? 3 : 2;
        fuzzRequire(pdu.size() >= first + 4 * static_cast<std::size_t>(count), "accepted reply holds all pairs");
        for (int i = 0; i < count; ++i) {
            const std::size_t at = first + 4 * static_cast<std::size_t>(i);
            const unsigned r0 = be16(pdu, at), r1 = be16(pdu, at + 2);
            std::int32_t expected;
            if (kind / 2 == 2) {
                expected = 10000 * static_cast<short>(r0) + static_cast<short>(r1);
            } else {
                // The register holding the high word and the byte order inside the registers
                // depend on the slave's options, which the master does not let a caller read
                // back: accept any of the four orders.
                const unsigned s0 = ((r0 & 0xFF) << 8) | (r0 >> 8), s1 = ((r1 & 0xFF) << 8) | (r1 >> 8);
                std::uint32_t got;
                std::memcpy(&got, &values[static_cast<std::size_t>(i)], sizeof got);
                fuzzRequire(got == ((r1 << 16) | r0) || got == ((r0 << 16) | r1) || got == ((s1 << 16) | s0) ||
                                got == ((s0 << 16) | s1),
                            "pair values as the device sent them");
                continue;
            }
            fuzzRequire(values[static_cast<std::size_t>(i)] == expected, "modulo-10000 values as the device sent them");
        }
    }
    return result;
}

// which: 0 writeCoil, 1 forceMultipleCoils, 2 writeSingleRegister, 3 writeMultipleRegisters,
// 4 maskWriteRegister, 5 writeMultipleLongInts, 6 writeMultipleFloats, 7 writeMultipleMod10000.
int OperationDriver::writeCall(int which)
{
    const int slave = slaveArgument();
    applyOptions(slave);
    const int reference = referenceArgument();
    const int requests = script_.requests(), total = master_.getTotalCounter(), success = master_.getSuccessCounter();
    int result = MBUS_ILLEGAL_ARGUMENT;
    switch (which) {
    case 0:
        result = master_.writeCoil(slave, reference, static_cast<int>(input_.u32()));
        break;
    case 1: {
        const int count = countArgument(1968);
        std::vector<int> bits(static_cast<std::size_t>(count));
        for (int &b : bits)
            b = input_.byte() & 0x81;
        result = master_.forceMultipleCoils(slave, reference, bits.data(), count);
        break;
    }
    case 2:
        result = master_.writeSingleRegister(slave, reference, static_cast<short>(input_.u16()));
        break;
    case 3: {
        const int count = countArgument(123);
        std::vector<short> regs(static_cast<std::size_t>(count));
        for (short &r : regs)
            r = static_cast<short>(input_.u16());
        result = master_.writeMultipleRegisters(slave, reference, regs.data(), count);
        break;
    }
    case 4: {
        short andMask = static_cast<short>(input_.u16());
        short orMask = static_cast<short>(input_.u16());
        result = master_.maskWriteRegister(slave, reference, andMask, orMask);
        break;
    }
    default: {
        const int count = countArgument(61);
        std::vector<std::int32_t> values(static_cast<std::size_t>(count));
        for (std::int32_t &v : values)
            v = static_cast<std::int32_t>(input_.u32());
        if (which == 5)
            result = master_.writeMultipleLongInts(slave, reference, reinterpret_cast<int *>(values.data()), count);
        else if (which == 6)
            result = master_.writeMultipleFloats(slave, reference, reinterpret_cast<float *>(values.data()), count);
        else
            result = master_.writeMultipleMod10000(slave, reference, reinterpret_cast<int *>(values.data()), count);
        break;
    }
    }
    checkResult(result, slave, requests, total, success, 1);
    return result;
}

int OperationDriver::readExceptionStatus()
{
    const int slave = slaveArgument();
    constexpr unsigned char kUntouched = 0xA5;
    unsigned char status = kUntouched;
    const int requests = script_.requests(), total = master_.getTotalCounter(), success = master_.getSuccessCounter();
    int result = master_.readExceptionStatus(slave, &status);
    checkResult(result, slave, requests, total, success, 1);
    if (result != MBUS_SUCCESS)
        fuzzRequire(status == kUntouched, "a failed status read leaves the status byte alone");
    else if (oracleApplies(result, slave) && script_.lastWrappedPdu().size() >= 2)
        fuzzRequire(status == script_.lastWrappedPdu()[1], "the status byte as the device sent it");
    return result;
}

int OperationDriver::returnQueryData()
{
    const int slave = slaveArgument();
    const int count = countArgument(250);
    std::vector<unsigned char> query(static_cast<std::size_t>(count));
    std::vector<unsigned char> echo(static_cast<std::size_t>(count));
    input_.take(query.data(), query.size());
    const int requests = script_.requests(), total = master_.getTotalCounter(), success = master_.getSuccessCounter();
    int result = master_.returnQueryData(slave, query.data(), echo.data(), count);
    checkResult(result, slave, requests, total, success, 1);
    if (result == MBUS_SUCCESS)
        fuzzRequire(echo == query, "an accepted echo equals the query");
    else if (result != MBUS_INVALID_REPLY_ERROR)
        fuzzRequire(allZero(echo), "a failed echo leaves zeros");
    return result;
}

int OperationDriver::customFunction()
{
    const int slave = slaveArgument();
    const int function = input_.byte();
    std::size_t requestLength = input_.byte();
    std::size_t expected = input_.byte();
    std::vector<unsigned char> request(requestLength);
    input_.take(request.data(), request.size());
    // Exactly the announced size, so that a write past it is caught.
    std::vector<unsigned char> reply(expected > 252 ? 252 : expected);
    std::size_t replyLength = expected;
    const int requests = script_.requests(), total = master_.getTotalCounter(), success = master_.getSuccessCounter();
    int result = master_.customFunction(slave, function, request.data(), requestLength, reply.data(), &replyLength);
    checkResult(result, slave, requests, total, success, 1);
    if (result == MBUS_ILLEGAL_ARGUMENT) {
        fuzzRequire(replyLength == expected, "a refused call leaves the reply length alone");
        return result;
    }
    fuzzRequire(replyLength <= expected, "no more reply bytes than expected");
    if (result != MBUS_SUCCESS) {
        fuzzRequire(replyLength == 0 && allZero(reply), "a failed call stores nothing");
    } else if (oracleApplies(result, slave)) {
        const std::vector<std::uint8_t> &pdu = script_.lastWrappedPdu();
        fuzzRequire(pdu.size() >= 1 + replyLength, "stored reply bytes came from the reply");
        fuzzRequire(replyLength == 0 || std::memcmp(reply.data(), pdu.data() + 1, replyLength) == 0,
                    "reply bytes as the device sent them");
    }
    return result;
}

int OperationDriver::sendAsciiCommand()
{
    auto *tcp = dynamic_cast<MbusTcpMasterProtocol *>(&master_);
    if (tcp == nullptr)
        return customFunction();
    std::size_t length = input_.byte() + (input_.byte() & 0x03);
    std::vector<char> command(length + 1, '\0');
    for (std::size_t i = 0; i < length; ++i)
        command[i] = static_cast<char>(input_.byte('A') | 0x01); // never a NUL inside
    std::vector<char> response(MbusTcpMasterProtocol::kAsciiResponseSize, 'x');
    const int requests = script_.requests(), total = master_.getTotalCounter(), success = master_.getSuccessCounter();
    int result = tcp->sendAsciiCommand(command.data(), response.data());
    // Two transactions without the retry loop.
    fuzzRequire(knownResult(result), "a result code of the library");
    fuzzRequire(master_.getTotalCounter() - total <= 2, "at most two attempts");
    fuzzRequire(script_.requests() - requests <= 2, "at most two requests");
    fuzzRequire(master_.getSuccessCounter() - success <= 2, "at most two successes");
    if (result == MBUS_SUCCESS)
        fuzzRequire(std::memchr(response.data(), '\0', response.size()) != nullptr, "the answer is NUL-terminated");
    return result;
}

namespace {
template <class T>
bool allZeroIn(const std::vector<T> &values)
{
    for (const T &value : values)
        if (value != T{})
            return false;
    return true;
}
} // namespace

int OperationDriver::readDeviceIdentification()
{
    const int slave = slaveArgument();
    const int code = input_.byte() % 6; // 0 and 5 are out of range
    const int objectId = input_.byte();
    const int objectCap = input_.byte() % 40;
    const int dataCap = input_.u16() % 700;
    std::vector<MbusDeviceIdObject> objects(static_cast<std::size_t>(objectCap));
    std::vector<unsigned char> data(static_cast<std::size_t>(dataCap));
    int count = -1;
    int conformity = -1;
    const int requests = script_.requests(), total = master_.getTotalCounter(), success = master_.getSuccessCounter();
    const int result = mbusReadDeviceIdentification(handleOf(master_), slave, code, objectId, objects.data(), objectCap,
                                                    &count, data.data(), dataCap, &conformity);
    // A chain takes at most 256 transactions.
    checkResult(result, slave, requests, total, success, 256, true);
    if (result != MBUS_SUCCESS) {
        fuzzRequire(count == 0 && allZeroIn(data), "a failed identification leaves no object and zeros");
        for (const MbusDeviceIdObject &object : objects)
            fuzzRequire(object.id == 0 && object.offset == 0 && object.length == 0, "cleared object entries");
        return result;
    }
    fuzzRequire(count >= 0 && count <= objectCap, "objects within the caller's capacity");
    int previous = -1;
    for (int i = 0; i < count; ++i) {
        const MbusDeviceIdObject &object = objects[static_cast<std::size_t>(i)];
        fuzzRequire(object.id > previous && object.id <= 255, "object ids rise");
        fuzzRequire(object.offset >= 0 && object.length >= 0 && object.offset + object.length <= dataCap,
                    "object bytes inside the data buffer");
        previous = object.id;
    }
    return result;
}

int OperationDriver::reportServerId()
{
    const int slave = slaveArgument();
    const int idLen = input_.byte() % 6 - 2; // -2 is out of range
    const int idCap = input_.byte() % 8;
    const int restCap = input_.byte();
    std::vector<unsigned char> id(static_cast<std::size_t>(idCap));
    std::vector<unsigned char> rest(static_cast<std::size_t>(restCap));
    MbusServerIdReply reply{-1, -1, -1};
    const int requests = script_.requests(), total = master_.getTotalCounter(), success = master_.getSuccessCounter();
    const int result = master_.reportServerId(slave, idLen, id.data(), idCap, rest.data(), restCap, &reply);
    checkResult(result, slave, requests, total, success, 1, true);
    if (result != MBUS_SUCCESS) {
        fuzzRequire(allZeroIn(id) && allZeroIn(rest), "a failed server id read leaves zeros");
        return result;
    }
    fuzzRequire(reply.idLen >= 0 && reply.idLen <= idCap && reply.restLen >= 0 && reply.restLen <= restCap,
                "server id parts within their buffers");
    fuzzRequire(reply.runIndicator == 0 || reply.runIndicator == 0xFF, "run indicator off or on");
    return result;
}

int OperationDriver::fileRecords()
{
    const int slave = slaveArgument();
    const bool write = (input_.byte() & 1) != 0;
    MbusFileSubRequest subs[3];
    const int subCnt = input_.byte() % 4; // 0 is refused
    int records = 0;
    for (int i = 0; i < subCnt; ++i) {
        subs[i] = MbusFileSubRequest{input_.u16() % 4, input_.u16() % 10002, input_.byte() % 130};
        records += subs[i].recordLen;
    }
    const int regCap = input_.byte() % 130;
    std::vector<short> regs(static_cast<std::size_t>(regCap));
    input_.take(reinterpret_cast<std::uint8_t *>(regs.data()), regs.size() * sizeof(short));
    const int requests = script_.requests(), total = master_.getTotalCounter(), success = master_.getSuccessCounter();
    const int result = write ? mbusWriteFileRecords(handleOf(master_), slave, subs, subCnt, regs.data(), regCap)
                             : mbusReadFileRecords(handleOf(master_), slave, subs, subCnt, regs.data(), regCap);
    checkResult(result, slave, requests, total, success, 1);
    if (!write && result != MBUS_SUCCESS)
        fuzzRequire(allZeroIn(regs), "a failed file record read leaves zeros");
    if (result == MBUS_SUCCESS && requests < script_.requests())
        fuzzRequire(records <= regCap, "records within the caller's capacity");
    return result;
}

int OperationDriver::readFifoQueue()
{
    const int slave = slaveArgument();
    applyOptions(slave);
    const int reference = referenceArgument();
    const int valueCap = input_.byte() % 40;
    std::vector<short> values(static_cast<std::size_t>(valueCap));
    int count = -1;
    const int requests = script_.requests(), total = master_.getTotalCounter(), success = master_.getSuccessCounter();
    const int result = mbusReadFifoQueue(handleOf(master_), slave, reference, values.data(), valueCap, &count);
    checkResult(result, slave, requests, total, success, 1, true);
    if (result != MBUS_SUCCESS) {
        fuzzRequire(count == 0 && allZeroIn(values), "a failed FIFO read leaves zeros");
        return result;
    }
    fuzzRequire(count >= 0 && count <= 31 && count <= valueCap, "a FIFO of at most 31 values within capacity");
    return result;
}

int OperationDriver::readLayouts(int kind)
{
    const int slave = slaveArgument();
    applyOptions(slave);
    const int reference = referenceArgument();
    const int count = countArgument(kind == 3 ? 125 : 31);
    const int requests = script_.requests(), total = master_.getTotalCounter(), success = master_.getSuccessCounter();
    MbusHandle handle = handleOf(master_);
    int result;
    bool zeros;
    if (kind == 0) {
        std::vector<std::int64_t> values(static_cast<std::size_t>(count));
        result = mbusReadMultipleLongLongs(handle, slave, reference, values.data(), count);
        zeros = allZeroIn(values);
    } else if (kind == 1) {
        std::vector<double> values(static_cast<std::size_t>(count));
        result = mbusReadInputDoubles(handle, slave, reference, values.data(), count);
        zeros = allZeroIn(values);
    } else if (kind == 2) {
        std::vector<std::uint32_t> values(static_cast<std::size_t>(count));
        result = mbusReadMultipleUnsigned32(handle, slave, reference, values.data(), count);
        zeros = allZeroIn(values);
    } else {
        std::vector<char> text(static_cast<std::size_t>(2 * count + 1));
        result = mbusReadMultipleText(handle, slave, reference, text.data(), 2 * count + 1, count);
        zeros = allZeroIn(text);
        if (result == MBUS_SUCCESS)
            fuzzRequire(text.back() == '\0', "text ends with a NUL");
    }
    checkResult(result, slave, requests, total, success, 1);
    if (result != MBUS_SUCCESS)
        fuzzRequire(zeros, "a failed layout read leaves zeros");
    return result;
}
