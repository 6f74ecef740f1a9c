#include "extension/host_name.h"

#include "extension/output_lines.h"
#include "host/host_services.h"

int readHostName(bool ipGiven, Handle handle, HostNameBuffer &buffer, int nullHandleCode)
{
    buffer[0] = '\0';
    if (!ipGiven) {
        diagnosticLine("=> ExecuteMBOpen: No IP address!\r");
        return 10001;
    }
    if (handle == nullptr) {
        diagnosticLine("=> ExecuteMBOpen: Null IP address pointer!\r");
        return nullHandleCode;
    }
    if (GetCStringFromHandle(handle, buffer, kMaxHostNameLength) != 0) {
        diagnosticLine("=> ExecuteMBOpen: GetCStringFromHandle() error.\r");
        return 10001;
    }
    if (buffer[0] == '\0') {
        diagnosticLine("=> ExecuteMBOpen: Empty IP address!\r");
        return 10001;
    }
    return 0;
}
