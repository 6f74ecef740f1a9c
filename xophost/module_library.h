// The extension module file loaded into this process: its entry XOPMain and its resources.
// One implementation per platform: a shared object whose resources come from its exported
// XOPGetResource, or a Windows DLL whose resources are read from its resource section.
#ifndef XOPHOST_MODULE_LIBRARY_H
#define XOPHOST_MODULE_LIBRARY_H

#include <cstdint>
#include <string>

#include "host/igor_xop.h"

// Outside Windows a module serves its resources through an export of this type, XOPGetResource:
// the bytes of the resource of that type and identifier, or null; size and language may be null.
using ModuleResourceFunc = const unsigned char *(*)(const char *type, int id, std::uint32_t *size,
                                                    std::uint16_t *language);

class ModuleLibrary {
public:
    // The language the module's resources are looked up in: English (United Kingdom).
    static constexpr std::uint16_t kResourceLanguage = 0x0809;

    ModuleLibrary() = default;
    // Unloads the module.
    ~ModuleLibrary();
    ModuleLibrary(const ModuleLibrary &) = delete;
    ModuleLibrary &operator=(const ModuleLibrary &) = delete;

    // Loads the module file and finds XOPMain; on failure error says why.
    bool load(const std::string &path, std::string &error);
    XOPMainFunc entry() const { return entry_; }
    // The bytes of the module's resource of that type and identifier, valid while the module
    // stays loaded; null when it has none.
    const unsigned char *resource(const char *type, int id, std::uint32_t *size) const;

private:
    void *handle_ = nullptr;
    XOPMainFunc entry_ = nullptr;
};

#endif
