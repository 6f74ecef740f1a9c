// What the module takes from Igor's own program besides the callbacks. On Windows Igor exports
// its memory functions by name; the module looks them up at run time on the main program, so the
// DLL imports nothing but system DLLs. Elsewhere there are no such exports.
#ifndef ZORVANE_IGOR_EXPORTS_H
#define ZORVANE_IGOR_EXPORTS_H

#include "host/igor_xop.h"

using GetHandleSizeFunc = BCInt (*)(Handle h);

// Igor's exported GetHandleSize, or null.
GetHandleSizeFunc exportedGetHandleSize();
// 100 times the version in the version resource of Igor's program (6,2,0,x -> 620); 0 if unknown.
int versionOfIgorProgram();
// Whether the memory function table is worth asking for on a host of this version.
bool asksForMemoryTable(int version);

#endif
