#include "serial/posix/posix_serial_port.h"

#include <cerrno>
#include <chrono>
#include <climits>
#include <new>

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

#if defined(__linux__)
#include <linux/serial.h>
#endif

namespace mbus {

namespace {

using SteadyClock = std::chrono::steady_clock;

// One total time limit for a whole read or write, however many system calls it takes.
class Deadline {
public:
    explicit Deadline(int timeoutMs)
        : end(SteadyClock::now() + std::chrono::milliseconds(timeoutMs > 0 ? timeoutMs : 0))
    {}

    // Milliseconds left, rounded up so that a wait never ends before the deadline; 0 once passed.
    int remainingMs() const
    {
        auto left = end - SteadyClock::now();
        if (left <= SteadyClock::duration::zero())
            return 0;
        auto ms = std::chrono::ceil<std::chrono::milliseconds>(left).count();
        return ms > INT_MAX ? INT_MAX : static_cast<int>(ms);
    }

private:
    SteadyClock::time_point end;
};

// Waits until fd is ready for events or the deadline passes. 1: ready (revents set),
// 0: deadline passed, -1: poll failed or the descriptor is not open.
int waitReady(int fd, short events, const Deadline &deadline, short *revents)
{
    for (;;) {
        int left = deadline.remainingMs();
        if (left == 0)
            return 0;
        struct pollfd entry {};
        entry.fd = fd;
        entry.events = events;
        int n = ::poll(&entry, 1, left);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return -1;
        }
        if (n == 0)
            continue; // the loop head decides whether the limit is really reached
        if ((entry.revents & POLLNVAL) != 0)
            return -1;
        *revents = entry.revents;
        return 1;
    }
}

bool wouldBlock(int err)
{
    return err == EAGAIN || err == EWOULDBLOCK;
}

bool speedOf(int baudRate, speed_t *speed)
{
    struct Entry {
        int rate;
        speed_t code;
    };
    static const Entry kSpeeds[] = {
        {50, B50},           {75, B75},     {110, B110},   {134, B134},     {150, B150},
        {200, B200},         {300, B300},   {600, B600},   {1200, B1200},   {1800, B1800},
        {2400, B2400},       {4800, B4800}, {9600, B9600}, {19200, B19200}, {38400, B38400},
#ifdef B57600
        {57600, B57600},
#endif
#ifdef B115200
        {115200, B115200},
#endif
#ifdef B230400
        {230400, B230400},
#endif
#ifdef B460800
        {460800, B460800},
#endif
#ifdef B500000
        {500000, B500000},
#endif
#ifdef B576000
        {576000, B576000},
#endif
#ifdef B921600
        {921600, B921600},
#endif
#ifdef B1000000
        {1000000, B1000000},
#endif
#ifdef B1152000
        {1152000, B1152000},
#endif
#ifdef B1500000
        {1500000, B1500000},
#endif
#ifdef B2000000
        {2000000, B2000000},
#endif
#ifdef B2500000
        {2500000, B2500000},
#endif
#ifdef B3000000
        {3000000, B3000000},
#endif
#ifdef B3500000
        {3500000, B3500000},
#endif
#ifdef B4000000
        {4000000, B4000000},
#endif
    };
    for (const Entry &entry : kSpeeds) {
        if (entry.rate == baudRate) {
            *speed = entry.code;
            return true;
        }
    }
    return false;
}

// Switches the kernel's RS-485 mode, in which the driver raises RTS around each transmission.
// Only Linux serial drivers offer it; elsewhere, and on devices without it, it fails.
bool setRtsToggle(int fd, bool on)
{
#if defined(__linux__) && defined(TIOCSRS485)
    struct serial_rs485 rs485 {};
    if (::ioctl(fd, TIOCGRS485, &rs485) != 0)
        return false;
    if (on) {
        rs485.flags |= SER_RS485_ENABLED | SER_RS485_RTS_ON_SEND;
        rs485.flags &= ~static_cast<unsigned>(SER_RS485_RTS_AFTER_SEND);
    } else {
        rs485.flags &= ~static_cast<unsigned>(SER_RS485_ENABLED);
    }
    return ::ioctl(fd, TIOCSRS485, &rs485) == 0;
#else
    (void)fd;
    (void)on;
    return false;
#endif
}

int openErrorStatus(int err)
{
    switch (err) {
    case ENOENT:
    case ENOTDIR:
    case ENXIO:
    case ENODEV:
        return SERIAL_NO_SUCH_PORT;
    case EACCES:
    case EPERM:
        return SERIAL_NO_PERMISSION;
    case EBUSY:
        return SERIAL_PORT_BUSY;
    default:
        return SERIAL_IO_ERROR;
    }
}

} // namespace

MbusSerialPort *newPlatformSerialPort()
{
    return new (std::nothrow) MbusPosixSerialPort();
}

