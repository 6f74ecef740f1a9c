#include "sim/serial_device.h"

#include <pty.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace sim {

SerialDevice::~SerialDevice() { stop(); }

std::string SerialDevice::start(SerialFraming framing)
{
    if (running()) return "";
    stop();
    int deviceFd = -1;
    char name[128] = {};
    termios raw{};
    cfmakeraw(&raw);
    // Raw from the start: an echoing, line-editing tty would hand the device its own replies.
    if (::openpty(&deviceFd, &peerFd_, name, &raw, nullptr) != 0) {
        peerFd_ = -1;
        return "";
    }
    setFraming(framing);
    // Packet mode lets the device see the master purge its side of the line.
    const int on = 1;
    if (::ioctl(deviceFd, TIOCPKT, &on) != 0 || !startOnStream(deviceFd, true)) {
        ::close(deviceFd);
        ::close(peerFd_);
        peerFd_ = -1;
        return "";
    }
    path_ = name;
    return path_;
}

void SerialDevice::stop()
{
    StreamServer::stop();
    if (peerFd_ >= 0) ::close(peerFd_);
    peerFd_ = -1;
    path_.clear();
}

} // namespace sim
