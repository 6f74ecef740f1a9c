// The names of device identification objects (function 43, MEI type 14).
#pragma once

#include <string>

class DeviceIdentification {
public:
    // "VendorName", "ProductCode", ... for the standard objects; "object 0xNN" for the others.
    static std::string objectName(int id);
};
