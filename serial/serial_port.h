// The serial-port driver contract: blocking, time-limited operations on one serial device.
// Every operation returns 0 or one of the port status codes below; the serial masters map them
// to library result codes, so they never leave the serial transports. One implementation per
// platform lives in serial/<platform>/.
#ifndef MBUS_SERIAL_SERIAL_PORT_H
#define MBUS_SERIAL_SERIAL_PORT_H

#include <cstdint>

namespace mbus {

enum SerialPortStatus : int {
    SERIAL_CONFIG_ERROR = 0x1101,     // a line parameter is out of range, or the system refused it
    SERIAL_IO_ERROR = 0x1102,         // a system call on the port failed
    SERIAL_NO_SUCH_PORT = 0x1103,     // no such device, or an empty or unconvertible name
    SERIAL_PORT_BUSY = 0x1104,        // the device is in use, or attachHandle on an open port
    SERIAL_NOT_OPEN = 0x1105,         // the operation needs an open port
    SERIAL_TIMEOUT = 0x1106,          // fewer bytes than requested moved within the time limit
    SERIAL_HANDSHAKE_ACTIVE = 0x1108, // RTS cannot be switched (nor output drained) under a handshake
    SERIAL_NO_PERMISSION = 0x1109     // no permission to use the device
};

class MbusSerialPort {
public:
    // Handshake modes of configure.
    static constexpr int kHandshakeNone = 0;
    static constexpr int kHandshakeRtsCts = 1;
    static constexpr int kHandshakeRtsToggle = 2;

    MbusSerialPort() = default;
    MbusSerialPort(const MbusSerialPort &) = delete;
    MbusSerialPort &operator=(const MbusSerialPort &) = delete;
    // Closes the port.
    virtual ~MbusSerialPort() = default;

    // Opens the named device (closing an open one first) with 9600 baud, 8 data bits, no parity,
    // one stop bit and no handshake. The settings found are restored by closePort.
    virtual int openPort(const char *name) = 0;
    // dataBits 7 or 8, stopBits 1 or 2, parity 0 none / 1 odd / 2 even, handshake as above.
    // A rejected value leaves the line as it was.
    virtual int configure(int baudRate, int dataBits, int stopBits, int parity, int handshake) = 0;
    // Succeeds only if exactly count bytes arrived within timeoutMs in total; bytes that did
    // arrive stay in buf.
    virtual int readBytes(unsigned char buf[], int count, int timeoutMs) = 0;
    // Succeeds only if all count bytes were accepted within timeoutMs in total.
    virtual int writeBytes(const unsigned char buf[], int count, int timeoutMs) = 0;
    // Returns once all output has been transmitted.
    virtual int drain() = 0;
    // Discards pending input and output.
    virtual int purge() = 0;
    virtual int setRts() = 0;
    virtual int clearRts() = 0;
    // Restores the saved line settings and closes; nothing on a closed port.
    virtual void closePort() = 0;
    // Adopts an open operating-system handle, which the port then owns and closes. On failure
    // the handle stays with the caller.
    virtual int attachHandle(std::intptr_t osHandle) = 0;
    virtual bool isPortOpen() const = 0;
    // Baud rate last set (9600 after openPort).
    virtual int getBaudRate() const = 0;
};

// The port driver of this platform, closed; null when memory is exhausted.
MbusSerialPort *newPlatformSerialPort();

} // namespace mbus

#endif
