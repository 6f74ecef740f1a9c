// Counts the heap allocations of the calling thread. The global allocation functions are
// replaced in allocation_counter.cpp; an executable that links it counts through these calls.
#ifndef MBUS_TESTS_ALLOCATION_COUNTER_H
#define MBUS_TESTS_ALLOCATION_COUNTER_H

namespace allocation_counter {

// Sets this thread's count to 0.
void reset();
// Starts or stops counting on this thread; the count is kept.
void enable(bool on);
// Allocations counted on this thread since the last reset.
long count();

// Counts while alive, from wherever the count stands.
class Scope {
public:
    Scope() { enable(true); }
    ~Scope() { enable(false); }
    Scope(const Scope &) = delete;
    Scope &operator=(const Scope &) = delete;
};

} // namespace allocation_counter

#endif
