// POSIX hosts export nothing: handle sizes come from the memory function table only, which is
// always asked for, and the version only from GET_IGOR_VERSION.
#include "host/igor_exports.h"

GetHandleSizeFunc exportedGetHandleSize()
{
    return nullptr;
}

int versionOfIgorProgram()
{
    return 0;
}

bool asksForMemoryTable(int /*version*/)
{
    return true;
}
