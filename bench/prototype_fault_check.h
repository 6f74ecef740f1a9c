// The three-call exchange prototype beside this library's Modbus/TCP master against the
// simulated device's faults (late, cut, trickled, split, oversized, duplicated, foreign and
// refused replies, closed connections, and a stream of signals during a wait): one line per
// case with both result codes, the time each took and the result of the next, fault-free
// transaction. The codes must agree; times may differ only where the prototype does better.
#ifndef MBUS_BENCH_PROTOTYPE_FAULT_CHECK_H
#define MBUS_BENCH_PROTOTYPE_FAULT_CHECK_H

#include "sim/fault.h"

namespace sim {
class TcpDevice;
}

class PrototypeFaultCheck {
public:
    // False when a result code differs or a case could not be set up.
    bool run();

private:
    struct Case {
        const char *name;
        sim::Fault fault;
        int registers;  // read this many holding registers
        bool signalled; // a signal every 10 ms during the transaction, for at most a second
    };
    struct Outcome {
        int result = -1;
        double ms = 0;
        int next = -1; // the following transaction, after the reconnect the library would make
    };

    Outcome library(sim::TcpDevice &device, const Case &c);
    Outcome prototype(sim::TcpDevice &device, const Case &c);
};

#endif
