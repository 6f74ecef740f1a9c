// The names of device identification objects.
#include "cli/device_identification.h"

#include <gtest/gtest.h>

TEST(DeviceIdentification, NamesObjects)
{
    EXPECT_EQ(DeviceIdentification::objectName(0), "VendorName");
    EXPECT_EQ(DeviceIdentification::objectName(5), "ModelName");
    EXPECT_EQ(DeviceIdentification::objectName(0x80), "object 0x80");
}
