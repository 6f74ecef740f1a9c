// Base of the masters on a serial line: owns the port, opens it with line settings, drives the
// RS-485 transmitter through RTS and runs the serial retry loop around one attempt of the
// framing class.
#ifndef MBUS_SERIAL_SERIAL_CLIENT_BASE_H
#define MBUS_SERIAL_SERIAL_CLIENT_BASE_H

#include <cstdint>

#include "protocol/master_functions.h"
#include "serial/serial_link.h"
#include "serial/serial_port.h"

namespace mbus {

class MbusSerialClientBase : public MbusMasterFunctions {
public:
    static constexpr int kMaxSerialSlave = 247;
    static constexpr int kMaxRtsDelayMs = 100000;

    int getMaxSlaveAddress() override;
    // Closes the port and releases it.
    ~MbusSerialClientBase() override;
    int isOpen() override;
    void closeConnection() override;

    // portName: the device; dataBits 7 or 8, stopBits 1 or 2, parity 0 none / 1 odd / 2 even.
    virtual int openSerialPort(const char *portName, int baudRate, int dataBits, int stopBits, int parity);
    // rtsDelayMs 0..100000: how long RTS stays up after the frame has left; 0 switches RS-485
    // transmitter control off. Takes effect at the next open.
    virtual int enableRs485Mode(int rtsDelayMs);

    // The port name in wide characters, converted in the current locale.
    int openSerialPort(const wchar_t *portName, int baudRate, int dataBits, int stopBits, int parity);
    // Adopts an operating-system serial handle the caller has opened (a file descriptor on
    // POSIX); the master then owns it. Line settings and RTS are left as they are.
    int attachSerialHandle(std::intptr_t osHandle);
    // False only when the port driver could not be created (memory exhausted).
    bool hasPortDriver() const { return serialPort != nullptr; }

protected:
    MbusSerialClientBase();
    // Uses port instead of the platform driver and owns it (another transport, or a test).
    explicit MbusSerialClientBase(MbusSerialPort *port);

    // A checksum error, an invalid frame or a reply time-out is tried again, at most retryCnt
    // times; nothing happens between the attempts.
    int afterFailedAttempt(int result, bool retriesLeft) override;
    // A broadcast or a request without reply data: nothing is read.
    bool readsReplyTo(int slaveAddr, int replyLen) const override;

    MbusSerialPort *serialPort;
    SerialLink serialLink;
    int rs485Mode = 0;
    unsigned rtsDelay = 0;
};

} // namespace mbus

#endif
