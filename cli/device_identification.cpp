#include "cli/device_identification.h"

#include <cstdio>

namespace {
constexpr std::uint8_t kMeiReadDeviceId = 0x0E;
constexpr int kPageHead = 6; // MEI type, read code, conformity, more follows, next id, count
}

std::vector<std::uint8_t> DeviceIdentification::request(int level, int objectId)
{
    return {kMeiReadDeviceId, std::uint8_t(level), std::uint8_t(objectId)};
}

bool DeviceIdentification::addPage(const std::uint8_t *data, int length)
{
    if (length < kPageHead || data[0] != kMeiReadDeviceId)
        return false;
    std::vector<Object> page;
    int at = kPageHead;
    for (int i = 0; i < data[5]; ++i) {
        if (at + 2 > length || at + 2 + data[at + 1] > length)
            return false;
        page.push_back({data[at], std::string(reinterpret_cast<const char *>(data + at + 2), data[at + 1])});
        at += 2 + data[at + 1];
    }
    if (at != length)
        return false;
    const bool more = data[3] == 0xFF;
    // A device that names an earlier object as the next would have a reader loop for ever.
    if (more && (page.empty() || data[4] <= page.back().id))
        return false;
    conformity_ = data[2];
    more_ = more;
    next_ = more ? data[4] : 0;
    objects_.insert(objects_.end(), page.begin(), page.end());
    return true;
}

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