MbusPosixSerialPort::~MbusPosixSerialPort()
{
    closePort();
}

int MbusPosixSerialPort::openPort(const char *name)
{
    closePort();
    if (name == nullptr || name[0] == '\0')
        return SERIAL_NO_SUCH_PORT;

    // O_NONBLOCK: an open must not wait for carrier, and reads and writes wait in poll() only.
    int newFd;
    do {
        newFd = ::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    } while (newFd < 0 && errno == EINTR);
    if (newFd < 0)
        return openErrorStatus(errno);

    // TIOCEXCL does not stop root from opening the device again, so the lock is what keeps
    // two masters off one line.
    if (::flock(newFd, LOCK_EX | LOCK_NB) != 0) {
        int err = errno;
        ::close(newFd);
        return wouldBlock(err) ? SERIAL_PORT_BUSY : SERIAL_IO_ERROR;
    }
    fd = newFd;
    // From here on a failure leaves the device open; closePort releases it.
    exclusive = ::ioctl(fd, TIOCEXCL) == 0;
    if (::tcgetattr(fd, &savedState) != 0)
        return SERIAL_IO_ERROR;
    haveSavedState = true;
    ::tcflush(fd, TCIOFLUSH);
    handshake = kHandshakeNone;
    return configure(9600, 8, 1, 0, kHandshakeNone);
}

int MbusPosixSerialPort::configure(int newBaudRate, int dataBits, int stopBits, int parity, int newHandshake)
{
    if (fd < 0)
        return SERIAL_NOT_OPEN;
    struct termios tio {};
    if (::tcgetattr(fd, &tio) != 0)
        return SERIAL_IO_ERROR;

    // Every value is checked before anything is written, so a refused call changes nothing.
    speed_t speed;
    if (!speedOf(newBaudRate, &speed))
        return SERIAL_CONFIG_ERROR;
    if (dataBits != 7 && dataBits != 8)
        return SERIAL_CONFIG_ERROR;
    if (stopBits != 1 && stopBits != 2)
        return SERIAL_CONFIG_ERROR;
    if (parity < 0 || parity > 2)
        return SERIAL_CONFIG_ERROR;
    if (newHandshake < kHandshakeNone || newHandshake > kHandshakeRtsToggle)
        return SERIAL_CONFIG_ERROR;
#ifndef CRTSCTS
    if (newHandshake == kHandshakeRtsCts)
        return SERIAL_CONFIG_ERROR;
#endif

    // Raw binary line: no echo, no line editing, no signals, no character translation,
    // no software flow control. Reads return as soon as one byte is there.
    tio.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF |
                                          IXANY | INPCK | IGNPAR);
    tio.c_oflag &= ~static_cast<tcflag_t>(OPOST);
    tio.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL | ECHOE | ECHOK | ICANON | ISIG | IEXTEN);
    tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | CSTOPB | PARENB | PARODD);
#ifdef CRTSCTS
    tio.c_cflag &= ~static_cast<tcflag_t>(CRTSCTS);
#endif
    tio.c_cflag |= CREAD | CLOCAL | (dataBits == 7 ? CS7 : CS8);
    if (stopBits == 2)
        tio.c_cflag |= CSTOPB;
    if (parity != 0) {
        tio.c_cflag |= PARENB;
        tio.c_iflag |= INPCK;
        if (parity == 1)
            tio.c_cflag |= PARODD;
    }
#ifdef CRTSCTS
    if (newHandshake == kHandshakeRtsCts)
        tio.c_cflag |= CRTSCTS;
#endif
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
    if (::cfsetispeed(&tio, speed) != 0 || ::cfsetospeed(&tio, speed) != 0)
        return SERIAL_CONFIG_ERROR;

    if (newHandshake == kHandshakeRtsToggle && handshake != kHandshakeRtsToggle) {
        if (!setRtsToggle(fd, true))
            return SERIAL_CONFIG_ERROR;
    }
    if (::tcsetattr(fd, TCSANOW, &tio) != 0) {
        if (newHandshake == kHandshakeRtsToggle && handshake != kHandshakeRtsToggle)
            setRtsToggle(fd, false);
        return SERIAL_CONFIG_ERROR;
    }
    if (newHandshake != kHandshakeRtsToggle && handshake == kHandshakeRtsToggle)
        setRtsToggle(fd, false);
    baudRate = newBaudRate;
    handshake = newHandshake;
    return 0;
}

