// Device identification and report server id against the peer devices (see IDENTITY and
// SERVER_ID in pymodbus_device.py, and libmodbus's own server id in libmodbus_device.c), over
// every transport: the line framings find the end of these replies by their announced lengths.
#include "tests/interop/interop_fixture.h"

#include <cstring>
#include <string>

using device::kUnit;

TEST_P(Interop, ReportServerId)
{
    unsigned char id[64];
    unsigned char rest[64];
    MbusServerIdReply reply;
    if (profile().peer == Peer::Pymodbus) {
        // pymodbus sends its id bytes and a closing run indicator, nothing behind it.
        ASSERT_EQ(MBUS_SUCCESS, mbusReportServerId(master, kUnit, MBUS_SERVER_ID_TO_RUN_INDICATOR, id, sizeof id, rest,
                                                   sizeof rest, &reply));
        EXPECT_EQ("Pymodbus PMD-1", std::string(reinterpret_cast<char *>(id), static_cast<std::size_t>(reply.idLen)));
        EXPECT_EQ(0xFF, reply.runIndicator);
        EXPECT_EQ(0, reply.restLen);
    } else {
        // libmodbus: one id byte, the run indicator, then "LMB" and its version.
        ASSERT_EQ(MBUS_SUCCESS, mbusReportServerId(master, kUnit, 1, id, sizeof id, rest, sizeof rest, &reply));
        EXPECT_EQ(1, reply.idLen);
        EXPECT_EQ(0xB4, id[0]);
        EXPECT_EQ(0xFF, reply.runIndicator);
        ASSERT_GE(reply.restLen, 3);
        EXPECT_EQ(0, std::memcmp("LMB", rest, 3));
    }
}

TEST_P(Interop, DeviceIdentification)
{
    MbusDeviceIdObject objects[16];
    unsigned char data[1024];
    int count = 0;
    int conformity = 0;
    if (profile().peer == Peer::Libmodbus) {
        // libmodbus's device does not serve it: an illegal function behind an MBAP header; on
        // its RTU line it takes the request to end after the function code and stays silent.
        if (!isMbapFramed()) {
            ASSERT_NO_FATAL_FAILURE(open(kSilenceTimeoutMs));
        }
        EXPECT_EQ(isMbapFramed() ? MBUS_ILLEGAL_FUNCTION_RESPONSE : MBUS_REPLY_TIMEOUT,
                  mbusReadDeviceIdentification(master, kUnit, MBUS_DEVICE_ID_BASIC, 0, objects, 16, &count, data,
                                               sizeof data, &conformity));
        EXPECT_EQ(0, count);
        return;
    }
    // Two objects of 150 bytes: the extended read takes two replies.
    ASSERT_EQ(MBUS_SUCCESS, mbusReadDeviceIdentification(master, kUnit, MBUS_DEVICE_ID_EXTENDED, 0, objects, 16, &count,
                                                         data, sizeof data, &conformity));
    ASSERT_EQ(9, count);
    EXPECT_EQ(0x80, objects[7].id);
    EXPECT_EQ(std::string(150, 'y'), std::string(reinterpret_cast<char *>(data) + objects[8].offset,
                                                 static_cast<std::size_t>(objects[8].length)));
    EXPECT_EQ("pymodbus device", std::string(reinterpret_cast<char *>(data) + objects[0].offset,
                                             static_cast<std::size_t>(objects[0].length)));

    ASSERT_EQ(MBUS_SUCCESS, mbusReadDeviceIdentification(master, kUnit, MBUS_DEVICE_ID_BASIC, 0, objects, 16, &count,
                                                         data, sizeof data, nullptr));
    EXPECT_EQ(3, count);
    ASSERT_EQ(MBUS_SUCCESS, mbusReadDeviceIdentification(master, kUnit, MBUS_DEVICE_ID_SPECIFIC, 5, objects, 1, &count,
                                                         data, sizeof data, nullptr));
    ASSERT_EQ(1, count);
    EXPECT_EQ(0, std::memcmp("PMD", data, 3));
}
