#include "scripted_link.h"

#include <algorithm>

namespace mbus {

void ScriptedLink::failAt(int n, int result)
{
    failingOperation = operations + n;
    failure = result;
}

bool ScriptedLink::failsNow(int *result)
{
    *result = failure;
    return operations++ == failingOperation;
}

int ScriptedLink::discardInput()
{
    int result;
    if (failsNow(&result))
        return result;
    input.clear();
    return MBUS_SUCCESS;
}

int ScriptedLink::send(const unsigned char *data, int count, int)
{
    int result;
    if (failsNow(&result))
        return result;
    sent.emplace_back(data, data + count);
    if (!replies.empty()) {
        Bytes next = std::move(replies.front());
        replies.pop_front();
        if (cutAt >= 0 && next.size() > static_cast<std::size_t>(cutAt))
            next.resize(static_cast<std::size_t>(cutAt));
        input.insert(input.end(), next.begin(), next.end());
    }
    return MBUS_SUCCESS;
}

int ScriptedLink::receive(unsigned char *buffer, int count, int, int *received)
{
    *received = 0;
    readSizes.push_back(count);
    int result;
    if (failsNow(&result))
        return result;
    const std::size_t wanted = static_cast<std::size_t>(count);
    if (input.empty() || (!datagramLink && input.size() < wanted))
        return MBUS_REPLY_TIMEOUT;
    // A datagram longer than the buffer is cut to it, as the receive of a socket does.
    const std::size_t taken = std::min(wanted, input.size());
    std::copy(input.begin(), input.begin() + static_cast<std::ptrdiff_t>(taken), buffer);
    input.erase(input.begin(), datagramLink ? input.end() : input.begin() + static_cast<std::ptrdiff_t>(taken));
    *received = static_cast<int>(taken);
    return MBUS_SUCCESS;
}

} // namespace mbus
