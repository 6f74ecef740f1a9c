// Result codes and their texts: what a program sees when an argument is wrong, when a setting
// comes at the wrong time, and when the device answers with an exception.
//
//   error_handling HOST [PORT [UNIT [REGISTER]]]   (default port 502, unit 1, register 2001)
//
// Reads holding register REGISTER, which a small device does not have. Uses the library's C
// interface from C++.
#include <cstdio>
#include <cstdlib>

#include "mbus.h"

namespace {

// The group of a result code is decided by its number alone.
const char *groupOf(int code)
{
    if (code == MBUS_SUCCESS)
        return "success";
    if (code >= MBUS_EXCEPTION_RESPONSE)
        return "exception response";
    if (code >= MBUS_BUS_PROTOCOL_ERROR_CLASS)
        return "bus protocol error";
    if (code >= MBUS_IO_ERROR_CLASS)
        return "I/O error";
    return "general error";
}

void show(const char *what, int code)
{
    std::printf("%s: %d, %s: %s", what, code, groupOf(code), mbusGetErrorText(code));
    if (code > MBUS_EXCEPTION_RESPONSE)
        std::printf(" (exception code %d from the device)", code - MBUS_EXCEPTION_RESPONSE);
    std::printf("\n");
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 2 || argc > 5) {
        std::fprintf(stderr, "usage: error_handling HOST [PORT [UNIT [REGISTER]]]\n");
        return 2;
    }
    const int port = argc > 2 ? std::atoi(argv[2]) : 502;
    const int unit = argc > 3 ? std::atoi(argv[3]) : 1;
    const int reference = argc > 4 ? std::atoi(argv[4]) : 2001;

    MbusHandle master = mbusNewTcpMaster();
    if (master == nullptr) {
        std::fprintf(stderr, "out of memory\n");
        return 1;
    }
    short registers[1];
    // Arguments are checked before anything is sent, even on a closed master.
    show("read 0 registers", mbusReadMultipleRegisters(master, unit, 1, registers, 0));
    show("read on a closed master", mbusReadMultipleRegisters(master, unit, 1, registers, 1));
    show("time-out of 0 ms", mbusSetTimeout(master, 0));

    mbusSetPort(master, static_cast<unsigned short>(port));
    const int opened = mbusOpenConnection(master, argv[1]);
    show("connect", opened);
    int status = 1;
    if (opened == MBUS_SUCCESS) {
        show("time-out set while open", mbusSetTimeout(master, 500));
        const int result = mbusReadMultipleRegisters(master, unit, reference, registers, 1);
        char label[40];
        std::snprintf(label, sizeof label, "read register %d", reference);
        if (result == MBUS_SUCCESS)
            std::printf("%s: %d\n", label, registers[0]);
        else
            show(label, result);
        // The connection stays usable after an exception response.
        show("read register 1", mbusReadMultipleRegisters(master, unit, 1, registers, 1));
        status = 0;
    }
    mbusDestroy(master);
    return status;
}
