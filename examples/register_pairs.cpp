// 32-bit integers, floats and modulo-10000 values in pairs of holding registers, with the
// word order set per slave.
//
//   register_pairs HOST [PORT [UNIT]]      (default port 502, unit 1)
//
// Writes holding registers 21..24, 31..34 and 41..42 of the device. Uses the library's C
// interface from C++, with the handle owned by a std::unique_ptr.
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "mbus.h"

namespace {

struct MasterDeleter {
    void operator()(MbusMaster *master) const { mbusDestroy(master); }
};
using Master = std::unique_ptr<MbusMaster, MasterDeleter>;

// Returns true on success; prints the library's text otherwise.
bool ok(int result, const char *what)
{
    if (result == MBUS_SUCCESS)
        return true;
    std::fprintf(stderr, "%s: %s (%d)\n", what, mbusGetErrorText(result), result);
    return false;
}

bool run(MbusHandle master, int unit)
{
    const float floats[2] = {3.25f, -1.5f};
    float floatsBack[2];
    if (!ok(mbusWriteMultipleFloats(master, unit, 21, floats, 2), "write floats") ||
        !ok(mbusReadMultipleFloats(master, unit, 21, floatsBack, 2), "read floats"))
        return false;
    std::printf("floats: %g %g\n", double(floatsBack[0]), double(floatsBack[1]));

    const int ints[2] = {123456789, -2};
    int intsBack[2];
    short words[2];
    if (!ok(mbusWriteMultipleLongInts(master, unit, 31, ints, 2), "write long ints") ||
        !ok(mbusReadMultipleLongInts(master, unit, 31, intsBack, 2), "read long ints") ||
        !ok(mbusReadMultipleRegisters(master, unit, 31, words, 2), "read registers"))
        return false;
    std::printf("long ints: %d %d\n", intsBack[0], intsBack[1]);
    // By default the first register of a pair holds the low-order word.
    std::printf("registers 31..32: 0x%04x 0x%04x\n", unsigned(static_cast<unsigned short>(words[0])),
                unsigned(static_cast<unsigned short>(words[1])));

    // A device that keeps the high-order word first is read with the other word order.
    int swapped = 0;
    if (!ok(mbusConfigureBigEndianIntsForSlave(master, unit), "configure") ||
        !ok(mbusReadMultipleLongInts(master, unit, 31, &swapped, 1), "read long int") ||
        !ok(mbusConfigureLittleEndianIntsForSlave(master, unit), "configure"))
        return false;
    std::printf("register 31 read high word first: %d\n", swapped);

    const int counter = 123456789;
    int counterBack = 0;
    if (!ok(mbusWriteMultipleMod10000(master, unit, 41, &counter, 1), "write mod-10000") ||
        !ok(mbusReadMultipleMod10000(master, unit, 41, &counterBack, 1), "read mod-10000") ||
        !ok(mbusReadMultipleRegisters(master, unit, 41, words, 2), "read registers"))
        return false;
    std::printf("mod-10000: %d (registers %d %d)\n", counterBack, words[0], words[1]);
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 2 || argc > 4) {
        std::fprintf(stderr, "usage: register_pairs HOST [PORT [UNIT]]\n");
        return 2;
    }
    const int port = argc > 2 ? std::atoi(argv[2]) : 502;
    const int unit = argc > 3 ? std::atoi(argv[3]) : 1;
    if (port < 1 || port > 65535 || unit < 0 || unit > 255) {
        std::fprintf(stderr, "register_pairs: port 1..65535, unit 0..255\n");
        return 2;
    }

    Master master(mbusNewTcpMaster());
    if (!master) {
        std::fprintf(stderr, "out of memory\n");
        return 1;
    }
    mbusSetPort(master.get(), static_cast<unsigned short>(port));
    if (!ok(mbusOpenConnection(master.get(), argv[1]), argv[1]))
        return 1;
    return run(master.get(), unit) ? 0 : 1;
}
