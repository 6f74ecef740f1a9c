// A link made of scripts, for tests and fuzz targets: it records every request, answers each
// send with the next scripted reply, cuts a reply short, and fails the Nth operation with the
// result code it is told. No time passes in it.
#ifndef MBUS_TESTS_SUPPORT_SCRIPTED_LINK_H
#define MBUS_TESTS_SUPPORT_SCRIPTED_LINK_H

#include <cstddef>
#include <deque>
#include <vector>

#include "mbus.h"
#include "protocol/link.h"

namespace mbus {

class ScriptedLink : public Link {
public:
    using Bytes = std::vector<unsigned char>;

    // datagrams: each receive hands over one whole reply, as a UDP socket does.
    explicit ScriptedLink(bool datagrams = false) : datagramLink(datagrams) {}

    // The reply to the next send; an empty one is silence.
    void reply(Bytes bytes) { replies.push_back(std::move(bytes)); }
    // Operation number n (0 = the first discard, send or receive from now on) returns result.
    void failAt(int n, int result);
    // Replies stop after their first n bytes (a device that falls silent half-way); -1: whole.
    void cutRepliesAt(int n) { cutAt = n; }

    int discardInput() override;
    int send(const unsigned char *data, int count, int timeoutMs) override;
    // Short of bytes: MBUS_REPLY_TIMEOUT, as every link reports a reply that stops.
    int receive(unsigned char *buffer, int count, int timeoutMs, int *received) override;

    std::vector<Bytes> sent;       // every request, as it went out
    std::vector<int> readSizes;    // every receive, by the number of bytes asked for
    int operations = 0;            // discards, sends and receives so far
    Bytes input;                   // what the device has sent and the master not read

private:
    bool failsNow(int *result);

    bool datagramLink;
    std::deque<Bytes> replies;
    int failingOperation = -1;
    int failure = MBUS_SUCCESS;
    int cutAt = -1;
};

} // namespace mbus

#endif
