// The host-name parameter shared by all five commands.
#ifndef ZORVANE_HOST_NAME_H
#define ZORVANE_HOST_NAME_H

#include "extension/connection_registry.h"
#include "host/igor_xop.h"

using HostNameBuffer = char[kMaxHostNameLength + 1];

// Reads the IP keyword's text into buffer. 0, or after its diagnostic line 10001 (nullHandleCode
// for a null handle).
int readHostName(bool ipGiven, Handle handle, HostNameBuffer &buffer, int nullHandleCode);

#endif
