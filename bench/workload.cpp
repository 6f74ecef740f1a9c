#include "workload.h"

#include <cstring>

namespace {
std::vector<unsigned char> mbap(std::vector<unsigned char> pdu)
{
    // transaction 1, protocol 0, length = unit + PDU, unit 1
    std::size_t length = pdu.size() + 1;
    std::vector<unsigned char> frame(7 + pdu.size(), 0);
    frame[1] = 1;
    frame[4] = static_cast<unsigned char>(length >> 8);
    frame[5] = static_cast<unsigned char>(length & 0xFF);
    frame[6] = 1;
    for (std::size_t i = 0; i < pdu.size(); ++i)
        frame[7 + i] = pdu[i];
    return frame;
}

std::vector<unsigned char> writeMultiple(int count)
{
    std::vector<unsigned char> pdu = {0x10, 0, 0, 0, static_cast<unsigned char>(count),
                                      static_cast<unsigned char>(2 * count)};
    pdu.resize(pdu.size() + 2 * static_cast<std::size_t>(count), 0);
    return mbap(pdu);
}
} // namespace

const std::vector<Workload> &Workload::all()
{
    static const std::vector<Workload> workloads = {
        {"read 1 holding register", "read1", mbap({0x03, 0, 0, 0, 1}), 9 + 2},
        {"read 125 holding registers", "read125", mbap({0x03, 0, 0, 0, 125}), 9 + 250},
        {"write 1 register (fc 6)", "write1", mbap({0x06, 0, 0, 0, 42}), 12},
        {"write 123 registers (fc 16)", "write123", writeMultiple(123), 12},
    };
    return workloads;
}

const Workload *Workload::find(const char *shortName)
{
    for (const Workload &w : all()) {
        if (std::strcmp(w.shortName, shortName) == 0)
            return &w;
    }
    return nullptr;
}
