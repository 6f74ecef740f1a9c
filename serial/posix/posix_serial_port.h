// The serial-port driver on a POSIX terminal device. The port name is the device path.
#ifndef MBUS_SERIAL_POSIX_POSIX_SERIAL_PORT_H
#define MBUS_SERIAL_POSIX_POSIX_SERIAL_PORT_H

#include <termios.h>

#include "serial/serial_port.h"

namespace mbus {

class MbusPosixSerialPort : public MbusSerialPort {
public:
    MbusPosixSerialPort() = default;
    ~MbusPosixSerialPort() override;

    int openPort(const char *name) override;
    int configure(int baudRate, int dataBits, int stopBits, int parity, int handshake) override;
    int readBytes(unsigned char buf[], int count, int timeoutMs) override;
    int writeBytes(const unsigned char buf[], int count, int timeoutMs) override;
    int drain() override;
    int purge() override;
    int setRts() override;
    int clearRts() override;
    void closePort() override;
    int attachHandle(std::intptr_t osHandle) override;
    bool isPortOpen() const override { return fd >= 0; }
    int getBaudRate() const override { return baudRate; }

private:
    int switchRts(unsigned long request);

    int baudRate = 9600;
    int handshake = kHandshakeNone;
    int fd = -1;
    // TIOCEXCL was set by openPort and is cleared again at close.
    bool exclusive = false;
    // savedState holds the settings found at open or attach, to be written back at close.
    bool haveSavedState = false;
    struct termios savedState {};
};

} // namespace mbus

#endif
