#include "xophost/handle_heap.h"

#include <cstdlib>
#include <cstring>

namespace {

thread_local int lastMemoryError = 0;

int outcome(bool ok)
{
    lastMemoryError = ok ? 0 : NOMEM;
    return lastMemoryError;
}

// A block of at least one byte, so that an empty handle still has an address.
char *allocate(BCInt size)
{
    return static_cast<char *>(std::malloc(static_cast<std::size_t>(size > 0 ? size : 1)));
}

} // namespace

HandleHeap &HandleHeap::process()
{
    static HandleHeap heap;
    return heap;
}

const WMMemoryFunctions &HandleHeap::memoryFunctions()
{
    static const WMMemoryFunctions table = {
        [](BCInt size) { return process().newHandle(size); },
        [](Handle h) { return process().size(h); },
        [](Handle h, BCInt size) { return process().setSize(h, size); },
        [](Handle *hp) { return process().handToHand(hp); },
        [](Handle src, Handle dst) { return process().handAndHand(src, dst); },
        [](Handle h) { process().dispose(h); },
        [](BCInt size) { return process().newPtr(size); },
        [](void *p) { return process().ptrSize(p); },
        [](void *p, BCInt size) { return process().setPtrSize(p, size); },
        [](const void *p, Handle *hp, BCInt size) { return process().ptrToHand(p, hp, size); },
        [](const void *p, Handle h, BCInt size) { return process().ptrAndHand(p, h, size); },
        [](void *p) { process().disposePtr(p); },
    };
    return table;
}

HandleHeap::~HandleHeap()
{
    for (Block *block : blocks_) {
        std::free(block->data);
        delete block;
    }
    for (auto &pointer : pointers_)
        std::free(pointer.first);
}

HandleHeap::Block *HandleHeap::blockOf(Handle h) const
{
    // The master pointer is a Block's first member: the handle is the block's address.
    auto *block = reinterpret_cast<Block *>(h);
    return blocks_.count(block) != 0 ? block : nullptr;
}

void HandleHeap::misuse()
{
    ++misuses_;
    lastMemoryError = NOMEM;
}

bool HandleHeap::resize(Block &block, BCInt size)
{
    // A fresh block, so that a module which keeps the old address is caught by the sanitizers.
    char *moved = size >= 0 ? allocate(size) : nullptr;
    if (moved == nullptr)
        return false;
    std::memcpy(moved, block.data, static_cast<std::size_t>(size < block.size ? size : block.size));
    std::free(block.data);
    block.data = moved;
    block.size = size;
    return true;
}

Handle HandleHeap::newHandle(BCInt size)
{
    char *data = size >= 0 ? allocate(size) : nullptr;
    if (outcome(data != nullptr) != 0)
        return nullptr;
    auto *block = new Block{data, size};
    const std::lock_guard<std::mutex> lock(mutex_);
    blocks_.insert(block);
    return &block->data;
}

Handle HandleHeap::newText(const std::string &text)
{
    Handle h = newHandle(static_cast<BCInt>(text.size()));
    if (h != nullptr && !text.empty())
        std::memcpy(*h, text.data(), text.size());
    return h;
}

BCInt HandleHeap::size(Handle h)
{
    const std::lock_guard<std::mutex> lock(mutex_);
    Block *block = blockOf(h);
    if (block == nullptr) {
        misuse();
        return 0;
    }
    outcome(true);
    return block->size;
}

int HandleHeap::setSize(Handle h, BCInt size)
{
    const std::lock_guard<std::mutex> lock(mutex_);
    Block *block = blockOf(h);
    if (block == nullptr) {
        misuse();
        return NOMEM;
    }
    return outcome(resize(*block, size));
}

