// A serial port made of scripts: it logs every operation, answers each write with the next
// scripted reply, and fails the operations it is told to. No time passes in it.
#ifndef MBUS_TESTS_SERIAL_FAKE_SERIAL_PORT_H
#define MBUS_TESTS_SERIAL_FAKE_SERIAL_PORT_H

#include <deque>
#include <string>
#include <vector>

#include "serial/serial_port.h"
#include "tests/support/test_frames.h"

using namespace mbus;

struct FakePortState {
    std::vector<std::string> log;
    std::vector<Bytes> written;
    std::deque<Bytes> replies;      // one per write; an empty entry means silence
    Bytes input;                    // bytes waiting to be read
    int openStatus = 0;
    int configureStatus = 0;
    int writeStatus = 0;
    int readStatus = 0;             // returned instead of reading, when not 0
    int attachStatus = 0;
    int chatterReads = 0;           // one-byte reads that find a byte (a busy line)
    bool open = false;
    int lastBaudRate = 0;
    int lastDataBits = 0;
    int lastHandshake = -1;
};

// The test keeps the state; the master owns and deletes the port.
class FakeSerialPort : public MbusSerialPort {
public:
    explicit FakeSerialPort(FakePortState &state) : s(state) {}

    int openPort(const char *name) override
    {
        s.log.push_back(std::string("open:") + (name ? name : "(null)"));
        if (s.openStatus == 0)
            s.open = true;
        return s.openStatus;
    }
    int configure(int baudRate, int dataBits, int stopBits, int parity, int handshake) override
    {
        s.log.push_back("configure:" + std::to_string(baudRate) + "," + std::to_string(dataBits) + "," +
                        std::to_string(stopBits) + "," + std::to_string(parity) + "," + std::to_string(handshake));
        s.lastBaudRate = baudRate;
        s.lastDataBits = dataBits;
        s.lastHandshake = handshake;
        return s.configureStatus;
    }
    int readBytes(unsigned char buf[], int count, int timeoutMs) override
    {
        s.log.push_back("read:" + std::to_string(count) + "/" + std::to_string(timeoutMs));
        if (s.readStatus != 0)
            return s.readStatus;
        if (count == 1 && s.chatterReads > 0) {
            --s.chatterReads;
            buf[0] = 0x5A;
            return 0;
        }
        int n = 0;
        while (n < count && !s.input.empty()) {
            buf[n++] = s.input.front();
            s.input.erase(s.input.begin());
        }
        return n == count ? 0 : SERIAL_TIMEOUT;
    }
    int writeBytes(const unsigned char buf[], int count, int) override
    {
        s.log.push_back("write");
        s.written.emplace_back(buf, buf + count);
        if (s.writeStatus != 0)
            return s.writeStatus;
        if (!s.replies.empty()) {
            s.input.insert(s.input.end(), s.replies.front().begin(), s.replies.front().end());
            s.replies.pop_front();
        }
        return 0;
    }
    int drain() override
    {
        s.log.push_back("drain");
        return 0;
    }
    int purge() override
    {
        s.log.push_back("purge");
        s.input.clear();
        return 0;
    }
    int setRts() override
    {
        s.log.push_back("setRts");
        return 0;
    }
    int clearRts() override
    {
        s.log.push_back("clearRts");
        return 0;
    }
    void closePort() override
    {
        if (s.open)
            s.log.push_back("close");
        s.open = false;
    }
    int attachHandle(std::intptr_t handle) override
    {
        s.log.push_back("attach:" + std::to_string(handle));
        if (s.attachStatus == 0)
            s.open = true;
        return s.attachStatus;
    }
    bool isPortOpen() const override { return s.open; }
    int getBaudRate() const override { return s.lastBaudRate; }

private:
    FakePortState &s;
};

#endif
