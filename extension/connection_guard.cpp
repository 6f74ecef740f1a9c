#include "extension/connection_guard.h"

#include <cstddef>

namespace {

// One lock per group of host names: a name always maps to the same lock, so a connection is
// never used by two threads; two names that share a lock merely take turns.
constexpr std::size_t kLockCount = 32;

std::mutex &lockOf(std::size_t index)
{
    static std::mutex locks[kLockCount];
    return locks[index];
}

std::size_t indexOf(const char *hostName)
{
    // FNV-1a over the name's bytes.
    std::size_t hash = 2166136261u;
    for (const char *c = hostName; c != nullptr && *c != '\0'; ++c)
        hash = (hash ^ static_cast<unsigned char>(*c)) * 16777619u;
    return hash % kLockCount;
}

} // namespace

ConnectionGuard::ConnectionGuard(const char *hostName) : lock_(lockOf(indexOf(hostName))) {}

AllConnectionsGuard::AllConnectionsGuard()
{
    // Always in the same order, and a command holds one lock only: no deadlock.
    for (std::size_t i = 0; i < kLockCount; ++i)
        lockOf(i).lock();
}

AllConnectionsGuard::~AllConnectionsGuard()
{
    for (std::size_t i = kLockCount; i > 0; --i)
        lockOf(i - 1).unlock();
}
