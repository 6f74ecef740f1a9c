// Igor's exports, found on the main program (Igor64.exe, or a stand-in that exports the same
// names) rather than imported, so that the DLL loads in any host that has them.
#include "host/igor_exports.h"

#include <windows.h>

#include <cstdint>
#include <cstring>

namespace {

template <typename F> F exported(const char *name)
{
    FARPROC found = ::GetProcAddress(::GetModuleHandleW(nullptr), name);
    // Through the generic function type: the export's real type is F.
    return reinterpret_cast<F>(reinterpret_cast<void (*)()>(found));
}

} // namespace

GetHandleSizeFunc exportedGetHandleSize()
{
    return exported<GetHandleSizeFunc>("GetHandleSize");
}

int versionOfIgorProgram()
{
    using GetIgorModuleFunc = HMODULE (*)();
    GetIgorModuleFunc getIgorModule = exported<GetIgorModuleFunc>("GetIgorModule");
    HMODULE igor = getIgorModule != nullptr ? getIgorModule() : nullptr;
    if (igor == nullptr)
        return 0;
    HRSRC found = ::FindResourceW(igor, MAKEINTRESOURCEW(VS_VERSION_INFO), MAKEINTRESOURCEW(16));
    HGLOBAL loaded = found != nullptr ? ::LoadResource(igor, found) : nullptr;
    const auto *bytes = static_cast<const unsigned char *>(loaded != nullptr ? ::LockResource(loaded) : nullptr);
    if (bytes == nullptr)
        return 0;
    const DWORD size = ::SizeofResource(igor, found);
    // VS_FIXEDFILEINFO starts with its signature on a 32-bit boundary after the key.
    for (DWORD pos = 0; pos + sizeof(VS_FIXEDFILEINFO) <= size; pos += 4) {
        VS_FIXEDFILEINFO info;
        std::memcpy(&info, bytes + pos, sizeof info);
        if (info.dwSignature == 0xFEEF04BDu)
            return 100 * HIWORD(info.dwFileVersionMS) + 10 * LOWORD(info.dwFileVersionMS) +
                   HIWORD(info.dwFileVersionLS);
    }
    return 0;
}

bool asksForMemoryTable(int version)
{
    // As the Toolkit does: Windows Igor answers from 8.0 on, and leaves the table empty.
    return version >= 800;
}
