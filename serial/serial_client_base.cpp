#include "serial/serial_client_base.h"

#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

namespace mbus {

MbusSerialClientBase::MbusSerialClientBase() : MbusSerialClientBase(newPlatformSerialPort()) {}

MbusSerialClientBase::MbusSerialClientBase(MbusSerialPort *port) : serialPort(port), serialLink(port, getClock()) {}

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

int MbusSerialClientBase::openSerialPort(const wchar_t *portName, int baudRate, int dataBits, int stopBits, int parity)
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
    serialLink.setTransmitterControl(rs485Mode == 1, rtsDelay);
    return MBUS_SUCCESS;
}

int MbusSerialClientBase::afterFailedAttempt(int result, bool retriesLeft)
{
    bool retryable =
        result == MBUS_CHECKSUM_ERROR || result == MBUS_INVALID_FRAME_ERROR || result == MBUS_REPLY_TIMEOUT;
    return (retryable && retriesLeft) ? kRetry : result;
}

bool MbusSerialClientBase::readsReplyTo(int slaveAddr, int replyLen) const
{
    return slaveAddr != 0 && replyLen > 0;
}

} // namespace mbus
