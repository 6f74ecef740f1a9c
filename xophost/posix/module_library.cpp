// A shared object: dlopen, and the resources through its exported XOPGetResource.
#include "xophost/module_library.h"

#include <dlfcn.h>

ModuleLibrary::~ModuleLibrary()
{
    if (handle_ != nullptr)
        dlclose(handle_);
}

bool ModuleLibrary::load(const std::string &path, std::string &error)
{
    handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle_ == nullptr) {
        const char *reason = dlerror();
        error = "cannot load " + path + ": " + (reason != nullptr ? reason : "unknown reason");
        return false;
    }
    // POSIX guarantees that a function pointer round-trips through dlsym's void *.
    entry_ = reinterpret_cast<XOPMainFunc>(dlsym(handle_, "XOPMain"));
    if (entry_ == nullptr) {
        error = path + " has no entry XOPMain";
        return false;
    }
    return true;
}

const unsigned char *ModuleLibrary::resource(const char *type, int id, std::uint32_t *size) const
{
    *size = 0;
    if (handle_ == nullptr)
        return nullptr;
    auto getResource = reinterpret_cast<ModuleResourceFunc>(dlsym(handle_, "XOPGetResource"));
    if (getResource == nullptr)
        return nullptr;
    std::uint16_t language = 0;
    const unsigned char *bytes = getResource(type, id, size, &language);
    if (bytes == nullptr || language != kResourceLanguage) {
        *size = 0;
        return nullptr;
    }
    return bytes;
}
