// A Windows DLL: LoadLibrary, and the resources from its resource section in the exact language.
#include "xophost/module_library.h"

#include <windows.h>

namespace {

std::string systemMessage(DWORD error)
{
    char text[512] = {};
    const DWORD length = ::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                          error, 0, text, sizeof text, nullptr);
    std::string message(text, length);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == ' '))
        message.pop_back();
    return message.empty() ? "error " + std::to_string(error) : message;
}

HMODULE moduleOf(void *handle)
{
    return static_cast<HMODULE>(handle);
}

} // namespace

ModuleLibrary::~ModuleLibrary()
{
    if (handle_ != nullptr)
        ::FreeLibrary(moduleOf(handle_));
}

bool ModuleLibrary::load(const std::string &path, std::string &error)
{
    // No message box for a file that is missing or not a DLL: the reason goes to the caller.
    DWORD previousMode = 0;
    ::SetThreadErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX, &previousMode);
    HMODULE module = ::LoadLibraryA(path.c_str());
    const DWORD loadError = ::GetLastError();
    ::SetThreadErrorMode(previousMode, nullptr);
    if (module == nullptr) {
        error = "cannot load " + path + ": " + systemMessage(loadError);
        return false;
    }
    handle_ = module;
    FARPROC exported = ::GetProcAddress(module, "XOPMain");
    if (exported == nullptr) {
        error = path + " has no entry XOPMain";
        return false;
    }
    // Through the generic function type: the export's real type is XOPMain's.
    entry_ = reinterpret_cast<XOPMainFunc>(reinterpret_cast<void (*)()>(exported));
    return true;
}

const unsigned char *ModuleLibrary::resource(const char *type, int id, std::uint32_t *size) const
{
    *size = 0;
    if (handle_ == nullptr)
        return nullptr;
    HMODULE module = moduleOf(handle_);
    HRSRC found = ::FindResourceExA(module, type, MAKEINTRESOURCEA(id),
                                    static_cast<WORD>(kResourceLanguage));
    if (found == nullptr)
        return nullptr;
    HGLOBAL loaded = ::LoadResource(module, found);
    const void *bytes = loaded != nullptr ? ::LockResource(loaded) : nullptr;
    if (bytes == nullptr)
        return nullptr;
    *size = ::SizeofResource(module, found);
    return static_cast<const unsigned char *>(bytes);
}
