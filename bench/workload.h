// The four measured transactions, with the exact bytes a Modbus/TCP client puts on the wire for
// them (unit 1, wire address 0) and the size of the device's reply.
#ifndef MBUS_BENCH_WORKLOAD_H
#define MBUS_BENCH_WORKLOAD_H

#include <cstddef>
#include <vector>

struct Workload {
    const char *name;
    const char *shortName; // on the command line of the system-call probe
    std::vector<unsigned char> request; // whole ADU, MBAP header included
    std::size_t replyBytes;

    // read 1, read 125, write 1 (fc 6), write 123 (fc 16), in this order.
    static const std::vector<Workload> &all();
    // The workload of that short name, or null.
    static const Workload *find(const char *shortName);
};

#endif
