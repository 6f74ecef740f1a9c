// The module's exports and its host message callback.
#ifndef ZORVANE_XOP_MAIN_H
#define ZORVANE_XOP_MAIN_H

#include <cstdint>

#include "host/igor_xop.h"

#if defined(_WIN32)
// The DLL's module-definition file names its one export, XOPMain.
#define ZORVANE_EXPORT
#else
#define ZORVANE_EXPORT __attribute__((visibility("default")))
#endif

// Registers the commands in order; 0, or the first failure of RegisterOperation.
int registerOperations();
// Called by the host for each host message; releases every connection on the clean-up message.
void hostMessageEntry();

extern "C" {
// Igor's entry: 0 when the module is ready, 1 when it refuses to load (the reason in the I/O
// record's result).
ZORVANE_EXPORT int XOPMain(IORecHandle ioRecHandle);
// Outside Windows a shared object has no resource section: the host reads the module's
// resources (XOPI, XOPC, STR#, ...) through this export instead. Null when there is none; size
// and language may be null.
ZORVANE_EXPORT const unsigned char *XOPGetResource(const char *type, int id, uint32_t *size,
                                                   uint16_t *language);
}

#endif
