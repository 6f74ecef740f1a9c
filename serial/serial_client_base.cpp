#include "serial/serial_client_base.h"

#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

namespace {
// Purges of the line-silence test before the line counts as busy.
constexpr int kMaxSilencePurges = 100;
} // namespace

MbusSerialClientBase::MbusSerialClientBase() : serialPort(newPlatformSerialPort()) {}

MbusSerialClientBase::MbusSerialClientBase(MbusSerialPort *port) : serialPort(port) {}

MbusSerialClientBase::~MbusSerialClientBase()
{
    if (serialPort != nullptr)
        serialPort->closePort();
    delete serialPort;
}

int MbusSerialClientBase::getMaxSlaveAddress()
{
    return kMaxSerialSlave;
}

int MbusSerialClientBase::isOpen()
{
    return serialPort != nullptr && serialPort->isPortOpen() ? 1 : 0;
}

void MbusSerialClientBase::closeConnection()
{
    if (serialPort != nullptr)
        serialPort->closePort();
}

int MbusSerialClientBase::openSerialPort(const char *portName, int baudRate, int dataBits, int stopBits, int parity)
{
    if (isOpen())
        return MBUS_ILLEGAL_STATE;
    // A rate of 0 or less has no line timing at all; refused before the device is touched.
    if ((dataBits != 7 && dataBits != 8) || baudRate <= 0)
        return MBUS_ILLEGAL_ARGUMENT;
    if (serialPort == nullptr)
        return MBUS_OPEN_ERROR;
    int status = serialPort->openPort(portName);
    if (status == SERIAL_NO_PERMISSION)
        return MBUS_PORT_NO_ACCESS;
    if (status == SERIAL_PORT_BUSY)
        return MBUS_PORT_ALREADY_OPEN;
    if (status != 0)
        return MBUS_OPEN_ERROR;
    // A refused setting leaves the port open; the caller closes it.
    if (serialPort->configure(baudRate, dataBits, stopBits, parity, MbusSerialPort::kHandshakeNone) != 0)
        return MBUS_ILLEGAL_ARGUMENT;
    // RS-485: transmitter off until a request goes out. Otherwise RTS stays up while open.
    // Devices without modem lines refuse either; that is harmless.
    if (rs485Mode == 1)
        serialPort->clearRts();
    else
        serialPort->setRts();
    return MBUS_SUCCESS;
}

int MbusSerialClientBase::openSerialPort(const wchar_t *portName, int baudRate, int dataBits, int stopBits,
                                         int parity)
{
    // A name that cannot be converted reaches the port as an empty one, which it refuses.
    std::unique_ptr<char[]> narrow;
    if (portName != nullptr) {
        std::size_t length = std::wcstombs(nullptr, portName, 0);
        if (length != static_cast<std::size_t>(-1)) {
            narrow.reset(new (std::nothrow) char[length + 1]);
            if (narrow && std::wcstombs(narrow.get(), portName, length + 1) == static_cast<std::size_t>(-1))
                narrow.reset();
        }
    }
    return openSerialPort(narrow ? narrow.get() : "", baudRate, dataBits, stopBits, parity);
}

int MbusSerialClientBase::attachSerialHandle(std::intptr_t osHandle)
{
    if (isOpen())
        return MBUS_ILLEGAL_STATE;
    if (serialPort == nullptr || serialPort->attachHandle(osHandle) != 0)
        return MBUS_OPEN_ERROR;
    return MBUS_SUCCESS;
}

int MbusSerialClientBase::enableRs485Mode(int rtsDelayMs)
{
    if (static_cast<unsigned>(rtsDelayMs) > static_cast<unsigned>(kMaxRtsDelayMs))
        return MBUS_ILLEGAL_ARGUMENT;
    if (isOpen())
        return MBUS_ILLEGAL_STATE;
    rtsDelay = static_cast<unsigned>(rtsDelayMs);
    rs485Mode = rtsDelayMs != 0 ? 1 : 0;
    return MBUS_SUCCESS;
}

int MbusSerialClientBase::transact(int slaveAddr, int functionCode, const unsigned char *requestData,
                                   int requestLen, unsigned char *replyData, int replyLen, int *receivedLen)
{
    int retriesLeft = retryCnt;
    if (!isOpen())
        return MBUS_ILLEGAL_STATE;
    for (;;) {
        int result = transactOnce(slaveAddr, functionCode, requestData, requestLen, replyData, replyLen, receivedLen);
        bool retryable = result == MBUS_CHECKSUM_ERROR || result == MBUS_INVALID_FRAME_ERROR ||
                         result == MBUS_REPLY_TIMEOUT;
        if (!retryable || retriesLeft <= 0)
            return result;
        --retriesLeft;
    }
}

int MbusSerialClientBase::waitForSilence(int silenceIntervalMs)
{
    unsigned char scratch;
    for (int purges = 0;;) {
        // Any failure to read a byte, normally the time-out, means the line is quiet.
        if (serialPort->readBytes(&scratch, 1, silenceIntervalMs) != 0)
            return MBUS_SUCCESS;
        serialPort->purge();
        if (++purges > kMaxSilencePurges)
            return MBUS_LINE_BUSY;
    }
}

int MbusSerialClientBase::sendRequest(const unsigned char frame[], int frameLen, int silenceIntervalMs)
{
    // Stale bytes of an earlier exchange must not be taken for the reply.
    serialPort->purge();
    waitOutPollDelay();
    if (silenceIntervalMs > 0) {
        int result = waitForSilence(silenceIntervalMs);
        if (result != MBUS_SUCCESS)
            return result;
    }
    if (rs485Mode == 1)
        serialPort->setRts();
    int written = serialPort->writeBytes(frame, frameLen, timeOut);
    serialPort->drain();
    // The transmitter is released even after a failed write, before the failure is reported.
    if (rs485Mode == 1) {
        sleepMs(rtsDelay);
        serialPort->clearRts();
    }
    if (written == SERIAL_TIMEOUT)
        return MBUS_SEND_TIMEOUT;
    if (written != 0)
        return MBUS_IO_ERROR;
    return MBUS_SUCCESS;
}

int MbusSerialClientBase::receiveBytes(unsigned char buf[], int count)
{
    int status = serialPort->readBytes(buf, count, timeOut);
    if (status == SERIAL_TIMEOUT)
        return MBUS_REPLY_TIMEOUT;
    if (status != 0)
        return MBUS_IO_ERROR;
    return MBUS_SUCCESS;
}
