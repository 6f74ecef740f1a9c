// Igor's memory functions, exported by name from the program as Igor64.exe exports them, so that
// a module finds them with GetProcAddress on the main program. Over HandleHeap::process().
#include <windows.h>

#include "xophost/handle_heap.h"

#define IGOR_EXPORT extern "C" __declspec(dllexport)

IGOR_EXPORT Handle NewHandle(BCInt size)
{
    return HandleHeap::process().newHandle(size);
}

IGOR_EXPORT BCInt GetHandleSize(Handle h)
{
    return HandleHeap::process().size(h);
}

// Failure through MemError, as in Igor.
IGOR_EXPORT void SetHandleSize(Handle h, BCInt size)
{
    HandleHeap::process().setSize(h, size);
}

IGOR_EXPORT void DisposeHandle(Handle h)
{
    HandleHeap::process().dispose(h);
}

IGOR_EXPORT int HandToHand(Handle *hp)
{
    return HandleHeap::process().handToHand(hp);
}

IGOR_EXPORT char *NewPtr(BCInt size)
{
    return static_cast<char *>(HandleHeap::process().newPtr(size));
}

IGOR_EXPORT void DisposePtr(char *p)
{
    HandleHeap::process().disposePtr(p);
}

IGOR_EXPORT int MemError()
{
    return HandleHeap::lastError();
}

// Ticks of about 1/60 s since the system started.
IGOR_EXPORT DWORD TickCount()
{
    return static_cast<DWORD>(::GetTickCount64() * 60 / 1000);
}

IGOR_EXPORT HMODULE GetIgorModule()
{
    return ::GetModuleHandleW(nullptr);
}