namespace {
// Moves count bytes in either direction with one time limit for the whole call. io(done, left)
// is one read or write of the left bytes after the first done; events is what poll() waits for.
template <class Io>
int transferAll(int fd, int count, int timeoutMs, short events, Io io)
{
    if (fd < 0)
        return SERIAL_NOT_OPEN;
    if (count < 0)
        return SERIAL_IO_ERROR;
    Deadline deadline(timeoutMs);
    int done = 0;
    short lastEvents = 0;
    while (done < count) {
        ssize_t n = io(done, static_cast<size_t>(count - done));
        if (n > 0) {
            done += static_cast<int>(n);
            lastEvents = 0;
            continue;
        }
        if (n < 0) {
            if (errno == EINTR)
                continue;
            if (!wouldBlock(errno))
                return SERIAL_IO_ERROR;
        }
        // Nothing moved although poll() said hang-up or error: the device is gone. (A hung-up
        // terminal reads as end of file and polls readable, which would spin until the limit.)
        if ((lastEvents & (POLLHUP | POLLERR)) != 0)
            return SERIAL_IO_ERROR;
        int ready = waitReady(fd, events, deadline, &lastEvents);
        if (ready == 0)
            return SERIAL_TIMEOUT;
        if (ready < 0)
            return SERIAL_IO_ERROR;
    }
    return 0;
}
} // namespace

int MbusPosixSerialPort::readBytes(unsigned char buf[], int count, int timeoutMs)
{
    return transferAll(fd, count, timeoutMs, POLLIN,
                       [&](int done, size_t left) { return ::read(fd, buf + done, left); });
}

int MbusPosixSerialPort::writeBytes(const unsigned char buf[], int count, int timeoutMs)
{
    return transferAll(fd, count, timeoutMs, POLLOUT,
                       [&](int done, size_t left) { return ::write(fd, buf + done, left); });
}

int MbusPosixSerialPort::drain()
{
    if (fd < 0)
        return SERIAL_NOT_OPEN;
    if (handshake != kHandshakeNone)
        return SERIAL_HANDSHAKE_ACTIVE;
    int rc;
    do {
        rc = ::tcdrain(fd);
    } while (rc != 0 && errno == EINTR);
    return rc == 0 ? 0 : SERIAL_IO_ERROR;
}

int MbusPosixSerialPort::purge()
{
    if (fd < 0)
        return SERIAL_NOT_OPEN;
    // Input only: every transaction drains its output, and on a pseudo-terminal flushing output
    // would also discard bytes the other side has not read yet, such as a broadcast just sent.
    return ::tcflush(fd, TCIFLUSH) == 0 ? 0 : SERIAL_IO_ERROR;
}

int MbusPosixSerialPort::switchRts(unsigned long request)
{
    if (fd < 0)
        return SERIAL_NOT_OPEN;
    if (handshake != kHandshakeNone)
        return SERIAL_HANDSHAKE_ACTIVE;
    int bits = TIOCM_RTS;
    return ::ioctl(fd, request, &bits) == 0 ? 0 : SERIAL_IO_ERROR;
}

int MbusPosixSerialPort::setRts()
{
    return switchRts(TIOCMBIS);
}

int MbusPosixSerialPort::clearRts()
{
    return switchRts(TIOCMBIC);
}

void MbusPosixSerialPort::closePort()
{
    if (fd < 0)
        return;
    ::tcflush(fd, TCIFLUSH); // what was sent last, a broadcast say, still goes out
    if (handshake == kHandshakeRtsToggle)
        setRtsToggle(fd, false);
    if (haveSavedState)
        ::tcsetattr(fd, TCSANOW, &savedState);
    if (exclusive)
        ::ioctl(fd, TIOCNXCL);
    // Not repeated on EINTR: the descriptor is released either way. Closing drops the lock.
    ::close(fd);
    fd = -1;
    exclusive = false;
    haveSavedState = false;
    handshake = kHandshakeNone;
}

int MbusPosixSerialPort::attachHandle(std::intptr_t osHandle)
{
    if (fd >= 0)
        return SERIAL_PORT_BUSY;
    if (osHandle < 0 || osHandle > INT_MAX)
        return SERIAL_IO_ERROR;
    int newFd = static_cast<int>(osHandle);
    // Every check comes before the descriptor is taken over: on failure it stays the caller's,
    // so nobody closes it twice.
    int flags = ::fcntl(newFd, F_GETFL);
    if (flags < 0)
        return SERIAL_IO_ERROR;
    struct termios found {};
    if (::tcgetattr(newFd, &found) != 0)
        return SERIAL_IO_ERROR;
    // Reads and writes wait in poll() only; a blocking descriptor could overrun the time limit.
    if ((flags & O_NONBLOCK) == 0 && ::fcntl(newFd, F_SETFL, flags | O_NONBLOCK) != 0)
        return SERIAL_IO_ERROR;
    fd = newFd;
    savedState = found;
    haveSavedState = true;
    exclusive = false;
    handshake = kHandshakeNone;
    ::tcflush(fd, TCIOFLUSH);
    return 0;
}

} // namespace mbus
