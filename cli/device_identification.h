// The objects of a device identification (function 43, MEI type 14), gathered from the reply
// pages a device sends until none follows.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class DeviceIdentification {
public:
    struct Object {
        int id;
        std::string value;
    };

    // The request data of the page starting at `objectId`; `level` 1 basic, 2 regular, 3 extended.
    static std::vector<std::uint8_t> request(int level, int objectId);

    // Takes one reply (the data after the function code). False if it is malformed: wrong MEI
    // type, objects running past its end or bytes left behind them, or a next object that would
    // not move forward.
    bool addPage(const std::uint8_t *data, int length);

    bool moreFollows() const { return more_; }
    int nextObjectId() const { return next_; }
    int conformity() const { return conformity_; }
    const std::vector<Object> &objects() const { return objects_; }

    // "VendorName", "ProductCode", ... for the standard objects; "object 0xNN" for the others.
    static std::string objectName(int id);

private:
    std::vector<Object> objects_;
    bool more_ = false;
    int next_ = 0;
    int conformity_ = 0;
};
