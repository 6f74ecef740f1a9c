// What the stand-in host needs to know of the system it runs on.
#ifndef XOPHOST_HOST_PLATFORM_H
#define XOPHOST_HOST_PLATFORM_H

#include <cstdio>
#include <string>

// The module file beside this program: Zorvane.xop in the program's folder.
std::string defaultModulePath();

// Whether the stream is a terminal (a console), where a person reads and types.
bool isTerminal(std::FILE *stream);

#endif
