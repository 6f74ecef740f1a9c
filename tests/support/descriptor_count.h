// Open descriptors of this process, as /proc/self/fd lists them.
#ifndef MBUS_TESTS_SUPPORT_DESCRIPTOR_COUNT_H
#define MBUS_TESTS_SUPPORT_DESCRIPTOR_COUNT_H

#include <dirent.h>

// -1 when /proc is not there. The directory stream's own descriptor is not counted.
inline int openDescriptorCount()
{
    DIR *dir = ::opendir("/proc/self/fd");
    if (dir == nullptr)
        return -1;
    int count = 0;
    while (dirent *entry = ::readdir(dir)) {
        if (entry->d_name[0] != '.')
            ++count;
    }
    ::closedir(dir);
    return count - 1;
}

#endif
