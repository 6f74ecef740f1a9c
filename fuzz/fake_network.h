// The in-memory replacement of the platform socket layer (ip/socket_layer.h) in the fuzz
// targets: no descriptor, no wait, no traffic. Every socket talks to the simulated device of the
// attached script; a wait for data that the script has not sent ends at once as a time-out, so
// an incomplete reply costs nothing.
#ifndef MBUS_FUZZ_FAKE_NETWORK_H
#define MBUS_FUZZ_FAKE_NETWORK_H

#include "fuzz/reply_script.h"

class FakeNetwork {
public:
    // The socket functions have no context argument, hence one process-wide network; a fuzz
    // target runs one input at a time.
    static void attach(ReplyScript *script);
    // Checks that every socket of the run was closed, then forgets the script.
    static void detach();
    static int openSockets();
};

#endif
