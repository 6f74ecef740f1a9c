// System calls per transaction, counted by strace: the transactions run in a probe (mbbench
// --probe, a process of its own) under `strace -c -f`, twice with different counts, so that
// start-up and connection set-up cancel out of the difference.
#ifndef MBUS_BENCH_SYSCALL_COUNTER_H
#define MBUS_BENCH_SYSCALL_COUNTER_H

#include <string>

class SyscallCounter {
public:
    struct Count {
        bool valid = false;
        double total = 0;
        std::string breakdown; // "recvfrom 3, sendto 1, poll 1"
    };

    // Whether strace is installed.
    static bool available();
    // Per transaction of that workload by that client (names as mbbench --probe takes them)
    // against the device at port; extra, where given, is the probe's last argument.
    static Count perTransaction(const char *client, const char *workload, int port, const char *extra = nullptr);
};

#endif
