// Igor's handles and pointers as the host hands them out: a handle points to a master pointer
// that holds the block's address; a resize may move the block; the size is the host's to tell.
// Every call checks that the handle or pointer is one this heap handed out and still alive, and
// counts a misuse otherwise instead of touching memory. Safe on any thread, like Igor's own.
#ifndef XOPHOST_HANDLE_HEAP_H
#define XOPHOST_HANDLE_HEAP_H

#include <cstddef>
#include <mutex>
#include <string>
#include <unordered_map>
#include <unordered_set>

#include "host/igor_xop.h"

class HandleHeap {
public:
    // The heap behind the memory function table and, on Windows, behind the program's exports.
    static HandleHeap &process();
    // The twelve functions of Igor's memory function table, over process().
    static const WMMemoryFunctions &memoryFunctions();

    HandleHeap() = default;
    ~HandleHeap();
    HandleHeap(const HandleHeap &) = delete;
    HandleHeap &operator=(const HandleHeap &) = delete;

    // Null (and NOMEM as the last error) when size is negative or memory runs out.
    Handle newHandle(BCInt size);
    // A handle holding the text's bytes, without a NUL.
    Handle newText(const std::string &text);
    // The size, or 0 for a handle this heap does not know (a misuse).
    BCInt size(Handle h);
    int setSize(Handle h, BCInt size);
    // *hp becomes a new copy of itself.
    int handToHand(Handle *hp);
    // Appends src to dst.
    int handAndHand(Handle src, Handle dst);
    // Disposing null does nothing.
    void dispose(Handle h);
    bool owns(Handle h) const;

    void *newPtr(BCInt size);
    BCInt ptrSize(void *p);
    int setPtrSize(void *p, BCInt size);
    int ptrToHand(const void *p, Handle *hp, BCInt size);
    int ptrAndHand(const void *p, Handle h, BCInt size);
    void disposePtr(void *p);

    // The error of this thread's last call: 0 or NOMEM (also for a misuse).
    static int lastError();
    // Calls with a handle or pointer the heap did not hand out, or had already disposed.
    std::size_t misuses() const;

private:
    struct Block {
        char *data; // the master pointer: a Handle points here
        BCInt size;
    };
    Block *blockOf(Handle h) const;
    bool resize(Block &block, BCInt size);
    void misuse();

    mutable std::mutex mutex_;
    std::unordered_set<Block *> blocks_;
    std::unordered_map<void *, BCInt> pointers_;
    std::size_t misuses_ = 0;
};

#endif
