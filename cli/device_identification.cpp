#include "cli/device_identification.h"

#include <cstdio>

std::string DeviceIdentification::objectName(int id)
{
    static const char *const kNames[] = {"VendorName", "ProductCode", "MajorMinorRevision", "VendorUrl",
                                         "ProductName", "ModelName", "UserApplicationName"};
    if (id >= 0 && id < int(sizeof kNames / sizeof kNames[0]))
        return kNames[id];
    char name[16];
    std::snprintf(name, sizeof name, "object 0x%02X", unsigned(id) & 0xFF);
    return name;
}
