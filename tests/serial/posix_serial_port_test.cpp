// The POSIX port driver on pseudo-terminal pairs: open and exclusive use, line settings and their
// restoration, reads and writes with one total time limit, purge, drain, RTS, adopted handles.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <atomic>
#include <chrono>
#include <climits>
#include <csignal>
#include <cstdio>
#include <thread>

#include <fcntl.h>
#include <pthread.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include "pty_peer.h"
#include "serial/posix/posix_serial_port.h"

using namespace mbus;

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

class PtyPort : public ::testing::Test {
protected:
    PtyPair pty;
    MbusPosixSerialPort port;

    void SetUp() override { ASSERT_TRUE(pty.ok()); }

    struct termios lineSettings() const
    {
        struct termios tio {};
        ::tcgetattr(pty.terminalFd(), &tio);
        return tio;
    }
    void peerWrite(const Bytes &bytes) { ASSERT_EQ(::write(pty.controllerFd(), bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size())); }
    Bytes peerRead(std::size_t count)
    {
        Bytes got;
        auto deadline = Clock::now() + std::chrono::seconds(2);
        while (got.size() < count && Clock::now() < deadline) {
            std::uint8_t buf[256];
            ssize_t n = ::read(pty.controllerFd(), buf, sizeof buf);
            if (n > 0)
                got.insert(got.end(), buf, buf + n);
            else
                std::this_thread::sleep_for(milliseconds(1));
        }
        return got;
    }
};

bool sameSettings(const struct termios &a, const struct termios &b)
{
    return a.c_iflag == b.c_iflag && a.c_oflag == b.c_oflag && a.c_cflag == b.c_cflag && a.c_lflag == b.c_lflag &&
           ::cfgetospeed(&a) == ::cfgetospeed(&b) && ::cfgetispeed(&a) == ::cfgetispeed(&b);
}

void ignoreSignal(int) {}

} // namespace

TEST_F(PtyPort, OpenFailures)
{
    EXPECT_EQ(port.openPort("/dev/no-such-serial-device"), SERIAL_NO_SUCH_PORT);
    EXPECT_EQ(port.openPort(""), SERIAL_NO_SUCH_PORT);
    EXPECT_EQ(port.openPort(nullptr), SERIAL_NO_SUCH_PORT);
    EXPECT_FALSE(port.isPortOpen());

    // Exclusive use: a second open of the same device is refused while the first holds it.
    ASSERT_EQ(port.openPort(pty.devicePath().c_str()), 0);
    MbusPosixSerialPort second;
    EXPECT_EQ(second.openPort(pty.devicePath().c_str()), SERIAL_PORT_BUSY);
    EXPECT_FALSE(second.isPortOpen());
    const unsigned char byte = 0x42;
    EXPECT_EQ(port.writeBytes(&byte, 1, 100), 0); // the first is unharmed
    EXPECT_EQ(peerRead(1), Bytes{0x42});
    port.closePort();
    EXPECT_EQ(second.openPort(pty.devicePath().c_str()), 0);

    // Not a terminal: the device opens, its settings cannot be read; it stays open until closed.
    MbusPosixSerialPort notTty;
    EXPECT_EQ(notTty.openPort("/dev/null"), SERIAL_IO_ERROR);
    EXPECT_TRUE(notTty.isPortOpen());
    notTty.closePort();
    EXPECT_FALSE(notTty.isPortOpen());
}