int HandleHeap::handToHand(Handle *hp)
{
    if (hp == nullptr)
        return outcome(false);
    std::string copy;
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        Block *block = blockOf(*hp);
        if (block == nullptr) {
            misuse();
            return NOMEM;
        }
        copy.assign(block->data, static_cast<std::size_t>(block->size));
    }
    Handle fresh = newText(copy);
    if (fresh == nullptr)
        return NOMEM;
    *hp = fresh;
    return 0;
}

int HandleHeap::handAndHand(Handle src, Handle dst)
{
    const std::lock_guard<std::mutex> lock(mutex_);
    Block *from = blockOf(src);
    Block *to = blockOf(dst);
    if (from == nullptr || to == nullptr) {
        misuse();
        return NOMEM;
    }
    const std::string appended(from->data, static_cast<std::size_t>(from->size));
    const BCInt start = to->size;
    if (!resize(*to, start + from->size))
        return outcome(false);
    std::memcpy(to->data + start, appended.data(), appended.size());
    return outcome(true);
}

void HandleHeap::dispose(Handle h)
{
    if (h == nullptr)
        return;
    const std::lock_guard<std::mutex> lock(mutex_);
    Block *block = blockOf(h);
    if (block == nullptr) {
        misuse();
        return;
    }
    blocks_.erase(block);
    std::free(block->data);
    delete block;
    outcome(true);
}

bool HandleHeap::owns(Handle h) const
{
    const std::lock_guard<std::mutex> lock(mutex_);
    return blockOf(h) != nullptr;
}

void *HandleHeap::newPtr(BCInt size)
{
    void *p = size >= 0 ? allocate(size) : nullptr;
    if (outcome(p != nullptr) != 0)
        return nullptr;
    const std::lock_guard<std::mutex> lock(mutex_);
    pointers_[p] = size;
    return p;
}

BCInt HandleHeap::ptrSize(void *p)
{
    const std::lock_guard<std::mutex> lock(mutex_);
    const auto found = pointers_.find(p);
    if (found == pointers_.end()) {
        misuse();
        return 0;
    }
    outcome(true);
    return found->second;
}

int HandleHeap::setPtrSize(void *p, BCInt size)
{
    // Like Igor's, a pointer block never moves: it can only shrink in place.
    const std::lock_guard<std::mutex> lock(mutex_);
    const auto found = pointers_.find(p);
    if (found == pointers_.end()) {
        misuse();
        return NOMEM;
    }
    if (size < 0 || size > found->second)
        return outcome(false);
    found->second = size;
    return outcome(true);
}

int HandleHeap::ptrToHand(const void *p, Handle *hp, BCInt size)
{
    if (p == nullptr || hp == nullptr || size < 0)
        return outcome(false);
    Handle h = newText(std::string(static_cast<const char *>(p), static_cast<std::size_t>(size)));
    if (h == nullptr)
        return NOMEM;
    *hp = h;
    return 0;
}

int HandleHeap::ptrAndHand(const void *p, Handle h, BCInt size)
{
    if (p == nullptr || size < 0)
        return outcome(false);
    const std::lock_guard<std::mutex> lock(mutex_);
    Block *block = blockOf(h);
    if (block == nullptr) {
        misuse();
        return NOMEM;
    }
    const BCInt start = block->size;
    // p may lie inside the block itself: copy it out before the block moves.
    const std::string appended(static_cast<const char *>(p), static_cast<std::size_t>(size));
    if (!resize(*block, start + size))
        return outcome(false);
    std::memcpy(block->data + start, appended.data(), appended.size());
    return outcome(true);
}

void HandleHeap::disposePtr(void *p)
{
    if (p == nullptr)
        return;
    const std::lock_guard<std::mutex> lock(mutex_);
    const auto found = pointers_.find(p);
    if (found == pointers_.end()) {
        misuse();
        return;
    }
    pointers_.erase(found);
    std::free(p);
    outcome(true);
}

int HandleHeap::lastError()
{
    return lastMemoryError;
}

std::size_t HandleHeap::misuses() const
{
    const std::lock_guard<std::mutex> lock(mutex_);
    return misuses_;
}
