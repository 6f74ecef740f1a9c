#include "xophost/host_platform.h"

#include <unistd.h>

std::string defaultModulePath()
{
    char path[4096];
    const ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
    if (length <= 0)
        return "Zorvane.xop";
    std::string exe(path, static_cast<std::size_t>(length));
    const std::size_t slash = exe.rfind('/');
    return (slash == std::string::npos ? std::string(".") : exe.substr(0, slash)) +
           "/Zorvane.xop";
}

bool isTerminal(std::FILE *stream)
{
    return isatty(fileno(stream)) != 0;
}