TEST_F(PtyPort, NoPermission)
{
    char path[] = "/tmp/mbus-serial-XXXXXX";
    int fd = ::mkstemp(path);
    ASSERT_GE(fd, 0);
    ::close(fd);
    ::chmod(path, 0);
    // Root opens anything, so the open runs in a child that gives up root first.
    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (::geteuid() == 0 && ::setuid(65534) != 0)
            ::_exit(2);
        ::_exit(port.openPort(path) == SERIAL_NO_PERMISSION ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(child, ::waitpid(child, &status, 0));
    ::unlink(path);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(0, WEXITSTATUS(status));
}

TEST_F(PtyPort, OpenSetsARawLineAt9600)
{
    ASSERT_EQ(port.openPort(pty.devicePath().c_str()), 0);
    struct termios tio = lineSettings();
    EXPECT_EQ(::cfgetospeed(&tio), static_cast<speed_t>(B9600));
    EXPECT_EQ(tio.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_EQ(tio.c_cflag & (CSTOPB | PARENB | CRTSCTS), 0u);
    EXPECT_EQ(tio.c_lflag & (ICANON | ECHO | ISIG), 0u);
    EXPECT_EQ(tio.c_iflag & (IXON | ICRNL), 0u);
    EXPECT_EQ(tio.c_oflag & OPOST, 0u);
    EXPECT_EQ(port.getBaudRate(), 9600);
    // Bytes that a cooked line would change pass unchanged both ways.
    const Bytes binary = {0x0D, 0x0A, 0x03, 0x11, 0x13, 0x7F, 0x00, 0xFF};
    ASSERT_EQ(port.writeBytes(binary.data(), static_cast<int>(binary.size()), 200), 0);
    EXPECT_EQ(peerRead(binary.size()), binary);
    peerWrite(binary);
    Bytes got(binary.size());
    ASSERT_EQ(port.readBytes(got.data(), static_cast<int>(got.size()), 1000), 0);
    EXPECT_EQ(got, binary);
}

TEST_F(PtyPort, Configure)
{
    ASSERT_EQ(port.openPort(pty.devicePath().c_str()), 0);
    ASSERT_EQ(port.configure(19200, 8, 2, 2, 0), 0);
    struct termios tio = lineSettings();
    EXPECT_EQ(::cfgetospeed(&tio), static_cast<speed_t>(B19200));
    EXPECT_NE(tio.c_cflag & CSTOPB, 0u);
    EXPECT_EQ(port.getBaudRate(), 19200);

    // Refused values leave the line as it is.
    const int refused[][5] = {{19200, 8, 1, 3, 0}, {19200, 6, 1, 0, 0}, {19200, 9, 1, 0, 0}, {19200, 8, 3, 0, 0},
                              {19200, 8, 1, -1, 0}, {19200, 8, 1, 0, 3}, {12345, 8, 1, 0, 0}, {0, 8, 1, 0, 0},
                              {-9600, 8, 1, 0, 0}};
    for (const auto &args : refused) {
        EXPECT_EQ(port.configure(args[0], args[1], args[2], args[3], args[4]), SERIAL_CONFIG_ERROR)
            << args[0] << " " << args[1] << " " << args[2] << " " << args[3] << " " << args[4];
        EXPECT_TRUE(sameSettings(lineSettings(), tio));
        EXPECT_EQ(port.getBaudRate(), 19200);
    }
    // A pseudo terminal has no driver-toggled RTS.
    EXPECT_EQ(port.configure(9600, 8, 1, 0, MbusSerialPort::kHandshakeRtsToggle), SERIAL_CONFIG_ERROR);
    ASSERT_EQ(port.configure(115200, 7, 1, 1, 0), 0);
    tio = lineSettings();
    EXPECT_EQ(::cfgetospeed(&tio), static_cast<speed_t>(B115200));
}

TEST_F(PtyPort, HandshakeBlocksRtsAndDrain)
{
    ASSERT_EQ(port.openPort(pty.devicePath().c_str()), 0);
    EXPECT_EQ(port.drain(), 0);
    // No modem lines on a pseudo terminal: the ioctl fails, and says so.
    EXPECT_EQ(port.setRts(), SERIAL_IO_ERROR);
    EXPECT_EQ(port.clearRts(), SERIAL_IO_ERROR);
    ASSERT_EQ(port.configure(9600, 8, 1, 0, MbusSerialPort::kHandshakeRtsCts), 0);
    EXPECT_EQ(port.setRts(), SERIAL_HANDSHAKE_ACTIVE);
    EXPECT_EQ(port.clearRts(), SERIAL_HANDSHAKE_ACTIVE);
    EXPECT_EQ(port.drain(), SERIAL_HANDSHAKE_ACTIVE);
    ASSERT_EQ(port.configure(9600, 8, 1, 0, 0), 0);
    EXPECT_EQ(port.drain(), 0);
}

TEST_F(PtyPort, ClosedPortRefusesEverything)
{
    unsigned char buf[4] = {};
    EXPECT_EQ(port.configure(9600, 8, 1, 0, 0), SERIAL_NOT_OPEN);
    EXPECT_EQ(port.readBytes(buf, 4, 10), SERIAL_NOT_OPEN);
    EXPECT_EQ(port.writeBytes(buf, 4, 10), SERIAL_NOT_OPEN);
    EXPECT_EQ(port.drain(), SERIAL_NOT_OPEN);
    EXPECT_EQ(port.purge(), SERIAL_NOT_OPEN);
    EXPECT_EQ(port.setRts(), SERIAL_NOT_OPEN);
    EXPECT_EQ(port.clearRts(), SERIAL_NOT_OPEN);
    port.closePort(); // harmless
    EXPECT_FALSE(port.isPortOpen());
}

TEST_F(PtyPort, ReadHasOneTotalTimeLimit)
{
    ASSERT_EQ(port.openPort(pty.devicePath().c_str()), 0);
    unsigned char buf[5] = {};
    peerWrite({1, 2, 3});
    auto start = Clock::now();
    EXPECT_EQ(port.readBytes(buf, 5, 60), SERIAL_TIMEOUT);
    EXPECT_GE(Clock::now() - start, milliseconds(60));
    EXPECT_EQ(Bytes(buf, buf + 3), (Bytes{1, 2, 3})); // what came stays in the buffer

    // Pieces that arrive within the limit make one successful read.
    std::thread writer([&] {
        for (std::uint8_t b = 10; b < 15; ++b) {
            std::this_thread::sleep_for(milliseconds(10));
            std::uint8_t one = b;
            (void)!::write(pty.controllerFd(), &one, 1);
        }
    });
    EXPECT_EQ(port.readBytes(buf, 5, 2000), 0);
    writer.join();
    EXPECT_EQ(Bytes(buf, buf + 5), (Bytes{10, 11, 12, 13, 14}));
    EXPECT_EQ(port.readBytes(buf, 0, 10), 0);
}

TEST_F(PtyPort, SignalsDoNotCutWaitsShort)
{
    struct sigaction action {};
    struct sigaction previous {};
    action.sa_handler = ignoreSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0; // no SA_RESTART: poll() returns EINTR
    ASSERT_EQ(::sigaction(SIGUSR1, &action, &previous), 0);
    ASSERT_EQ(port.openPort(pty.devicePath().c_str()), 0);

    pthread_t reader = ::pthread_self();
    std::thread interrupter([&] {
        std::this_thread::sleep_for(milliseconds(20));
        ::pthread_kill(reader, SIGUSR1);
        std::this_thread::sleep_for(milliseconds(20));
        ::pthread_kill(reader, SIGUSR1);
    });
    unsigned char buf[2] = {};
    auto start = Clock::now();
    EXPECT_EQ(port.readBytes(buf, 2, 80), SERIAL_TIMEOUT);
    EXPECT_GE(Clock::now() - start, milliseconds(80));
    interrupter.join();

    std::thread lateWriter([&] {
        std::this_thread::sleep_for(milliseconds(20));
        ::pthread_kill(reader, SIGUSR1);
        std::this_thread::sleep_for(milliseconds(20));
        std::uint8_t two[2] = {7, 8};
        (void)!::write(pty.controllerFd(), two, 2);
    });
    EXPECT_EQ(port.readBytes(buf, 2, 2000), 0);
    lateWriter.join();
    EXPECT_EQ(buf[1], 8);
    ::sigaction(SIGUSR1, &previous, nullptr);
}

TEST_F(PtyPort, WriteHasOneTotalTimeLimit)
{
    ASSERT_EQ(port.openPort(pty.devicePath().c_str()), 0);
    // Nobody reads the other side: the buffers fill and the write stops at its limit.
    std::vector<unsigned char> lots(1 << 20, 0x55);
    auto start = Clock::now();
    EXPECT_EQ(port.writeBytes(lots.data(), static_cast<int>(lots.size()), 50), SERIAL_TIMEOUT);
    EXPECT_GE(Clock::now() - start, milliseconds(50));
}

TEST_F(PtyPort, PurgeDiscardsPendingInput)
{
    ASSERT_EQ(port.openPort(pty.devicePath().c_str()), 0);
    peerWrite({1, 2, 3, 4});
    unsigned char first = 0;
    ASSERT_EQ(port.readBytes(&first, 1, 1000), 0); // the bytes have arrived
    EXPECT_EQ(port.purge(), 0);
    unsigned char rest[3];
    EXPECT_EQ(port.readBytes(rest, 1, 30), SERIAL_TIMEOUT);
}

TEST_F(PtyPort, PurgeKeepsOutputNotYetTransmitted)
{
    // A broadcast is followed at once by the next request's purge: it must still go out.
    ASSERT_EQ(port.openPort(pty.devicePath().c_str()), 0);
    const Bytes frame = {0x00, 0x06, 0x00, 0x01, 0x00, 0x07, 0x68, 0x1B};
    ASSERT_EQ(port.writeBytes(frame.data(), static_cast<int>(frame.size()), 1000), 0);
    EXPECT_EQ(port.purge(), 0);
    EXPECT_EQ(peerRead(frame.size()), frame);
}

TEST_F(PtyPort, CloseRestoresTheSettingsFoundAtOpen)
{
    struct termios original = lineSettings();
    original.c_lflag |= ICANON | ECHO;
    original.c_iflag |= ICRNL | IXON;
    original.c_oflag |= OPOST;
    ::cfsetospeed(&original, B4800);
    ::cfsetispeed(&original, B4800);
    ASSERT_EQ(::tcsetattr(pty.terminalFd(), TCSANOW, &original), 0);
    original = lineSettings();

    ASSERT_EQ(port.openPort(pty.devicePath().c_str()), 0);
    ASSERT_EQ(port.configure(38400, 8, 2, 0, 0), 0);
    EXPECT_FALSE(sameSettings(lineSettings(), original));
    port.closePort();
    EXPECT_TRUE(sameSettings(lineSettings(), original));

    // Reopening after a close works (the lock went with the descriptor).
    ASSERT_EQ(port.openPort(pty.devicePath().c_str()), 0);
}

TEST_F(PtyPort, HangUpOfTheOtherSideIsAnIoError)
{
    ASSERT_EQ(port.openPort(pty.devicePath().c_str()), 0);
    pty.closeController();
    unsigned char buf[4] = {};
    auto start = Clock::now();
    EXPECT_EQ(port.readBytes(buf, 4, 5000), SERIAL_IO_ERROR);
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(4)); // not the time limit
    EXPECT_EQ(port.writeBytes(buf, 4, 5000), SERIAL_IO_ERROR);
}

TEST_F(PtyPort, AttachAdoptsADescriptor)
{
    EXPECT_EQ(port.attachHandle(-1), SERIAL_IO_ERROR);
    EXPECT_EQ(port.attachHandle(static_cast<std::intptr_t>(INT_MAX) + 1), SERIAL_IO_ERROR);
    // Not a terminal: refused, and the descriptor stays the caller's.
    int pipeFds[2];
    ASSERT_EQ(::pipe(pipeFds), 0);
    EXPECT_EQ(port.attachHandle(pipeFds[0]), SERIAL_IO_ERROR);
    EXPECT_FALSE(port.isPortOpen());
    EXPECT_NE(::fcntl(pipeFds[0], F_GETFD), -1);
    ::close(pipeFds[0]);
    ::close(pipeFds[1]);

    struct termios before = lineSettings();
    int fd = ::open(pty.devicePath().c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(port.attachHandle(fd), 0);
    EXPECT_TRUE(port.isPortOpen());
    EXPECT_TRUE(sameSettings(lineSettings(), before)); // no line settings applied
    EXPECT_NE(::fcntl(fd, F_GETFL) & O_NONBLOCK, 0);
    EXPECT_EQ(port.attachHandle(fd), SERIAL_PORT_BUSY);
    peerWrite({9, 8, 7});
    unsigned char buf[3] = {};
    EXPECT_EQ(port.readBytes(buf, 3, 1000), 0);
    EXPECT_EQ(buf[2], 7);
    port.closePort();
    EXPECT_EQ(::fcntl(fd, F_GETFD), -1); // the port owned it and closed it
}
