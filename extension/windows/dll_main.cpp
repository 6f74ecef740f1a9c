// The module's load and unload notifications. All set-up happens in XOPMain, when the host is
// ready for it; the loader lock held here forbids most other work anyway.
#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE /*instance*/, DWORD /*reason*/, LPVOID /*reserved*/)
{
    return TRUE;
}
