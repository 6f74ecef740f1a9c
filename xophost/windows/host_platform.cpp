#include "xophost/host_platform.h"

#include <io.h>
#include <windows.h>

std::string defaultModulePath()
{
    char path[MAX_PATH + 1] = {};
    const DWORD length = ::GetModuleFileNameA(nullptr, path, MAX_PATH);
    // A length of MAX_PATH means the path was cut short.
    if (length == 0 || length >= MAX_PATH)
        return "Zorvane.xop";
    const std::string exe(path, length);
    const std::size_t separator = exe.find_last_of("\\/");
    return separator == std::string::npos ? std::string("Zorvane.xop")
                                          : exe.substr(0, separator + 1) + "Zorvane.xop";
}

bool isTerminal(std::FILE *stream)
{
    return _isatty(_fileno(stream)) != 0;
}
