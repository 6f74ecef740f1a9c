// Device identification replies (function 43, MEI type 14), byte by byte.
#include "cli/device_identification.h"

#include <gtest/gtest.h>

namespace {
using Bytes = std::vector<std::uint8_t>;

bool add(DeviceIdentification &id, const Bytes &page) { return id.addPage(page.data(), int(page.size())); }
} // namespace

TEST(DeviceIdentification, GathersObjectsOverPages)
{
    EXPECT_EQ(DeviceIdentification::request(2, 3), (Bytes{0x0E, 0x02, 0x03}));
    DeviceIdentification id;
    // MEI 14, read code 2, conformity 0x82, more follows, next object 2, two objects.
    ASSERT_TRUE(add(id, {0x0E, 0x02, 0x82, 0xFF, 0x02, 0x02, 0x00, 0x04, 'A', 'c', 'm', 'e', 0x01, 0x02, 'X', '7'}));
    EXPECT_TRUE(id.moreFollows());
    EXPECT_EQ(id.nextObjectId(), 2);
    ASSERT_TRUE(add(id, {0x0E, 0x02, 0x82, 0x00, 0x00, 0x02, 0x02, 0x03, '1', '.', '2', 0x05, 0x00}));
    EXPECT_FALSE(id.moreFollows());
    EXPECT_EQ(id.conformity(), 0x82);
    ASSERT_EQ(id.objects().size(), 4u);
    EXPECT_EQ(id.objects()[0].value, "Acme");
    EXPECT_EQ(id.objects()[2].value, "1.2");
    EXPECT_EQ(id.objects()[3].value, "");
    EXPECT_EQ(DeviceIdentification::objectName(id.objects()[3].id), "ModelName");
    EXPECT_EQ(DeviceIdentification::objectName(0x80), "object 0x80");
}

TEST(DeviceIdentification, RefusesMalformedPages)
{
    const Bytes malformed[] = {
        {0x0E, 0x01, 0x01, 0x00, 0x00},                         // head cut short
        {0x0D, 0x01, 0x01, 0x00, 0x00, 0x00},                   // another MEI type
        {0x0E, 0x01, 0x01, 0x00, 0x00, 0x01, 0x00, 0x05, 'a'},  // object longer than the reply
        {0x0E, 0x01, 0x01, 0x00, 0x00, 0x02, 0x00, 0x01, 'a'},  // fewer objects than announced
        {0x0E, 0x01, 0x01, 0x00, 0x00, 0x01, 0x00, 0x01, 'a', 'b'}, // bytes behind the objects
        {0x0E, 0x01, 0x01, 0xFF, 0x00, 0x01, 0x00, 0x01, 'a'},  // the next object is not further on
    };
    for (const Bytes &page : malformed) {
        DeviceIdentification id;
        EXPECT_FALSE(add(id, page)) << page.size();
        EXPECT_TRUE(id.objects().empty());
    }
}
