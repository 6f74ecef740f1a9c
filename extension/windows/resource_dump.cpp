// Writes the module's resources as files for the resource compiler, one file per resource, into
// the folder given as the only argument. Built and run on the build machine.
#include <cstdio>
#include <string>

#include "extension/message_table.h"
#include "extension/module_resources.h"

namespace {

bool writeFile(const std::string &folder, const char *name, const std::string &bytes)
{
    const std::string path = folder + "/" + name;
    std::FILE *file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        std::fprintf(stderr, "resource_dump: cannot create %s\n", path.c_str());
        return false;
    }
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    const bool closed = std::fclose(file) == 0;
    if (!written || !closed)
        std::fprintf(stderr, "resource_dump: cannot write %s\n", path.c_str());
    return written && closed;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: resource_dump FOLDER\n");
        return 2;
    }
    const std::string folder = argv[1];
    const bool ok = writeFile(folder, "xopi.bin", xopiBytes()) && writeFile(folder, "xopc.bin", xopcBytes()) &&
                    writeFile(folder, "str.bin", messageTableBytes()) &&
                    writeFile(folder, "version.bin", versionInfoBytes()) &&
                    writeFile(folder, "manifest.xml", manifestBytes());
    return ok ? 0 : 1;
}
