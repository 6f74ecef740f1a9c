// Replies to a read of holding registers in the three stream framings, built from the request
// bytes, with checksums computed here (bit by bit), not by the library.
#ifndef MBUS_TESTS_HARDENING_REPLY_FRAMES_H
#define MBUS_TESTS_HARDENING_REPLY_FRAMES_H

#include <cstdint>
#include <cstdio>
#include <vector>

// The registers every reply carries: 0x1000 + i.
inline std::uint16_t replyRegister(int i)
{
    return static_cast<std::uint16_t>(0x1000 + i);
}

inline std::vector<std::uint8_t> registerPdu(int count)
{
    std::vector<std::uint8_t> pdu{3, static_cast<std::uint8_t>(2 * count)};
    for (int i = 0; i < count; ++i) {
        pdu.push_back(static_cast<std::uint8_t>(replyRegister(i) >> 8));
        pdu.push_back(static_cast<std::uint8_t>(replyRegister(i) & 0xFF));
    }
    return pdu;
}

// MBAP request: tid(2) 0 0 len(2) unit fc addr(2) count(2).
inline std::vector<std::uint8_t> mbapReadReply(const std::vector<std::uint8_t> &request)
{
    if (request.size() < 12)
        return {};
    std::vector<std::uint8_t> pdu = registerPdu(request[11]);
    std::vector<std::uint8_t> frame{request[0], request[1], 0, 0, 0, static_cast<std::uint8_t>(pdu.size() + 1),
                                    request[6]};
    frame.insert(frame.end(), pdu.begin(), pdu.end());
    return frame;
}

// RTU request: addr fc addr(2) count(2) crc(2).
inline std::vector<std::uint8_t> rtuReadReply(const std::vector<std::uint8_t> &request)
{
    if (request.size() < 8)
        return {};
    std::vector<std::uint8_t> frame{request[0]};
    std::vector<std::uint8_t> pdu = registerPdu(request[5]);
    frame.insert(frame.end(), pdu.begin(), pdu.end());
    std::uint16_t crc = 0xFFFF;
    for (std::uint8_t b : frame) {
        crc ^= b;
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? static_cast<std::uint16_t>((crc >> 1) ^ 0xA001) : static_cast<std::uint16_t>(crc >> 1);
    }
    frame.push_back(static_cast<std::uint8_t>(crc & 0xFF));
    frame.push_back(static_cast<std::uint8_t>(crc >> 8));
    return frame;
}

// ASCII request: ':' then hex of addr fc addr(2) count(2) lrc, CR LF.
inline std::vector<std::uint8_t> asciiReadReply(const std::vector<std::uint8_t> &request)
{
    if (request.size() < 17)
        return {};
    unsigned address = 0, count = 0;
    std::sscanf(reinterpret_cast<const char *>(request.data()) + 1, "%2x", &address);
    std::sscanf(reinterpret_cast<const char *>(request.data()) + 11, "%2x", &count);
    std::vector<std::uint8_t> bytes{static_cast<std::uint8_t>(address)};
    std::vector<std::uint8_t> pdu = registerPdu(static_cast<int>(count));
    bytes.insert(bytes.end(), pdu.begin(), pdu.end());
    unsigned sum = 0;
    for (std::uint8_t b : bytes)
        sum += b;
    bytes.push_back(static_cast<std::uint8_t>(0x100u - (sum & 0xFFu)));
    std::vector<std::uint8_t> frame{':'};
    for (std::uint8_t b : bytes) {
        char digits[3];
        std::snprintf(digits, sizeof digits, "%02X", b);
        frame.push_back(static_cast<std::uint8_t>(digits[0]));
        frame.push_back(static_cast<std::uint8_t>(digits[1]));
    }
    frame.push_back('\r');
    frame.push_back('\n');
    return frame;
}

#endif
